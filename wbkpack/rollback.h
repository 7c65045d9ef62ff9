#ifndef WBKPACK_ROLLBACK_H
#define WBKPACK_ROLLBACK_H

#include <sys/types.h>

#include <csignal>

// Undoes this run's changes to a bank when the run fails: at exit without
// success, and on every signal that would end the process and can be caught.
// It only ever touches the open bank file: it cuts it back to the length
// measured under the lock, and removes it only when this run created it,
// nobody else wrote to it and it is still the file at its path.

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
