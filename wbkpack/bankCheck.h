#ifndef WBKPACK_BANK_CHECK_H
#define WBKPACK_BANK_CHECK_H

#include <sys/types.h>

#include <string>

// What walking a bank from its first entry found.
struct BankCheck {
    enum Verdict { whole, notBank, damaged, unreadable };
    Verdict verdict = whole;
    off_t length = 0;       // the length of the file walked
    off_t wholeLength = 0;  // where the last whole entry (or the header) ends; 0 without a whole header
    int entries = 0;        // whole entries
    std::string damage;     // for a damaged bank: what is cut short, e.g. "the entry at offset 63 claims ..."
};

// Walks the bank open on `fd`, reading with pread so that the file offset
// stays put. An empty file, or one that is not a regular file, is a whole
// bank without a header; errno tells why an unreadable one could not be read.
BankCheck checkBank(int fd);

#endif
