#ifndef WBK_TESTS_TEST_FILES_H
#define WBK_TESTS_TEST_FILES_H

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

#endif
