#include "OutputFile.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// The temporary file's name, for the signal handlers.
char temporaryPath[PATH_MAX + 32];
volatile sig_atomic_t temporaryExists = 0;

const int cleanupSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE};

void removeTemporary()
{
    if (temporaryExists) {
        temporaryExists = 0;
        unlink(temporaryPath);
    }
}

void removeAndDie(int signalNumber)
{
    removeTemporary();
    std::signal(signalNumber, SIG_DFL);
    std::raise(signalNumber);
}

sigset_t cleanupSignalSet()
{
    sigset_t set;
    sigemptyset(&set);
    for (int signalNumber : cleanupSignals)
        sigaddset(&set, signalNumber);
    return set;
}

// A signal ignored by whoever started the process (nohup, the SIGINT of a
// background job) stays ignored.
void catchCleanupSignals()
{
    struct sigaction action {};
    action.sa_handler = removeAndDie;
    action.sa_mask = cleanupSignalSet();
    for (int signalNumber : cleanupSignals) {
        struct sigaction previous {};
        if (sigaction(signalNumber, nullptr, &previous) == 0 && previous.sa_handler != SIG_IGN)
            sigaction(signalNumber, &action, nullptr);
    }
}

// ".NAME.XXXXXX" in the directory of `path`.
std::string temporaryTemplate(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    const std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    return path.substr(0, nameStart) + "." + path.substr(nameStart) + ".XXXXXX";
}

mode_t currentUmask()
{
    const mode_t mask = umask(0);
    umask(mask);
    return mask;
}

} // namespace

OutputFile::OutputFile(const std::string& path) : path(path)
{
    const std::string name = temporaryTemplate(path);
    if (name.size() >= sizeof temporaryPath) {
        errno = ENAMETOOLONG;
        fail("create");
        return;
    }
    std::strcpy(temporaryPath, name.c_str());
    catchCleanupSignals();
    // Beyond the file size limit a write fails (EFBIG) and is reported,
    // instead of the process being killed with the file left behind.
    std::signal(SIGXFSZ, SIG_IGN);
    // No signal may come between the file's creation and its being known.
    const sigset_t blocked = cleanupSignalSet();
    sigset_t previous;
    sigprocmask(SIG_BLOCK, &blocked, &previous);
    fd = mkstemp(temporaryPath);
    const int createError = errno;
    if (fd >= 0) {
        temporaryExists = 1;
        std::atexit(removeTemporary);
    }
    sigprocmask(SIG_SETMASK, &previous, nullptr);
    errno = createError;
    // mkstemp makes 0600; the sample gets what a new file would get.
    if (fd < 0 || fchmod(fd, 0666 & ~currentUmask()) != 0)
        fail("create");
}

OutputFile::~OutputFile()
{
    if (fd >= 0)
        close(fd);
    removeTemporary();
}

void OutputFile::fail(const char* what)
{
    if (failure.empty())
        failure = std::string("can not ") + what + " " + path + ": " + std::strerror(errno);
}

void OutputFile::write(const unsigned char* bytes, std::size_t count)
{
    while (count > 0 && failure.empty()) {
        const ssize_t written = ::write(fd, bytes, count);
        if (written < 0 && errno == EINTR)
            continue;
        if (written < 0) {
            fail("write");
            return;
        }
        bytes += written;
        count -= static_cast<std::size_t>(written);
    }
}

bool OutputFile::commit(bool replace)
{
    if (!failure.empty())
        return false;
    if (fsync(fd) != 0)
        fail("write");
    if (close(fd) != 0)
        fail("write");
    fd = -1;
    if (!failure.empty())
        return false;
    // Without `replace`, a hard link puts the file in place only if OUTPUT
    // does not exist, with no window in between; with it, rename replaces.
    if (!replace) {
        if (link(temporaryPath, path.c_str()) == 0) {
            removeTemporary();
            return true;
        }
        // A file system without hard links: check, then rename.
        struct stat info;
        if (errno == EEXIST || lstat(path.c_str(), &info) == 0) {
            failure = path + " exists (use -f to replace it)";
            return false;
        }
    }
    if (rename(temporaryPath, path.c_str()) != 0) {
        fail("write");
        return false;
    }
    temporaryExists = 0;
    return true;
}
