#ifndef WBK_BANK_H
#define WBK_BANK_H

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

// A system call on a bank failed; errorNumber() is its errno.
class BankError : public std::runtime_error {
public:
    BankError(const std::string& what, int errorNumber) : std::runtime_error(what), number(errorNumber) {}
    int errorNumber() const { return number; }

private:
    int number;
};

// The fields of a sample entry in front of its data.
struct EntryHead {
    unsigned char type = 0;  // 1 and 3: 4-bit ADPCM; any other value: signed 8-bit PCM
    std::array<char, 16> name = {};  // stored bytes; zero-filled, no terminator when all 16 are used
    std::uint16_t rate = 0;
    std::uint32_t size = 0;  // stored data bytes

    // The name up to its first zero byte.
    std::string nameText() const;
    // The stored name bytes without the zero bytes that fill the field, so
    // that bytes after an inner zero are kept: what writes the field again.
    std::string nameBytes() const;
    bool isAdpcm() const;
    // Unsigned 8-bit samples the data decode to: two per ADPCM byte.
    std::uint64_t decodedSize() const;
};

// A whole entry as found in a bank.
struct BankEntry : EntryHead {
    std::uint64_t offset = 0;  // of the entry's type byte
    std::uint64_t dataOffset() const;
    std::uint64_t end() const { return dataOffset() + size; }
};

// The part of a bank that the file cuts short: the header, or the last entry
// (its head, or its data).
struct BankDamage {
    enum Part { header, entryHead, entryData };
    Part part = header;
    std::uint64_t offset = 0;   // where that part starts: 0 for the header, else the entry's offset
    std::uint64_t present = 0;  // its bytes in the file
    std::uint64_t needed = 0;   // the bytes it needs: for data, the head and the size it claims
    std::uint64_t missing() const { return needed - present; }
    // What is cut short, for a message: "the header is cut short after 20
    // bytes", "the entry at offset 63 is cut short after 5 bytes" or "the
    // entry at offset 63 claims 100 bytes but only 10 remain".
    std::string text() const;
};

// A sound bank file: a 40-byte header (8 bytes of magic, of which readers
// look at "WBK" only, then 32 bytes of author text), then sample entries back
// to back up to the end of the file, each a 23-byte head (type, 16-byte name,
// 16-bit rate, 32-bit size, little-endian) and its data.
//
// Opening reads the header and an index of the entries (the heads only,
// never sample data), checking every size against what the file holds before
// it is used. A file cut short is not an error but a state: the whole entries
// before the damage stay readable. Failing system calls throw BankError;
// nothing here prints or ends the process.
class Bank {
public:
    static constexpr std::size_t magicSize = 8;
    static constexpr std::size_t authorSize = 32;
    static constexpr std::size_t headerSize = magicSize + authorSize;
    static constexpr std::size_t nameSize = 16;
    static constexpr std::size_t entryHeadSize = 1 + nameSize + 2 + 4;
    // The largest entry data that writers accept: the reader of the stream
    // classes counts in signed 32 bits.
    static constexpr std::int64_t maxSampleSize = INT32_MAX;
    // What readers compare of the magic, and what a new bank gets.
    static constexpr char magicText[] = "WBK";
    static constexpr std::size_t magicCheckSize = 3;

    using Magic = std::array<char, magicSize>;
    using Author = std::array<char, authorSize>;

    enum class State {
        empty,    // no byte at all
        notBank,  // does not start with "WBK", or is shorter than that
        whole,    // a header and whole entries
        damaged,  // see damage()
    };

    // Opens the regular file at `path` for reading (BankError when it cannot
    // be opened, is no regular file or cannot be read) and reads its index.
    explicit Bank(const std::string& path);
    // Reads the index of the bank open on `fd`, which stays the caller's and
    // must stay open while this object is used. A file that is not regular
    // counts as empty.
    explicit Bank(int fd);
    ~Bank();
    Bank(const Bank&) = delete;
    Bank& operator=(const Bank&) = delete;

    State state() const { return bankState; }
    std::optional<BankDamage> damage() const { return bankDamage; }
    // The file's length, and where the last whole entry (or the header) ends:
    // what a repair keeps. 0 without a whole header.
    std::uint64_t length() const { return fileLength; }
    std::uint64_t wholeLength() const { return wholeEnd; }
    bool hasHeader() const { return wholeEnd >= headerSize; }

    // Valid when hasHeader().
    const Magic& magic() const { return magicBytes; }
    const Author& authorBytes() const { return authorField; }
    // The author up to its first zero byte.
    std::string author() const;

    // The whole entries, in bank order.
    const std::vector<BankEntry>& entries() const { return index; }

    // Hands an entry's stored bytes to `consume` in pieces of at most
    // pieceSize bytes; false as soon as `consume` returns false. BankError
    // when the file cannot be read or has become shorter.
    using Consumer = std::function<bool(const unsigned char* bytes, std::size_t count)>;
    bool readData(const BankEntry& entry, const Consumer& consume) const;
    // The same, decoded to unsigned 8-bit samples through the codec.
    bool decode(const BankEntry& entry, const Consumer& consume) const;
    // All entry.size stored bytes at once, into `out`.
    void readData(const BankEntry& entry, unsigned char* out) const;

    int fd() const { return file; }

    static constexpr std::size_t pieceSize = 1 << 20;

    // The bytes of a header and of an entry head, as the writers put them.
    static std::array<unsigned char, headerSize> encodeHeader(const Magic& magic, const Author& author);
    static std::array<unsigned char, entryHeadSize> encodeEntryHead(const EntryHead& head);
    // The magic and author of a new bank: "wbkpack:" and at most 20 bytes of `user`.
    static Magic newMagic();
    static Author newAuthor(const std::string& user);

private:
    void readIndex(std::uint64_t length);
    bool readHeader();
    void damaged(BankDamage::Part part, std::uint64_t offset, std::uint64_t present, std::uint64_t needed);
    void readAt(unsigned char* bytes, std::size_t count, std::uint64_t offset) const;

    int file = -1;
    bool ownsFile = false;
    State bankState = State::empty;
    std::optional<BankDamage> bankDamage;
    std::uint64_t fileLength = 0;
    std::uint64_t wholeEnd = 0;
    Magic magicBytes = {};
    Author authorField = {};
    std::vector<BankEntry> index;
};

#endif
