#include "WavWriter.h"

#include "readWriteAll.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

WavWriter& writerOf(void* self)
{
    return *static_cast<WavWriter*>(self);
}

} // namespace

WavWriter::WavWriter(int fd, int rate) : fd(fd)
{
    SF_VIRTUAL_IO io = {ioLength, ioSeek, ioRead, ioWrite, ioTell};
    SF_INFO info = {};
    info.samplerate = rate;
    info.channels = 1;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_U8;
    file = sf_open_virtual(&io, SFM_WRITE, &info, this);
    if (!file)
        libraryError = sf_strerror(nullptr);
}

WavWriter::~WavWriter()
{
    if (file)
        sf_close(file);
}

bool WavWriter::write(const unsigned char* samples, std::size_t count)
{
    const auto bytes = static_cast<sf_count_t>(count);
    return file && writeErrno == 0 && sf_write_raw(file, samples, bytes) == bytes;
}

bool WavWriter::finish()
{
    if (!file)
        return false;
    const int closed = sf_close(file);
    file = nullptr;
    if (closed != 0 && libraryError.empty())
        libraryError = sf_error_number(closed);
    return closed == 0 && writeErrno == 0;
}

std::string WavWriter::errorText() const
{
    if (writeErrno != 0)
        return std::strerror(writeErrno);
    return libraryError.empty() ? "the sound file library refused to write" : libraryError;
}

sf_count_t WavWriter::ioLength(void* self)
{
    struct stat info;
    return fstat(writerOf(self).fd, &info) == 0 ? info.st_size : -1;
}

sf_count_t WavWriter::ioSeek(sf_count_t offset, int whence, void* self)
{
    return lseek(writerOf(self).fd, offset, whence);
}

sf_count_t WavWriter::ioRead(void* data, sf_count_t count, void* self)
{
    return ::read(writerOf(self).fd, data, static_cast<std::size_t>(count));
}

// Writes everything it is given; the first failure is kept for the report.
sf_count_t WavWriter::ioWrite(const void* data, sf_count_t count, void* self)
{
    if (count <= 0)
        return 0;
    WavWriter& writer = writerOf(self);
    const auto size = static_cast<std::size_t>(count);
    const std::size_t written = writeAll(writer.fd, data, size);
    if (written < size && writer.writeErrno == 0)
        writer.writeErrno = errno;
    return static_cast<sf_count_t>(written);
}

sf_count_t WavWriter::ioTell(void* self)
{
    return lseek(writerOf(self).fd, 0, SEEK_CUR);
}
