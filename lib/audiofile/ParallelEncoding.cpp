#include "ParallelEncoding.h"

#include "AllSignalsBlocked.h"

ParallelEncoding::ParallelEncoding(std::vector<Job> jobs, unsigned threads)
    : jobs(std::move(jobs)), slots(this->jobs.size()), ahead(threads < 1 ? 1 : threads)
{
    const AllSignalsBlocked blocked;
    for (unsigned k = 0; k < ahead && k < this->jobs.size(); ++k)
        workers.emplace_back(&ParallelEncoding::work, this);
}

ParallelEncoding::~ParallelEncoding()
{
    {
        const std::lock_guard<std::mutex> lock(mutex);
        stopping = true;
    }
    changed.notify_all();
    for (std::thread& worker : workers)
        worker.join();
}

bool ParallelEncoding::mayStart() const
{
    return next < jobs.size() && next < taken + ahead;
}

void ParallelEncoding::work()
{
    std::unique_lock<std::mutex> lock(mutex);
    for (;;) {
        changed.wait(lock, [this] { return stopping || mayStart() || next == jobs.size(); });
        if (stopping || next == jobs.size())
            return;
        const std::size_t k = next++;
        lock.unlock();
        Slot done;
        try {
            const Job& job = jobs[k];
            done.result.audio = encodeAudioFile(job.path, job.shownName, job.how,
                                                [&](const unsigned char* bytes, std::size_t count) {
                                                    done.result.bytes.insert(done.result.bytes.end(), bytes,
                                                                             bytes + count);
                                                });
        } catch (...) {
            done.failure = std::current_exception();
        }
        lock.lock();
        slots[k] = std::move(done);
        slots[k].done = true;
        changed.notify_all();
    }
}

ParallelEncoding::Result ParallelEncoding::takeNext()
{
    std::unique_lock<std::mutex> lock(mutex);
    Slot& slot = slots[taken];
    changed.wait(lock, [&] { return slot.done; });
    ++taken;
    changed.notify_all();
    if (slot.failure)
        std::rethrow_exception(slot.failure);
    return std::move(slot.result);
}
