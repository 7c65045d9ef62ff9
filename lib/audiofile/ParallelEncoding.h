#ifndef WBK_PARALLEL_ENCODING_H
#define WBK_PARALLEL_ENCODING_H

#include "encodeAudioFile.h"

#include <condition_variable>
#include <cstddef>
#include <exception>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// Audio files encoded on several threads and handed back in the order of the
// jobs, whatever order they finish in. At most `threads` jobs are ahead of
// the results taken (being encoded or waiting), so memory stays bounded
// whatever the number of jobs. The workers hold every signal back: signals
// go to the thread that takes the results.
class ParallelEncoding {
public:
    struct Job {
        std::string path;
        std::string shownName;  // for messages
        AudioEncoding how;
    };
    struct Result {
        std::vector<unsigned char> bytes;
        EncodedAudio audio;
    };

    ParallelEncoding(std::vector<Job> jobs, unsigned threads);
    // Stops the workers once their current jobs are done.
    ~ParallelEncoding();
    ParallelEncoding(const ParallelEncoding&) = delete;
    ParallelEncoding& operator=(const ParallelEncoding&) = delete;

    // The result of the next job, waiting for it; what its encoding threw
    // (std::runtime_error with a sentence naming the file) when it failed.
    Result takeNext();

private:
    struct Slot {
        bool done = false;
        Result result;
        std::exception_ptr failure;
    };
    void work();
    bool mayStart() const;

    std::vector<Job> jobs;
    std::vector<Slot> slots;
    unsigned ahead;
    std::size_t next = 0;   // the next job to start
    std::size_t taken = 0;  // results handed back
    bool stopping = false;
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<std::thread> workers;
};

#endif
