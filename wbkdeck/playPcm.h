#ifndef WBKDECK_PLAY_PCM_H
#define WBKDECK_PLAY_PCM_H

#include "Bank.h"

#include <cstddef>
#include <vector>

// Lists the chosen entries of the bank (indices in bank order) as playback
// does, without reading sample data or touching the audio device.
void listPcm(const Bank& bank, const std::vector<std::size_t>& chosen, const char* wbkFileName, int rawText);

// Loads the chosen entries of the bank, lists them and plays them one per
// character read from the terminal. False when a sample was skipped because
// the device can not play its rate.
bool playPcm(const Bank& bank, const std::vector<std::size_t>& chosen, const char* wbkFileName, int rawText);

#endif
