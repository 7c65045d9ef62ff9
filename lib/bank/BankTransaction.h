#ifndef WBK_BANK_TRANSACTION_H
#define WBK_BANK_TRANSACTION_H

#include "Bank.h"
#include "BankLock.h"
#include "BankWriter.h"
#include "CleanupRegistry.h"
#include "StagedFile.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

// An edit that cannot be made: a sentence naming the bank and why. The bank
// is as it was.
class BankRefused : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// One entry of a bank about to be written, and where its data come from.
struct PlannedEntry {
    EntryHead head;
    int fd = -1;  // the data are head.size bytes of this file (a bank or a sample) from `offset`,
    std::uint64_t offset = 0;
    std::string path;  // or the file at this path, opened only when it is written, when set,
    // or the bytes this makes, when set: called once, as the entry is written
    // (head.size is then theirs).
    std::function<std::vector<unsigned char>()> produce;
    // Its index in the bank being edited, for the report of moved entries;
    // none for a new entry and for the one an edit names itself.
    std::optional<std::size_t> movedFrom;
};

// The index of the bank open on `fd`; BankError("read") when it cannot be read.
std::unique_ptr<Bank> readBank(int fd);
// BankRefused unless `bank` (at `path`) is whole or empty.
void requireWhole(const Bank& bank, const std::string& path);
// BankRefused unless the file open on `fd` can be edited: a regular file with
// no other hard link (a new file would split them).
void requireEditable(int fd, const std::string& path);
// The bank open on `fd`, read under a shared lock (an append in progress is
// not taken for damage) and required whole, and editable when `edit` is set:
// what a run checks before it asks the user anything.
std::unique_ptr<Bank> precheckBank(int fd, const std::string& path, bool edit);

// An edit of the bank at a path, all or nothing: the bank is locked and read,
// the caller plans its new entries (starting from keptEntries()), and write()
// writes them to a new file beside the bank that takes the old one's owner,
// group, mode and extended attributes and is renamed over it with the signals
// held back, the directory synced. Until then every failure, exception or
// signal leaves the old bank as it was, no staged file, and no bank that the
// transaction created empty. System calls that fail throw BankError whose
// what() is the action on the bank ("open", "read", "write to");
// what cannot be done throws BankRefused.
class BankTransaction {
public:
    // Locks the bank (created empty when missing and `create` is set), checks
    // that it can be edited and is whole (or empty), reads it, and removes
    // what killed edits left beside it (see leftovers()).
    BankTransaction(const std::string& path, bool create);
    ~BankTransaction();
    BankTransaction(const BankTransaction&) = delete;
    BankTransaction& operator=(const BankTransaction&) = delete;

    const Bank& bank() const { return *index; }
    int fd() const { return lock->fd(); }
    const StagedFile::Leftovers& leftovers() const { return removed; }
    // Every entry of the bank, kept as it is: where a plan starts.
    std::vector<PlannedEntry> keptEntries() const { return keptEntriesOf(*index); }
    static std::vector<PlannedEntry> keptEntriesOf(const Bank& bank);
    // The bank's own header, or a new magic.
    Bank::Magic magic() const;
    // The bank's own author, or `newAuthor` for a bank without a header.
    Bank::Author author(const Bank::Author& newAuthor) const;

    // Writes the new bank and puts it in place; the transaction is done.
    void write(const Bank::Magic& magic, const Bank::Author& author, const std::vector<PlannedEntry>& entries);

private:
    std::unique_ptr<BankWriter> createWriter() const;
    void keepIdentity(const BankWriter& writer) const;
    void writeEntry(BankWriter& writer, const PlannedEntry& entry) const;

    std::string path;
    std::unique_ptr<BankLock> lock;
    CleanupRegistry::Handle created = CleanupRegistry::none;
    std::unique_ptr<Bank> index;
    StagedFile::Leftovers removed;
};

#endif
