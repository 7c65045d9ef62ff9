#include "CleanupRegistry.h"

#include "filePath.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <climits>
#include <cstdlib>
#include <mutex>
#include <stdexcept>

namespace {

// Shared with the signal handlers: plain data only.
struct Slot {
    enum Kind { unused, removal, cut, created };
    volatile sig_atomic_t kind = unused;
    int fd = -1;  // the directory of a removal, else the file
    off_t length = 0;
    char path[PATH_MAX] = {};  // empty: nothing to remove after a cut
};

std::array<Slot, 16> slots;
sigset_t caughtSignals;
struct sigaction earlier[NSIG];
std::once_flag installed;

// Every signal whose default action ends the process, but SIGXFSZ.
void collectSignals()
{
    sigemptyset(&caughtSignals);
    for (int signalNumber : {SIGHUP, SIGINT, SIGQUIT, SIGILL, SIGTRAP, SIGABRT, SIGBUS, SIGFPE, SIGUSR1, SIGSEGV,
                             SIGUSR2, SIGPIPE, SIGALRM, SIGTERM, SIGSTKFLT, SIGXCPU, SIGVTALRM, SIGPROF, SIGIO,
                             SIGPWR, SIGSYS})
        sigaddset(&caughtSignals, signalNumber);
    for (int signalNumber = SIGRTMIN; signalNumber <= SIGRTMAX; ++signalNumber)
        sigaddset(&caughtSignals, signalNumber);
}

void removeIfEmptyAndAtPath(const Slot& slot)
{
    struct stat file;
    if (slot.path[0] != '\0' && fstat(slot.fd, &file) == 0 && file.st_size == 0 && isFileAtPath(slot.fd, slot.path))
        unlink(slot.path);
}

void undoSlot(Slot& slot)
{
    switch (slot.kind) {
    case Slot::unused:
        return;
    case Slot::removal:
        unlinkat(slot.fd, slot.path, 0);
        break;
    case Slot::cut:
        if (ftruncate(slot.fd, slot.length) == 0 && slot.length == 0)
            removeIfEmptyAndAtPath(slot);
        break;
    case Slot::created:
        // Anyone holding the lock is writing to the file, which is then not empty.
        if (flock(slot.fd, LOCK_EX | LOCK_NB) == 0)
            removeIfEmptyAndAtPath(slot);
        break;
    }
    slot.kind = Slot::unused;
}

// Undoes everything still registered.
void undoAll()
{
    // At exit, the undoing must not be cut short by a signal whose handler
    // would find half of it done.
    sigset_t previous;
    sigprocmask(SIG_BLOCK, &caughtSignals, &previous);
    for (Slot& slot : slots)
        if (slot.kind != Slot::unused)
            undoSlot(slot);
    sigprocmask(SIG_SETMASK, &previous, nullptr);
}

void undoAndDie(int signalNumber)
{
    undoAll();
    sigaction(signalNumber, &earlier[signalNumber], nullptr);
    raise(signalNumber);
}

void install()
{
    collectSignals();
    std::atexit(undoAll);
    struct sigaction action = {};
    action.sa_handler = undoAndDie;
    action.sa_mask = caughtSignals;
    for (int signalNumber = 1; signalNumber < NSIG; ++signalNumber) {
        if (sigismember(&caughtSignals, signalNumber) != 1 || sigaction(signalNumber, nullptr, &earlier[signalNumber]) != 0)
            continue;
        // Ignored (nohup) or handled already (the streamer's SIGALRM): left as it is.
        if (earlier[signalNumber].sa_handler == SIG_DFL)
            sigaction(signalNumber, &action, nullptr);
    }
    signal(SIGXFSZ, SIG_IGN);
}

// A free slot, filled by `fill` with the signals held back.
template <typename Fill>
CleanupRegistry::Handle registerSlot(Slot::Kind kind, const std::string& path, Fill fill)
{
    if (path.size() >= PATH_MAX)
        throw std::length_error("a path too long to be undone");
    const SignalHold hold;
    for (std::size_t handle = 0; handle < slots.size(); ++handle) {
        Slot& slot = slots[handle];
        if (slot.kind != Slot::unused)
            continue;
        fill(slot);
        slot.path[path.copy(slot.path, path.size())] = '\0';
        slot.kind = kind;
        return static_cast<CleanupRegistry::Handle>(handle);
    }
    throw std::length_error("too many files to undo at once");
}

} // namespace

void CleanupRegistry::catchSignals()
{
    std::call_once(installed, install);
}

CleanupRegistry::Handle CleanupRegistry::removeFile(int dirFd, const std::string& name)
{
    return registerSlot(Slot::removal, name, [&](Slot& slot) { slot.fd = dirFd; });
}

CleanupRegistry::Handle CleanupRegistry::cutBack(int fd, off_t length, const std::string& createdPath)
{
    return registerSlot(Slot::cut, createdPath, [&](Slot& slot) {
        slot.fd = fd;
        slot.length = length;
    });
}

CleanupRegistry::Handle CleanupRegistry::removeCreated(int fd, const std::string& path)
{
    return registerSlot(Slot::created, path, [&](Slot& slot) { slot.fd = fd; });
}

void CleanupRegistry::release(Handle& handle)
{
    if (handle != none)
        slots[handle].kind = Slot::unused;
    handle = none;
}

void CleanupRegistry::undo(Handle& handle)
{
    if (handle == none)
        return;
    const SignalHold hold;
    undoSlot(slots[handle]);
    handle = none;
}

SignalHold::SignalHold()
{
    std::call_once(installed, install);
    sigprocmask(SIG_BLOCK, &caughtSignals, &previous);
}

SignalHold::~SignalHold()
{
    if (!kept)
        sigprocmask(SIG_SETMASK, &previous, nullptr);
}
