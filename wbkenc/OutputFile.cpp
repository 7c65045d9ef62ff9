#include "OutputFile.h"

#include <fcntl.h>
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

} // namespace

OutputFile::OutputFile(const std::string& path) : path(path)
{
    catchCleanupSignals();
    // Beyond the file size limit a write fails (EFBIG) and is reported,
    // instead of the process being killed with the file left behind.
    std::signal(SIGXFSZ, SIG_IGN);
    // No signal may come between the file's creation and its being known.
    const sigset_t blocked = cleanupSignalSet();
    sigset_t previous;
    sigprocmask(SIG_BLOCK, &blocked, &previous);
    file = std::make_unique<StagedFile>(AT_FDCWD, path, 0666);
    const int createError = errno;
    // The kernel refuses paths of PATH_MAX bytes or more, so a created one fits.
    if (file->isOpen() && file->temporaryName().size() < sizeof temporaryPath) {
        std::strcpy(temporaryPath, file->temporaryName().c_str());
        temporaryExists = 1;
        std::atexit(removeTemporary);
    }
    sigprocmask(SIG_SETMASK, &previous, nullptr);
    errno = createError;
    if (!file->isOpen())
        fail("create");
}

OutputFile::~OutputFile()
{
    file.reset();
    temporaryExists = 0;
}

void OutputFile::fail(const char* what)
{
    if (failure.empty())
        failure = std::string("can not ") + what + " " + path + ": " + std::strerror(errno);
}

void OutputFile::write(const unsigned char* bytes, std::size_t count)
{
    while (count > 0 && failure.empty()) {
        const ssize_t written = ::write(file->descriptor(), bytes, count);
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
    if (file->commit(replace)) {
        temporaryExists = 0;
        return true;
    }
    if (errno == EEXIST)
        failure = path + " exists (use -f to replace it)";
    else
        fail("write");
    return false;
}
