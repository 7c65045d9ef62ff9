#ifndef WBK_STAGED_FILE_H
#define WBK_STAGED_FILE_H

#include "CleanupRegistry.h"

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <string>

// A new file written under a hidden temporary name beside its final one
// (".NAME.XXXXXX" in the same directory) and given its final name only once
// it is complete and on disk: no one finds it partly written under that name,
// and a process killed on the way leaves at most the hidden file. Until it is
// committed or discarded, the hidden file is in the CleanupRegistry: any exit
// or catchable signal removes it. It is locked (flock) while it is written, so
// that a hidden file nobody holds is a killed writer's leftover
// (removeLeftovers).
class StagedFile {
public:
    // What removeLeftovers() took away.
    struct Leftovers {
        std::size_t files = 0;
        std::uint64_t bytes = 0;
    };

    // Creates the temporary file for `name`, a path relative to the directory
    // `dirFd` (AT_FDCWD: the working directory), with permission `mode` less
    // the umask. On failure isOpen() is false and errno tells why.
    StagedFile(int dirFd, const std::string& name, mode_t mode);
    // Removes the temporary file unless it was committed.
    ~StagedFile();
    StagedFile(const StagedFile&) = delete;
    StagedFile& operator=(const StagedFile&) = delete;

    bool isOpen() const { return fd >= 0; }
    // The descriptor to write to until commit().
    int descriptor() const { return fd; }
    // The temporary file's path, and the final one, relative to the directory.
    const std::string& temporaryName() const { return temporary; }
    const std::string& finalName() const { return name; }

    // Flushes the file to disk, closes it and gives it its final name, replacing
    // an existing file only when `replace` is set. False, with errno set (EEXIST
    // when the final name exists), when any of it fails.
    bool commit(bool replace);
    // Removes the temporary file; false, with errno set, when that fails.
    bool discard();

    // Removes the temporary files of `name` (relative to `dirFd`) that no
    // writer holds any more. Call it while holding whatever lock guards the
    // creation of such files, so that none is taken between its creation and
    // its own lock.
    static Leftovers removeLeftovers(int dirFd, const std::string& name);

private:
    bool closeFile();
    bool giveName(bool replace);

    int directory;
    int fd = -1;
    std::string name;
    std::string temporary;
    bool isTemporaryThere = false;
    CleanupRegistry::Handle cleanup = CleanupRegistry::none;
};

#endif
