#ifndef WBK_EDIT_REPORT_H
#define WBK_EDIT_REPORT_H

#include "Bank.h"
#include "BankTransaction.h"

#include <cstddef>
#include <string>
#include <vector>

// Pieces of the line an edit prints.

// "13-40", or "13" when `first` is `last`.
std::string indexRange(std::size_t first, std::size_t last);
// "3-5, 9": ascending indices, runs written as ranges.
std::string indexList(const std::vector<std::size_t>& indices);
// "entry 4 (a.pc8)", the name made safe for a terminal.
std::string entryText(const Bank& bank, std::size_t index);
// "1 entry", "3 entries".
std::string entryCount(std::size_t count);
// "; entries 13-40 are now 12-39" for the kept entries whose index changed,
// or nothing when none did.
std::string movedClause(const std::vector<PlannedEntry>& entries);

#endif
