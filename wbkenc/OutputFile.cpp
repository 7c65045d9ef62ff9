#include "OutputFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

OutputFile::OutputFile(const std::string& path) : path(path), file(AT_FDCWD, path, 0666)
{
    if (!file.isOpen())
        fail("create");
}

void OutputFile::fail(const char* what)
{
    if (failure.empty())
        failure = std::string("can not ") + what + " " + path + ": " + std::strerror(errno);
}

void OutputFile::write(const unsigned char* bytes, std::size_t count)
{
    while (count > 0 && failure.empty()) {
        const ssize_t written = ::write(file.descriptor(), bytes, count);
        if (written < 0 && errno == EINTR)
            continue;
        if (written < 0) {
            fail("write");
            return;
        }
        bytes += written;
        count -= static_cast<std::size_t>(written);
    }
}

bool OutputFile::commit(bool replace)
{
    if (!failure.empty())
        return false;
    if (file.commit(replace))
        return true;
    if (errno == EEXIST)
        failure = path + " exists (use -f to replace it)";
    else
        fail("write");
    return false;
}
