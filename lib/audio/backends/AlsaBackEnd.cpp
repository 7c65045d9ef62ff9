#include "AlsaBackEnd.h"

#include "deviceFailure.h"

#include <alsa/asoundlib.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <iostream>

namespace {

// About half a second of sound in four periods: the streamer writes one
// period per timer tick and keeps up to the whole buffer queued.
constexpr unsigned int bufferMicroseconds = 500000;
constexpr unsigned int periodsPerBuffer = 4;
// A device that has taken no frame after this many waits and recoveries in a
// row will not take any more, as a sound server that has gone away: each
// further recovery would only spin, and with some servers allocate.
constexpr int maxStallsInARow = 3;

// libasound prints its own errors unless told not to; this back end reports
// every failure itself.
void ignoreLibraryError(const char*, int, const char*, int, const char*, ...) {}

// One line naming the step and libasound's reason for `error` (negative).
Configuration reportFailure(const char* step, int error)
{
    std::cerr << "ALSA: " << step << ": " << snd_strerror(error) << '\n';
    return Configuration::failed;
}

} // namespace

bool AlsaBackEnd::open()
{
    snd_lib_error_set_handler(ignoreLibraryError);
    if (pcm != nullptr)
        close();
    stallsInARow = 0;
    const int error = snd_pcm_open(&pcm, pcmName.c_str(), SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK);
    if (error == 0)
        return true;
    pcm = nullptr;
    errno = -error;
    return false;
}

void AlsaBackEnd::reportOpenFailure(int error) const
{
    std::cerr << "Can not open ALSA device \"" << pcmName << "\": " << snd_strerror(-error)
              << " (choose one with WBK_AUDIO=alsa:NAME, or WBK_AUDIO=oss for /dev/dsp only)\n";
}

bool AlsaBackEnd::close()
{
    const int error = pcm != nullptr ? snd_pcm_close(pcm) : -EBADF;
    pcm = nullptr;
    if (error == 0)
        return true;
    errno = -error;
    std::perror("can not close audio device.");
    return false;
}

Configuration AlsaBackEnd::configure(int& rate)
{
    if (pcm == nullptr)
        return reportFailure("can not configure the device", -EBADF);
    snd_pcm_hw_params_t* params = nullptr;
    snd_pcm_hw_params_alloca(&params);
    int error = snd_pcm_hw_params_any(pcm, params);
    if (error < 0)
        return reportFailure("can not read the device's settings", error);
    if ((error = snd_pcm_hw_params_set_access(pcm, params, SND_PCM_ACCESS_RW_INTERLEAVED)) < 0)
        return reportFailure("can not set interleaved writes", error);
    if ((error = snd_pcm_hw_params_set_format(pcm, params, SND_PCM_FORMAT_U8)) < 0)
        return reportFailure("can not set unsigned 8-bit samples", error);
    if ((error = snd_pcm_hw_params_set_channels(pcm, params, 1)) < 0)
        return reportFailure("can not set mono", error);
    const int requested = rate;
    unsigned int actual = requested > 0 ? static_cast<unsigned int>(requested) : 0;
    if ((error = snd_pcm_hw_params_set_rate_near(pcm, params, &actual, nullptr)) < 0) {
        reportFailure("can not set the playing rate", error);
        printLabel("rate=", requested);
        return Configuration::refusedRate;
    }
    // Preferences only: a device that cannot follow them keeps its own.
    unsigned int bufferTime = bufferMicroseconds;
    unsigned int periods = periodsPerBuffer;
    snd_pcm_hw_params_set_buffer_time_near(pcm, params, &bufferTime, nullptr);
    snd_pcm_hw_params_set_periods_near(pcm, params, &periods, nullptr);
    if ((error = snd_pcm_hw_params(pcm, params)) < 0)
        return reportFailure("can not configure the device", error);

    // As with OSS, the device plays at the rate it chose, and the caller
    // learns that it differs.
    rate = static_cast<int>(actual);
    if (rate == requested)
        return Configuration::done;
    std::cerr << "ALSA: can not set playing rate strictly.\n";
    printLabel("rate=", requested);
    printLabel("result=", rate);
    return Configuration::failed;
}

bool AlsaBackEnd::writeAll(const unsigned char* data, int size)
{
    if (pcm == nullptr) {
        errno = EBADF;
        return false;
    }
    while (size > 0) {
        const snd_pcm_sframes_t written = snd_pcm_writei(pcm, data, size);
        if (written > 0) {
            data += written;
            size -= static_cast<int>(written);
            stallsInARow = 0;
            continue;
        }
        const int error = written == 0 ? -EAGAIN : static_cast<int>(written);
        if (!stall(error)) {
            errno = -error;
            return false;
        }
    }
    return true;
}

// Readies a device that took no frame (`error`, negative, tells why): waits
// for room when it is full, recovers from an underrun or a suspend. False
// when it failed otherwise, or has stalled too often in a row.
bool AlsaBackEnd::stall(int error)
{
    if (++stallsInARow > maxStallsInARow)
        return false;
    if (error != -EAGAIN)
        return snd_pcm_recover(pcm, error, 1) == 0;
    // A failed wait is left to the next write, which tells what went wrong.
    snd_pcm_wait(pcm, -1);
    return true;
}

void AlsaBackEnd::reset()
{
    if (pcm == nullptr)
        return;
    snd_pcm_drop(pcm);
    snd_pcm_prepare(pcm);
}

int AlsaBackEnd::outputSpace()
{
    snd_pcm_sframes_t room = pcm != nullptr ? snd_pcm_avail(pcm) : -EBADF;
    // After an underrun the device starts again with an empty buffer.
    if ((room == -EPIPE || room == -ESTRPIPE) && stall(static_cast<int>(room)))
        room = snd_pcm_avail(pcm);
    if (room < 0)
        failFatally("can not get no bloking output size of audio", static_cast<int>(-room));
    return room > INT_MAX ? INT_MAX : static_cast<int>(room);
}

int AlsaBackEnd::fragmentSize()
{
    snd_pcm_uframes_t buffer = 0;
    snd_pcm_uframes_t period = 0;
    const int error = pcm != nullptr ? snd_pcm_get_params(pcm, &buffer, &period) : -EBADF;
    if (error < 0)
        failFatally("can not get fragment size.", -error);
    return period > INT_MAX ? INT_MAX : static_cast<int>(period);
}

// Waits until everything written has been played, then leaves the device
// ready for more, as an OSS drain does.
void AlsaBackEnd::drain()
{
    if (pcm == nullptr)
        failFatally("can not sync audio dev", EBADF);
    int error = 0;
    const snd_pcm_state_t state = snd_pcm_state(pcm);
    if (state == SND_PCM_STATE_RUNNING || state == SND_PCM_STATE_PREPARED) {
        snd_pcm_nonblock(pcm, 0);
        error = snd_pcm_drain(pcm);
        snd_pcm_nonblock(pcm, 1);
    }
    // An underrun means that everything has been played.
    if (error == 0 || error == -EPIPE)
        error = snd_pcm_prepare(pcm);
    if (error < 0)
        failFatally("can not sync audio dev", -error);
}

// Starts a device that holds sound but has not started playing.
void AlsaBackEnd::post()
{
    if (pcm == nullptr)
        failFatally("can not post audio dev", EBADF);
    if (snd_pcm_state(pcm) != SND_PCM_STATE_PREPARED)
        return;
    const int error = snd_pcm_start(pcm);
    // Nothing queued: there is nothing to start.
    if (error < 0 && error != -EPIPE)
        failFatally("can not post audio dev", -error);
}
