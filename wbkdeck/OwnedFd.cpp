#include "OwnedFd.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

OwnedFd::~OwnedFd()
{
    const int savedErrno = errno;
    if (fd >= 0)
        close(fd);
    errno = savedErrno;
}

OwnedFd OwnedFd::enter(const std::string& name) const
{
    return OwnedFd(openat(fd, name.c_str(), O_DIRECTORY | O_NOFOLLOW | O_RDONLY | O_CLOEXEC));
}
