#ifndef WBKDECK_EXPORT_WAV_H
#define WBKDECK_EXPORT_WAV_H

#include "KovaInputStream.h"

#include <cstdint>

// Decodes every remaining sample as playback does and writes it as an
// unsigned 8-bit mono WAV file at the sample's rate, named after the sample
// with ".wav" appended, below the working directory. Existing files are never
// replaced; a file that cannot be written whole is removed, also when the run
// is interrupted. Closes the bank. True when every sample was written.
bool exportWav(KovaInputStream& wbk, std::int64_t endPosition, int rawText);

#endif
