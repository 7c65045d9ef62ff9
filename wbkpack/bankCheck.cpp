#include "bankCheck.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>

namespace {

// Readers look at the first three bytes of the magic only.
constexpr char magic[] = "WBK";
constexpr off_t magicCheckSize = 3;
constexpr off_t bankHeaderSize = 40;
constexpr off_t entryHeadSize = 23;
constexpr off_t sizeFieldOffset = 19;

off_t lengthOf(int fd)
{
    struct stat info;
    return fstat(fd, &info) == 0 && S_ISREG(info.st_mode) ? info.st_size : 0;
}

bool readAt(int fd, unsigned char* bytes, off_t count, off_t offset)
{
    while (count > 0) {
        const ssize_t n = pread(fd, bytes, count, offset);
        if (n <= 0)
            return false;
        bytes += n;
        count -= n;
        offset += n;
    }
    return true;
}

// The walk so far, ended with `verdict`.
BankCheck endedAs(BankCheck walked, BankCheck::Verdict verdict, const std::string& damage = "")
{
    walked.verdict = verdict;
    walked.damage = damage;
    return walked;
}

// Checks the header. A file too short to hold the magic is no bank, even
// when it starts like one: nothing tells it from any other short file. One
// that holds the magic but not a whole header is a bank whose header was
// cut short.
BankCheck checkHeader(int fd, off_t length)
{
    BankCheck check;
    check.length = length;
    if (length == 0)
        return check;
    if (length < magicCheckSize)
        return endedAs(check, BankCheck::notBank);
    unsigned char start[magicCheckSize] = {};
    if (!readAt(fd, start, magicCheckSize, 0))
        return endedAs(check, BankCheck::unreadable);
    if (std::memcmp(start, magic, magicCheckSize) != 0)
        return endedAs(check, BankCheck::notBank);
    if (length < bankHeaderSize)
        return endedAs(check, BankCheck::damaged,
                       "the header is cut short after " + std::to_string(length) + " bytes");
    check.wholeLength = bankHeaderSize;
    return check;
}

} // namespace

BankCheck checkBank(int fd)
{
    const off_t length = lengthOf(fd);
    BankCheck check = checkHeader(fd, length);
    if (check.verdict != BankCheck::whole)
        return check;
    for (off_t offset = bankHeaderSize; offset < length; ++check.entries) {
        const off_t left = length - offset;
        const std::string entry = "the entry at offset " + std::to_string(offset);
        if (left < entryHeadSize)
            return endedAs(check, BankCheck::damaged,
                           entry + " is cut short after " + std::to_string(left) + " bytes");
        unsigned char size[4];
        if (!readAt(fd, size, sizeof size, offset + sizeFieldOffset))
            return endedAs(check, BankCheck::unreadable);
        const std::uint32_t claimed = size[0] | size[1] << 8 | size[2] << 16 | std::uint32_t(size[3]) << 24;
        if (claimed > left - entryHeadSize)
            return endedAs(check, BankCheck::damaged,
                           entry + " claims " + std::to_string(claimed) + " bytes but only " +
                               std::to_string(left - entryHeadSize) + " remain");
        offset += entryHeadSize + claimed;
        check.wholeLength = offset;
    }
    return check;
}
