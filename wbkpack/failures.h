#ifndef WBKPACK_FAILURES_H
#define WBKPACK_FAILURES_H

#include "Bank.h"

#include <memory>
#include <string>

// How a run of wbkpack ends when it fails: one report on standard error and
// exit status 255. Once a bank is open, the undoing at exit (rollback.h)
// takes back what the run did to it.

[[noreturn]] void refuse(const std::string& message);
// From now on, refusals start with "wbkpack: " (all but the plain append,
// whose messages stay as they always were).
void nameTheProgramInRefusals();
// "can not open NAME : reason", "can not write to NAME : reason" and "NAME may be broken."
[[noreturn]] void failOpen(const char* name);
[[noreturn]] void failWrite(const char* name);
// A failed system call on a file: "can not ACTION NAME : reason", the reason
// from errno, or from `error` when given.
[[noreturn]] void failOn(const char* action, const char* name);
[[noreturn]] void failOn(const char* action, const char* name, const BankError& error);

// The index of the bank open on `fd`; a bank that cannot be read ends the run.
std::unique_ptr<Bank> readBank(int fd, const char* name);
// What wbkpack takes a bank for: as Bank reads it, except that a file too
// short to hold the magic is no bank even when it starts like one, as
// nothing tells it from any other short file.
Bank::State stateOf(const Bank& bank);
// Ends the run unless `bank` is whole (or empty).
void requireWhole(const Bank& bank, const char* name);

#endif
