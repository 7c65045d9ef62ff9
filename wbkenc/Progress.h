#ifndef WBKENC_PROGRESS_H
#define WBKENC_PROGRESS_H

#include <chrono>
#include <cstdint>

// A percentage on standard error while a long run goes on: only when
// standard error is a terminal, only once the run has taken a second, and
// erased at the end.
class Progress {
public:
    // `total` input frames; 0 when unknown (then nothing is shown).
    explicit Progress(std::int64_t total);
    void show(std::int64_t done);
    void erase();

private:
    std::int64_t total;
    bool enabled;
    bool shown = false;
    int lastPercent = -1;
    std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();
};

#endif
