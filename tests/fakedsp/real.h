// The functions the preloaded library hides, as found further down the
// link chain. Resolved at load time so signal handlers never call dlsym.
#pragma once

#include <poll.h>
#include <sys/types.h>

namespace fakedsp {

int real_open(const char* path, int flags, mode_t mode);
int real_close(int fd);
ssize_t real_write(int fd, const void* buf, size_t len);
int real_poll(pollfd* fds, nfds_t n, int timeout_ms);

}  // namespace fakedsp
