#ifndef WBKDECK_EXTRACT_PCM_H
#define WBKDECK_EXTRACT_PCM_H

#include "KovaInputStream.h"
#include "KovaOutputStream.h"
#include "sampleHeader.h"

#include <cstdint>
#include <memory>

// Writes the data of every remaining sample into a new file named after the
// sample, below the working directory; existing files are never replaced.
// Closes the bank. True when every sample was written.
bool extractPcm(KovaInputStream& wbk, std::int64_t endPosition, int rawText);

// The line announcing the file made from an entry: its name with `suffix`
// appended, format, stored size and rate. The name is converted on its own, so
// that a lead byte at its end cannot take the suffix's first byte as its trail.
void printCreating(const SampleHeader& header, const char* suffix, int rawText);

// False, with a line saying why the entry numbered `index` is skipped, when
// its name is empty (it starts with a zero byte): no file can be named after it.
bool isNamed(const SampleHeader& header, int index);

// True when a file `name` may be created below the working directory;
// otherwise reports why it is skipped. A `refusal` given by the caller is
// that reason, before the name is looked at.
bool mayCreate(const char* name, const char* refusal = nullptr);

// Creates the new file `name` below the working directory, or reports why it
// cannot and returns nullptr.
std::unique_ptr<KovaOutputStream> createEntryFile(const char* name);

#endif
