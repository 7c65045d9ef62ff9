#include "ParallelEncoding.h"

#include "AllSignalsBlocked.h"

#include <algorithm>
#include <functional>

ParallelEncoding::ParallelEncoding(std::vector<Job> jobs, unsigned threads) : jobs(std::move(jobs))
{
    for (unsigned k = 0; k < std::max(threads, 1u) && next < this->jobs.size(); ++k)
        startNext();
}

// Starts the next job on a thread of its own, which inherits a mask blocking
// every signal.
void ParallelEncoding::startNext()
{
    const AllSignalsBlocked blocked;
    inFlight.push_back(std::async(std::launch::async, encode, std::cref(jobs[next++])));
}

ParallelEncoding::Result ParallelEncoding::encode(const Job& job)
{
    Result result;
    result.audio = encodeAudioFile(job.path, job.shownName, job.how,
                                   [&](const unsigned char* bytes, std::size_t count) {
                                       result.bytes.insert(result.bytes.end(), bytes, bytes + count);
                                   });
    return result;
}

// The job taken makes room for the next one, started once it is done, so
// that no more than `threads` run at once.
ParallelEncoding::Result ParallelEncoding::takeNext()
{
    std::future<Result> oldest = std::move(inFlight.front());
    inFlight.pop_front();
    Result result = oldest.get();
    if (next < jobs.size())
        startNext();
    return result;
}
