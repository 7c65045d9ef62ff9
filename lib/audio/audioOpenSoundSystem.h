#ifndef WBK_AUDIO_OPEN_SOUND_SYSTEM_H
#define WBK_AUDIO_OPEN_SOUND_SYSTEM_H

// The OSS back end of Audio: every system call on /dev/dsp, each with its
// own diagnostics on the error stream. `device` is an open descriptor.
namespace oss {

// The descriptor of /dev/dsp opened write-only and non-blocking, or -1.
int openDevice();
bool closeDevice(int device);

// Sets unsigned 8-bit mono at `rate`; `rate` receives the rate the driver set.
bool configure(int device, int& rate);

// Writes every byte, waiting for room whenever the device is full.
void writeAll(int device, const unsigned char* data, int size);

void reset(int device);

// While set, the fatal reports below use only async-signal-safe calls.
void reportFromSignalHandler(bool inside);

// The queries below end the process when the device refuses them.
int outputSpace(int device);
int fragmentSize(int device);
void drain(int device);
void post(int device);

} // namespace oss

#endif
