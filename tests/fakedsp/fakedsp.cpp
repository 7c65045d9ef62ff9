// LD_PRELOAD entry points: calls that concern the fake /dev/dsp go to the
// simulated device, everything else to the next definition (normally glibc).

// Our definitions must be plain symbols: fortified or 64-bit-offset headers
// would turn open() into an inline wrapper or a redirect to open64().
#undef _FORTIFY_SOURCE
#undef _FILE_OFFSET_BITS

#include <dlfcn.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstring>

#include "device.h"
#include "real.h"

#define FAKEDSP_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

enum Next {
    NEXT_OPEN,
    NEXT_OPEN64,
    NEXT___OPEN,
    NEXT___OPEN64,
    NEXT___OPEN_2,
    NEXT___OPEN64_2,
    NEXT_OPENAT,
    NEXT_OPENAT64,
    NEXT___OPENAT_2,
    NEXT___OPENAT64_2,
    NEXT_CLOSE,
    NEXT_WRITE,
    NEXT_POLL,
    NEXT_IOCTL,
    NEXT_COUNT
};

const char* const kNextNames[NEXT_COUNT] = {
    "open",     "open64",     "__open",       "__open64", "__open_2", "__open64_2", "openat",
    "openat64", "__openat_2", "__openat64_2", "close",    "write",    "poll",       "ioctl",
};

void* next_fn[NEXT_COUNT];

void* lookup(Next which) {
    if (!next_fn[which]) next_fn[which] = dlsym(RTLD_NEXT, kNextNames[which]);
    return next_fn[which];
}

// Resolving everything up front keeps dlsym out of signal handlers.
__attribute__((constructor)) void resolve_all() {
    for (int i = 0; i < NEXT_COUNT; ++i) lookup(static_cast<Next>(i));
}

using OpenFn = int (*)(const char*, int, ...);
using OpenAtFn = int (*)(int, const char*, int, ...);

bool is_dsp(const char* path) { return path && strcmp(path, "/dev/dsp") == 0; }

bool needs_mode(int flags) { return (flags & O_CREAT) || (flags & O_TMPFILE) == O_TMPFILE; }

int missing() {
    errno = ENOSYS;
    return -1;
}

int next_open(Next which, const char* path, int flags, mode_t mode) {
    auto fn = reinterpret_cast<OpenFn>(lookup(which));
    return fn ? fn(path, flags, mode) : missing();
}

int next_openat(Next which, int dirfd, const char* path, int flags, mode_t mode) {
    auto fn = reinterpret_cast<OpenAtFn>(lookup(which));
    return fn ? fn(dirfd, path, flags, mode) : missing();
}

}  // namespace

namespace fakedsp {

int real_open(const char* path, int flags, mode_t mode) {
    return next_open(NEXT_OPEN, path, flags, mode);
}

int real_close(int fd) {
    auto fn = reinterpret_cast<int (*)(int)>(lookup(NEXT_CLOSE));
    return fn ? fn(fd) : missing();
}

ssize_t real_write(int fd, const void* buf, size_t len) {
    auto fn = reinterpret_cast<ssize_t (*)(int, const void*, size_t)>(lookup(NEXT_WRITE));
    return fn ? fn(fd, buf, len) : missing();
}

int real_poll(pollfd* fds, nfds_t n, int timeout_ms) {
    auto fn = reinterpret_cast<int (*)(pollfd*, nfds_t, int)>(lookup(NEXT_POLL));
    return fn ? fn(fds, n, timeout_ms) : missing();
}

}  // namespace fakedsp

// The variadic mode argument is only there when the flags ask for it.
#define FAKEDSP_MODE_ARG(flags, mode) \
    mode_t mode = 0;                  \
    if (needs_mode(flags)) {          \
        va_list ap;                   \
        va_start(ap, flags);          \
        mode = va_arg(ap, mode_t);    \
        va_end(ap);                   \
    }

#define FAKEDSP_OPEN(name, which)                               \
    FAKEDSP_EXPORT int name(const char* path, int flags, ...) { \
        if (is_dsp(path)) return fakedsp::dev_open(flags);      \
        FAKEDSP_MODE_ARG(flags, mode)                           \
        return next_open(which, path, flags, mode);             \
    }

#define FAKEDSP_OPENAT(name, which)                                        \
    FAKEDSP_EXPORT int name(int dirfd, const char* path, int flags, ...) { \
        if (is_dsp(path)) return fakedsp::dev_open(flags);                 \
        FAKEDSP_MODE_ARG(flags, mode)                                      \
        return next_openat(which, dirfd, path, flags, mode);               \
    }

FAKEDSP_OPEN(open, NEXT_OPEN)
FAKEDSP_OPEN(open64, NEXT_OPEN64)
FAKEDSP_OPEN(__open, NEXT___OPEN)
FAKEDSP_OPEN(__open64, NEXT___OPEN64)
FAKEDSP_OPENAT(openat, NEXT_OPENAT)
FAKEDSP_OPENAT(openat64, NEXT_OPENAT64)

// The fortified variants, used by callers built with _FORTIFY_SOURCE.
FAKEDSP_EXPORT int __open_2(const char* path, int flags) {
    if (is_dsp(path)) return fakedsp::dev_open(flags);
    return next_open(NEXT___OPEN_2, path, flags, 0);
}

FAKEDSP_EXPORT int __open64_2(const char* path, int flags) {
    if (is_dsp(path)) return fakedsp::dev_open(flags);
    return next_open(NEXT___OPEN64_2, path, flags, 0);
}

FAKEDSP_EXPORT int __openat_2(int dirfd, const char* path, int flags) {
    if (is_dsp(path)) return fakedsp::dev_open(flags);
    return next_openat(NEXT___OPENAT_2, dirfd, path, flags, 0);
}

FAKEDSP_EXPORT int __openat64_2(int dirfd, const char* path, int flags) {
    if (is_dsp(path)) return fakedsp::dev_open(flags);
    return next_openat(NEXT___OPENAT64_2, dirfd, path, flags, 0);
}

FAKEDSP_EXPORT int close(int fd) {
    if (fakedsp::is_fake(fd)) return fakedsp::dev_close();
    return fakedsp::real_close(fd);
}

FAKEDSP_EXPORT ssize_t write(int fd, const void* buf, size_t len) {
    if (fakedsp::is_fake(fd)) return fakedsp::dev_write(buf, len);
    return fakedsp::real_write(fd, buf, len);
}

FAKEDSP_EXPORT int poll(pollfd* fds, nfds_t n, int timeout_ms) {
    for (nfds_t i = 0; i < n; ++i)
        if (fakedsp::is_fake(fds[i].fd)) return fakedsp::dev_poll(fds, n, timeout_ms);
    return fakedsp::real_poll(fds, n, timeout_ms);
}

FAKEDSP_EXPORT int ioctl(int fd, unsigned long request, ...) noexcept {
    va_list ap;
    va_start(ap, request);
    void* arg = va_arg(ap, void*);
    va_end(ap);
    if (fakedsp::is_fake(fd)) return fakedsp::dev_ioctl(request, arg);
    auto fn = reinterpret_cast<int (*)(int, unsigned long, ...)>(lookup(NEXT_IOCTL));
    return fn ? fn(fd, request, arg) : missing();
}
