#ifndef WBK_KOVA_AUDIO_H
#define WBK_KOVA_AUDIO_H

#include "audio.h"

#include <signal.h>
#include <sys/time.h>

#include <cstdint>
#include <memory>

// A sample to stream: unsigned 8-bit mono bytes owned by the caller.
struct SAMPLE_DATA {
    const unsigned char* data;  // next byte to write; null: no sample
    std::int32_t size;          // bytes still to write
    int isLoop;                 // nonzero: start again when the end is reached
};

// Streams samples to the audio device in the background: a timer ticks about
// once per fragment, and each tick writes one whole fragment whenever the
// device has room for it. The caller's writing byte is 0xFF while the timer
// owns a sample and drops to 0 when it is over; its waiting byte asks for a
// drain of the device before that drop.
//
// Over /dev/dsp, and while audio is disabled, the ticks run in a SIGALRM
// handler raised by the real-time interval timer: write and ioctl may be
// called there. libasound and its plugins may not: they allocate and take
// locks, so a handler that interrupted the main flow inside malloc could wait
// for it forever. Over ALSA the same ticks therefore run in a feeder thread of
// the streamer's own, woken by a timer descriptor with the same period, and a
// lock keeps them from the records while the main flow changes them. There a
// write that the device refuses ends the process, as a failed query does.
class KovaAudio : public Audio {
public:
    static void prepareKovaAudio(volatile char* writingFlag, volatile char* waitingFlag);
    static void playAudio(SAMPLE_DATA pcmData, int channel);
    static void queAudioData(SAMPLE_DATA pcmData, int channel);
    static void offAudioTimer();
    static int setSampleRate(long rate);
    static void stopAudio(int channel);
    static void resetAudio();
    // The timer period computed at the last set-up.
    static timeval getIntervalOfWritingAudioData() { return intervalOfWritingAudioData; }

private:
    static void writeAudioData(int sig);
    static void feed();
    static void prime();
    static bool tick();
    static void hand(int count);
    static void writeToDevice(const unsigned char* data, int size);
    static void setAudioTimerOn();
    static void resetAudioVariable();
    static void resetQueData();
    static void writeLoopingPasses(int written);
    static void endSample(int written);

    static volatile char* isAudioWriting;
    static volatile char* isAudioWaiting;
    static SAMPLE_DATA sampleData;
    static SAMPLE_DATA oldSampleData;
    static SAMPLE_DATA queSampleData;
    static int queChannel;
    static int fragmentSize;
    static timeval intervalOfWritingAudioData;
    static std::unique_ptr<unsigned char[]> nullSound;
    static struct sigaction sigAction;
};

#endif
