#ifndef WBKENC_PROGRESS_H
#define WBKENC_PROGRESS_H

#include <chrono>
#include <cstdint>

// A percentage on standard error while a long run goes on: only when
// standard error is a terminal, only once the run has taken a second, and
// erased at the end.
class Progress {
public:
    Progress();
    // `done` of `total` input frames; nothing is shown while `total` is 0 (unknown).
    void show(std::int64_t done, std::int64_t total);
    void erase();

private:
    bool enabled;
    bool shown = false;
    int lastPercent = -1;
    std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();
};

#endif
