#ifndef WBKPACK_BUILD_BANK_H
#define WBKPACK_BUILD_BANK_H

#include "Options.h"

// --build BANK MANIFEST: a whole bank from a manifest (Manifest.h), to a new
// path or over an existing bank; --build BANK DIR: from every audio file in
// DIR (folderManifest). Every source is opened and checked before the bank
// is locked, and a bad line is refused with its number before anything is
// written; audio files are encoded under the lock as their entries are
// written, and entries of the bank being replaced are taken from it as it
// is under the lock. Returns the exit status.
int buildBank(const Options& options);

#endif
