#ifndef WBK_CHOOSE_ENTRIES_H
#define WBK_CHOOSE_ENTRIES_H

#include "Bank.h"

#include <cstddef>
#include <string>
#include <vector>

// Entries named on a command line (ENTRY): a decimal index ("12"), a range of
// indices ("3-7", both ends included) where several make sense, or a stored
// name, compared with the whole name's bytes ("\xHH" escapes accepted, as in
// a manifest). All digits means an index, and digits, '-', digits a range;
// a name that looks like either is chosen with an escape ("\x31", "3\x2d7").
//
// Returns the chosen indices in ascending order. std::invalid_argument with
// a message for the user when the argument chooses nothing: an index or a
// range end beyond the bank, a range where one entry is wanted, a name that
// no entry carries, or a name that several carry (naming their indices).
std::vector<std::size_t> chooseEntries(const std::vector<BankEntry>& entries, const std::string& argument,
                                       bool rangeAllowed);

// The union of several arguments' choices, in bank order, each index once.
std::vector<std::size_t> chooseEntries(const std::vector<BankEntry>& entries,
                                       const std::vector<std::string>& arguments);

#endif
