#ifndef WBK_TESTS_TEST_FILES_H
#define WBK_TESTS_TEST_FILES_H

#include <sys/resource.h>

#include <cstddef>
#include <set>
#include <string>

// A fresh directory under /tmp, removed with everything in it at the end.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return dir; }
    std::string operator/(const std::string& name) const { return dir + "/" + name; }
    // Writes `bytes` to the file `name` in this directory; returns its path.
    std::string write(const std::string& name, const std::string& bytes) const;

private:
    std::string dir;
};

std::string readBytes(const std::string& path);
void writeBytes(const std::string& path, const std::string& bytes);
bool fileExists(const std::string& path);
unsigned fileMode(const std::string& path);
// The names in a directory, hidden ones included, but not "." and "..".
std::set<std::string> filesIn(const std::string& path);
// `count` bytes from a generator seeded with `seed`: the same for a seed.
std::string randomBytes(std::size_t count, unsigned seed);

// Limits the size of the files this process writes while it lives; a write
// beyond the limit fails with EFBIG instead of raising SIGXFSZ.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes);
    ~FileSizeLimit();
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    void (*savedHandler)(int);
    rlimit saved;
};

#endif
