#include "device.h"

#include <fcntl.h>
#include <linux/soundcard.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <ctime>

#include "config.h"
#include "line.h"
#include "real.h"

namespace fakedsp {
namespace {

constexpr long long kNsPerSec = 1000000000LL;

struct Device {
    int fd = -1;  // a real descriptor of /dev/null standing in for the device
    int log_fd = -1;
    int capture_fd = -1;
    bool nonblock = false;
    Config cfg;
    int format = AFMT_U8;
    int stereo = 0;
    int rate = 8000;
    // Realtime mode: the moment all queued bytes will have played.
    long long drain_end = 0;
    // Written since open/reset/sync, so running empty is an underrun.
    bool expecting = false;
    int underruns = 0;
    int calls[OP_COUNT] = {};
};

Device dev;
int opens = 0;  // opens of the device in this process

long long now_ns() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec * kNsPerSec + ts.tv_nsec;
}

int ceil_ms(long long ns) {
    if (ns <= 0) return 0;
    long long ms = (ns + 999999) / 1000000;
    return ms < INT_MAX ? static_cast<int>(ms) : INT_MAX;
}

void sleep_until(long long t) {
    for (long long now = now_ns(); now < t; now = now_ns()) {
        real_poll(nullptr, 0, ceil_ms(t - now));  // a plain sleep, safe in signal handlers
    }
}

long long bytes_per_sec() {
    bool wide = dev.format == AFMT_S16_LE || dev.format == AFMT_S16_BE ||
                dev.format == AFMT_U16_LE || dev.format == AFMT_U16_BE;
    long long rate = dev.rate > 0 ? dev.rate : 1;
    return rate * (dev.stereo ? 2 : 1) * (wide ? 2 : 1);
}

int fill(long long now) {
    if (!dev.cfg.realtime || dev.drain_end <= now) return 0;
    long long bytes = ((dev.drain_end - now) * bytes_per_sec() + kNsPerSec - 1) / kNsPerSec;
    return bytes < dev.cfg.buffer ? static_cast<int>(bytes) : dev.cfg.buffer;
}

int room(long long now) { return dev.cfg.buffer - fill(now); }

// Room for a whole fragment is what makes the device writable for poll().
bool writable(long long now) { return room(now) >= dev.cfg.fragment; }

long long writable_at() {
    long long rest = dev.cfg.buffer - dev.cfg.fragment;
    return dev.drain_end - rest * kNsPerSec / bytes_per_sec();
}

void queue(size_t n, long long now) {
    if (!dev.cfg.realtime) return;
    long long start = dev.drain_end > now ? dev.drain_end : now;
    dev.drain_end = start + static_cast<long long>(n) * kNsPerSec / bytes_per_sec();
}

int injected_error(Op op, int call) {
    const Failure& f = dev.cfg.fail[op];
    return f.on && (f.nth == 0 || f.nth == call) ? f.err : 0;
}

int fail(Line& line, int err) {
    line.error(err).send(dev.log_fd);
    errno = err;
    return -1;
}

int answer(Op op, int call, int in) {
    const AnswerRule* rules = dev.cfg.answer[op - OP_SETFMT];
    int out = in;
    if (call <= kMaxNth && apply_rule(rules[call], in, &out)) return out;
    apply_rule(rules[0], in, &out);
    return out;
}

int set_value(Op op, void* arg, int* setting) {
    int call = ++dev.calls[op];
    Line line("ioctl ");
    line.str(op_name(op));
    int* value = static_cast<int*>(arg);
    if (!value) return fail(line, EFAULT);
    line.kv("in", *value);
    if (int err = injected_error(op, call)) return fail(line, err);
    *value = *setting = answer(op, call, *value);
    line.kv("out", *value).send(dev.log_fd);
    return 0;
}

int get_ospace(void* arg) {
    int call = ++dev.calls[OP_GETOSPACE];
    Line line("ioctl GETOSPACE");
    audio_buf_info* info = static_cast<audio_buf_info*>(arg);
    if (!info) return fail(line, EFAULT);
    if (int err = injected_error(OP_GETOSPACE, call)) return fail(line, err);
    int free = room(now_ns());
    info->fragments = free / dev.cfg.fragment;
    info->fragstotal = dev.cfg.buffer / dev.cfg.fragment;
    info->fragsize = dev.cfg.fragment;
    info->bytes = free;
    line.kv("fragments", info->fragments).kv("fragstotal", info->fragstotal);
    line.kv("fragsize", info->fragsize).kv("bytes", info->bytes).send(dev.log_fd);
    return 0;
}

int get_blksize(void* arg) {
    int call = ++dev.calls[OP_GETBLKSIZE];
    Line line("ioctl GETBLKSIZE");
    int* value = static_cast<int*>(arg);
    if (!value) return fail(line, EFAULT);
    if (int err = injected_error(OP_GETBLKSIZE, call)) return fail(line, err);
    *value = dev.cfg.fragment;
    line.kv("out", *value).send(dev.log_fd);
    return 0;
}

// RESET, SYNC and POST.
int control(Op op) {
    int call = ++dev.calls[op];
    Line line("ioctl ");
    line.str(op_name(op));
    if (int err = injected_error(op, call)) return fail(line, err);
    // Like OSS emulation layers that will not block in a drain when the
    // descriptor is non-blocking; the caller may clear O_NONBLOCK with fcntl.
    if (op == OP_SYNC && dev.cfg.sync_needs_blocking && (fcntl(dev.fd, F_GETFL) & O_NONBLOCK))
        return fail(line, EAGAIN);
    if (op == OP_SYNC && dev.cfg.realtime) sleep_until(dev.drain_end);
    if (op != OP_POST) {
        dev.drain_end = 0;
        dev.expecting = false;
    }
    line.send(dev.log_fd);
    return 0;
}

void note_underrun(long long now) {
    if (dev.cfg.realtime && dev.expecting && dev.drain_end <= now) {
        ++dev.underruns;
        Line("underrun").kv("count", dev.underruns).send(dev.log_fd);
    }
    dev.expecting = true;
}

void capture(const void* buf, size_t n) {
    const char* p = static_cast<const char*>(buf);
    while (dev.capture_fd >= 0 && n > 0) {
        ssize_t done = real_write(dev.capture_fd, p, n);
        if (done < 0 && errno == EINTR) continue;
        if (done <= 0) return;
        p += done;
        n -= done;
    }
}

int open_output(const char* var) {
    const char* path = getenv(var);
    if (!path || !*path) return -1;
    return real_open(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
}

void close_outputs() {
    int saved = errno;
    if (dev.log_fd >= 0) real_close(dev.log_fd);
    if (dev.capture_fd >= 0) real_close(dev.capture_fd);
    dev.log_fd = dev.capture_fd = -1;
    errno = saved;
}

}  // namespace

bool is_fake(int fd) { return fd >= 0 && fd == dev.fd; }

int dev_open(int flags) {
    int call = ++opens;
    if (dev.fd >= 0) {
        Line line("open");
        return fail(line.kv("flags", flags), EBUSY);
    }
    dev = Device();
    load_config(&dev.cfg);
    dev.log_fd = open_output("FAKEDSP_LOG");
    dev.capture_fd = open_output("FAKEDSP_CAPTURE");
    Line line("open");
    line.kv("flags", flags);
    int err = injected_error(OP_OPEN, call);
    int fd = err ? -1 : real_open("/dev/null", O_WRONLY | (flags & (O_CLOEXEC | O_NONBLOCK)), 0);
    if (fd < 0) {
        int result = fail(line, err ? err : errno);
        close_outputs();
        return result;
    }
    dev.nonblock = (flags & O_NONBLOCK) != 0;
    dev.fd = fd;
    line.send(dev.log_fd);
    return fd;
}

int dev_close() {
    int call = ++dev.calls[OP_CLOSE];
    Line line("close");
    line.kv("underruns", dev.underruns);
    int err = injected_error(OP_CLOSE, call);
    // As on Linux, the descriptor is released even when close reports an error.
    int fd = dev.fd;
    dev.fd = -1;
    real_close(fd);
    int result = err ? fail(line, err) : 0;
    if (!err) line.send(dev.log_fd);
    close_outputs();
    return result;
}

int dev_ioctl(unsigned long request, void* arg) {
    switch (request) {
        case SNDCTL_DSP_SETFMT:
            return set_value(OP_SETFMT, arg, &dev.format);
        case SNDCTL_DSP_STEREO:
            return set_value(OP_STEREO, arg, &dev.stereo);
        case SNDCTL_DSP_SPEED:
            return set_value(OP_SPEED, arg, &dev.rate);
        case SNDCTL_DSP_GETOSPACE:
            return get_ospace(arg);
        case SNDCTL_DSP_GETBLKSIZE:
            return get_blksize(arg);
        case SNDCTL_DSP_RESET:
            return control(OP_RESET);
        case SNDCTL_DSP_SYNC:
            return control(OP_SYNC);
        case SNDCTL_DSP_POST:
            return control(OP_POST);
    }
    Line line("ioctl UNKNOWN");
    return fail(line.kv("request", static_cast<long long>(request)), EINVAL);
}

ssize_t dev_write(const void* buf, size_t len) {
    int call = ++dev.calls[OP_WRITE];
    Line line("write");
    line.kv("len", static_cast<long long>(len));
    if (int err = injected_error(OP_WRITE, call)) return fail(line, err);
    if (dev.cfg.eagain_every > 0 && call % dev.cfg.eagain_every == 0) return fail(line, EAGAIN);
    long long now = now_ns();
    if (len > 0 && room(now) == 0) {
        if (dev.nonblock) return fail(line, EAGAIN);
        sleep_until(writable_at());
        now = now_ns();
    }
    size_t n = len < static_cast<size_t>(room(now)) ? len : room(now);
    if (dev.cfg.partial > 0 && n > static_cast<size_t>(dev.cfg.partial)) n = dev.cfg.partial;
    if (n > 0) {
        note_underrun(now);
        capture(buf, n);
        queue(n, now);
    }
    line.kv("accepted", static_cast<long long>(n)).send(dev.log_fd);
    return n;
}

int dev_poll(pollfd* fds, nfds_t n, int timeout_ms) {
    int call = ++dev.calls[OP_POLL];
    pollfd* me = fds;
    while (me->fd != dev.fd) ++me;
    Line line("poll");
    line.kv("events", me->events).kv("timeout", timeout_ms);
    if (int err = injected_error(OP_POLL, call)) return fail(line, err);
    const short wanted = me->events & (POLLOUT | POLLWRNORM);
    const long long deadline = timeout_ms < 0 ? -1 : now_ns() + timeout_ms * 1000000LL;
    for (;;) {
        long long now = now_ns();
        short ready = writable(now) ? wanted : 0;
        long long wake = deadline;  // -1: none
        if (wanted && (wake < 0 || writable_at() < wake)) wake = writable_at();
        int wait_ms = ready ? 0 : wake < 0 ? -1 : ceil_ms(wake - now);
        // The other descriptors are polled for real while the fake one sits out.
        int fd = me->fd;
        me->fd = -1;
        int others = real_poll(fds, n, wait_ms);
        me->fd = fd;
        if (others < 0) return fail(line, errno);
        if (!ready) ready = writable(now_ns()) ? wanted : 0;
        me->revents = ready;
        if (others > 0 || ready || (deadline >= 0 && now_ns() >= deadline)) {
            line.kv("revents", ready).send(dev.log_fd);
            return others + (ready ? 1 : 0);
        }
    }
}

}  // namespace fakedsp
