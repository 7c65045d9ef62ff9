#include "bankCheck.h"

#include <unistd.h>

#include <cstdint>
#include <cstring>

namespace {

// Readers look at the first three bytes of the magic only.
constexpr char magic[] = "WBK";
constexpr off_t magicCheckSize = 3;
constexpr off_t sizeFieldOffset = 19;

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

BankCheck damagedAt(const BankCheck& walked, const std::string& what)
{
    BankCheck check = walked;
    check.verdict = BankCheck::damaged;
    check.damage = what;
    return check;
}

BankCheck unreadable()
{
    BankCheck check;
    check.verdict = BankCheck::unreadable;
    return check;
}

// Checks the header; a file shorter than a header that starts like one is a
// bank whose header was cut short.
BankCheck checkHeader(int fd, off_t length)
{
    BankCheck check;
    if (length == 0)
        return check;
    unsigned char start[magicCheckSize] = {};
    const off_t compared = length < magicCheckSize ? length : magicCheckSize;
    if (!readAt(fd, start, compared, 0))
        return unreadable();
    if (std::memcmp(start, magic, compared) != 0) {
        check.verdict = BankCheck::notBank;
        return check;
    }
    if (length < bankHeaderSize)
        return damagedAt(check, "the header is cut short after " + std::to_string(length) + " bytes");
    check.wholeLength = bankHeaderSize;
    return check;
}

} // namespace

BankCheck checkBank(int fd, off_t length)
{
    BankCheck check = checkHeader(fd, length);
    if (check.verdict != BankCheck::whole || length == 0)
        return check;
    for (off_t offset = bankHeaderSize; offset < length; ++check.entries) {
        const off_t left = length - offset;
        const std::string entry = "the entry at offset " + std::to_string(offset);
        if (left < entryHeadSize)
            return damagedAt(check, entry + " is cut short after " + std::to_string(left) + " bytes");
        unsigned char size[4];
        if (!readAt(fd, size, sizeof size, offset + sizeFieldOffset))
            return unreadable();
        const std::uint32_t claimed = size[0] | size[1] << 8 | size[2] << 16 | std::uint32_t(size[3]) << 24;
        if (claimed > left - entryHeadSize)
            return damagedAt(check, entry + " claims " + std::to_string(claimed) + " bytes but only " +
                                        std::to_string(left - entryHeadSize) + " remain");
        offset += entryHeadSize + claimed;
        check.wholeLength = offset;
    }
    return check;
}
