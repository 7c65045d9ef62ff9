#include "KovaAudio.h"

#include "AllSignalsBlocked.h"
#include "backends/deviceFailure.h"

#include <sys/timerfd.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <mutex>
#include <thread>

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

// Held by the feeder thread while it ticks, and by the main flow while it
// changes the records that a tick reads. Recursive: set-up runs inside a
// rate change, and a fatal report under it ends the process through the
// feeder's destructor.
std::recursive_mutex feedLock;

// Keeps ticks, from the handler and from the feeder thread alike, away from
// the records while the main flow changes them.
class TickGuard {
private:
    AlarmBlock block;
    std::lock_guard<std::recursive_mutex> lock{feedLock};
};

// The thread that ticks for a device that must not be driven from a signal
// handler, woken by a timer descriptor as the interval timer would raise
// SIGALRM. Made at its first arming, it lasts until the process ends.
class Feeder {
public:
    Feeder()
    {
        if (timer == -1)
            failFatally("can not create the audio feeder's timer", errno);
        // The thread takes no signals: those of the process stay with the main flow.
        const AllSignalsBlocked blocked;
        thread = std::thread(&Feeder::run, this);
    }

    // At the end of the process: lets a tick in progress end and starts no
    // other. The thread is not joined, since the main flow may end the
    // process while it holds the lock that the thread waits for.
    ~Feeder()
    {
        std::lock_guard<std::recursive_mutex> lock(feedLock);
        stopping = true;
        thread.detach();
    }
    Feeder(const Feeder&) = delete;
    Feeder& operator=(const Feeder&) = delete;

    void arm(const timeval& period, void (*onTick)())
    {
        tick = onTick;
        const timespec every{period.tv_sec, period.tv_usec * 1000L};
        const itimerspec setting{every, every};
        timerfd_settime(timer, 0, &setting, nullptr);
        armed = true;
    }

    void disarm()
    {
        armed = false;
        const itimerspec off{};
        timerfd_settime(timer, 0, &off, nullptr);
    }

private:
    void run()
    {
        for (;;) {
            std::uint64_t expirations = 0;
            [[maybe_unused]] const ssize_t got = read(timer, &expirations, sizeof expirations);
            std::lock_guard<std::recursive_mutex> lock(feedLock);
            if (stopping)
                return;
            if (armed)
                tick();
        }
    }

    const int timer = timerfd_create(CLOCK_MONOTONIC, TFD_CLOEXEC);
    void (*tick)() = nullptr;
    std::atomic<bool> armed{false};
    bool stopping = false;
    std::thread thread;
};

bool isFeederMade = false;

Feeder& feeder()
{
    static Feeder instance;
    isFeederMade = true;
    return instance;
}

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
    TickGuard guard;
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
    TickGuard guard;
    offAudioTimer();
    sampleData = oldSampleData = streamable(pcmData);
    if (sampleData.data == nullptr) {
        *isAudioWriting = 0;
        return;
    }
    // A sample given while another streams takes its place: priming writes
    // only what the device has room for, and the timer carries on.
    prime();
    prime();
    if (sampleData.data != nullptr) {
        *isAudioWriting = static_cast<char>(0xFF);
        setAudioTimerOn();
    }
}

void KovaAudio::queAudioData(SAMPLE_DATA pcmData, int channel)
{
    TickGuard guard;
    queSampleData = streamable(pcmData);
    queChannel = queSampleData.data != nullptr ? channel : -1;
}

void KovaAudio::offAudioTimer()
{
    const itimerval off{};
    setitimer(ITIMER_REAL, &off, nullptr);
    if (isFeederMade)
        feeder().disarm();
}

void KovaAudio::setAudioTimerOn()
{
    if (!Audio::isSignalSafe()) {
        feeder().arm(intervalOfWritingAudioData, feed);
        return;
    }
    sigaction(SIGALRM, &sigAction, nullptr);
    const itimerval timer{intervalOfWritingAudioData, intervalOfWritingAudioData};
    setitimer(ITIMER_REAL, &timer, nullptr);
}

int KovaAudio::setSampleRate(long rate)
{
    TickGuard guard;
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
    TickGuard guard;
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

// A tick from the main flow before the timer is armed: through the handler
// where that drives the device, directly otherwise.
void KovaAudio::prime()
{
    if (Audio::isSignalSafe())
        writeAudioData(SIGALRM);
    else
        tick();
}

// The SIGALRM handler, also called directly to prime the device. A device
// that must not be driven from a handler is left to the feeder thread.
void KovaAudio::writeAudioData(int sig)
{
    if (!Audio::isSignalSafe())
        return;
    ErrnoKeeper keepErrno;
    setInsideStreamer(true);
    if (tick())
        sigaction(sig, &sigAction, nullptr);
    setInsideStreamer(false);
}

// One tick in the feeder thread.
void KovaAudio::feed()
{
    setInsideStreamer(true);
    tick();
    setInsideStreamer(false);
}

// One tick: hands exactly one fragment to the device when it has room for
// it. True while the sample goes on.
bool KovaAudio::tick()
{
    SAMPLE_DATA& current = sampleData;
    if (current.data == nullptr) {
        offAudioTimer();
        return false;
    }
    const int fragment = fragmentSize;
    if (Audio::getNoBlockingSize() < fragment)
        return true;
    if (current.size > fragment) {
        hand(fragment);
        return true;
    }
    int written = 0;
    if (queSampleData.data != nullptr) {
        written = current.size;
        hand(current.size);
        current = oldSampleData = queSampleData;
        resetQueData();
    }
    if (current.isLoop) {
        writeLoopingPasses(written);
    } else if (current.size > fragment - written) {
        hand(fragment - written);
    } else {
        endSample(written);
        return false;
    }
    return true;
}

// Hands the next `count` bytes of the current sample to the device.
void KovaAudio::hand(int count)
{
    writeToDevice(sampleData.data, count);
    sampleData.data += count;
    sampleData.size -= count;
}

// Over /dev/dsp a write's result is not examined; a refused write to a
// device that the feeder thread drives ends the process, as a failed query
// does, rather than leaving the sample to spin on a dead device.
void KovaAudio::writeToDevice(const unsigned char* data, int size)
{
    if (!Audio::play(data, size) && !Audio::isSignalSafe())
        failFatally("can not write to audio device", errno);
}

// Fills the rest of the fragment with passes of a looping sample, the last
// pass cut at the fragment's end and continued by the next tick.
void KovaAudio::writeLoopingPasses(int written)
{
    SAMPLE_DATA& current = sampleData;
    while (written < fragmentSize) {
        const int need = fragmentSize - written;
        if (current.size >= need) {
            hand(need);
            return;
        }
        written += current.size;
        hand(current.size);
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
    written += current.size;
    hand(current.size);
    writeToDevice(nullSound.get(), fragmentSize - written);
    if (*isAudioWaiting)
        Audio::sync();
    current = oldSampleData = noSample;
    *isAudioWriting = 0;
}
