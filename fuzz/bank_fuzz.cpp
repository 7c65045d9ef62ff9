// Fuzzes the loading of a whole bank as the player loads it: the input is
// written to a file, its magic and author are read, and then every entry is
// decoded as a Pcm through KovaInputStream.
//
// A bank that ends early makes the stream end the process with status 255,
// by design; here the stream's handler for that case throws instead, so every
// input is loaded in this process. The load must find exactly what this
// file's own walk over the bytes finds: the number of entries, or that the
// bank is cut short.
#include "Discard.h"
#include "KovaInputStream.h"
#include "Pcm.h"
#include "Scenario.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <iostream>
#include <string>

namespace {

constexpr std::size_t magicSize = 8;
constexpr std::size_t authorSize = 32;
constexpr std::size_t headerSize = magicSize + authorSize;
constexpr std::size_t entryHeaderSize = 23;  // type, name, rate, size
constexpr std::size_t sizeOffset = 19;
constexpr int incomplete = -1;

// Only "WBK" counts; the byte after it is forced to zero by the reader.
bool hasMagic(const std::uint8_t* data) { return std::memcmp(data, "WBK", 3) == 0; }

std::uint32_t read32(const std::uint8_t* bytes)
{
    return bytes[0] | bytes[1] << 8 | bytes[2] << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
}

// The number of entries a load finds, or `incomplete` when the bank ends
// inside its header or an entry.
int countEntries(const std::uint8_t* data, std::size_t size)
{
    if (size < magicSize)
        return incomplete;
    if (!hasMagic(data))
        return 0;
    if (size < headerSize)
        return incomplete;
    int entries = 0;
    for (std::size_t position = headerSize; position < size; ++entries) {
        if (size - position < entryHeaderSize)
            return incomplete;
        const std::uint32_t length = read32(data + position + sizeOffset);
        position += entryHeaderSize;
        if (length > size - position)
            return incomplete;
        position += length;
    }
    return entries;
}

// Loads the bank as the player does; returns the number of entries.
int loadBank(const char* path)
{
    KovaInputStream bank(path);
    const std::int64_t end = bank.getFileSize() + bank.tellg();
    char magic[magicSize];
    bank.read(magic, magicSize);
    magic[3] = '\0';
    if (std::memcmp(magic, "WBK", 4) != 0)
        return 0;

    CountingBuffer discard;
    std::ostream text(&discard);
    char author[authorSize + 1] = {};
    bank.read(author, authorSize);
    Scenario::writeSjis(text, author, static_cast<int>(std::strlen(author)), 0);

    int entries = 0;
    for (std::int64_t position = bank.tellg(); position >= 0 && position < end; position = bank.tellg()) {
        // The type byte is taken by the plain get, outside the byte budget.
        const auto type = static_cast<unsigned char>(bank.get());
        const Pcm pcm(type, bank);
        const bool adpcm = type == 1 || type == 3;
        check(pcm.getU8Size() == (adpcm ? 2u : 1u) * static_cast<std::uint32_t>(pcm.getSize()));
        Scenario::writeSjis(text, pcm.getFileName(), static_cast<int>(std::strlen(pcm.getFileName())), 0);
        ++entries;
    }
    return entries;
}

// A bank that ends early: the stream's handler throws this instead of ending
// the process, so that every input is loaded in this process.
struct UnexpectedEnd {};

[[noreturn]] void throwUnexpectedEnd()
{
    throw UnexpectedEnd{};
}

// The number of entries loaded, or `incomplete` when the stream found the
// bank cut short.
int loadOrCatchEnd(const char* path)
{
    try {
        return loadBank(path);
    } catch (const UnexpectedEnd&) {
        return incomplete;
    }
}

// One file for the whole run, rewritten for every input. It lives in memory
// only (a disk file truncated and rewritten is flushed at each close, which
// made every run wait for the disk) and is opened through /proc/self/fd, so
// nothing is left behind even when the run ends with a crash.
class BankFile {
public:
    BankFile()
    {
        fd = memfd_create("bank_fuzz", 0);
        check(fd >= 0);
        path = "/proc/self/fd/" + std::to_string(fd);
    }
    BankFile(const BankFile&) = delete;
    BankFile& operator=(const BankFile&) = delete;

    const char* write(const std::uint8_t* data, std::size_t size)
    {
        check(ftruncate(fd, 0) == 0);
        check(pwrite(fd, data, size, 0) == static_cast<ssize_t>(size));
        return path.c_str();
    }

private:
    int fd;
    std::string path;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static BankFile file;
    KovaInputStream::setUnexpectedEndHandler(throwUnexpectedEnd);
    const char* path = file.write(data, size);
    check(loadOrCatchEnd(path) == countEntries(data, size));
    return 0;
}
