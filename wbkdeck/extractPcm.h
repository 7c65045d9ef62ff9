#ifndef WBKDECK_EXTRACT_PCM_H
#define WBKDECK_EXTRACT_PCM_H

#include "Bank.h"
#include "KovaOutputStream.h"

#include <cstddef>
#include <memory>
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

// False, with a line saying why the entry numbered `index` is skipped, when
// its name is empty (it starts with a zero byte): no file can be named after it.
bool isNamed(const EntryHead& head, std::size_t index);

// True when a file `name` may be created below the working directory;
// otherwise reports why it is skipped. A `refusal` given by the caller is
// that reason, before the name is looked at.
bool mayCreate(const char* name, const char* refusal = nullptr);

// Creates the new file `name` below the working directory, or reports why it
// cannot and returns nullptr.
std::unique_ptr<KovaOutputStream> createEntryFile(const char* name);

#endif
