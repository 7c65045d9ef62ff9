#include "KovaAudio.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <iostream>

namespace {

constexpr SAMPLE_DATA noSample{nullptr, -1, 0};
constexpr unsigned char silence = 128;

// Keeps SIGALRM from interrupting the main flow while it changes the records
// that the handler reads.
class AlarmBlock {
public:
    AlarmBlock()
    {
        sigset_t alarm;
        sigemptyset(&alarm);
        sigaddset(&alarm, SIGALRM);
        sigprocmask(SIG_BLOCK, &alarm, &previous);
    }
    ~AlarmBlock() { sigprocmask(SIG_SETMASK, &previous, nullptr); }
    AlarmBlock(const AlarmBlock&) = delete;
    AlarmBlock& operator=(const AlarmBlock&) = delete;

private:
    sigset_t previous;
};

// The handler interrupts the main flow anywhere, so it must not change errno.
class ErrnoKeeper {
public:
    ~ErrnoKeeper() { errno = saved; }

private:
    int saved = errno;
};

// A sample that can make progress: a looping sample needs at least one byte,
// or a tick would spin on it forever.
SAMPLE_DATA streamable(SAMPLE_DATA sample)
{
    const bool playable = sample.data != nullptr && sample.size >= 0 && !(sample.isLoop && sample.size == 0);
    return playable ? sample : noSample;
}

[[noreturn]] void failPrecondition(const char* condition)
{
    std::cerr << "KovaAudio: " << condition << " does not hold." << std::endl;
    std::exit(-1);
}

} // namespace

volatile char* KovaAudio::isAudioWriting = nullptr;
volatile char* KovaAudio::isAudioWaiting = nullptr;
SAMPLE_DATA KovaAudio::sampleData{};
SAMPLE_DATA KovaAudio::oldSampleData{};
SAMPLE_DATA KovaAudio::queSampleData{};
int KovaAudio::queChannel = -1;
int KovaAudio::fragmentSize = 0;
timeval KovaAudio::intervalOfWritingAudioData{};
std::unique_ptr<unsigned char[]> KovaAudio::nullSound;
struct sigaction KovaAudio::sigAction {};

void KovaAudio::prepareKovaAudio(volatile char* writingFlag, volatile char* waitingFlag)
{
    AlarmBlock block;
    isAudioWriting = writingFlag;
    isAudioWaiting = waitingFlag;
    resetAudioVariable();
    resetQueData();

    const int fragment = Audio::getFragmentSize();
    const int rate = Audio::getSampleRate();
    if (rate <= 0)
        failPrecondition("sampleRate>0");
    if (fragment <= 0)
        failPrecondition("fragmentSize>0");
    fragmentSize = fragment;

    // A little shorter than one fragment's playing time, so that the ticks
    // keep ahead of the device; surplus ticks find no room and write nothing.
    intervalOfWritingAudioData.tv_sec = fragment / rate;
    intervalOfWritingAudioData.tv_usec = (fragment % rate) * (1000000 / rate - 1);
    if (intervalOfWritingAudioData.tv_usec < 0 ||
        (intervalOfWritingAudioData.tv_sec == 0 && intervalOfWritingAudioData.tv_usec == 0))
        failPrecondition("a timer period>0");

    sigAction = {};
    sigAction.sa_handler = writeAudioData;
    sigemptyset(&sigAction.sa_mask);
    sigAction.sa_flags = SA_RESTART;

    nullSound = std::make_unique<unsigned char[]>(fragment);
    std::memset(nullSound.get(), silence, fragment);
}

void KovaAudio::playAudio(SAMPLE_DATA pcmData, int)
{
    AlarmBlock block;
    offAudioTimer();
    sampleData = oldSampleData = streamable(pcmData);
    if (sampleData.data == nullptr) {
        *isAudioWriting = 0;
        return;
    }
    // A sample given while another streams takes its place: priming writes
    // only what the device has room for, and the timer carries on.
    writeAudioData(SIGALRM);
    writeAudioData(SIGALRM);
    if (sampleData.data != nullptr) {
        *isAudioWriting = static_cast<char>(0xFF);
        setAudioTimerOn();
    }
}

void KovaAudio::queAudioData(SAMPLE_DATA pcmData, int channel)
{
    AlarmBlock block;
    queSampleData = streamable(pcmData);
    queChannel = queSampleData.data != nullptr ? channel : -1;
}

void KovaAudio::offAudioTimer()
{
    const itimerval off{};
    setitimer(ITIMER_REAL, &off, nullptr);
}

void KovaAudio::setAudioTimerOn()
{
    sigaction(SIGALRM, &sigAction, nullptr);
    const itimerval timer{intervalOfWritingAudioData, intervalOfWritingAudioData};
    setitimer(ITIMER_REAL, &timer, nullptr);
}

int KovaAudio::setSampleRate(long rate)
{
    AlarmBlock block;
    offAudioTimer();
    resetAudioVariable();
    resetQueData();
    if (!Audio::setRate(rate))
        return 0;
    prepareKovaAudio(isAudioWriting, isAudioWaiting);
    return 1;
}

void KovaAudio::stopAudio(int)
{
    AlarmBlock block;
    const int rate = Audio::getSampleRate();
    Audio::resetAudioDevice();
    Audio::initializeAudioDevice(rate);
    resetAudioVariable();
    resetQueData();
}

void KovaAudio::resetAudio()
{
    offAudioTimer();
    stopAudio(255);
}

void KovaAudio::resetAudioVariable()
{
    sampleData = oldSampleData = noSample;
    *isAudioWriting = 0;
    *isAudioWaiting = 0;
}

void KovaAudio::resetQueData()
{
    queSampleData = noSample;
    queChannel = -1;
}

// The SIGALRM handler, also called directly to prime the device.
void KovaAudio::writeAudioData(int sig)
{
    ErrnoKeeper keepErrno;
    setInsideSignalHandler(true);
    tick(sig);
    setInsideSignalHandler(false);
}

// One tick: hands exactly one fragment to the device when it has room for it.
void KovaAudio::tick(int sig)
{
    SAMPLE_DATA& current = sampleData;
    if (current.data == nullptr) {
        offAudioTimer();
        return;
    }
    const int fragment = fragmentSize;
    if (Audio::getNoBlockingSize() >= fragment) {
        if (current.size > fragment) {
            Audio::play(current.data, fragment);
            current.data += fragment;
            current.size -= fragment;
        } else {
            int written = 0;
            if (queSampleData.data != nullptr) {
                Audio::play(current.data, current.size);
                written = current.size;
                current = oldSampleData = queSampleData;
                resetQueData();
            }
            if (current.isLoop) {
                writeLoopingPasses(written);
            } else if (current.size > fragment - written) {
                const int count = fragment - written;
                Audio::play(current.data, count);
                current.data += count;
                current.size -= count;
            } else {
                endSample(written);
                return;
            }
        }
    }
    sigaction(sig, &sigAction, nullptr);
}

// Fills the rest of the fragment with passes of a looping sample, the last
// pass cut at the fragment's end and continued by the next tick.
void KovaAudio::writeLoopingPasses(int written)
{
    SAMPLE_DATA& current = sampleData;
    while (written < fragmentSize) {
        const int need = fragmentSize - written;
        if (current.size >= need) {
            Audio::play(current.data, need);
            current.data += need;
            current.size -= need;
            return;
        }
        Audio::play(current.data, current.size);
        written += current.size;
        current.data = oldSampleData.data;
        current.size = oldSampleData.size;
    }
}

// The last bytes of the sample, silence up to the fragment's end, an optional
// drain, and the writing byte cleared.
void KovaAudio::endSample(int written)
{
    SAMPLE_DATA& current = sampleData;
    offAudioTimer();
    Audio::play(current.data, current.size);
    written += current.size;
    Audio::play(nullSound.get(), fragmentSize - written);
    if (*isAudioWaiting)
        Audio::sync();
    current = oldSampleData = noSample;
    *isAudioWriting = 0;
}
