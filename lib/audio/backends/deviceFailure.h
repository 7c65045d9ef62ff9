#ifndef WBK_DEVICE_FAILURE_H
#define WBK_DEVICE_FAILURE_H

// The failure reports shared by the back ends.

// One line of a report on a setting: the label, then the value, as "rate=8000".
void printLabel(const char* label, int value);

// While set in a thread, failFatally uses only async-signal-safe calls and
// runs no exit handlers: in the streamer's signal handler and its feeder
// thread, which must not destroy what the main flow still uses.
void reportFromStreamer(bool inside);

// Writes "PREFIX: " and the text of `error` to the error stream, as perror
// does, and ends the process with status -1. Inside the streamer buffered
// standard output is not flushed.
[[noreturn]] void failFatally(const char* prefix, int error);

#endif
