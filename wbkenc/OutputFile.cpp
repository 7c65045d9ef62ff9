#include "OutputFile.h"

#include "readWriteAll.h"

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
    if (failure.empty() && writeAll(file.descriptor(), bytes, count) != count)
        fail("write");
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
