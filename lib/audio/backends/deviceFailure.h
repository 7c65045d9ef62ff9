#ifndef WBK_DEVICE_FAILURE_H
#define WBK_DEVICE_FAILURE_H

// The failure reports shared by the back ends.

// One line of a report on a setting: the label, then the value, as "rate=8000".
void printLabel(const char* label, int value);

// While set, failFatally uses only async-signal-safe calls.
void reportFromSignalHandler(bool inside);

// Writes "PREFIX: " and the text of `error` to the error stream, as perror
// does, and ends the process with status -1. Inside the streamer's SIGALRM
// handler buffered standard output is not flushed.
[[noreturn]] void failFatally(const char* prefix, int error);

#endif
