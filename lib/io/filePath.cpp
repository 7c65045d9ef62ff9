#include "filePath.h"

#include <sys/stat.h>

#include <cstdlib>
#include <memory>

std::string directoryOf(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

std::string fileNameOf(const std::string& path)
{
    return path.substr(path.rfind('/') + 1);  // npos + 1 is 0
}

bool isFileAtPath(int fd, const char* path)
{
    struct stat open, atPath;
    return fstat(fd, &open) == 0 && stat(path, &atPath) == 0 && open.st_dev == atPath.st_dev &&
           open.st_ino == atPath.st_ino;
}

std::string resolvedPath(const std::string& path)
{
    const std::unique_ptr<char, decltype(&std::free)> real(realpath(path.c_str(), nullptr), &std::free);
    return real ? real.get() : path;
}
