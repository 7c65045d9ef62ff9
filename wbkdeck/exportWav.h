#ifndef WBKDECK_EXPORT_WAV_H
#define WBKDECK_EXPORT_WAV_H

#include "Bank.h"

// Decodes every whole entry of the bank as playback does and writes it as an
// unsigned 8-bit mono WAV file at the entry's rate, named after the entry
// with ".wav" appended, below the working directory. Existing files are never
// replaced; a file that cannot be written whole is removed, also when the run
// is interrupted. True when every entry was written.
bool exportWav(const Bank& bank, int rawText);

#endif
