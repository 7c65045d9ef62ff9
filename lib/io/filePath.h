#ifndef WBK_FILE_PATH_H
#define WBK_FILE_PATH_H

#include <string>

// Splitting paths as the shell's dirname and basename do, for names that
// end in a file name (no trailing slash).

// "a/b/c" -> "a/b", "c" -> ".", "/c" -> "/".
std::string directoryOf(const std::string& path);
// "a/b/c" -> "c".
std::string fileNameOf(const std::string& path);
// True when the file open on `fd` is the file at `path` now. Makes only
// system calls that are safe in a signal handler.
bool isFileAtPath(int fd, const char* path);
// The file a symbolic link at `path` leads to, with every link resolved;
// `path` itself when nothing is there yet.
std::string resolvedPath(const std::string& path);

#endif
