#ifndef WBK_PRINT_ERROR_H
#define WBK_PRINT_ERROR_H

// The two file error reports, written to the error stream with the text of
// the current errno; control characters in `name` are shown as \xHH.
void printOpenError(const char* name);
void printWriteError(const char* name);

// "Can't open NAME.": a file that cannot be opened or sized for reading.
void printCantOpen(const char* name);

#endif
