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

// The file that extractPcm writes for each chosen entry, or an empty string
// where it writes none: for an empty name or one it refuses, and for a name
// that reaches the file of an earlier chosen entry (which takes the file),
// passes through it, or names a directory of one. (Directories missing on
// the way, or files there already, are not looked for.)
std::vector<std::string> extractedFiles(const Bank& bank, const std::vector<std::size_t>& chosen);

// The line announcing the file made from an entry: its name with `suffix`
// appended, format, stored size and rate. The name is converted on its own, so
// that a lead byte at its end cannot take the suffix's first byte as its trail.
void printCreating(const EntryHead& head, const char* suffix, int rawText);

// True when the file `name` may be made for the entry numbered `index`;
// otherwise reports why the entry is skipped: its name is empty (it starts
// with a zero byte), the caller gives a `refusal`, or `name` would not lie
// below the working directory.
bool mayCreateFor(const EntryHead& head, std::size_t index, const std::string& name, const char* refusal = nullptr);

#endif
