#ifndef WBK_AUDIO_BACK_END_H
#define WBK_AUDIO_BACK_END_H

// How a configuration ended. A device that sets a nearby rate instead of the
// one asked for has `failed`, but plays at that rate; one that refuses the
// rate itself has `refusedRate`.
enum class Configuration { done, failed, refusedRate };

// One sound system behind Audio. An implementation holds the device it has
// open and makes every call on it, with its own diagnostics on the error
// stream.
class AudioBackEnd {
public:
    virtual ~AudioBackEnd() = default;

    // Opens the device for writing without blocking. Prints nothing: on
    // failure errno tells why, and reportOpenFailure says it.
    virtual bool open() = 0;
    virtual void reportOpenFailure(int error) const = 0;
    virtual bool close() = 0;

    // Sets unsigned 8-bit mono at `rate`; `rate` receives the rate the device set.
    virtual Configuration configure(int& rate) = 0;

    // Writes every byte, waiting for room whenever the device is full; false,
    // with errno set, when the device refuses them.
    virtual bool writeAll(const unsigned char* data, int size) = 0;

    // Stops the device and drops what it holds.
    virtual void reset() = 0;

    // The queries below end the process when the device refuses them.
    virtual int outputSpace() = 0;
    virtual int fragmentSize() = 0;
    virtual void drain() = 0;
    virtual void post() = 0;

    // Whether every call above may be made from a signal handler.
    virtual bool isSignalSafe() const = 0;
};

#endif
