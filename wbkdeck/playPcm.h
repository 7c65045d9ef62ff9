#ifndef WBKDECK_PLAY_PCM_H
#define WBKDECK_PLAY_PCM_H

#include "Bank.h"

// Lists every entry of the bank as playback does, without reading sample
// data or touching the audio device.
void listPcm(const Bank& bank, const char* wbkFileName, int rawText);

// Loads every entry of the bank, lists them and plays them one per character
// read from the terminal.
void playPcm(const Bank& bank, const char* wbkFileName, int rawText);

#endif
