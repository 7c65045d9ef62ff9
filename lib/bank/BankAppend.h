#ifndef WBK_BANK_APPEND_H
#define WBK_BANK_APPEND_H

#include "Bank.h"
#include "CleanupRegistry.h"
#include "KovaOutputStream.h"

#include <memory>
#include <string>

// An append in place: the bank opened for appending as a KovaOutputStream
// (created when missing), locked, required whole and written at its end. A
// run that ends without commit(), by an exception, an exit or a catchable
// signal, cuts the bank back to the length it had under the lock, or removes
// the bank when it created it and left it empty (CleanupRegistry). Failing
// system calls throw BankError whose what() is the action ("open", "lock",
// "read", "write"); a bank that is not whole throws BankRefused.
class BankAppend {
public:
    explicit BankAppend(const std::string& path);
    ~BankAppend();
    BankAppend(const BankAppend&) = delete;
    BankAppend& operator=(const BankAppend&) = delete;

    KovaOutputStream& stream() { return *wbk; }
    int fd() const { return wbk->fd(); }

    // Refuses a bank that is not whole, read under a shared lock: what a run
    // checks before it asks the user anything.
    void precheck() const;
    // Takes the exclusive lock on the file that is at the path now (while
    // this run waited, it may have been replaced or removed), reads and checks
    // it; from here on a failure cuts it back. The bank as read under the lock.
    const Bank& lock();
    // The entry is written: syncs the file, and a new bank's directory entry;
    // nothing is undone any more, and the signals stay held back until the
    // process ends, so that the run reports what it did.
    void commit();

private:
    void open();

    std::string path;
    std::unique_ptr<KovaOutputStream> wbk;
    int undoFd = -1;  // the stream's file, for the undoing: it outlives the stream's last flush
    CleanupRegistry::Handle created = CleanupRegistry::none;
    CleanupRegistry::Handle cutBack = CleanupRegistry::none;
    std::unique_ptr<Bank> index;
};

#endif
