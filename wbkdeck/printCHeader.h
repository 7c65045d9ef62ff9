#ifndef WBKDECK_PRINT_C_HEADER_H
#define WBKDECK_PRINT_C_HEADER_H

#include "Bank.h"

#include <string>

// Prints a C header for game code: an enum of the bank's entry indices, each
// named after the bank and the entry (bank voices.wbk, entry a440.pc8:
// VOICES_A440_PC8), and VOICES_COUNT, guarded by VOICES_WBK_H. Letters are
// made upper case and every byte other than a letter or digit '_'; an entry
// whose name is empty or not ASCII is VOICES_ENTRY_<index>; an identifier
// that is taken already gets "_<index>" until it is unique.
void printCHeader(const Bank& bank, const std::string& bankPath);

#endif
