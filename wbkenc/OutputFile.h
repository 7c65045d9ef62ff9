#ifndef WBKENC_OUTPUT_FILE_H
#define WBKENC_OUTPUT_FILE_H

#include "StagedFile.h"

#include <cstddef>
#include <string>

// The file being written: a hidden temporary file in OUTPUT's directory,
// renamed to OUTPUT only when it is complete. Until then, an error, a
// catchable signal or the end of the process without commit() removes it
// (StagedFile), so a failed run leaves nothing.
class OutputFile {
public:
    // Creates the temporary file; check error() afterwards.
    explicit OutputFile(const std::string& path);
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // The reason of the first failure, empty while all went well.
    const std::string& error() const { return failure; }
    void write(const unsigned char* bytes, std::size_t count);
    // Gives the file its place under OUTPUT; an existing OUTPUT is replaced
    // only when `replace` is set. Returns false when that fails (see
    // error(); "exists" when OUTPUT appeared meanwhile).
    bool commit(bool replace);

private:
    void fail(const char* what);

    std::string path;
    StagedFile file;
    std::string failure;
};

#endif
