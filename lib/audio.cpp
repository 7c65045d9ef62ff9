#include "audio.h"

#include "audio/audioOpenSoundSystem.h"

#include <iostream>

namespace {

// What the queries answer while audio is disabled.
constexpr int nominalFragmentSize = 8192;
constexpr int nominalOutputSpace = 8192;
constexpr int nominalSampleRate = 16384;

} // namespace

int Audio::audio = 0;
int Audio::sampleRate = 16540;
int Audio::isDeviceOpened = 0;
int Audio::isAudioDisabled = 0;

int Audio::openAudioDevice()
{
    if (isAudioDisabled)
        return 1;
    audio = oss::openDevice();
    if (audio == -1)
        return 0;
    isDeviceOpened = 1;
    return 1;
}

int Audio::closeAudioDevice()
{
    if (isAudioDisabled)
        return 1;
    if (!oss::closeDevice(audio))
        return 0;
    isDeviceOpened = 0;
    return 1;
}

int Audio::initializeAudioDevice(int rate)
{
    if (isAudioDisabled)
        return 1;
    if (!isDeviceOpened) {
        printErrorDeviceIsNotOpened();
        return 0;
    }
    sampleRate = rate;
    return oss::configure(audio, sampleRate) ? 1 : 0;
}

void Audio::play(const unsigned char* pcmData, int size)
{
    if (!isAudioDisabled)
        oss::writeAll(audio, pcmData, size);
}

void Audio::resetAudioDevice()
{
    if (!isAudioDisabled)
        oss::reset(audio);
}

int Audio::setRate(long rate)
{
    if (isAudioDisabled)
        return 1;
    resetAudioDevice();
    if (!closeAudioDevice() || !openAudioDevice())
        return 0;
    return initializeAudioDevice(rate);
}

int Audio::getNoBlockingSize()
{
    return isAudioDisabled ? nominalOutputSpace : oss::outputSpace(audio);
}

int Audio::getFragmentSize()
{
    return isAudioDisabled ? nominalFragmentSize : oss::fragmentSize(audio);
}

int Audio::getSampleRate()
{
    return isAudioDisabled ? nominalSampleRate : sampleRate;
}

void Audio::sync()
{
    if (!isAudioDisabled)
        oss::drain(audio);
}

void Audio::post()
{
    if (!isAudioDisabled)
        oss::post(audio);
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

void Audio::setInsideSignalHandler(bool inside)
{
    oss::reportFromSignalHandler(inside);
}
