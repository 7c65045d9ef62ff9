// The simulated OSS playback device behind the fake /dev/dsp descriptor.
// Everything but dev_open is async-signal-safe.
#pragma once

#include <poll.h>
#include <sys/types.h>

namespace fakedsp {

bool is_fake(int fd);
int dev_open(int flags);
int dev_close();
int dev_ioctl(unsigned long request, void* arg);
ssize_t dev_write(const void* buf, size_t len);
// poll() for a set that contains the fake descriptor.
int dev_poll(pollfd* fds, nfds_t n, int timeout_ms);

}  // namespace fakedsp
