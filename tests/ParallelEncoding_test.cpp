#include "ParallelEncoding.h"
#include "TestFiles.h"
#include "ToneFile.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <future>
#include <thread>
#include <vector>

namespace {

// Writes `bytes` to the FIFO at `path` through `fd`, or through a fresh
// descriptor, opened once a reader has it open.
void feed(const std::string& path, const std::string& bytes, int fd = -1)
{
    if (fd < 0)
        fd = open(path.c_str(), O_WRONLY);
    ASSERT_GE(fd, 0) << path;
    EXPECT_EQ(write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    close(fd);
}

// A descriptor writing to the FIFO at `path` once a reader opens it within
// `wait`; -1 if none does.
int writerOnceRead(const std::string& path, std::chrono::milliseconds wait)
{
    const auto end = std::chrono::steady_clock::now() + wait;
    for (;;) {
        const int fd = open(path.c_str(), O_WRONLY | O_NONBLOCK);
        if (fd >= 0 || errno != ENXIO || std::chrono::steady_clock::now() > end)
            return fd;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

// With one thread, the next audio file is opened only once the one taken is
// encoded. The files are FIFOs: a job's open waits for the test to write.
TEST(ParallelEncoding, OneThreadEncodesOneFileAtATime)
{
    const TempDir dir;
    writeTone(dir / "tone.wav", 8000, 800);
    const std::string wav = readBytes(dir / "tone.wav");
    std::vector<ParallelEncoding::Job> jobs;
    for (const char* name : {"first", "second"}) {
        ASSERT_EQ(mkfifo((dir / name).c_str(), 0600), 0);
        jobs.push_back({dir / name, name, {}});
    }
    ParallelEncoding encoding(jobs, 1);
    auto first = std::async(std::launch::async, [&] { return encoding.takeNext(); });
    const int early = writerOnceRead(dir / "second", std::chrono::milliseconds(300));
    EXPECT_LT(early, 0) << "the second file was opened while the first was being encoded";
    if (early >= 0)
        feed(dir / "second", wav, early);
    feed(dir / "first", wav);
    EXPECT_EQ(first.get().audio.samples, 800u);
    if (early < 0)
        feed(dir / "second", wav);
    EXPECT_EQ(encoding.takeNext().audio.samples, 800u);
}

} // namespace
