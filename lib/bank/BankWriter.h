#ifndef WBK_BANK_WRITER_H
#define WBK_BANK_WRITER_H

#include "Bank.h"
#include "StagedFile.h"

#include <cstdint>
#include <string>

// A new bank, written to a hidden temporary file beside the bank it is to
// replace (".NAME.XXXXXX" in the same directory, behind a symbolic link the
// file it leads to) and renamed over it by commit(), so that the old bank
// stays whole until that moment. Until then the destructor removes the
// temporary file. Failing system calls throw BankError.
//
// Rename only under the bank's lock (BankLock), decided on what was read
// under it, so that no concurrent append or edit is lost.
class BankWriter {
public:
    // The new file starts with permission 0600; see descriptor().
    explicit BankWriter(const std::string& path);
    BankWriter(const BankWriter&) = delete;
    BankWriter& operator=(const BankWriter&) = delete;

    void writeHeader(const Bank::Magic& magic, const Bank::Author& author);
    // An entry whose head.size data bytes are at `data`.
    void writeEntry(const EntryHead& head, const unsigned char* data);
    // An entry whose head.size data bytes are read from `fd` at `offset`,
    // copied inside the kernel where it can (copy_file_range), so that a file
    // system sharing extents shares them. Holes of the source stay holes.
    void writeEntry(const EntryHead& head, int fd, std::uint64_t offset);
    // An entry of `from` as it is stored.
    void copyEntry(const Bank& from, const BankEntry& entry);

    // Syncs the new bank, renames it over the path and syncs the directory.
    void commit();

    // The new file, for what its owner, mode and attributes are to be.
    int descriptor() const { return staged.descriptor(); }

private:
    void write(const unsigned char* bytes, std::size_t count);
    void copyRange(int fd, std::uint64_t offset, std::uint64_t count);
    void copyData(int fd, std::uint64_t offset, std::uint64_t count);
    void skip(std::uint64_t count);
    void requireLength(int fd, std::uint64_t end) const;
    [[noreturn]] void fail(const char* what) const;

    StagedFile staged;
    std::uint64_t length = 0;
};

#endif
