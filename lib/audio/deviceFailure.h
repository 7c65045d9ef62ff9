#ifndef WBK_DEVICE_FAILURE_H
#define WBK_DEVICE_FAILURE_H

// The fatal end of a device query, shared by the back ends.

// While set, failFatally uses only async-signal-safe calls.
void reportFromSignalHandler(bool inside);

// Writes "PREFIX: " and the text of `error` to the error stream, as perror
// does, and ends the process with status -1. Inside the streamer's SIGALRM
// handler buffered standard output is not flushed.
[[noreturn]] void failFatally(const char* prefix, int error);

#endif
