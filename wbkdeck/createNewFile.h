#ifndef WBKDECK_CREATE_NEW_FILE_H
#define WBKDECK_CREATE_NEW_FILE_H

#include "KovaOutputStream.h"
#include "OwnedFd.h"
#include "StagedFile.h"

#include <memory>
#include <string>

// Why `name` is no file name to create from a bank: it would lead outside the
// working directory (absolute, or with a ".." component) or it holds control
// characters (below 0x20, or 0x7F). nullptr when it is fine.
const char* whyOutsideWorkingDirectory(const char* name);

// Opens the existing regular file `name` for reading, reached as
// createNewFile reaches it: no symbolic link is followed, neither on the way
// nor at the end. -1 when there is no such file, or it is no regular file.
OwnedFd openExistingFile(const char* name);

// Creates the new file `name` relative to the working directory without
// following a symbolic link, neither on the way nor at the end. Returns
// nullptr, with errno set, when a directory on the way cannot be entered;
// otherwise a stream whose state tells whether the file was created.
std::unique_ptr<KovaOutputStream> createNewFile(const char* name);

// Creates a hidden temporary file beside `name`, reached as createNewFile
// reaches it, that its commit gives the name `name`. Returns nullptr, with
// errno set, when a directory on the way cannot be entered, when `name`
// exists already (EEXIST; a symbolic link too), or when the temporary file
// cannot be created.
std::unique_ptr<StagedFile> createStagedFile(const char* name);

#endif
