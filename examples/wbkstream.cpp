// wbkstream: streams the samples of a bank in the background with KovaAudio
// while the main flow goes on printing progress. The first sample loops for
// a while, the second is queued to follow it seamlessly, and the rest play
// one after another, each at its own rate.
#include "KovaAudio.h"
#include "KovaInputStream.h"
#include "Pcm.h"
#include "visibleText.h"

#include <time.h>

#include <cstdlib>
#include <cstring>
#include <iomanip>
#include <iostream>
#include <memory>
#include <vector>

namespace {

constexpr int headerSize = 40;
constexpr long tickMilliseconds = 100;

volatile char writing = 0;
volatile char waiting = 0;

using Samples = std::vector<std::unique_ptr<Pcm>>;

Samples loadBank(const char* name)
{
    KovaInputStream wbk(name);
    char header[headerSize];
    wbk.read(header, headerSize);
    if (std::memcmp(header, "WBK", 3) != 0) {
        std::cerr << name << " is not a sound bank" << std::endl;
        std::exit(-1);
    }
    Samples samples;
    while (wbk.remaining() > 0) {
        const auto type = static_cast<unsigned char>(wbk.get());
        samples.push_back(std::make_unique<Pcm>(type, wbk));
    }
    return samples;
}

double secondsNow()
{
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return now.tv_sec + now.tv_nsec / 1e9;
}

// Sleeps one step, the way a busy main flow would carry on, and says how long
// it has been at it; the timer signal interrupts the sleep.
void progressStep(const char* what, double startedAt)
{
    timespec rest{0, tickMilliseconds * 1000000};
    while (nanosleep(&rest, &rest) != 0) {
    }
    std::cout << "\r" << what << " " << secondsNow() - startedAt << " s   " << std::flush;
}

void loopFor(const char* what, double seconds)
{
    const double startedAt = secondsNow();
    while (secondsNow() - startedAt < seconds)
        progressStep(what, startedAt);
    std::cout << std::endl;
}

// Waits for the writing byte to drop. A sample that fits the two fragments
// written at its start has already played when playAudio returns.
void waitForEnd(const char* what, double startedAt)
{
    while (writing != 0)
        progressStep(what, startedAt);
    std::cout << "\r" << what << " ended after " << secondsNow() - startedAt << " s" << std::endl;
}

void openDevice(int rate)
{
    if (!Audio::openAudioDevice()) {
        std::cout << "no audio device: the timer paces the samples without sound" << std::endl;
        Audio::disableAudio();
    }
    Audio::initializeAudioDevice(rate);
}

} // namespace

int main(int argc, char* argv[])
{
    if (argc < 2) {
        std::cerr << "Usage:" << argv[0] << " .wbk [seconds of looping]" << std::endl;
        return -1;
    }
    const Samples samples = loadBank(argv[1]);
    const double loopSeconds = argc > 2 ? std::atof(argv[2]) : 2;
    if (samples.empty()) {
        std::cout << "the bank holds no samples" << std::endl;
        return 0;
    }

    std::cout << std::fixed << std::setprecision(2);
    openDevice(samples[0]->getPcmRate());
    KovaAudio::prepareKovaAudio(&writing, &waiting);
    waiting = 1;  // drain the device before a sample counts as ended

    samples[0]->play(0, 1);
    loopFor("looping the first sample:", loopSeconds);
    if (samples.size() > 1) {
        samples[1]->que(0, 0);
        waitForEnd("the second sample, queued behind the loop:", secondsNow());
    } else {
        KovaAudio::resetAudio();
    }
    for (std::size_t k = 2; k < samples.size(); ++k) {
        KovaAudio::setSampleRate(samples[k]->getPcmRate());
        waiting = 1;
        const double startedAt = secondsNow();
        samples[k]->play(0, 0);
        waitForEnd(visibleText(samples[k]->getFileName(), 0).c_str(), startedAt);
    }
    KovaAudio::resetAudio();
    Audio::closeAudioDevice();
    return 0;
}
