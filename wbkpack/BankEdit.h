#ifndef WBKPACK_BANK_EDIT_H
#define WBKPACK_BANK_EDIT_H

#include "Bank.h"
#include "BankLock.h"
#include "BankWriter.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// One entry of a bank about to be written, and where its data come from.
struct PlannedEntry {
    EntryHead head;
    int fd = -1;  // the data are head.size bytes of this file (a bank or a sample) from `offset`,
    std::uint64_t offset = 0;
    const std::vector<unsigned char>* bytes = nullptr;  // or these, when set
    std::string path;  // or the file at this path (opened only when it is written), when set
    // Its index in the bank being edited, for the report of moved entries;
    // none for a new entry and for the one an edit names itself.
    std::optional<std::size_t> movedFrom;
};

// The entry `index` of `bank` as it is, copied.
PlannedEntry keptEntry(const Bank& bank, std::size_t index);

// The author of a new bank: "wbkpack:" and the user's LOGNAME.
Bank::Author newBankAuthor();

// Ends the run unless the file open on `fd` can be edited: a regular file
// with no other hard link (a new file would split them).
void requireEditable(int fd, const char* path);

// An edit of the bank at a path: the bank locked and read, then written anew
// beside itself and renamed over it under the lock, keeping its owner, group,
// mode and extended attributes. What cannot be edited, and every failure,
// ends the run with the old bank as it was; a bank that this run created
// empty is removed then. Leftovers of killed edits are removed on the way.
class BankEdit {
public:
    // Locks the bank (created empty when missing and `create` is set) and
    // reads it: it must be a regular file holding a whole bank, or nothing.
    BankEdit(const char* path, bool create);

    const Bank& bank() const { return *index; }
    int fd() const { return lock->fd(); }
    // The bank's own header, or a new bank's.
    Bank::Magic magic() const;
    Bank::Author author() const;

    // Writes the new bank and puts it in place.
    void write(const Bank::Magic& magic, const Bank::Author& author, const std::vector<PlannedEntry>& entries);

private:
    void lockBank(bool create);
    void removeLeftovers() const;
    std::unique_ptr<BankWriter> createWriter() const;
    void keepIdentity(const BankWriter& writer) const;
    void writeFileEntry(BankWriter& writer, const PlannedEntry& entry) const;

    const char* path;
    std::unique_ptr<BankLock> lock;
    std::unique_ptr<Bank> index;
};

#endif
