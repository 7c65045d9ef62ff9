// What wbkdeck prints for other programs: the manifest (-m, -M), the
// listing as JSON (--json) and a C header (--header).
#include "BankBytes.h"
#include "Manifest.h"
#include "ProgramRunner.h"
#include "SimulatedDevice.h"
#include "TestFiles.h"

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <string>
#include <vector>

namespace {

using namespace std::string_literals;

class WbkdeckPrintTest : public ::testing::Test {
protected:
    ProgramResult run(const std::string& program, const std::vector<std::string>& args)
    {
        ProgramRun run;
        run.args = args;
        run.workDir = dir.path();
        return runProgram(program, run);
    }
    ProgramResult deck(const std::vector<std::string>& args) { return run(WBKDECK, args); }

    TempDir dir;
};

// Everything a bank may hold shows in the manifest, escaped; the bank is
// named as given, its '#' escaped.
const std::string oddBank = bankHeader("me\0\x1b\\x"s, "WBK\xff\x00\x01\x02\x03"s) + sampleEntry(0, "", 0, "") +
                            sampleEntry(255, "ab\0c\\#"s, 65535, "x") +
                            sampleEntry(1, "sixteen-bytes-xx", 16540, "yz") + sampleEntry(3, "\x83\x41 \t", 8000, "\x01");

TEST_F(WbkdeckPrintTest, ManifestOfAnOddBank)
{
    dir.write("odd#1.wbk", oddBank);
    const std::string head = "wbk manifest 1\nmagic\tWBK\\xff\\x00\\x01\\x02\\x03\nauthor\tme\\x00\\x1b\\\\x\n";
    const std::string lines[] = {"8bit\t0\t\todd\\x231.wbk#0\n", "255\t65535\tab\\x00c\\\\#\todd\\x231.wbk#1\n",
                                 "adpcm\t16540\tsixteen-bytes-xx\todd\\x231.wbk#2\n",
                                 "3\t8000\t\\x83A \\x09\todd\\x231.wbk#3\n"};
    const struct {
        std::vector<std::string> args;
        std::string out;
    } cases[] = {
        {{"-m", "odd#1.wbk"}, head + lines[0] + lines[1] + lines[2] + lines[3]},
        {{"-m", "odd#1.wbk", "3", "1"}, head + lines[1] + lines[3]},
        {{"-m", "./odd#1.wbk", "0"}, head + "8bit\t0\t\t./odd\\x231.wbk#0\n"},
    };
    for (const auto& c : cases) {
        const ProgramResult result = deck(c.args);
        EXPECT_EQ(result.out, c.out) << c.args.back();
        EXPECT_EQ(result.err, "");
        EXPECT_EQ(result.status, 0);
    }
}

// After -d, -M names the file that holds the entry's bytes, and the entry in
// the bank where -d wrote none, or where the file has other bytes or is
// reached through a symbolic link.
TEST_F(WbkdeckPrintTest, ManifestOfExtractedFiles)
{
    const struct {
        std::string name;
        std::string source;  // with -M after -d, all entries chosen
    } entries[] = {
        {"a.pc8", "a.pc8"},
        {"", "b.wbk#1"},
        {"/abs", "b.wbk#2"},
        {"../up", "b.wbk#3"},
        {"bad\x1b", "b.wbk#4"},
        {".//a.pc8", "b.wbk#5"},  // the file of entry 0
        {"sub/c#1", "sub/c\\x231"},
        {"a.pc8", "b.wbk#7"},
        {"ab\0cd"s, "ab"},
        {"a.pc8/in", "b.wbk#9"},  // through the file of entry 0
        {"sub", "b.wbk#10"},      // the directory of entry 6's file
        {"link/in", "b.wbk#11"},  // a linked directory holding the same bytes
        {"planted", "b.wbk#12"},  // a link to the same bytes
        {"taken", "b.wbk#13"},    // there before, with other bytes
        {"sub/", "b.wbk#14"},
        {"sub//d", "sub//d"},
    };
    std::string bytes = bankHeader();
    std::string expected = "wbk manifest 1\nmagic\tWBK\\x00\\x00\\x00\\x00\\x00\nauthor\twbkpack:tester\n";
    for (std::size_t k = 0; k < std::size(entries); ++k) {
        bytes += sampleEntry(0, entries[k].name, 8000, std::to_string(k));
        expected += "8bit\t8000\t" + escapeManifestText(entries[k].name) + "\t" + entries[k].source + "\n";
    }
    dir.write("b.wbk", bytes);
    mkdir((dir / "sub").c_str(), 0755);
    mkdir((dir / "real").c_str(), 0755);
    dir.write("real/in", "11");
    dir.write("real/planted", "12");
    dir.write("taken", "not 13");
    symlink("real", (dir / "link").c_str());
    symlink("real/planted", (dir / "planted").c_str());
    deck({"-d", "b.wbk"});
    const ProgramResult manifest = deck({"-M", "b.wbk"});
    EXPECT_EQ(manifest.out, expected);
    EXPECT_EQ(manifest.status, 0);

    // Chosen alone, the second "a.pc8" is still not the file's.
    EXPECT_EQ(linesOf(deck({"-M", "b.wbk", "7"}).out).back(), "8bit\t8000\ta.pc8\tb.wbk#7");
    // Before -d, no file holds an entry's bytes.
    dir.write("c.wbk", bankHeader() + sampleEntry(0, "c", 8000, "c"));
    EXPECT_EQ(linesOf(deck({"-M", "c.wbk"}).out).back(), "8bit\t8000\tc\tc.wbk#0");
}

TEST_F(WbkdeckPrintTest, JsonListing)
{
    dir.write("b.wbk", bankHeader() + sampleEntry(0, "a440.pc8", 16540, "abc") +
                           sampleEntry(3, "\x83\x41\xff", 0, "xy") + sampleEntry(7, "ab\0c"s, 8000, ""));
    using Json = nlohmann::json;
    const Json entries[] = {
        {{"index", 0}, {"type", 0}, {"format", "8bit"}, {"name", "a440.pc8"}, {"name_hex", "613434302e706338"},
         {"rate", 16540}, {"size", 3}, {"samples", 3}, {"seconds", 3.0 / 16540}, {"data_offset", 63}},
        {{"index", 1}, {"type", 3}, {"format", "adpcm"}, {"name", "\xE3\x82\xA2\xEF\xBF\xBD"}, {"name_hex", "8341ff"},
         {"rate", 0}, {"size", 2}, {"samples", 4}, {"seconds", nullptr}, {"data_offset", 89}},
        {{"index", 2}, {"type", 7}, {"format", "8bit"}, {"name", "ab"}, {"name_hex", "61620063"},
         {"rate", 8000}, {"size", 0}, {"samples", 0}, {"seconds", 0.0}, {"data_offset", 114}},
    };
    const struct {
        std::vector<std::string> args;
        Json expected;
    } cases[] = {
        {{"--json", "b.wbk"}, Json::array({entries[0], entries[1], entries[2]})},
        {{"--json", "b.wbk", "2", "0"}, Json::array({entries[0], entries[2]})},
    };
    for (const auto& c : cases) {
        const ProgramResult result = deck(c.args);
        EXPECT_EQ(Json::parse(result.out), c.expected) << result.out;
        EXPECT_EQ(result.err, "");
        EXPECT_EQ(result.status, 0);
    }
}

// The header compiles as C (a duplicate enumerator or a missing guard would
// not), and every identifier has the expected value.
TEST_F(WbkdeckPrintTest, CHeaderCompiles)
{
    const struct {
        std::string name;
        std::string identifier;
    } entries[] = {
        {"a440.pc8", "VOICES_A440_PC8"}, {"A440-PC8", "VOICES_A440_PC8_1"}, {"", "VOICES_ENTRY_2"},
        {"\x83\x41", "VOICES_ENTRY_3"},  {"count", "VOICES_COUNT_4"},       {"9lives", "VOICES_9LIVES"},
        {"a440_pc8_1", "VOICES_A440_PC8_1_6"}, {"_x__y", "VOICES_X_Y"},  {"x-y", "VOICES_X_Y_8"},
        {"a.", "VOICES_A_"},
    };
    std::string bytes = bankHeader();
    std::string checks;
    for (std::size_t k = 0; k < std::size(entries); ++k) {
        bytes += sampleEntry(0, entries[k].name, 8000, "");
        checks += "int check" + std::to_string(k) + "[" + entries[k].identifier + " == " + std::to_string(k) +
                  " ? 1 : -1];\n";
    }
    mkdir((dir / "sub").c_str(), 0755);
    dir.write("sub/voices.wbk", bytes);
    const ProgramResult header = deck({"--header", "sub/voices.wbk"});
    ASSERT_EQ(header.status, 0) << header.err;
    EXPECT_EQ(header.out.find("__"), std::string::npos);  // reserved in C++
    dir.write("voices.h", header.out);
    dir.write("use.c", "#include \"voices.h\"\n#include \"voices.h\"\n" + checks +
                           "int count[VOICES_COUNT == 10 ? 1 : -1];\n#ifndef VOICES_WBK_H\n#error no guard\n#endif\n");
    const ProgramResult compiled = run("/bin/sh", {"-c", "cc -std=c99 -Wall -Werror -fsyntax-only use.c 2>&1"});
    EXPECT_EQ(compiled.out, "");
    EXPECT_EQ(compiled.status, 0);

    // A bank name that starts with a digit still makes identifiers.
    dir.write("1 set.v2.wbk", bankHeader());
    EXPECT_EQ(deck({"--header", "1 set.v2.wbk"}).out,
              "/* The entries of a sound bank, by index; written by wbkdeck --header. */\n"
              "#ifndef BANK_1_SET_V2_WBK_H\n#define BANK_1_SET_V2_WBK_H\n\nenum {\n    BANK_1_SET_V2_COUNT = 0\n};\n\n"
              "#endif\n");
}

// A damaged bank is refused with one line: a manifest or listing of it
// would leave out its last entry.
TEST_F(WbkdeckPrintTest, DamagedBankIsRefused)
{
    dir.write("b.wbk", bankHeader() + sampleEntry(0, "a", 8000, "x") + sampleEntry(0, "b", 8000, "yz", 5));
    for (const char* mode : {"-m", "-M", "--json", "--header"}) {
        const ProgramResult result = deck({mode, "b.wbk"});
        EXPECT_EQ(result.out, "") << mode;
        EXPECT_EQ(result.err, "wbkdeck: b.wbk is damaged: the entry at offset 64 claims 5 bytes but only 2 remain; "
                              "wbkpack --repair b.wbk cuts it back to its last whole entry\n")
            << mode;
        EXPECT_EQ(result.status, 255) << mode;
    }
}

// The newer modes refuse a file that holds no bank header with one line
// naming the program, the file and what is wrong.
TEST_F(WbkdeckPrintTest, FileWithoutABankHeaderIsRefusedByName)
{
    const struct {
        std::string bytes;
        std::string reason;
    } cases[] = {
        {"", "it is empty"},
        {"WB", "it holds only 2 bytes"},
        {bankHeader().substr(0, 20), "the header is cut short after 20 bytes"},
        {"RIFF", "it does not start with WBK"},
    };
    for (const auto& c : cases) {
        dir.write("x.wbk", c.bytes);
        for (const char* mode : {"-m", "-M", "--json", "--header", "-w"}) {
            const ProgramResult result = deck({mode, "x.wbk"});
            EXPECT_EQ(result.err, "wbkdeck: x.wbk is not a sound bank: " + c.reason + "\n") << mode;
            EXPECT_EQ(result.out, "") << mode;
            EXPECT_EQ(result.status, 255) << mode;
        }
    }
}

// wbkdeck -m, or -d and -M, then wbkpack --build: the same bank, byte for byte.
TEST_F(WbkdeckPrintTest, ManifestBuildsTheSameBank)
{
    const auto entries = [](std::vector<std::string> names) {
        std::string bytes = bankHeader();
        for (std::size_t k = 0; k < names.size(); ++k)
            bytes += sampleEntry(0, names[k], 8000, "entry " + std::to_string(k));
        return bytes;
    };
    const struct {
        std::string bank;
        std::string before;  // shell commands run before -d
    } cases[] = {
        {oddBank, ""},
        {bankHeader("", "WBKWBKWB") + sampleEntry(0, "a.pc8", 1, "1") + sampleEntry(0, "a.pc8", 2, "2") +
             sampleEntry(9, "../x", 3, "3") + sampleEntry(1, "", 4, "4") + sampleEntry(0, "ok", 5, ""),
         ""},
        {entries({"taken"}), "echo other > taken"},
        {entries({"link/f"}), "mkdir real && ln -s real link && echo other > real/f"},
        {entries({"planted"}), "echo other > target && ln -s target planted"},
        {entries({"a/b", ".", "./", "a//b", "dup/", "twice", "twice"}), ""},
    };
    for (const auto& c : cases) {
        for (const char* mode : {"-m", "-M"}) {
            TempDir work;
            writeBytes(work / "b.wbk", c.bank);
            const std::string extract =
                std::string(mode) == "-M" ? c.before + "\n\"$0\" -d b.wbk >/dev/null 2>&1; " : "";
            const std::string script = extract + "\"$0\" " + mode + " b.wbk > m && \"$1\" --build new.wbk m";
            ProgramRun build;
            build.args = {"-c", script, WBKDECK, WBKPACK};
            build.workDir = work.path();
            const ProgramResult result = runProgram("/bin/sh", build);
            EXPECT_EQ(result.status, 0) << mode << result.err << c.before;
            EXPECT_TRUE(readBytes(work / "new.wbk") == c.bank) << mode << c.before;
        }
    }
}

} // namespace
