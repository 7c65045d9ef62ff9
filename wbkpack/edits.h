#ifndef WBKPACK_EDITS_H
#define WBKPACK_EDITS_H

#include "Bank.h"
#include "StagedFile.h"
#include "Options.h"

// The edits of a bank: each writes a new bank beside the old one and renames
// it into place (BankTransaction), prints one line saying what it did and
// which indices moved, and returns the exit status; a failure throws, with
// the bank as it was.

// The author of a new bank: "wbkpack:" and the user's LOGNAME.
Bank::Author newBankAuthor();
// Says what an edit removed of what killed edits left.
void reportLeftovers(const StagedFile::Leftovers& removed, const char* path);

// Several samples at the end (operands: BANK SAMPLE...), or before INDEX with --insert.
int insertSamples(const Options& options);
int replaceEntry(const Options& options);
int removeEntries(const Options& options);
int setEntry(const Options& options);
int moveEntry(const Options& options);

#endif
