#ifndef WBKDECK_EXPORT_WAV_H
#define WBKDECK_EXPORT_WAV_H

#include "Bank.h"

#include <cstddef>
#include <vector>

// Decodes the chosen entries of the bank (indices in bank order) as playback
// does and writes each as an unsigned 8-bit mono WAV file at the entry's
// rate, named after the entry with ".wav" appended, below the working
// directory. Existing files are never replaced; a file that cannot be written
// whole is removed, also when the run is interrupted. True when every entry
// was written. The whole entries of a damaged bank are written; its damage is
// the caller's to report.
bool exportWav(const Bank& bank, const std::vector<std::size_t>& chosen, int rawText);

#endif
