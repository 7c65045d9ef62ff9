#ifndef WBKPACK_BANK_CHECK_H
#define WBKPACK_BANK_CHECK_H

#include <sys/types.h>

#include <string>

constexpr off_t bankHeaderSize = 40;
constexpr off_t entryHeadSize = 23;

// What walking a bank from its first entry found.
struct BankCheck {
    enum Verdict { whole, notBank, damaged, unreadable };
    Verdict verdict = whole;
    off_t wholeLength = 0;  // where the last whole entry (or the header) ends; 0 without a whole header
    int entries = 0;        // whole entries
    std::string damage;     // for a damaged bank: what is cut short, e.g. "the entry at offset 63 claims ..."
};

// Walks the first `length` bytes of the bank open on `fd`, reading with
// pread so that the file offset stays put. An empty file is a whole bank
// without a header; errno tells why an unreadable one could not be read.
BankCheck checkBank(int fd, off_t length);

#endif
