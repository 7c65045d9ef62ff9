// streamdriver: runs KovaAudio through a list of steps given as arguments and
// prints what the caller's bytes show after each, for the streaming tests.
//   disable | open | close | init=RATE | prepare | waiting=0|1 | play=SIZE[,loop]
//   que=SIZE[,loop] | wait | sleep=MS | churn=MS | stop | reset | rate=RATE
#include "KovaAudio.h"
#include "samplePattern.h"

#include <time.h>

#include <cstdlib>
#include <cstring>
#include <iostream>
#include <list>
#include <string>
#include <vector>

namespace {

volatile char writing = 0;
volatile char waiting = 0;
std::list<std::string> samples;  // stable addresses while streamed

SAMPLE_DATA nextSample(const std::string& value)
{
    const int size = std::atoi(value.c_str());
    const bool loop = value.find(",loop") != std::string::npos;
    samples.push_back(samplePattern(static_cast<int>(samples.size()), size));
    return {reinterpret_cast<const unsigned char*>(samples.back().data()), size, loop};
}

void sleepMilliseconds(long ms)
{
    timespec time{ms / 1000, (ms % 1000) * 1000000};
    while (nanosleep(&time, &time) != 0) {
    }
}

long millisecondsSince(const timespec& start)
{
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return (now.tv_sec - start.tv_sec) * 1000 + (now.tv_nsec - start.tv_nsec) / 1000000;
}

// Allocates and frees blocks of many sizes for `ms` milliseconds, so that the
// streamer's ticks come while the main flow is inside malloc and free.
void churnMemory(long ms)
{
    timespec start;
    clock_gettime(CLOCK_MONOTONIC, &start);
    std::vector<std::vector<char>> blocks(64);
    for (std::size_t i = 0; millisecondsSince(start) < ms; ++i)
        blocks[i % blocks.size()] = std::vector<char>(16 + i * 7919 % 65536);
}

// Waits for the writing byte to drop, for ten seconds at most.
void waitForEnd()
{
    for (int i = 0; i < 10000 && writing != 0; ++i)
        sleepMilliseconds(1);
}

void printInterval()
{
    const timeval interval = KovaAudio::getIntervalOfWritingAudioData();
    std::cout << "interval=" << interval.tv_sec << "s" << interval.tv_usec << "us\n";
}

void step(const std::string& name, const std::string& value)
{
    if (name == "disable")
        KovaAudio::disableAudio();
    else if (name == "open")
        std::cout << "open=" << KovaAudio::openAudioDevice() << '\n';
    else if (name == "close")
        std::cout << "close=" << KovaAudio::closeAudioDevice() << '\n';
    else if (name == "init")
        std::cout << "init=" << KovaAudio::initializeAudioDevice(std::atoi(value.c_str())) << '\n';
    else if (name == "prepare") {
        KovaAudio::prepareKovaAudio(&writing, &waiting);
        printInterval();
    } else if (name == "waiting")
        waiting = static_cast<char>(std::atoi(value.c_str()));
    else if (name == "play")
        KovaAudio::playAudio(nextSample(value), 0);
    else if (name == "que")
        KovaAudio::queAudioData(nextSample(value), 0);
    else if (name == "wait")
        waitForEnd();
    else if (name == "sleep")
        sleepMilliseconds(std::atol(value.c_str()));
    else if (name == "churn")
        churnMemory(std::atol(value.c_str()));
    else if (name == "stop")
        KovaAudio::stopAudio(0);
    else if (name == "reset")
        KovaAudio::resetAudio();
    else if (name == "rate") {
        std::cout << "rate=" << KovaAudio::setSampleRate(std::atol(value.c_str())) << '\n';
        printInterval();
    } else {
        std::cerr << "unknown step " << name << '\n';
        std::exit(2);
    }
}

} // namespace

int main(int argc, char* argv[])
{
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const std::size_t equals = arg.find('=');
        const std::string name = arg.substr(0, equals);
        step(name, equals == std::string::npos ? "" : arg.substr(equals + 1));
        std::cout << name << " writing=" << (writing & 0xFF) << std::endl;
    }
    return 0;
}
