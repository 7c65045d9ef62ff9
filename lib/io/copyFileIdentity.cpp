#include "copyFileIdentity.h"

#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <vector>

namespace {

// Fills `into` with what `get(buffer, size)` gives (flistxattr or
// fgetxattr), asking for the size first; again when it grew in between
// (ERANGE). False, with errno set, when it fails.
template <class Get>
bool readSized(std::vector<char>& into, Get get)
{
    for (;;) {
        const ssize_t size = get(nullptr, 0);
        if (size < 0)
            return false;
        into.resize(static_cast<std::size_t>(size));
        const ssize_t got = get(into.data(), into.size());
        if (got >= 0) {
            into.resize(static_cast<std::size_t>(got));
            return true;
        }
        if (errno != ERANGE)
            return false;
    }
}

// The names of the extended attributes of the file open on `fd`; none on a
// file system that has none. False, with errno set, when they cannot be read.
bool attributeNames(int fd, std::vector<std::string>& names)
{
    std::vector<char> list;
    if (!readSized(list, [fd](char* buffer, std::size_t size) { return flistxattr(fd, buffer, size); }))
        return errno == ENOTSUP;
    for (auto name = list.begin(); name != list.end(); name = std::find(name, list.end(), '\0') + 1)
        names.emplace_back(&*name);
    return true;
}

bool copyAttribute(int from, int to, const std::string& name)
{
    std::vector<char> value;
    const auto get = [&](char* buffer, std::size_t size) { return fgetxattr(from, name.c_str(), buffer, size); };
    return readSized(value, get) && fsetxattr(to, name.c_str(), value.data(), value.size(), 0) == 0;
}

// The attributes of `from` onto `to`, and none that `from` lacks (a default
// ACL of the directory gives a new file one).
std::string copyAttributes(int from, int to)
{
    std::vector<std::string> wanted, present;
    if (!attributeNames(from, wanted) || !attributeNames(to, present))
        return "the extended attributes";
    for (const std::string& name : present)
        if (std::find(wanted.begin(), wanted.end(), name) == wanted.end() && fremovexattr(to, name.c_str()) != 0)
            return "the extended attributes (not " + name + ")";
    for (const std::string& name : wanted)
        if (!copyAttribute(from, to, name))
            return "the extended attribute " + name;
    return "";
}

} // namespace

// The owner first: changing it clears the set-ID bits and file capabilities,
// which come back with the attributes and the mode.
std::string copyFileIdentity(int from, int to)
{
    struct stat source;
    if (fstat(from, &source) != 0)
        return "the owner, group and permissions";
    if (fchown(to, source.st_uid, source.st_gid) != 0)
        return "the owner and group";
    const std::string attributes = copyAttributes(from, to);
    if (!attributes.empty())
        return attributes;
    if (fchmod(to, source.st_mode & 07777) != 0)
        return "the permissions";
    return "";
}
