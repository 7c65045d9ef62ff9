#include "BankLock.h"

#include "Bank.h"
#include "filePath.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

BankLock::BankLock(const std::string& path, bool create)
{
    for (;;) {
        openBank(path, create);
        try {
            if (lockFileAt(file, path))
                return;
        } catch (...) {
            close(file);
            throw;
        }
        close(file);
    }
}

BankLock::~BankLock()
{
    close(file);
}

// Opens the bank for reading and writing; O_EXCL first, so that created()
// tells whether this run made the file. A symbolic link that leads nowhere
// makes O_EXCL fail and the plain open too: then the file it leads to is
// created through it.
void BankLock::openBank(const std::string& path, bool create)
{
    createdFile = false;
    file = -1;
    if (create) {
        file = open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0664);
        createdFile = file >= 0;
        if (file < 0 && errno != EEXIST)
            throw BankError("open", errno);
    }
    if (file < 0)
        file = open(path.c_str(), O_RDWR | O_CLOEXEC);
    if (file < 0 && create && errno == ENOENT) {
        file = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0664);
        createdFile = file >= 0;
    }
    if (file < 0)
        throw BankError("open", errno);
}

bool BankLock::lockFileAt(int fd, const std::string& path)
{
    if (flock(fd, LOCK_EX) != 0)
        throw BankError("lock", errno);
    return isFileAtPath(fd, path.c_str());
}

BankLock::Shared::Shared(int fd) : file(fd)
{
    if (flock(fd, LOCK_SH) != 0)
        throw BankError("lock", errno);
}

BankLock::Shared::~Shared()
{
    flock(file, LOCK_UN);
}
