#include "audioOpenSoundSystem.h"

#include "deviceFailure.h"

#include <fcntl.h>
#include <linux/soundcard.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <iostream>

namespace {

constexpr int eightBits = 8;
constexpr int mono = 0;
// A full device refuses a write once; a few refusals after poll reported room
// are tolerated, more would only spin.
constexpr int maxRefusalsInARow = 3;

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

// A failed call is the device refusing the rate; a different rate written
// back is one it set instead.
Configuration setSpeed(int device, int& rate)
{
    const int requested = rate;
    const bool failed = ioctl(device, SNDCTL_DSP_SPEED, &rate) == -1;
    if (!failed && rate == requested)
        return Configuration::done;
    reportStep(failed, "SNDCTL_DSP_SPEED", "SNDCTL_DSP_SPEED:can not set playing rate strictly.");
    printLabel("rate=", requested);
    if (failed)
        return Configuration::refusedRate;
    printLabel("result=", rate);
    return Configuration::failed;
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

bool OssBackEnd::open()
{
    device = ::open("/dev/dsp", O_WRONLY | O_NONBLOCK);
    return device != -1;
}

void OssBackEnd::reportOpenFailure(int error) const
{
    errno = error;
    std::perror("Can not open audio device.");
}

bool OssBackEnd::close()
{
    if (::close(device) == 0)
        return true;
    std::perror("can not close audio device.");
    return false;
}

Configuration OssBackEnd::configure(int& rate)
{
    if (!setSampleSize(device) || !setUnsigned8BitFormat(device) || !setMono(device))
        return Configuration::failed;
    return setSpeed(device, rate);
}

bool OssBackEnd::writeAll(const unsigned char* data, int size)
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
            return false;  // a real error, or a device that keeps refusing although poll reports room
        }
        if (size > 0 && !waitForRoom(device))
            return false;
    }
    return true;
}

void OssBackEnd::reset()
{
    ioctl(device, SNDCTL_DSP_RESET, 0);
}

int OssBackEnd::outputSpace()
{
    audio_buf_info space{};
    if (ioctl(device, SNDCTL_DSP_GETOSPACE, &space) == -1)
        failFatally("can not get no bloking output size of audio", errno);
    return space.bytes;
}

int OssBackEnd::fragmentSize()
{
    int size = 0;
    if (ioctl(device, SNDCTL_DSP_GETBLKSIZE, &size) == -1)
        failFatally("can not get fragment size.", errno);
    return size;
}

// OSS drains even a non-blocking device, but emulation layers over ALSA
// refuse with EAGAIN: the drain is then repeated with the device blocking.
bool OssBackEnd::drainBlocking()
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

void OssBackEnd::drain()
{
    if (ioctl(device, SNDCTL_DSP_SYNC, 0) == -1 && (errno != EAGAIN || !drainBlocking()))
        failFatally("can not sync audio dev", errno);
}

void OssBackEnd::post()
{
    if (ioctl(device, SNDCTL_DSP_POST, 0) == -1)
        failFatally("can not post audio dev", errno);
}

