#ifndef WBKDECK_PLAY_PCM_H
#define WBKDECK_PLAY_PCM_H

#include "KovaInputStream.h"

#include <cstdint>

// Lists every sample of the bank as playback does, without decoding them or
// touching the audio device. Closes the bank.
void listPcm(KovaInputStream& wbk, std::int64_t endPosition, const char* wbkFileName, int rawText);

// Loads every sample of the bank, lists them and plays them one per
// character read from the terminal. Closes the bank. False when a sample
// was skipped because the device can not play its rate.
bool playPcm(KovaInputStream& wbk, std::int64_t endPosition, const char* wbkFileName, int rawText);

#endif
