#ifndef WBK_CLEANUP_REGISTRY_H
#define WBK_CLEANUP_REGISTRY_H

#include <sys/types.h>

#include <csignal>
#include <string>

// What a run must undo when it ends without finishing: temporary files to
// remove, a file to cut back to the length it had, a file it created to
// remove again. Each is registered when it comes to be and released when the
// run no longer needs it undone. Whatever is still registered is undone at
// exit (std::exit, a return from main) and on every signal that would end the
// process and can be caught; then the signal's earlier disposition is put
// back and the signal raised again, so the process still dies by it. The
// handlers are installed once, on the first registration, SignalHold or
// catchSignals(), for the signals whose action is the default then: one
// ignored when the process started (nohup) stays ignored, one handled
// already stays handled (the streamer's SIGALRM). SIGXFSZ is ignored so that
// a write beyond the file size limit fails (EFBIG) and is undone like any
// failed write. The undoing makes only system calls that are safe in a
// signal handler.
class CleanupRegistry {
public:
    using Handle = int;
    static constexpr Handle none = -1;

    // Installs the handlers now, before anything is registered (a program
    // that writes files of its own needs SIGXFSZ ignored from the start).
    static void catchSignals();

    // The file `name`, relative to the directory `dirFd` (AT_FDCWD: the working
    // directory), is removed. The descriptor must stay open while registered.
    static Handle removeFile(int dirFd, const std::string& name);
    // The file open on `fd` is cut back to `length` bytes; when that leaves
    // it empty and this run created it (`createdPath` set, the path it was
    // created at), it is removed while it is still the file at that path.
    static Handle cutBack(int fd, off_t length, const std::string& createdPath = "");
    // The empty file open on `fd` that this run created at `path` is removed,
    // unless another process holds its lock (it is writing to it) or it has
    // become the file of another path.
    static Handle removeCreated(int fd, const std::string& path);
    // Nothing is undone for it any more; `handle` becomes none.
    static void release(Handle& handle);
    // Undoes it now; `handle` becomes none.
    static void undo(Handle& handle);
};

// Holds the signals that the registry catches back while it lives, so that
// no signal ends the run between creating something and registering it, or
// between putting a file in place and releasing it.
class SignalHold {
public:
    SignalHold();
    ~SignalHold();
    SignalHold(const SignalHold&) = delete;
    SignalHold& operator=(const SignalHold&) = delete;

    // The signals stay held back until the process ends, so that nothing can
    // end it between a commit and the report of its success.
    void keepUntilExit() { kept = true; }

private:
    sigset_t previous;
    bool kept = false;
};

#endif
