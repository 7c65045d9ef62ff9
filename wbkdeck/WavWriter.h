#ifndef WBKDECK_WAV_WRITER_H
#define WBKDECK_WAV_WRITER_H

#include <sndfile.h>

#include <cstddef>
#include <cstdint>
#include <string>

// An unsigned 8-bit mono WAV file written by libsndfile onto an open file
// descriptor, which stays the caller's. Every write goes through this class,
// so that a failure, the header written at the end included, is never lost.
class WavWriter {
public:
    // The most sample bytes a WAV file holds: its RIFF size field counts the
    // 36 bytes of header after it, the data and a pad byte after odd-sized
    // data, in 32 bits.
    static constexpr std::uint64_t maxDataSize = UINT32_MAX - 37;

    WavWriter(int fd, int rate);
    ~WavWriter();
    WavWriter(const WavWriter&) = delete;
    WavWriter& operator=(const WavWriter&) = delete;

    // Appends unsigned 8-bit samples; false when they were not all written.
    bool write(const unsigned char* samples, std::size_t count);
    // Completes the header; true when the whole file was written.
    bool finish();
    // Why the file could not be written.
    std::string errorText() const;

private:
    static sf_count_t ioLength(void* self);
    static sf_count_t ioSeek(sf_count_t offset, int whence, void* self);
    static sf_count_t ioRead(void* data, sf_count_t count, void* self);
    static sf_count_t ioWrite(const void* data, sf_count_t count, void* self);
    static sf_count_t ioTell(void* self);

    int fd;
    int writeErrno = 0;
    std::string libraryError;
    SNDFILE* file = nullptr;
};

#endif
