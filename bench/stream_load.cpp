// stream_load: streams a looping sample with KovaAudio for a number of
// seconds while the main flow either computes or sleeps, then prints the
// wall time and the process's CPU time. Run it on the simulated device
// playing in real time to count underruns (see bench/run.sh).
#include "KovaAudio.h"

#include <sys/resource.h>
#include <time.h>

#include <cstdlib>
#include <cstring>
#include <iostream>
#include <vector>

namespace {

volatile char writing = 0;
volatile char waiting = 0;
volatile unsigned long sink = 0;

double seconds(const timespec& time) { return time.tv_sec + time.tv_nsec / 1e9; }

double now()
{
    timespec time;
    clock_gettime(CLOCK_MONOTONIC, &time);
    return seconds(time);
}

double cpuSeconds()
{
    rusage usage;
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_utime.tv_usec / 1e6 + usage.ru_stime.tv_sec +
           usage.ru_stime.tv_usec / 1e6;
}

// Work that never yields: the ticks must interrupt it.
void compute(double until)
{
    unsigned long x = 1;
    while (now() < until) {
        for (int i = 0; i < 100000; ++i)
            x = x * 6364136223846793005UL + 1442695040888963407UL;
        sink = x;
    }
}

void sleepUntil(double until)
{
    for (double left; (left = until - now()) > 0;) {
        timespec rest{static_cast<time_t>(left), static_cast<long>((left - static_cast<time_t>(left)) * 1e9)};
        nanosleep(&rest, nullptr);
    }
}

} // namespace

int main(int argc, char* argv[])
{
    if (argc != 3 || (std::strcmp(argv[2], "busy") != 0 && std::strcmp(argv[2], "idle") != 0)) {
        std::cerr << "Usage:" << argv[0] << " seconds busy|idle" << std::endl;
        return -1;
    }
    const double duration = std::atof(argv[1]);
    const int rate = 16540;
    if (!Audio::openAudioDevice() || !Audio::initializeAudioDevice(rate))
        return -1;
    KovaAudio::prepareKovaAudio(&writing, &waiting);

    std::vector<unsigned char> tone(rate);
    for (std::size_t i = 0; i < tone.size(); ++i)
        tone[i] = static_cast<unsigned char>(128 + (i % 64) - 32);

    const double start = now();
    const double cpuStart = cpuSeconds();
    KovaAudio::playAudio({tone.data(), static_cast<int>(tone.size()), 1}, 0);
    if (std::strcmp(argv[2], "busy") == 0)
        compute(start + duration);
    else
        sleepUntil(start + duration);
    KovaAudio::resetAudio();
    const double wall = now() - start;
    const double cpu = cpuSeconds() - cpuStart;
    Audio::closeAudioDevice();
    std::cout << argv[2] << ": wall " << wall << " s, cpu " << cpu << " s (" << 100 * cpu / wall << " %)"
              << std::endl;
    return 0;
}
