#include "KovaOutputStream.h"

#include <fcntl.h>

#include <cerrno>
#include <cstdint>

namespace {

int openFlags(std::ios::openmode mode)
{
    int flags = ((mode & std::ios::in) ? O_RDWR : O_WRONLY) | O_CREAT | O_CLOEXEC;
    if (mode & std::ios::app)
        flags |= O_APPEND;
    else if ((mode & std::ios::trunc) || !(mode & std::ios::in))
        flags |= O_TRUNC;
    return flags;
}

} // namespace

KovaOutputStream::KovaOutputStream(const char* name, std::ios::openmode mode)
{
    // An existing file is opened first, so that creating one is known for sure.
    const int flags = openFlags(mode);
    int fd = ::open(name, flags & ~O_CREAT);
    if (fd < 0 && errno == ENOENT) {
        fd = ::open(name, flags, filePermission);
        created = fd >= 0;
    }
    attach(fd);
}

KovaOutputStream::KovaOutputStream(int dirFd, const char* name)
{
    attach(::openat(dirFd, name, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, filePermission));
}

KovaOutputStream::~KovaOutputStream()
{
    close();
    std::ios::rdbuf(std::ofstream::rdbuf());
}

// The standard file buffer cannot choose the permission of a new file, so the
// file is opened here and the stream writes through a buffer over its descriptor.
void KovaOutputStream::attach(int fd)
{
    if (fd < 0) {
        setstate(std::ios::failbit);
        return;
    }
    buffer = std::make_unique<__gnu_cxx::stdio_filebuf<char>>(fd, std::ios::out | std::ios::binary);
    std::ios::rdbuf(buffer.get());
}

std::ostream& KovaOutputStream::put16(int data)
{
    if (data < INT16_MIN || data > UINT16_MAX) {
        setstate(std::ios::failbit);
        return *this;
    }
    put(static_cast<char>(data & 0xFF));
    return put(static_cast<char>((data >> 8) & 0xFF));
}

std::ostream& KovaOutputStream::put32(int data)
{
    if (data == INT32_MIN) {
        setstate(std::ios::failbit);
        return *this;
    }
    const auto value = static_cast<std::uint32_t>(data);
    for (int shift = 0; shift < 32; shift += 8)
        put(static_cast<char>((value >> shift) & 0xFF));
    return *this;
}

void KovaOutputStream::close()
{
    if (!is_open())
        return;
    if (buffer->close() == nullptr)
        setstate(std::ios::badbit);
}
