#include "rollback.h"

#include "BankLock.h"

#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <csignal>
#include <cstdlib>
#include <string>

namespace {

// Shared with the signal handlers: only plain data and system calls that
// are safe there.
struct State {
    int fd = -1;
    bool created = false;
    off_t length = -1;  // -1 until the lock is held and nothing may be written before
    char path[PATH_MAX] = {};  // the file's own path, so that a link to it is never removed
    char temporary[PATH_MAX] = {};  // a new bank being written beside it; empty when none
    volatile sig_atomic_t armed = 0;
} state;

sigset_t undoingSignals;

// Every signal whose default action ends the process, except SIGXFSZ: it is
// ignored, so that a write beyond the file size limit fails (EFBIG) and is
// undone like any other write failure.
void collectUndoingSignals()
{
    sigemptyset(&undoingSignals);
    for (int signalNumber : {SIGHUP, SIGINT, SIGQUIT, SIGILL, SIGTRAP, SIGABRT, SIGBUS, SIGFPE, SIGUSR1, SIGSEGV,
                             SIGUSR2, SIGPIPE, SIGALRM, SIGTERM, SIGSTKFLT, SIGXCPU, SIGVTALRM, SIGPROF, SIGIO,
                             SIGPWR, SIGSYS})
        sigaddset(&undoingSignals, signalNumber);
    for (int signalNumber = SIGRTMIN; signalNumber <= SIGRTMAX; ++signalNumber)
        sigaddset(&undoingSignals, signalNumber);
}

// Removes a bank this run created when it is empty and still the file at
// its path; the caller holds the lock.
void removeIfEmptyAndOurs()
{
    struct stat file;
    if (state.created && fstat(state.fd, &file) == 0 && file.st_size == 0 &&
        BankLock::isFileAtPath(state.fd, state.path))
        unlink(state.path);
}

void undoChanges()
{
    // Called at exit, the undoing must not be cut short by a signal whose
    // handler would find nothing left to undo.
    const SignalBlock block;
    if (!state.armed)
        return;
    state.armed = 0;
    if (state.temporary[0] != '\0')
        unlink(state.temporary);
    if (state.length >= 0) {
        ftruncate(state.fd, state.length);
        if (state.length == 0)
            removeIfEmptyAndOurs();
    } else if (state.created && flock(state.fd, LOCK_EX | LOCK_NB) == 0) {
        // Anyone holding the lock is writing to the bank, which is then not empty.
        removeIfEmptyAndOurs();
    }
}

void undoAndDie(int signalNumber)
{
    undoChanges();
    signal(signalNumber, SIG_DFL);
    raise(signalNumber);
}

// A signal ignored from the start, as under nohup, stays ignored.
bool isIgnored(int signalNumber)
{
    struct sigaction current;
    return sigaction(signalNumber, nullptr, &current) == 0 && current.sa_handler == SIG_IGN;
}

} // namespace

SignalBlock::SignalBlock()
{
    sigprocmask(SIG_BLOCK, &undoingSignals, &previous);
}

SignalBlock::~SignalBlock()
{
    sigprocmask(SIG_SETMASK, &previous, nullptr);
}

void installRollback()
{
    collectUndoingSignals();
    std::atexit(undoChanges);
    struct sigaction action = {};
    action.sa_handler = undoAndDie;
    action.sa_mask = undoingSignals;
    for (int signalNumber = 1; signalNumber <= SIGRTMAX; ++signalNumber)
        if (sigismember(&undoingSignals, signalNumber) == 1 && !isIgnored(signalNumber))
            sigaction(signalNumber, &action, nullptr);
    signal(SIGXFSZ, SIG_IGN);
}

void watchBank(int fd, bool created)
{
    const SignalBlock block;
    state.armed = 0;
    state.fd = fd;
    state.created = created;
    state.length = -1;
    state.path[0] = '\0';
    const std::string fdLink = "/proc/self/fd/" + std::to_string(fd);
    const ssize_t length = readlink(fdLink.c_str(), state.path, sizeof state.path - 1);
    if (length > 0)
        state.path[length] = '\0';
    else
        state.created = false;
    state.armed = 1;
}

void beginWriting(off_t length)
{
    const SignalBlock block;
    state.length = length;
}

void commit()
{
    sigprocmask(SIG_BLOCK, &undoingSignals, nullptr);
    state.armed = 0;
}

void watchTemporary(const std::string& path)
{
    const SignalBlock block;
    if (path.size() < sizeof state.temporary)
        state.temporary[path.copy(state.temporary, path.size())] = '\0';
}

void commitWith(const std::function<void()>& putInPlace)
{
    sigset_t previous;
    sigprocmask(SIG_BLOCK, &undoingSignals, &previous);
    try {
        putInPlace();
    } catch (...) {
        sigprocmask(SIG_SETMASK, &previous, nullptr);
        throw;
    }
    state.armed = 0;
}
