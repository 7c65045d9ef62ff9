#include "createNewFile.h"

#include "splitText.h"
#include "visibleText.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <utility>
#include <vector>

namespace {

// The directory holding the last component, entered from the working
// directory without following a symbolic link; -1 with errno set on failure.
OwnedFd enterDirectoryOf(const std::vector<std::string>& components)
{
    OwnedFd directory = OwnedFd(AT_FDCWD).enter(".");
    for (std::size_t i = 0; i + 1 < components.size() && directory.get() >= 0; ++i)
        if (!components[i].empty())
            directory = directory.enter(components[i]);
    return directory;
}

} // namespace

const char* whyOutsideWorkingDirectory(const char* name)
{
    if (hasControlCharacters(name))
        return "names with control characters are not extracted";
    if (name[0] == '/')
        return "absolute names are not extracted";
    for (const std::string& component : splitText(name, '/'))
        if (component == "..")
            return "names with \"..\" are not extracted";
    return nullptr;
}

OwnedFd openExistingFile(const char* name)
{
    const std::vector<std::string> components = splitText(name, '/');
    const OwnedFd directory = enterDirectoryOf(components);
    const char* last = components.back().c_str();
    struct stat info;
    // Looked at before it is opened: opening a device may do something.
    if (directory.get() < 0 || fstatat(directory.get(), last, &info, AT_SYMLINK_NOFOLLOW) != 0 ||
        !S_ISREG(info.st_mode))
        return OwnedFd(-1);
    OwnedFd file(openat(directory.get(), last, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (file.get() >= 0 && (fstat(file.get(), &info) != 0 || !S_ISREG(info.st_mode)))
        return OwnedFd(-1);
    return file;
}

std::unique_ptr<KovaOutputStream> createNewFile(const char* name)
{
    const std::vector<std::string> components = splitText(name, '/');
    const OwnedFd directory = enterDirectoryOf(components);
    if (directory.get() < 0)
        return nullptr;
    return std::make_unique<KovaOutputStream>(directory.get(), components.back().c_str());
}

std::unique_ptr<StagedFile> createStagedFile(const char* name)
{
    const std::vector<std::string> components = splitText(name, '/');
    const OwnedFd directory = enterDirectoryOf(components);
    if (directory.get() < 0)
        return nullptr;
    struct stat info;
    if (fstatat(directory.get(), components.back().c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0) {
        errno = EEXIST;
        return nullptr;
    }
    if (errno != ENOENT)
        return nullptr;
    auto file = std::make_unique<StagedFile>(directory.get(), components.back(), KovaOutputStream::filePermission);
    return file->isOpen() ? std::move(file) : nullptr;
}
