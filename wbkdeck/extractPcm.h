#ifndef WBKDECK_EXTRACT_PCM_H
#define WBKDECK_EXTRACT_PCM_H

#include "KovaInputStream.h"

#include <cstdint>

// Writes the data of every remaining sample into a new file named after the
// sample, below the working directory; existing files are never replaced.
// Closes the bank.
void extractPcm(KovaInputStream& wbk, std::int64_t endPosition, int rawText);

#endif
