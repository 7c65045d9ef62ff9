#include "audioOpenSoundSystem.h"

#include <fcntl.h>
#include <linux/soundcard.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <iostream>

namespace oss {

namespace {

constexpr int eightBits = 8;
constexpr int mono = 0;
// A full device refuses a write once; a few refusals after poll reported room
// are tolerated, more would only spin.
constexpr int maxRefusalsInARow = 3;

void printLabel(const char* label, int value)
{
    std::cerr << label << value << '\n';
}

// A control that failed is reported through perror, one that set another
// value than asked for as a plain line.
void reportStep(bool callFailed, const char* systemText, const char* plainText)
{
    if (callFailed)
        std::perror(systemText);
    else
        std::cerr << plainText << '\n';
}

bool setSampleSize(int device)
{
    int bitPerSample = eightBits;
    const bool failed = ioctl(device, SNDCTL_DSP_SAMPLESIZE, &bitPerSample) == -1;
    if (!failed && bitPerSample == eightBits)
        return true;
    reportStep(failed, "Unable to set audio smaple size. SNDCTL_DSP_SAMPLESIZE.", "Unable to set audio sample size.");
    printLabel("bitPerSample=", eightBits);
    printLabel("result=", bitPerSample);
    return false;
}

bool setUnsigned8BitFormat(int device)
{
    int format = AFMT_U8;
    const bool failed = ioctl(device, SNDCTL_DSP_SETFMT, &format) == -1;
    if (!failed && format == AFMT_U8)
        return true;
    reportStep(failed, "Unbale to set audio format. ANDCTL_DSP_SETFMT.", "Unbale to set audio format. SNDCTL_DSP_SETFMT.");
    return false;
}

bool setMono(int device)
{
    int channel = mono;
    if (ioctl(device, SNDCTL_DSP_STEREO, &channel) == -1) {
        std::perror("Unable to set Mono/Stereo.");
        printLabel("channel=", channel);
        return false;
    }
    if (channel == mono)
        return true;
    std::cerr << "Unable to set Mono/Stereo.\n";
    printLabel("channel=", mono);
    printLabel("result=", channel);
    return false;
}

bool setSpeed(int device, int& rate)
{
    const int requested = rate;
    const bool failed = ioctl(device, SNDCTL_DSP_SPEED, &rate) == -1;
    if (!failed && rate == requested)
        return true;
    reportStep(failed, "SNDCTL_DSP_SPEED", "SNDCTL_DSP_SPEED:can not set playing rate strictly.");
    printLabel("rate=", requested);
    if (!failed)
        printLabel("result=", rate);
    return false;
}

volatile sig_atomic_t insideSignalHandler = 0;

// perror and exit(-1). Inside the streamer's SIGALRM handler only
// async-signal-safe calls are made, so buffered standard output is then not
// flushed.
[[noreturn]] void failFatally(const char* prefix)
{
    if (!insideSignalHandler) {
        std::perror(prefix);
        std::exit(-1);
    }
    const char* reason = strerrordesc_np(errno);
    char message[256] = "";
    for (const char* part : {prefix, ": ", reason ? reason : "Unknown error", "\n"})
        std::strncat(message, part, sizeof message - std::strlen(message) - 1);
    [[maybe_unused]] const ssize_t written = ::write(STDERR_FILENO, message, std::strlen(message));
    _exit(-1);
}

// Waits until the device can take more bytes; false when it never will.
// Any wake-up without an error counts as room: emulation layers do not
// always report POLLOUT, and the next write finds out anyway.
bool waitForRoom(int device)
{
    pollfd request{device, POLLOUT, 0};
    for (;;) {
        const int ready = poll(&request, 1, -1);
        if (ready > 0)
            return (request.revents & (POLLERR | POLLHUP | POLLNVAL)) == 0;
        if (ready == -1 && errno != EINTR)
            return false;
    }
}

} // namespace

void reportFromSignalHandler(bool inside)
{
    insideSignalHandler = inside;
}

int openDevice()
{
    const int device = open("/dev/dsp", O_WRONLY | O_NONBLOCK);
    if (device == -1) {
        // perror may change errno (it does when stderr is a pipe), and the
        // caller reports the same failure again.
        const int error = errno;
        std::perror("Can not open audio device.");
        errno = error;
    }
    return device;
}

bool closeDevice(int device)
{
    if (close(device) == 0)
        return true;
    std::perror("can not close audio device.");
    return false;
}

bool configure(int device, int& rate)
{
    return setSampleSize(device) && setUnsigned8BitFormat(device) && setMono(device) && setSpeed(device, rate);
}

void writeAll(int device, const unsigned char* data, int size)
{
    int refusalsInARow = 0;
    while (size > 0) {
        const ssize_t written = ::write(device, data, size);
        if (written == -1 && errno == EINTR)
            continue;
        if (written > 0) {
            data += written;
            size -= written;
            refusalsInARow = 0;
        } else if (written == -1 && errno == EAGAIN && refusalsInARow < maxRefusalsInARow) {
            ++refusalsInARow;
        } else {
            return;  // a real error, or a device that keeps refusing although poll reports room
        }
        if (size > 0 && !waitForRoom(device))
            return;
    }
}

void reset(int device)
{
    ioctl(device, SNDCTL_DSP_RESET, 0);
}

int outputSpace(int device)
{
    audio_buf_info space{};
    if (ioctl(device, SNDCTL_DSP_GETOSPACE, &space) == -1)
        failFatally("can not get no bloking output size of audio");
    return space.bytes;
}

int fragmentSize(int device)
{
    int size = 0;
    if (ioctl(device, SNDCTL_DSP_GETBLKSIZE, &size) == -1)
        failFatally("can not get fragment size.");
    return size;
}

// OSS drains even a non-blocking device, but emulation layers over ALSA
// refuse with EAGAIN: the drain is then repeated with the device blocking.
bool drainBlocking(int device)
{
    const int flags = fcntl(device, F_GETFL);
    if (flags == -1 || fcntl(device, F_SETFL, flags & ~O_NONBLOCK) == -1)
        return false;
    const bool drained = ioctl(device, SNDCTL_DSP_SYNC, 0) != -1;
    const int error = errno;
    fcntl(device, F_SETFL, flags);
    errno = error;
    return drained;
}

void drain(int device)
{
    if (ioctl(device, SNDCTL_DSP_SYNC, 0) == -1 && (errno != EAGAIN || !drainBlocking(device)))
        failFatally("can not sync audio dev");
}

void post(int device)
{
    if (ioctl(device, SNDCTL_DSP_POST, 0) == -1)
        failFatally("can not post audio dev");
}

} // namespace oss
