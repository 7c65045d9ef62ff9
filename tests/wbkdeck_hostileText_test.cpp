// Bank text that tries to drive the terminal: wbkdeck must show every control
// character escaped, in the listing, with -d and in its messages, and never
// create a file whose name holds one.
#include "BankBytes.h"
#include "ProgramRunner.h"
#include "SimulatedDevice.h"
#include "TestFiles.h"
#include "visibleText.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct HostileName {
    std::string stored;  // the name's bytes in the bank
    std::string shown;   // on standard output: EUC-JP, controls escaped
    std::string refusal; // the -d message, or empty when the file is created
};

const std::string controlRefusal = "\": names with control characters are not extracted\n";

const HostileName hostileNames[] = {
    {"\x1b]0;pwn\x07\x1b[2J", "\\x1b]0;pwn\\x07\\x1b[2J",
     "wbkdeck: skipping \"\\x1b]0;pwn\\x07\\x1b[2J" + controlRefusal},
    {"cr\rover", "cr\\x0dover", "wbkdeck: skipping \"cr\\x0dover" + controlRefusal},
    {"two\nlines", "two\\x0alines", "wbkdeck: skipping \"two\\x0alines" + controlRefusal},
    {"back\b\b\bup", "back\\x08\\x08\\x08up", "wbkdeck: skipping \"back\\x08\\x08\\x08up" + controlRefusal},
    {"tab\tdel\x7f", "tab\\x09del\\x7f", "wbkdeck: skipping \"tab\\x09del\\x7f" + controlRefusal},
    // Lead bytes 0xF0 to 0xFC convert to control bytes; the raw name has none.
    {"\xF5\xA0.pc8", "\\x0a\xA2.pc8", ""},
    {"\xF7\x40.pc8", "\\x0d\xA1.pc8", ""},
    {"\xF0\x9F.pc8", "\\x00\xA1.pc8", ""},
    {"\x83\x41\xB1.pc8", "\xA5\xA2\x8E\xB1.pc8", ""},
};

const std::string hostileAuthor = "\x1b]0;x\x07\x1b[2J\r\xF0\x9F";
const std::string shownAuthor = "\\x1b]0;x\\x07\\x1b[2J\\x0d\\x00\xA1";

std::string hostileBank()
{
    std::string bytes = bankHeader(hostileAuthor);
    for (const HostileName& name : hostileNames)
        bytes += sampleEntry(0, name.stored, 8000, "data");
    return bytes;
}

class HostileTextTest : public ::testing::Test {
protected:
    ProgramResult deck(const std::vector<std::string>& args, const std::vector<std::string>& env = {})
    {
        ProgramRun run;
        run.args = args;
        run.argv0 = "wbkdeck";
        run.workDir = dir.path();
        run.setEnv = env;
        return runProgram(WBKDECK, run);
    }

    TempDir dir;
};

TEST_F(HostileTextTest, ExtractionEscapesTextAndRefusesControlNames)
{
    writeBytes(dir / "bank.wbk", hostileBank());
    const ProgramResult result = deck({"-d", "bank.wbk"});

    std::string out = "the auther of this .wbk is " + shownAuthor + "\nnow loading bank.wbk.\n";
    std::string err;
    for (const HostileName& name : hostileNames) {
        err += name.refusal;
        if (name.refusal.empty()) {
            out += "now creating \"" + name.shown + "\"\tformat=8bit\tsize=4byte\trate=8000hz\t\n";
            EXPECT_EQ(readBytes(dir / name.stored), "data") << name.shown;
        }
    }
    EXPECT_EQ(result.status, 255);  // some entries were skipped
    EXPECT_EQ(result.out, out);
    EXPECT_EQ(result.err, err);
    for (const std::string& file : filesIn(dir.path()))
        EXPECT_FALSE(hasControlCharacters(file.c_str())) << file;
}

TEST_F(HostileTextTest, ListingAndPlaybackKeepOneLinePerEntry)
{
    writeBytes(dir / "bank.wbk", hostileBank());
    SimulatedDevice device;
    const ProgramResult result = deck({"bank.wbk"}, device.environment());

    const std::size_t count = std::size(hostileNames);
    const std::vector<std::string> lines = linesOf(result.out);
    ASSERT_EQ(lines.size(), 5 + 2 * count) << result.out;
    EXPECT_EQ(lines[0], "the auther of this .wbk is " + shownAuthor);
    for (std::size_t k = 0; k < count; ++k) {
        const std::string& shown = hostileNames[k].shown;
        EXPECT_EQ(lines[5 + k], std::to_string(k) + "\t8bit    \t4\t8000\t" + shown + "   \t0.0005");
        EXPECT_EQ(lines[5 + count + k], shown + ":now playing " + std::to_string(k) + "-th pcm...done.");
    }
    EXPECT_EQ(result.status, 0);
}

TEST_F(HostileTextTest, BankNamesInMessagesAreEscaped)
{
    const ProgramResult missing = deck({"-d", "gone\x1b[2J.wbk"});
    EXPECT_EQ(missing.status, 255);
    EXPECT_EQ(missing.err, "Can't open gone\\x1b[2J.wbk.\n");

    writeBytes(dir / "b\rank.wbk", bankHeader());
    const ProgramResult found = deck({"-d", "b\rank.wbk"});
    EXPECT_EQ(found.status, 0);
    EXPECT_EQ(found.out, "the auther of this .wbk is wbkpack:tester\nnow loading b\\x0dank.wbk.\n");
}

} // namespace
