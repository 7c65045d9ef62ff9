#ifndef WBK_AUDIO_OPEN_SOUND_SYSTEM_H
#define WBK_AUDIO_OPEN_SOUND_SYSTEM_H

#include "AudioBackEnd.h"

// The OSS back end of Audio: every system call on /dev/dsp.
class OssBackEnd : public AudioBackEnd {
public:
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
    // Plain system calls: write, ioctl and poll.
    bool isSignalSafe() const override { return true; }

private:
    bool drainBlocking();

    int device = -1;  // the descriptor of the last open, -1 after a failed one
};

#endif
