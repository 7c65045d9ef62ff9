#include "Bank.h"

#include "SampleDecoder.h"
#include "readWriteAll.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace {

// Offsets inside an entry head.
constexpr std::size_t typeOffset = 0;
constexpr std::size_t nameOffset = 1;
constexpr std::size_t rateOffset = nameOffset + Bank::nameSize;
constexpr std::size_t sizeOffset = rateOffset + 2;
constexpr std::size_t maxLognameLength = 20;

// The index is read through a window of the file, so that a bank of many
// small entries costs one read per window, not one per entry.
constexpr std::size_t indexWindow = 64 * 1024;

std::uint32_t littleEndian(const unsigned char* bytes, int count)
{
    std::uint32_t value = 0;
    for (int i = count - 1; i >= 0; --i)
        value = value << 8 | bytes[i];
    return value;
}

void putLittleEndian(unsigned char* bytes, std::uint32_t value, int count)
{
    for (int i = 0; i < count; ++i)
        bytes[i] = static_cast<unsigned char>(value >> (8 * i));
}

std::uint64_t regularLength(int fd)
{
    struct stat info;
    if (fstat(fd, &info) != 0)
        throw BankError("can not examine the bank", errno);
    return S_ISREG(info.st_mode) ? static_cast<std::uint64_t>(info.st_size) : 0;
}

} // namespace

std::string EntryHead::nameText() const
{
    return std::string(name.data(), strnlen(name.data(), name.size()));
}

std::string EntryHead::nameBytes() const
{
    const auto end = std::find_if(name.rbegin(), name.rend(), [](char c) { return c != '\0'; }).base();
    return std::string(name.begin(), end);
}

bool EntryHead::isAdpcm() const
{
    return SampleDecoder::isAdpcm(type);
}

std::uint64_t EntryHead::decodedSize() const
{
    return SampleDecoder::decodedSize(type, size);
}

std::string BankDamage::text() const
{
    if (part == header)
        return "the header is cut short after " + std::to_string(present) + " bytes";
    const std::string entry = "the entry at offset " + std::to_string(offset);
    if (part == entryHead)
        return entry + " is cut short after " + std::to_string(present) + " bytes";
    return entry + " claims " + std::to_string(needed - Bank::entryHeadSize) + " bytes but only " +
           std::to_string(present - Bank::entryHeadSize) + " remain";
}

std::uint64_t BankEntry::dataOffset() const
{
    return offset + Bank::entryHeadSize;
}

Bank::Bank(const std::string& path) : ownsFile(true)
{
    file = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (file < 0)
        throw BankError("can not open the bank", errno);
    try {
        struct stat info;
        if (fstat(file, &info) != 0)
            throw BankError("can not examine the bank", errno);
        if (!S_ISREG(info.st_mode))
            throw BankError("the bank is not a regular file", S_ISDIR(info.st_mode) ? EISDIR : EINVAL);
        readIndex(static_cast<std::uint64_t>(info.st_size));
    } catch (...) {
        close(file);
        throw;
    }
}

Bank::Bank(int fd) : file(fd)
{
    readIndex(regularLength(fd));
}

Bank::~Bank()
{
    if (ownsFile)
        close(file);
}

std::string Bank::author() const
{
    return std::string(authorField.data(), strnlen(authorField.data(), authorField.size()));
}

void Bank::readAt(unsigned char* bytes, std::size_t count, std::uint64_t offset) const
{
    if (::readAt(file, bytes, count, offset) != count)
        throw BankError("can not read the bank", errno != 0 ? errno : EIO);
}

void Bank::damaged(BankDamage::Part part, std::uint64_t offset, std::uint64_t present, std::uint64_t needed)
{
    bankState = State::damaged;
    bankDamage = BankDamage{part, offset, present, needed};
}

// Reads magic and author; false when no whole header was found.
bool Bank::readHeader()
{
    if (fileLength == 0)
        return false;
    unsigned char header[headerSize] = {};
    const std::size_t present = static_cast<std::size_t>(std::min<std::uint64_t>(fileLength, headerSize));
    readAt(header, present, 0);
    // Shorter than the magic, nothing tells a bank cut short from any other short file.
    if (present < magicCheckSize || std::memcmp(header, magicText, magicCheckSize) != 0) {
        bankState = State::notBank;
        return false;
    }
    if (present < headerSize) {
        damaged(BankDamage::header, 0, present, headerSize);
        return false;
    }
    std::memcpy(magicBytes.data(), header, magicSize);
    std::memcpy(authorField.data(), header + magicSize, authorSize);
    bankState = State::whole;
    wholeEnd = headerSize;
    return true;
}

void Bank::readIndex(std::uint64_t length)
{
    fileLength = length;
    if (!readHeader())
        return;
    std::vector<unsigned char> window;
    std::uint64_t windowStart = 0;
    for (std::uint64_t offset = headerSize; offset < fileLength;) {
        const std::uint64_t left = fileLength - offset;
        if (left < entryHeadSize)
            return damaged(BankDamage::entryHead, offset, left, entryHeadSize);
        if (offset < windowStart || offset + entryHeadSize > windowStart + window.size()) {
            window.resize(static_cast<std::size_t>(std::min<std::uint64_t>(left, indexWindow)));
            windowStart = offset;
            readAt(window.data(), window.size(), windowStart);
        }
        const unsigned char* head = window.data() + (offset - windowStart);
        BankEntry entry;
        entry.offset = offset;
        entry.type = head[typeOffset];
        std::memcpy(entry.name.data(), head + nameOffset, nameSize);
        entry.rate = static_cast<std::uint16_t>(littleEndian(head + rateOffset, 2));
        entry.size = littleEndian(head + sizeOffset, 4);
        if (entry.size > left - entryHeadSize)
            return damaged(BankDamage::entryData, offset, left, entryHeadSize + std::uint64_t{entry.size});
        index.push_back(entry);
        offset = entry.end();
        wholeEnd = offset;
    }
}

bool Bank::readData(const BankEntry& entry, const Consumer& consume) const
{
    std::vector<unsigned char> piece(std::min<std::size_t>(entry.size, pieceSize));
    std::uint64_t offset = entry.dataOffset();
    for (std::uint32_t left = entry.size; left > 0;) {
        const std::size_t count = std::min<std::size_t>(left, piece.size());
        readAt(piece.data(), count, offset);
        if (!consume(piece.data(), count))
            return false;
        offset += count;
        left -= static_cast<std::uint32_t>(count);
    }
    return true;
}

bool Bank::decode(const BankEntry& entry, const Consumer& consume) const
{
    SampleDecoder decoder(entry.type);
    std::vector<unsigned char> decoded(
        static_cast<std::size_t>(SampleDecoder::decodedSize(entry.type, std::min<std::size_t>(entry.size, pieceSize))));
    return readData(entry, [&](const unsigned char* stored, std::size_t count) {
        decoder.decode(stored, count, decoded.data());
        return consume(decoded.data(), static_cast<std::size_t>(SampleDecoder::decodedSize(entry.type, count)));
    });
}

void Bank::readData(const BankEntry& entry, unsigned char* out) const
{
    readAt(out, entry.size, entry.dataOffset());
}

std::array<unsigned char, Bank::headerSize> Bank::encodeHeader(const Magic& magic, const Author& author)
{
    std::array<unsigned char, headerSize> bytes;
    std::memcpy(bytes.data(), magic.data(), magicSize);
    std::memcpy(bytes.data() + magicSize, author.data(), authorSize);
    return bytes;
}

std::array<unsigned char, Bank::entryHeadSize> Bank::encodeEntryHead(const EntryHead& head)
{
    std::array<unsigned char, entryHeadSize> bytes;
    bytes[typeOffset] = head.type;
    std::memcpy(bytes.data() + nameOffset, head.name.data(), nameSize);
    putLittleEndian(bytes.data() + rateOffset, head.rate, 2);
    putLittleEndian(bytes.data() + sizeOffset, head.size, 4);
    return bytes;
}

Bank::Magic Bank::newMagic()
{
    Magic magic = {};
    std::memcpy(magic.data(), magicText, magicCheckSize);
    return magic;
}

Bank::Author Bank::newAuthor(const std::string& user)
{
    const std::string text = "wbkpack:" + user.substr(0, maxLognameLength);
    Author author = {};
    std::copy(text.begin(), text.end(), author.begin());
    return author;
}
