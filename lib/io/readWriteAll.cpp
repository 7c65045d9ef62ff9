#include "readWriteAll.h"

#include <unistd.h>

#include <cerrno>

std::size_t readAt(int fd, void* bytes, std::size_t count, std::uint64_t offset)
{
    auto* const to = static_cast<unsigned char*>(bytes);
    std::size_t done = 0;
    while (done < count) {
        const ssize_t n = pread(fd, to + done, count - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n == 0)
            errno = 0;
        if (n <= 0)
            break;
        done += static_cast<std::size_t>(n);
    }
    return done;
}

std::size_t writeAll(int fd, const void* bytes, std::size_t count)
{
    const auto* const from = static_cast<const unsigned char*>(bytes);
    std::size_t done = 0;
    while (done < count) {
        const ssize_t n = ::write(fd, from + done, count - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n == 0)
            errno = ENOSPC;
        if (n <= 0)
            break;
        done += static_cast<std::size_t>(n);
    }
    return done;
}
