#ifndef WBKDECK_WRITE_DECODED_WAV_H
#define WBKDECK_WRITE_DECODED_WAV_H

#include "Bank.h"

#include <cstddef>
#include <functional>
#include <string>

// Each piece of decoded samples, as it goes into the WAV file.
using SamplesSeen = std::function<void(const unsigned char* samples, std::size_t count)>;

// Decodes the entry into a WAV file written onto `fd`, which stays the
// caller's, showing each piece to `seen` when given. An empty text when the
// whole file was written, else why it was not.
std::string writeDecodedWav(const Bank& bank, const BankEntry& entry, int fd, const SamplesSeen& seen = nullptr);

#endif
