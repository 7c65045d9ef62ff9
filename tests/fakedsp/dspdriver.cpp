// Runs a scripted sequence of calls on /dev/dsp and prints one line per
// step. Meant to be run with libfakedsp.so preloaded; see README.md.
#undef _FORTIFY_SOURCE

#include <fcntl.h>
#include <linux/soundcard.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

extern "C" int __open(const char*, int, ...);
extern "C" int __open64(const char*, int, ...);
extern "C" int __open_2(const char*, int);
extern "C" int __open64_2(const char*, int);
extern "C" int __openat_2(int, const char*, int);
extern "C" int __openat64_2(int, const char*, int);

namespace {

const char kDsp[] = "/dev/dsp";
const int kFlags = O_WRONLY | O_NONBLOCK;

int dsp = -1;
long long written = 0;  // bytes accepted so far: the position in the pattern
long long last_write_ms = 0;

long long now_ms() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec * 1000LL + ts.tv_nsec / 1000000;
}

// The byte at position `pos` of the test signal; fakedsp_test knows it too.
unsigned char pattern(long long pos) { return static_cast<unsigned char>(pos * 31 + 7); }

const char* err() { return strerrorname_np(errno); }

void report(const char* step, int result) {
    if (result < 0)
        printf("%s -1 %s\n", step, err());
    else
        printf("%s %d\n", step, result);
}

int open_with(const std::string& how, int flags) {
    if (how == "open") return open(kDsp, flags);
    if (how == "open64") return open64(kDsp, flags);
    if (how == "__open") return __open(kDsp, flags);
    if (how == "__open64") return __open64(kDsp, flags);
    if (how == "__open_2") return __open_2(kDsp, flags);
    if (how == "__open64_2") return __open64_2(kDsp, flags);
    if (how == "openat") return openat(AT_FDCWD, kDsp, flags);
    if (how == "openat64") return openat64(AT_FDCWD, kDsp, flags);
    if (how == "__openat_2") return __openat_2(AT_FDCWD, kDsp, flags);
    if (how == "__openat64_2") return __openat64_2(AT_FDCWD, kDsp, flags);
    fprintf(stderr, "dspdriver: unknown open variant %s\n", how.c_str());
    exit(2);
}

// A failed open keeps the descriptor of an earlier one for later steps.
void do_open(const std::string& how, int flags) {
    int fd = open_with(how, flags);
    if (fd < 0) return report("open", -1);
    dsp = fd;
    printf("open ok\n");
}

void do_value(const char* step, unsigned long request, int value) {
    int result = ioctl(dsp, request, &value);
    if (result < 0)
        printf("%s -1 %s\n", step, err());
    else
        printf("%s %d %d\n", step, result, value);
}

void do_ospace() {
    audio_buf_info info{};
    if (ioctl(dsp, SNDCTL_DSP_GETOSPACE, &info) < 0)
        printf("ospace -1 %s\n", err());
    else
        printf("ospace fragments=%d fragstotal=%d fragsize=%d bytes=%d\n", info.fragments,
               info.fragstotal, info.fragsize, info.bytes);
}

ssize_t write_pattern(int len) {
    std::string data(len, '\0');
    for (int i = 0; i < len; ++i) data[i] = pattern(written + i);
    ssize_t n = write(dsp, data.data(), data.size());
    if (n > 0) written += n;
    return n;
}

void do_write(int len) {
    last_write_ms = now_ms();
    report("write", static_cast<int>(write_pattern(len)));
}

// Writes `len` bytes the way a careful caller does: on a short write or
// EAGAIN, wait with poll() for room and go on.
void do_writeall(int len) {
    last_write_ms = now_ms();
    int writes = 0, eagain = 0, polls = 0;
    for (int left = len; left > 0;) {
        ssize_t n = write_pattern(left);
        ++writes;
        if (n < 0 && errno != EAGAIN) return report("writeall", -1);
        if (n < 0) ++eagain;
        if (n > 0) left -= n;
        if (left == 0) break;
        pollfd p = {dsp, POLLOUT, 0};
        if (poll(&p, 1, -1) < 0) return report("writeall poll", -1);
        ++polls;
    }
    printf("writeall %d writes=%d eagain=%d polls=%d\n", len, writes, eagain, polls);
}

void do_poll(int timeout_ms) {
    pollfd p = {dsp, POLLOUT, 0};
    int result = poll(&p, 1, timeout_ms);
    if (result < 0)
        printf("poll -1 %s\n", err());
    else
        printf("poll %d revents=%d\n", result, p.revents);
}

void do_control(const char* step, unsigned long request) { report(step, ioctl(dsp, request, 0)); }

// Prints how long after the start of the last write SYNC returned.
void do_sync() {
    int result = ioctl(dsp, SNDCTL_DSP_SYNC, 0);
    if (result < 0)
        printf("sync -1 %s\n", err());
    else
        printf("sync %d since_write_ms=%lld\n", result, now_ms() - last_write_ms);
}

// Touches an ordinary file with every call the library intercepts.
void do_file(const std::string& path) {
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) return report("file", -1);
    ssize_t wrote = write(fd, "plain\n", 6);
    pollfd p = {fd, POLLOUT, 0};
    int ready = poll(&p, 1, 0);
    int speed = 8000;
    int ioctl_result = ioctl(fd, SNDCTL_DSP_SPEED, &speed);
    const char* ioctl_err = ioctl_result < 0 ? err() : "none";
    int closed = close(fd);
    printf("file wrote=%zd poll=%d ioctl=%s close=%d\n", wrote, ready, ioctl_err, closed);
}

void step(const std::string& s) {
    size_t eq = s.find('=');
    std::string name = s.substr(0, eq);
    std::string arg = eq == std::string::npos ? "" : s.substr(eq + 1);
    int n = atoi(arg.c_str());
    if (name == "open") return do_open(arg.empty() ? "open" : arg, kFlags);
    if (name == "open-block") return do_open("open", O_WRONLY);
    if (name == "close") return report("close", close(dsp));
    if (name == "setfmt") return do_value("setfmt", SNDCTL_DSP_SETFMT, n);
    if (name == "stereo") return do_value("stereo", SNDCTL_DSP_STEREO, n);
    if (name == "speed") return do_value("speed", SNDCTL_DSP_SPEED, n);
    if (name == "blksize") return do_value("blksize", SNDCTL_DSP_GETBLKSIZE, 0);
    if (name == "ospace") return do_ospace();
    if (name == "reset") return do_control("reset", SNDCTL_DSP_RESET);
    if (name == "sync") return do_sync();
    if (name == "post") return do_control("post", SNDCTL_DSP_POST);
    if (name == "write") return do_write(n);
    if (name == "writeall") return do_writeall(n);
    if (name == "poll") return do_poll(n);
    if (name == "sleep") return static_cast<void>(usleep(n * 1000));
    if (name == "file") return do_file(arg);
    fprintf(stderr, "dspdriver: unknown step %s\n", s.c_str());
    exit(2);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        fprintf(stderr,
                "usage: dspdriver STEP...\n"
                "steps: open[=VARIANT] open-block close setfmt=N stereo=N speed=N\n"
                "       blksize ospace reset sync post write=N writeall=N poll=MS\n"
                "       sleep=MS file=PATH\n");
        return 2;
    }
    setvbuf(stdout, nullptr, _IOLBF, 0);
    for (int i = 1; i < argc; ++i) step(argv[i]);
    return 0;
}
