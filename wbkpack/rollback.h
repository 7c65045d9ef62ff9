#ifndef WBKPACK_ROLLBACK_H
#define WBKPACK_ROLLBACK_H

#include <sys/types.h>

#include <csignal>

#include <functional>
#include <string>

// Undoes this run's changes to a bank when the run fails: at exit without
// success, and on every signal that would end the process and can be caught.
// It only ever touches the open bank file and the new bank being written
// beside it: it cuts the bank back to the length measured under the lock,
// removes it only when this run created it, nobody else wrote to it and it
// is still the file at its path, and removes the new bank's temporary file.

// Installs the exit and signal handlers; call once, before opening the bank.
void installRollback();

// The bank is open on `fd` (created by this run or not) and nothing is written yet.
void watchBank(int fd, bool created);

// The lock is held and the bank measured `length` bytes: from here on, a
// failure cuts the bank back to that length.
void beginWriting(off_t length);

// The entry is complete and durable: nothing is undone any more. Leaves the
// undoing signals blocked, so that the run cannot be ended between this and
// reporting success.
void commit();

// A new bank is being written to the temporary file at `path` (call with the
// signals held back since its creation): a failure removes it.
void watchTemporary(const std::string& path);

// Runs `putInPlace` (which renames the new bank over the old) with the
// undoing signals held back; once it has returned, nothing is undone any
// more and the signals stay blocked, as after commit(). When it throws, the
// signals are let through again and the undoing stays armed.
void commitWith(const std::function<void()>& putInPlace);

// Holds the undoing signals back while what the undoing reads changes.
class SignalBlock {
public:
    SignalBlock();
    ~SignalBlock();
    SignalBlock(const SignalBlock&) = delete;
    SignalBlock& operator=(const SignalBlock&) = delete;

private:
    sigset_t previous;
};

#endif
