#ifndef WBKDECK_EXTRACT_PCM_H
#define WBKDECK_EXTRACT_PCM_H

#include "Bank.h"
#include "KovaOutputStream.h"

#include <memory>

// Writes the data of every whole entry of the bank into a new file named
// after the entry, below the working directory; existing files are never
// replaced. True when every entry was written.
bool extractPcm(const Bank& bank, int rawText);

// The line announcing the file made from an entry: its name with `suffix`
// appended, format, stored size and rate. The name is converted on its own, so
// that a lead byte at its end cannot take the suffix's first byte as its trail.
void printCreating(const EntryHead& head, const char* suffix, int rawText);

// Creates the new file `name` below the working directory, or reports why it
// cannot and returns nullptr. A `refusal` given by the caller is reported as
// the reason to skip the file, before the name is looked at.
std::unique_ptr<KovaOutputStream> createEntryFile(const char* name, const char* refusal = nullptr);

#endif
