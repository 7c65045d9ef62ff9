#ifndef WBK_PARALLEL_ENCODING_H
#define WBK_PARALLEL_ENCODING_H

#include "encodeAudioFile.h"

#include <cstddef>
#include <deque>
#include <future>
#include <string>
#include <vector>

// Audio files encoded on several threads and handed back in the order of the
// jobs, whatever order they finish in. At most `threads` jobs are ahead of
// the results taken (being encoded or waiting), so memory stays bounded
// whatever the number of jobs. The threads hold every signal back: signals
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
    // Waits for the jobs being encoded; starts no more.
    ~ParallelEncoding() = default;
    ParallelEncoding(const ParallelEncoding&) = delete;
    ParallelEncoding& operator=(const ParallelEncoding&) = delete;

    // The result of the next job, waiting for it; what its encoding threw
    // (std::runtime_error with a sentence naming the file) when it failed.
    Result takeNext();

private:
    void startNext();
    static Result encode(const Job& job);

    std::vector<Job> jobs;
    std::size_t next = 0;  // the next job to start
    std::deque<std::future<Result>> inFlight;
};

#endif
