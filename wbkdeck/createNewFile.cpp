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

// Owns a directory descriptor; closing it leaves errno alone so that the
// reason of a failed open survives.
class DirectoryFd {
public:
    explicit DirectoryFd(int fd) : fd(fd) {}
    DirectoryFd(const DirectoryFd&) = delete;
    DirectoryFd& operator=(DirectoryFd other)
    {
        std::swap(fd, other.fd);
        return *this;
    }
    DirectoryFd(DirectoryFd&& other) noexcept : fd(std::exchange(other.fd, -1)) {}
    ~DirectoryFd()
    {
        const int savedErrno = errno;
        if (fd >= 0)
            close(fd);
        errno = savedErrno;
    }

    int get() const { return fd; }
    DirectoryFd enter(const std::string& name) const
    {
        return DirectoryFd(openat(fd, name.c_str(), O_DIRECTORY | O_NOFOLLOW | O_RDONLY | O_CLOEXEC));
    }

private:
    int fd;
};

// The directory holding the last component, entered from the working
// directory without following a symbolic link; -1 with errno set on failure.
DirectoryFd enterDirectoryOf(const std::vector<std::string>& components)
{
    DirectoryFd directory = DirectoryFd(AT_FDCWD).enter(".");
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

std::string pathWithinWorkingDirectory(const char* name)
{
    std::string path;
    for (const std::string& component : splitText(name, '/')) {
        if (component.empty() || component == ".")
            continue;
        path += (path.empty() ? "" : "/") + component;
    }
    return path;
}

std::unique_ptr<KovaOutputStream> createNewFile(const char* name)
{
    const std::vector<std::string> components = splitText(name, '/');
    const DirectoryFd directory = enterDirectoryOf(components);
    if (directory.get() < 0)
        return nullptr;
    return std::make_unique<KovaOutputStream>(directory.get(), components.back().c_str());
}

std::unique_ptr<StagedFile> createStagedFile(const char* name)
{
    const std::vector<std::string> components = splitText(name, '/');
    const DirectoryFd directory = enterDirectoryOf(components);
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
