#ifndef WBKPACK_SAMPLE_FILE_H
#define WBKPACK_SAMPLE_FILE_H

#include "Bank.h"
#include "SourceFile.h"

#include <cstdint>
#include <string>

// Raw sample files named on the command line, and their rates.

// A rate given by the user: a whole number from 1 to 65535; anything else
// ends the run before a bank is touched.
std::uint16_t parseRate(const std::string& answer);
// Asks for the sample rate of `sampleName` on the terminal.
std::uint16_t askRate(const char* sampleName);

// The name an entry stores of the sample at `path`: its own name without the
// directory, cut to 16 bytes, which is said on standard error.
std::string storedName(const char* path);

// Refuses a sample of `size` bytes, starting with `start`, that is too large
// for an entry or an audio file of a container format rather than raw bytes.
void checkSampleContent(const char* path, std::int64_t size, const char (&start)[audioContainerMagicSize]);

// A sample file open for reading; what cannot be a sample ends the run.
// head() holds its type (from its name, as an append decides it), its
// stored name and size; the rate is the caller's.
class SampleFile {
public:
    explicit SampleFile(const char* path);

    const char* path() const { return name; }
    int fd() const { return file.fd(); }
    EntryHead head;

private:
    const char* name;
    SourceFile file;
};

#endif
