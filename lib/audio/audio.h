#ifndef WBK_AUDIO_H
#define WBK_AUDIO_H

class AudioBackEnd;

// The process's one audio device, driven as unsigned 8-bit mono: the OSS
// device /dev/dsp or an ALSA PCM, as WBK_AUDIO chooses when it is opened.
// Operations return 1 for success and 0 for failure and print their own
// diagnostics. While audio is disabled nothing touches the device.
class Audio {
public:
    static int openAudioDevice();
    static int closeAudioDevice();
    static int initializeAudioDevice(int rate);
    // Returns when every byte has been handed to the device; 0 (errno set)
    // when the device refused them.
    static int play(const unsigned char* pcmData, int size);
    static void resetAudioDevice();
    static int setRate(long rate);
    // 1 when the last initializeAudioDevice or setRate failed because the
    // device refused the rate itself; 0 when it succeeded or failed in any
    // other step (a nearby rate that the device set instead is no refusal).
    static int isRateRefused();
    static int getNoBlockingSize();
    static int getFragmentSize();
    static int getSampleRate();
    static void sync();
    static void post();
    static void enableAudio();
    static void disableAudio();
    static int isAudioEnabled();

protected:
    // Tells the device's fatal reports of this thread that they run inside
    // the streamer, in its signal handler or its feeder thread.
    static void setInsideStreamer(bool inside);
    // Whether the device may be driven from a signal handler: true for
    // /dev/dsp and while audio is disabled, false for ALSA.
    static bool isSignalSafe();

private:
    static void printErrorDeviceIsNotOpened();

    static AudioBackEnd* audio;  // the back end opened last
    static int sampleRate;
    static int isDeviceOpened;
    static int isAudioDisabled;
    static int rateRefused;
};

#endif
