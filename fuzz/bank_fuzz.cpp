// Fuzzes the loading of a whole bank as the player loads it: the input is
// written to a file, its magic and author are read, and then every entry is
// decoded as a Pcm through KovaInputStream.
//
// A bank that ends early makes the stream end the process with status 255,
// by design; here the stream's handler for that case throws instead, so every
// input is loaded in this process. The load must find exactly what this
// bank's index finds: the number of entries, or that the bank is cut short.
#include "Bank.h"
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

constexpr int incomplete = -1;

// What a load through the stream must find, by the bank's own index: the
// number of entries, or `incomplete` when the stream would meet the end of
// the file inside the magic, the header or an entry.
int indexedEntries(int fd)
{
    const Bank bank(fd);
    if (bank.length() < Bank::magicSize)
        return incomplete;
    switch (bank.state()) {
    case Bank::State::notBank:
        return 0;
    case Bank::State::whole:
        return static_cast<int>(bank.entries().size());
    default:
        return incomplete;
    }
}

// Loads the bank as the player does; returns the number of entries.
int loadBank(const char* path)
{
    KovaInputStream bank(path);
    const std::int64_t end = bank.getFileSize() + bank.tellg();
    char magic[Bank::magicSize];
    bank.read(magic, Bank::magicSize);
    magic[3] = '\0';
    if (std::memcmp(magic, "WBK", 4) != 0)
        return 0;

    CountingBuffer discard;
    std::ostream text(&discard);
    char author[Bank::authorSize + 1] = {};
    bank.read(author, Bank::authorSize);
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
    int descriptor() const { return fd; }

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
    check(loadOrCatchEnd(path) == indexedEntries(file.descriptor()));
    return 0;
}
