#ifndef WBKDECK_OWNED_FD_H
#define WBKDECK_OWNED_FD_H

#include <string>
#include <utility>

// Owns a file descriptor (-1: none); closing it leaves errno alone so that
// the reason of a failed open survives.
class OwnedFd {
public:
    explicit OwnedFd(int fd) : fd(fd) {}
    OwnedFd(const OwnedFd&) = delete;
    OwnedFd& operator=(OwnedFd other)
    {
        std::swap(fd, other.fd);
        return *this;
    }
    OwnedFd(OwnedFd&& other) noexcept : fd(std::exchange(other.fd, -1)) {}
    ~OwnedFd();

    int get() const { return fd; }
    // The directory `name` inside this one, entered without following a
    // symbolic link.
    OwnedFd enter(const std::string& name) const;

private:
    int fd;
};

#endif
