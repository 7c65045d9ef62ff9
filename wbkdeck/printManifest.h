#ifndef WBKDECK_PRINT_MANIFEST_H
#define WBKDECK_PRINT_MANIFEST_H

#include "Bank.h"

#include <cstddef>
#include <string>
#include <vector>

// Prints the manifest of the bank's chosen entries (indices in bank order),
// from which wbkpack --build makes the same bytes again: the bank's own
// magic and author, each entry's type, rate and name bytes, and as its source
// the entry itself, "BANK#N" with the bank named as `bankName`. With
// `filesAsSources`, the source is the file that -d writes for the entry
// where that file is there, reached without a symbolic link and holding
// exactly the entry's bytes.
void printManifest(const Bank& bank, const std::vector<std::size_t>& chosen, const std::string& bankName,
                   bool filesAsSources);

#endif
