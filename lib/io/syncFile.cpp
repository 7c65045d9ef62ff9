#include "syncFile.h"

#include "filePath.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

bool syncFile(int fd)
{
    return fsync(fd) == 0 || errno == EINVAL;
}

bool syncDirectoryOf(const std::string& path)
{
    const int fd = open(directoryOf(resolvedPath(path)).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool synced = syncFile(fd);
    const int error = errno;
    close(fd);
    errno = error;
    return synced;
}
