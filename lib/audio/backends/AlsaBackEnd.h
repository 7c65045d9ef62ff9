#ifndef WBK_ALSA_BACK_END_H
#define WBK_ALSA_BACK_END_H

#include "AudioBackEnd.h"

#include <string>

struct _snd_pcm;

// The ALSA back end of Audio: every libasound call on one playback PCM,
// opened non-blocking. Underruns are recovered from, never reported, but a
// device that keeps failing without taking a frame is given up on.
class AlsaBackEnd : public AudioBackEnd {
public:
    // The PCM that open() opens, such as "default" or "hw:0,0".
    void choosePcm(const std::string& name) { pcmName = name; }

    bool open() override;
    void reportOpenFailure(int error) const override;
    bool close() override;
    Configuration configure(int& rate) override;
    bool writeAll(const unsigned char* data, int size) override;
    void reset() override;
    int outputSpace() override;
    int fragmentSize() override;
    void drain() override;
    void post() override;
    // libasound and its plugins allocate memory and take locks.
    bool isSignalSafe() const override { return false; }

private:
    bool stall(int error);

    std::string pcmName = "default";
    _snd_pcm* pcm = nullptr;
    int stallsInARow = 0;  // recoveries and refused writes since the last frame written
};

#endif
