#ifndef WBKDECK_EXTRACT_PCM_H
#define WBKDECK_EXTRACT_PCM_H

#include "Bank.h"

#include <cstddef>
#include <string>
#include <vector>

// Writes the data of the chosen entries (indices in bank order) into new
// files named after them, below the working directory; existing files are
// never replaced. True when every entry was written.
bool extractPcm(const Bank& bank, const std::vector<std::size_t>& chosen, int rawText);

// For each chosen entry, its name where the file that extractPcm writes for
// it is there now, a regular file reached without a symbolic link that holds
// exactly the entry's bytes; otherwise an empty string. So whatever else is
// in the directory, or was there before an extraction, the names given lead
// to the entries' bytes.
std::vector<std::string> extractedFiles(const Bank& bank, const std::vector<std::size_t>& chosen);

// The line announcing the file made from an entry: its name with `suffix`
// appended, format, stored size and rate. The name is converted on its own, so
// that a lead byte at its end cannot take the suffix's first byte as its trail.
void printCreating(const EntryHead& head, const char* suffix, int rawText);

// True when the file `name` may be made for the entry numbered `index`;
// otherwise reports why the entry is skipped: its name is empty (it starts
// with a zero byte) or ends with '/', the caller gives a `refusal`, or `name`
// would not lie below the working directory.
bool mayCreateFor(const EntryHead& head, std::size_t index, const std::string& name, const char* refusal = nullptr);

#endif
