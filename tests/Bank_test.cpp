#include "Bank.h"
#include "BankBytes.h"
#include "BankLock.h"
#include "BankWriter.h"
#include "Pcm.h"
#include "TestFiles.h"
#include "filePath.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <optional>
#include <string>
#include <vector>

namespace {

using namespace std::string_literals;
using State = Bank::State;

struct Damage {
    BankDamage::Part part;
    std::uint64_t offset;
    std::uint64_t missing;
};

const std::string good = bankHeader("wbkpack:tester") + sampleEntry(0, "a.pc8", 8000, "\x01\x02\x03") +
                         sampleEntry(1, "sixteen-bytes-xx", 44100, "") + sampleEntry(255, "", 0, "\x80");

// The layout, written out once by hand: the helpers encode through Bank.
TEST(BankTest, EncodesTheLayout)
{
    EXPECT_EQ(bankHeader("me"), "WBK\0\0\0\0\0me"s + std::string(30, '\0'));
    EXPECT_EQ(sampleEntry(3, "ab", 0x9C40, "xy", 0x01020304),
              "\x03" "ab"s + std::string(14, '\0') + "\x40\x9C\x04\x03\x02\x01xy");
}

TEST(BankTest, IndexOfAGoodBank)
{
    TempDir dir;
    const Bank bank(dir.write("good.wbk", good));
    ASSERT_EQ(bank.state(), State::whole);
    EXPECT_EQ(bank.author(), "wbkpack:tester");
    EXPECT_EQ(bank.wholeLength(), good.size());
    struct Expected {
        unsigned type;
        std::string name;
        unsigned rate, size, offset;
    } const expected[] = {{0, "a.pc8", 8000, 3, 40}, {1, "sixteen-bytes-xx", 44100, 0, 66}, {255, "", 0, 1, 89}};
    ASSERT_EQ(bank.entries().size(), 3u);
    for (std::size_t k = 0; k < 3; ++k) {
        const BankEntry& entry = bank.entries()[k];
        EXPECT_EQ(entry.type, expected[k].type) << k;
        EXPECT_EQ(entry.nameText(), expected[k].name) << k;
        EXPECT_EQ(entry.rate, expected[k].rate) << k;
        EXPECT_EQ(entry.size, expected[k].size) << k;
        EXPECT_EQ(entry.offset, expected[k].offset) << k;
    }
}

TEST(BankTest, EveryWayABankEndsEarly)
{
    const std::string entry = sampleEntry(0, "cut", 8000, "abcdef");
    const struct {
        std::string bytes;
        State state;
        std::size_t entries;
        std::optional<Damage> damage;
    } cases[] = {
        {"", State::empty, 0, {}},
        {"WB", State::notBank, 0, {}},
        {"WBK\0\0"s, State::damaged, 0, Damage{BankDamage::header, 0, 35}},
        {"WBX", State::notBank, 0, {}},
        {"X", State::notBank, 0, {}},
        {bankHeader(), State::whole, 0, {}},
        {bankHeader() + entry.substr(0, 1), State::damaged, 0, Damage{BankDamage::entryHead, 40, 22}},
        {bankHeader() + entry.substr(0, 22), State::damaged, 0, Damage{BankDamage::entryHead, 40, 1}},
        {bankHeader() + entry + entry.substr(0, 23), State::damaged, 1, Damage{BankDamage::entryData, 69, 6}},
        {bankHeader() + entry + entry.substr(0, 28), State::damaged, 1, Damage{BankDamage::entryData, 69, 1}},
        {bankHeader() + sampleEntry(0, "x", 1, "", 0xFFFFFFFF), State::damaged, 0,
         Damage{BankDamage::entryData, 40, 0xFFFFFFFFu}},
    };
    TempDir dir;
    for (const auto& c : cases) {
        const Bank bank(dir.write("b.wbk", c.bytes));
        const std::string label = "bank of " + std::to_string(c.bytes.size()) + " bytes";
        EXPECT_EQ(bank.state(), c.state) << label;
        EXPECT_EQ(bank.entries().size(), c.entries) << label;
        ASSERT_EQ(bank.damage().has_value(), c.damage.has_value()) << label;
        if (c.damage) {
            EXPECT_EQ(bank.damage()->part, c.damage->part) << label;
            EXPECT_EQ(bank.damage()->offset, c.damage->offset) << label;
            EXPECT_EQ(bank.damage()->missing(), c.damage->missing) << label;
            EXPECT_EQ(bank.wholeLength(), c.damage->offset == 0 ? 0 : c.damage->offset) << label;
        }
    }
}

TEST(BankTest, DamageAndNamesForMessagesAndRewrites)
{
    const std::string entry = sampleEntry(0, "cut", 8000, "abcdef");
    const struct {
        std::string bytes;
        std::string text;
    } damages[] = {
        {"WBK\0\0"s, "the header is cut short after 5 bytes"},
        {bankHeader() + entry + entry.substr(0, 5), "the entry at offset 69 is cut short after 5 bytes"},
        {bankHeader() + entry.substr(0, 25), "the entry at offset 40 claims 6 bytes but only 2 remain"},
    };
    TempDir dir;
    for (const auto& d : damages)
        EXPECT_EQ(Bank(dir.write("d.wbk", d.bytes)).damage()->text(), d.text);
    const Bank bank(dir.write("n.wbk", bankHeader() + sampleEntry(0, "ab\0cd"s, 1, "") + sampleEntry(0, "", 1, "") +
                                           sampleEntry(0, "sixteen-bytes-xx", 1, "")));
    EXPECT_EQ(bank.entries()[0].nameBytes(), "ab\0cd"s);
    EXPECT_EQ(bank.entries()[1].nameBytes(), "");
    EXPECT_EQ(bank.entries()[2].nameBytes(), "sixteen-bytes-xx");
}

TEST(BankTest, AuthorEdgeCases)
{
    const struct {
        std::string field;
        std::string text;
    } cases[] = {
        {std::string(32, 'a'), std::string(32, 'a')},
        {"ab\0cd"s, "ab"},
    };
    TempDir dir;
    for (const auto& c : cases) {
        const Bank bank(dir.write("a.wbk", bankHeader(c.field)));
        EXPECT_EQ(bank.author(), c.text);
        std::string field = c.field;
        field.resize(32, '\0');
        EXPECT_EQ(std::string(bank.authorBytes().data(), 32), field) << "bytes after the NUL are kept";
    }
}

TEST(BankTest, IndexOfAHundredThousandEntries)
{
    std::string bytes = bankHeader();
    for (int k = 0; k < 100000; ++k)
        bytes += sampleEntry(k % 4, std::to_string(k), k % 65536, std::string(k % 7, 'x'));
    TempDir dir;
    const Bank bank(dir.write("many.wbk", bytes));
    ASSERT_EQ(bank.entries().size(), 100000u);
    EXPECT_EQ(bank.entries()[99999].nameText(), "99999");
    EXPECT_EQ(bank.entries()[99999].size, 99999u % 7);
    EXPECT_EQ(bank.wholeLength(), bytes.size());
}

// Decoding in pieces gives what a Pcm decodes at once, across piece bounds.
TEST(BankTest, DecodesInPiecesAsPcmDoes)
{
    std::string data(Bank::pieceSize + 3, '\0');
    for (std::size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<char>(i * 7 + i / 13);
    TempDir dir;
    for (unsigned char type : {0, 1}) {
        const Bank bank(dir.write("d.wbk", bankHeader() + sampleEntry(type, "d", 8000, data)));
        std::vector<unsigned char> decoded;
        bank.decode(bank.entries()[0], [&](const unsigned char* bytes, std::size_t count) {
            decoded.insert(decoded.end(), bytes, bytes + count);
            return true;
        });
        const Pcm pcm(bank, bank.entries()[0]);
        EXPECT_EQ(decoded, std::vector<unsigned char>(pcm.getU8Data(), pcm.getU8Data() + pcm.getU8Size()));
    }
}

std::vector<unsigned char> bytesOf(const std::string& text)
{
    return std::vector<unsigned char>(text.begin(), text.end());
}

TEST(BankTest, WrittenBankReadsBackByteForByte)
{
    TempDir dir;
    const Bank old(dir.write("old.wbk", good));
    const std::string target = dir / "new.wbk";
    {
        BankWriter writer(target);
        ASSERT_EQ(fchmod(writer.descriptor(), 0640), 0);
        writer.writeHeader(old.magic(), old.authorBytes());
        for (const BankEntry& entry : old.entries())
            writer.copyEntry(old, entry);
        EntryHead head;
        head.type = 1;
        head.rate = 11025;
        head.size = 2;
        head.name[0] = 'z';
        writer.writeEntry(head, bytesOf("\x12\x34").data());
        writer.commit();
    }
    EXPECT_EQ(readBytes(target), good + sampleEntry(1, "z", 11025, "\x12\x34"));
    EXPECT_EQ(fileMode(target), 0640u);
    EXPECT_EQ(filesIn(dir.path()).size(), 2u) << "a temporary file is left";
}

// A writer that fails midway leaves the old bank and no temporary file.
TEST(BankTest, FailedRewriteLeavesTheOldBankWhole)
{
    TempDir dir;
    const std::string path = dir.write("old.wbk", good);
    const Bank old(path);
    int error = 0;
    try {
        const FileSizeLimit limit(50);
        BankWriter writer(path);
        writer.writeHeader(old.magic(), old.authorBytes());
        for (const BankEntry& entry : old.entries())
            writer.copyEntry(old, entry);
        writer.commit();
    } catch (const BankError& e) {
        error = e.errorNumber();
    }
    EXPECT_EQ(error, EFBIG);
    EXPECT_EQ(readBytes(path), good);
    EXPECT_EQ(filesIn(dir.path()).size(), 1u) << "a temporary file is left";
}

// A bank named through a symbolic link that leads nowhere yet is created
// where the link leads, as the append creates it.
TEST(BankTest, LockCreatesABankThroughALinkThatLeadsNowhere)
{
    TempDir dir;
    ASSERT_EQ(symlink("target.wbk", (dir / "link.wbk").c_str()), 0);
    const BankLock lock(dir / "link.wbk", true);
    EXPECT_TRUE(lock.created());
    EXPECT_TRUE(isFileAtPath(lock.fd(), (dir / "target.wbk").c_str()));
}

} // namespace
