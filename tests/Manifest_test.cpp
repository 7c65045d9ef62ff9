#include "Manifest.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

namespace {

using namespace std::string_literals;

Manifest read(const std::string& text)
{
    std::istringstream in(text);
    return readManifest(in);
}

std::string written(const Manifest& manifest)
{
    std::ostringstream out;
    writeManifest(out, manifest);
    return out.str();
}

TEST(ManifestTest, EscapingRoundTripsEveryByte)
{
    std::string bytes;
    for (int byte = 0; byte < 256; ++byte)
        bytes += static_cast<char>(byte);
    const std::string text = escapeManifestText(bytes);
    EXPECT_EQ(unescapeManifestText(text), bytes);
    EXPECT_EQ(text.find_first_of("\t\r\n\x7f"), std::string::npos);
    EXPECT_EQ(escapeManifestText("a\\\t\xff~ "), "a\\\\\\x09\\xff~ ");
    EXPECT_EQ(unescapeManifestText("\\xFF\\xab"), "\xff\xab");
    for (const char* bad : {"\\", "a\\q", "\\x4", "\\x4g", "\\X41"})
        EXPECT_THROW(unescapeManifestText(bad), std::invalid_argument) << bad;
}

TEST(ManifestTest, ReportsTheBadLine)
{
    const std::string header = "wbk manifest 1\n";
    struct Case {
        std::string text;
        int line;
        std::string message;
    } cases[] = {
        {"", 1, "ends before its first line \"wbk manifest 1\""},
        {"# only\n\n", 3, "ends before its first line"},
        {"wbk manifest 2\n", 1, "starts with \"wbk manifest 1\", not \"wbk manifest 2\""},
        {"\n8bit\t0\ta\tf\n", 2, "starts with"},
        {header + "voice\t0\ta\tf\n", 2, "unknown type \"voice\""},
        {header + "256\t0\ta\tf\n", 2, "the type 256 is not from 0 to 255"},
        {header + "8bit\t70000\ta\tf\n", 2, "the rate 70000 is not from 0 to 65535"},
        {header + "8bit\t-1\ta\tf\n", 2, "the rate \"-1\" is not a number"},
        {header + "8bit\t\ta\tf\n", 2, "the rate \"\" is not a number"},
        {header + "8bit\t0\t12345678901234567\tf\n", 2, "the name is 17 bytes long, more than 16"},
        {header + "8bit\t0\ta\\q\tf\n", 2, "in the name, \"\\q\" is no escape"},
        {header + "8bit\t0\ta\n", 2, "4 fields separated by TABs (TYPE, RATE, NAME, SOURCE); this one has 3"},
        {header + "8bit\t0\ta\tf\tg\n", 2, "this one has 5"},
        {header + "8bit\t0\ta\t\n", 2, "the source is empty"},
        {header + "8bit\t0\ta\t#3\n", 2, "names no bank before the '#'"},
        {header + "8bit\t0\ta\tb.wbk#x\n", 2, "the entry number \"x\" after the '#'"},
        {header + "8bit\t0\ta\tb.wbk#\n", 2, "the entry number \"\""},
        {header + "8bit\t0\ta\tb#1#2\n", 2, "the entry number \"1#2\""},
        {header + "8bit\t0\ta\tb.wbk#4294967296\n", 2, "not a number from 0 to 4294967295"},
        {header + "8bit\t0\ta\tb\\x2\n", 2, "in the source, \"\\x2\" is no escape"},
        {header + "magic\tWBK\n", 2, "the magic is 3 bytes long, not 8"},
        {header + "magic\tWBK\\x00\\x00\\x00\\x00\\x00\\x00\n", 2, "the magic is 9 bytes long"},
        {header + "magic\n", 2, "the magic line has 2 fields"},
        {header + "author\t" + std::string(33, 'a') + "\n", 2, "the author is 33 bytes long, more than 32"},
        {header + "author\ta\n\nauthor\tb\n", 4, "a second author line: the first is line 2"},
        {header + "8bit\t0\ta\tf\nmagic\tWBKWBKWB\n", 3, "the magic line must come before the entry lines"},
        {header + "author\tx\x01\x9f\\q\n", 2, "in the author, \"\\q\""},
        {"wbk manifest 1\x1b\n", 1, "not \"wbk manifest 1\\x1b\""},
    };
    for (const Case& c : cases) {
        try {
            read(c.text);
            ADD_FAILURE() << "no error for: " << c.text;
        } catch (const ManifestError& error) {
            EXPECT_EQ(error.line(), c.line) << c.text;
            EXPECT_EQ(std::string(error.what()).rfind("line " + std::to_string(c.line) + ": ", 0), 0u) << error.what();
            EXPECT_NE(std::string(error.what()).find(c.message), std::string::npos) << error.what();
        }
    }
}

TEST(ManifestTest, ReadsCrlfCommentsAndBlankLines)
{
    const Manifest manifest = read("# a bank\r\n\r\nwbk manifest 1\r\n#\tmagic\tno\n\nadpcm\t11025\tvoice\told.wbk#3\r\n"
                                   "0\t1\t\tpc\\x23m\n1\t2\tx\ty");
    ASSERT_EQ(manifest.entries.size(), 3u);
    EXPECT_FALSE(manifest.magic);
    EXPECT_FALSE(manifest.author);
    const ManifestEntry& voice = manifest.entries[0];
    EXPECT_EQ(voice.type, 1);
    EXPECT_EQ(voice.rate, 11025);
    EXPECT_EQ(voice.name, "voice");
    EXPECT_EQ(voice.sourcePath, "old.wbk");
    EXPECT_EQ(voice.sourceEntry, 3u);
    EXPECT_EQ(voice.line, 6);
    EXPECT_EQ(manifest.entries[1].sourcePath, "pc#m");
    EXPECT_FALSE(manifest.entries[1].sourceEntry);
    EXPECT_EQ(manifest.entries[2].type, 1);
    EXPECT_EQ(manifest.entries[2].line, 8);
}

TEST(ManifestTest, RoundTripsOddContent)
{
    Manifest manifest;
    manifest.magic = Bank::Magic{'W', 'B', 'K', '\0', '\\', '\t', '\xff', '#'};
    manifest.author = Bank::Author{'\x83', '\x41', '\0', '\n', 'a', 'b'};
    const auto entry = [](unsigned char type, std::uint16_t rate, std::string name, std::string path,
                          std::optional<std::uint32_t> number) {
        ManifestEntry e;
        e.type = type;
        e.rate = rate;
        e.name = name;
        e.sourcePath = path;
        e.sourceEntry = number;
        return e;
    };
    manifest.entries = {
        entry(0, 0, "\x83\x41\x83\x43\x83\x45\x83\x47\x83\x49\x82\xa0\x82\xa2\x0d\x00"s, "a#b\\c\td e.wbk", 4294967295u),
        entry(255, 65535, "", "#", std::nullopt),
        entry(1, 8000, "#\\ ", "\x01\x7f\x80 ", 0),
        entry(3, 1, "\r", "x", std::nullopt),
    };
    const std::string text = written(manifest);
    EXPECT_EQ(text.substr(0, text.find('\n', text.find("author"))),
              "wbk manifest 1\nmagic\tWBK\\x00\\\\\\x09\\xff#\nauthor\t\\x83A\\x00\\x0aab");
    EXPECT_NE(text.find("\n255\t65535\t\t\\x23\n"), std::string::npos) << text;
    EXPECT_EQ(read(text), manifest);
    manifest.magic.reset();
    manifest.author = Bank::Author{};
    EXPECT_EQ(read(written(manifest)), manifest);
}

} // namespace
