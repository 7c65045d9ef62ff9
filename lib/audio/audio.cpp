#include "audio.h"

#include "backends/audioOpenSoundSystem.h"
#include "backends/deviceFailure.h"
#ifdef WBK_WITH_ALSA
#include "backends/AlsaBackEnd.h"
#endif

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <iostream>

namespace {

// What the queries answer while audio is disabled.
constexpr int nominalFragmentSize = 8192;
constexpr int nominalOutputSpace = 8192;
constexpr int nominalSampleRate = 16384;

OssBackEnd oss;
#ifdef WBK_WITH_ALSA
AlsaBackEnd alsa;
#endif

// An open that failed, reported with the errno it left.
AudioBackEnd* reportFailedOpen(const AudioBackEnd& backEnd)
{
    const int error = errno;
    backEnd.reportOpenFailure(error);
    errno = error;
    return nullptr;
}

AudioBackEnd* openOrReport(AudioBackEnd& backEnd)
{
    return backEnd.open() ? &backEnd : reportFailedOpen(backEnd);
}

// Without WBK_AUDIO: /dev/dsp, or ALSA's "default" where the system has no
// /dev/dsp. When both fail, both are reported, and errno tells why /dev/dsp
// could not be opened.
AudioBackEnd* openDefault()
{
    if (oss.open())
        return &oss;
#ifdef WBK_WITH_ALSA
    const int ossError = errno;
    if (ossError == ENOENT || ossError == ENODEV || ossError == ENXIO) {
        alsa.choosePcm("default");
        if (alsa.open())
            return &alsa;
        const int alsaError = errno;
        oss.reportOpenFailure(ossError);
        alsa.reportOpenFailure(alsaError);
        errno = ossError;
        return nullptr;
    }
#endif
    return reportFailedOpen(oss);
}

AudioBackEnd* refuseChoice(const char* choice, const char* reason, int error)
{
    std::cerr << "WBK_AUDIO=" << choice << ": " << reason << '\n';
    errno = error;
    return nullptr;
}

// WBK_AUDIO: "oss" (/dev/dsp only), "alsa" (ALSA's "default") or "alsa:PCM";
// unset or empty, the default above.
AudioBackEnd* openChosen()
{
    const char* choice = std::getenv("WBK_AUDIO");
    if (choice == nullptr || *choice == '\0')
        return openDefault();
    if (std::strcmp(choice, "oss") == 0)
        return openOrReport(oss);
    const bool alsaDefault = std::strcmp(choice, "alsa") == 0;
    if (!alsaDefault && (std::strncmp(choice, "alsa:", 5) != 0 || choice[5] == '\0'))
        return refuseChoice(choice, "unknown sound system (use oss, alsa or alsa:PCM)", EINVAL);
#ifdef WBK_WITH_ALSA
    alsa.choosePcm(alsaDefault ? "default" : choice + 5);
    return openOrReport(alsa);
#else
    return refuseChoice(choice, "this build has no ALSA support", ENOTSUP);
#endif
}

// Made at the first successful open; reopening for a new rate keeps it.
bool isBackEndChosen = false;

} // namespace

AudioBackEnd* Audio::audio = &oss;
int Audio::sampleRate = 16540;
int Audio::isDeviceOpened = 0;
int Audio::isAudioDisabled = 0;
int Audio::rateRefused = 0;

int Audio::openAudioDevice()
{
    if (isAudioDisabled)
        return 1;
    AudioBackEnd* opened = isBackEndChosen ? openOrReport(*audio) : openChosen();
    if (opened == nullptr)
        return 0;
    audio = opened;
    isBackEndChosen = true;
    isDeviceOpened = 1;
    return 1;
}

int Audio::closeAudioDevice()
{
    if (isAudioDisabled)
        return 1;
    if (!audio->close())
        return 0;
    isDeviceOpened = 0;
    return 1;
}

int Audio::initializeAudioDevice(int rate)
{
    rateRefused = 0;
    if (isAudioDisabled)
        return 1;
    if (!isDeviceOpened) {
        printErrorDeviceIsNotOpened();
        return 0;
    }
    sampleRate = rate;
    const Configuration configuration = audio->configure(sampleRate);
    rateRefused = configuration == Configuration::refusedRate;
    return configuration == Configuration::done ? 1 : 0;
}

int Audio::play(const unsigned char* pcmData, int size)
{
    if (isAudioDisabled)
        return 1;
    return audio->writeAll(pcmData, size) ? 1 : 0;
}

void Audio::resetAudioDevice()
{
    if (!isAudioDisabled)
        audio->reset();
}

int Audio::setRate(long rate)
{
    rateRefused = 0;
    if (isAudioDisabled)
        return 1;
    resetAudioDevice();
    if (!closeAudioDevice() || !openAudioDevice())
        return 0;
    return initializeAudioDevice(rate);
}

int Audio::getNoBlockingSize()
{
    return isAudioDisabled ? nominalOutputSpace : audio->outputSpace();
}

int Audio::getFragmentSize()
{
    return isAudioDisabled ? nominalFragmentSize : audio->fragmentSize();
}

int Audio::isRateRefused()
{
    return rateRefused;
}

int Audio::getSampleRate()
{
    return isAudioDisabled ? nominalSampleRate : sampleRate;
}

void Audio::sync()
{
    if (!isAudioDisabled)
        audio->drain();
}

void Audio::post()
{
    if (!isAudioDisabled)
        audio->post();
}

void Audio::enableAudio()
{
    isAudioDisabled = 0;
}

void Audio::disableAudio()
{
    if (isDeviceOpened)
        closeAudioDevice();
    isAudioDisabled = 1;
}

int Audio::isAudioEnabled()
{
    return isAudioDisabled ? 0 : 1;
}

void Audio::printErrorDeviceIsNotOpened()
{
    std::cerr << "audio device is not opened.\n"
              << "before using audio,you must open audio device.\n";
}

void Audio::setInsideStreamer(bool inside)
{
    reportFromStreamer(inside);
}

bool Audio::isSignalSafe()
{
    return isAudioDisabled || audio->isSignalSafe();
}
