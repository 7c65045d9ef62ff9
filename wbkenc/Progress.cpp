#include "Progress.h"

#include <unistd.h>

#include <cstdio>

Progress::Progress() : enabled(isatty(STDERR_FILENO)) {}

void Progress::show(std::int64_t done, std::int64_t total)
{
    if (!enabled || total <= 0 || std::chrono::steady_clock::now() - start < std::chrono::seconds(1))
        return;
    const int percent = static_cast<int>(100 * done / total);
    if (percent == lastPercent)
        return;
    lastPercent = percent;
    shown = true;
    std::fprintf(stderr, "\rwbkenc: %3d%%", percent);
    std::fflush(stderr);
}

void Progress::erase()
{
    if (shown)
        std::fprintf(stderr, "\r            \r");
    shown = false;
}
