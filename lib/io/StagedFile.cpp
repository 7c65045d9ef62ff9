#include "StagedFile.h"

#include "filePath.h"
#include "syncFile.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <memory>
#include <optional>
#include <random>

namespace {

// Names already taken are passed over; this many in a row means something
// else is wrong.
constexpr int maxAttempts = 100;

// ".NAME." in the directory of `name`: what every temporary name starts with.
std::string hiddenPrefix(const std::string& name)
{
    const std::size_t nameStart = name.size() - fileNameOf(name).size();
    return name.substr(0, nameStart) + "." + name.substr(nameStart) + ".";
}

constexpr std::size_t suffixSize = 6;

// Six random letters and digits, as mkstemp chooses them.
std::string randomSuffix()
{
    static const char characters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    std::random_device random;
    std::uniform_int_distribution<std::size_t> pick(0, sizeof characters - 2);
    std::string suffix;
    for (std::size_t i = 0; i < suffixSize; ++i)
        suffix += characters[pick(random)];
    return suffix;
}

bool isTemporaryOf(const std::string& entry, const std::string& prefix)
{
    if (entry.size() != prefix.size() + suffixSize || entry.compare(0, prefix.size(), prefix) != 0)
        return false;
    for (std::size_t i = prefix.size(); i < entry.size(); ++i)
        if (!std::isalnum(static_cast<unsigned char>(entry[i])))
            return false;
    return true;
}

// Removes the regular file `entry` of `directory` when no one holds its
// lock; its size, or nothing.
std::optional<std::uint64_t> removeUnheld(int directory, const char* entry)
{
    const int fd = openat(directory, entry, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    struct stat open, atName;
    std::optional<std::uint64_t> removed;
    if (fstat(fd, &open) == 0 && S_ISREG(open.st_mode) && flock(fd, LOCK_EX | LOCK_NB) == 0 &&
        fstatat(directory, entry, &atName, AT_SYMLINK_NOFOLLOW) == 0 && atName.st_ino == open.st_ino &&
        atName.st_dev == open.st_dev && unlinkat(directory, entry, 0) == 0)
        removed = static_cast<std::uint64_t>(open.st_size);
    close(fd);
    return removed;
}

} // namespace

StagedFile::StagedFile(int dirFd, const std::string& name, mode_t mode)
    : directory(dirFd == AT_FDCWD ? AT_FDCWD : fcntl(dirFd, F_DUPFD_CLOEXEC, 0)), name(name)
{
    if (directory == -1)
        return;
    const std::string prefix = hiddenPrefix(name);
    const SignalHold hold;  // no signal between the file's creation and its registration
    for (int attempt = 0; attempt < maxAttempts && fd < 0; ++attempt) {
        temporary = prefix + randomSuffix();
        fd = openat(directory, temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
        if (fd < 0 && errno != EEXIST)
            break;
    }
    if (fd < 0)
        return;
    isTemporaryThere = true;
    cleanup = CleanupRegistry::removeFile(directory, temporary);
    if (flock(fd, LOCK_EX) != 0) {
        const int error = errno;
        discard();
        errno = error;
    }
}

StagedFile::~StagedFile()
{
    discard();
    if (directory >= 0)
        close(directory);
}

// The file keeps its lock until it has its final name.
bool StagedFile::commit(bool replace)
{
    const bool named = syncFile(fd) && giveName(replace);
    const int error = errno;
    const bool closed = closeFile();
    if (!named)
        errno = error;
    return named && closed;
}

bool StagedFile::discard()
{
    if (fd >= 0)
        close(fd);
    fd = -1;
    if (!isTemporaryThere)
        return true;
    isTemporaryThere = false;
    const bool removed = unlinkat(directory, temporary.c_str(), 0) == 0;
    CleanupRegistry::release(cleanup);
    return removed;
}

bool StagedFile::closeFile()
{
    const bool closed = close(fd) == 0;
    fd = -1;
    return closed;
}

// Without `replace`, a hard link puts the file in place only if the name is
// free, with no window in between; a file system without hard links gets a
// check, then a rename. With it, rename replaces.
bool StagedFile::giveName(bool replace)
{
    if (!replace) {
        if (linkat(directory, temporary.c_str(), directory, name.c_str(), 0) == 0) {
            // The file is in place under its name either way.
            unlinkat(directory, temporary.c_str(), 0);
            isTemporaryThere = false;
            CleanupRegistry::release(cleanup);
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
    CleanupRegistry::release(cleanup);
    return true;
}

StagedFile::Leftovers StagedFile::removeLeftovers(int dirFd, const std::string& name)
{
    const std::string folder = directoryOf(name);
    const std::string prefix = "." + fileNameOf(name) + ".";
    Leftovers removed;
    const int listed = openat(dirFd, folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (listed < 0)
        return removed;
    const auto closeList = [](DIR* list) { closedir(list); };
    const std::unique_ptr<DIR, decltype(closeList)> entries(fdopendir(listed), closeList);
    if (!entries) {
        close(listed);
        return removed;
    }
    while (const dirent* entry = readdir(entries.get())) {
        if (!isTemporaryOf(entry->d_name, prefix))
            continue;
        if (const auto size = removeUnheld(listed, entry->d_name)) {
            ++removed.files;
            removed.bytes += *size;
        }
    }
    return removed;
}
