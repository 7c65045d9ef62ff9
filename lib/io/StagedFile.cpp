#include "StagedFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <random>

namespace {

// Names already taken are passed over; this many in a row means something
// else is wrong.
constexpr int maxAttempts = 100;

// ".NAME." in the directory of `name`: what every temporary name starts with.
std::string hiddenPrefix(const std::string& name)
{
    const std::size_t nameStart = name.rfind('/') + 1;  // 0 without a slash
    return name.substr(0, nameStart) + "." + name.substr(nameStart) + ".";
}

// Six random letters and digits, as mkstemp chooses them.
std::string randomSuffix()
{
    static const char characters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    std::random_device random;
    std::uniform_int_distribution<std::size_t> pick(0, sizeof characters - 2);
    std::string suffix;
    for (int i = 0; i < 6; ++i)
        suffix += characters[pick(random)];
    return suffix;
}

// File systems that cannot sync answer EINVAL: there is nothing to wait for.
bool synced(int fd)
{
    return fsync(fd) == 0 || errno == EINVAL;
}

} // namespace

StagedFile::StagedFile(int dirFd, const std::string& name, mode_t mode)
    : directory(dirFd == AT_FDCWD ? AT_FDCWD : fcntl(dirFd, F_DUPFD_CLOEXEC, 0)), name(name)
{
    if (directory == -1)
        return;
    const std::string prefix = hiddenPrefix(name);
    for (int attempt = 0; attempt < maxAttempts && fd < 0; ++attempt) {
        temporary = prefix + randomSuffix();
        fd = openat(directory, temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
        if (fd < 0 && errno != EEXIST)
            break;
    }
    isTemporaryThere = fd >= 0;
}

StagedFile::~StagedFile()
{
    discard();
    if (directory >= 0)
        close(directory);
}

bool StagedFile::commit(bool replace)
{
    return closeFile() && giveName(replace);
}

bool StagedFile::discard()
{
    if (fd >= 0)
        close(fd);
    fd = -1;
    if (!isTemporaryThere)
        return true;
    isTemporaryThere = false;
    return unlinkat(directory, temporary.c_str(), 0) == 0;
}

bool StagedFile::closeFile()
{
    const bool wasSynced = synced(fd);
    const int syncError = errno;
    const bool closed = close(fd) == 0;
    fd = -1;
    if (!wasSynced)
        errno = syncError;
    return wasSynced && closed;
}

// Without `replace`, a hard link puts the file in place only if the name is
// free, with no window in between; a file system without hard links gets a
// check, then a rename. With it, rename replaces.
bool StagedFile::giveName(bool replace)
{
    if (!replace) {
        if (linkat(directory, temporary.c_str(), directory, name.c_str(), 0) == 0) {
            discard();  // the file is in place under its name either way
            return true;
        }
        struct stat info;
        if (errno == EEXIST || fstatat(directory, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0) {
            errno = EEXIST;
            return false;
        }
    }
    if (renameat(directory, temporary.c_str(), directory, name.c_str()) != 0)
        return false;
    isTemporaryThere = false;
    return true;
}
