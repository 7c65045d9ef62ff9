#ifndef WBKDECK_OPEN_BANK_H
#define WBKDECK_OPEN_BANK_H

#include "Bank.h"

#include <memory>

// How a file without a bank header is refused: with the short messages of the
// listing, playback and -d ("Unexpected end of file.", "Incorrect data format
// detected"), or with one line naming the program, the file and what is wrong.
enum class Refusals { terse, named };

// Opens the bank `name` and reads its index. A file that cannot be opened,
// that is too short for a magic or a header, or that is no sound bank ends
// the program with its message and status 255; a bank cut short inside an
// entry is returned, its whole entries readable.
std::unique_ptr<Bank> openBank(const char* name, Refusals refusals);

// Ends the program with "Unexpected end of file." when the bank is cut short:
// called once the whole entries before the damage have been dealt with.
void stopAtDamage(const Bank& bank);

// Ends the program with one line saying what is cut short when the bank is
// damaged: for the modes whose output must hold every entry, before they write
// it, and for -w once it has written the whole entries.
void refuseDamage(const Bank& bank, const char* name);

#endif
