#ifndef WBK_SYNC_FILE_H
#define WBK_SYNC_FILE_H

#include <string>

// Waits until the file open on `fd` is on disk. Devices and file systems
// that cannot sync answer EINVAL: there is nothing to wait for then. False,
// with errno set, when it fails.
bool syncFile(int fd);
// The same for the directory that holds the file at `path` (behind symbolic
// links, the file they lead to), so that a new or renamed entry is on disk.
bool syncDirectoryOf(const std::string& path);

#endif
