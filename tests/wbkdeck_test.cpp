#include "BankBytes.h"
#include "ProgramRunner.h"
#include "SimulatedDevice.h"
#include "TestFiles.h"

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

using namespace std::string_literals;

class WbkdeckTest : public ::testing::Test {
protected:
    // Runs wbkdeck in `workDir` (the temporary directory when empty).
    ProgramResult deck(const std::vector<std::string>& args, const std::string& workDir = "")
    {
        ProgramRun run;
        run.args = args;
        run.argv0 = "wbkdeck";
        run.workDir = workDir.empty() ? dir.path() : workDir;
        run.umask = 0;
        return runProgram(WBKDECK, run);
    }

    std::string bank(const std::string& bytes)
    {
        const std::string path = dir / "test.wbk";
        writeBytes(path, bytes);
        return path;
    }

    std::string startOfOutput(const std::string& bankPath)
    {
        return "the auther of this .wbk is wbkpack:tester\nnow loading " + bankPath + ".\n";
    }

    TempDir dir;
};

TEST_F(WbkdeckTest, UsageWithoutBankName)
{
    for (const std::vector<std::string>& args : {std::vector<std::string>{}, {"-d"}}) {
        const ProgramResult result = deck(args);
        EXPECT_EQ(result.status, 255);
        EXPECT_EQ(result.out, "");
        EXPECT_EQ(result.err, "Usage:wbkdeck .wbk\n");
    }
}

TEST_F(WbkdeckTest, RefusesUnreadableBanks)
{
    const std::string path = dir / "test.wbk";
    const std::string oneEntry = sampleEntry(0, "first", 8000, "abc");
    struct Case {
        const char* what;
        std::string bytes;  // empty: no bank file
        std::string err;
    } cases[] = {
        {"missing bank", "", "Can't open " + path + ".\n"},
        {"wrong magic, no author", "WBX\0\0\0\0\0"s, "Incorrect data format detected\n"},
        {"short header", bankHeader().substr(0, 20), "Unexpected end of file.\n"},
        {"2 GiB claimed by a 70-byte file", bankHeader() + sampleEntry(0, "huge", 8000, "1234567", 0x80000000u),
         "Unexpected end of file.\n"},
        {"size of all ones", bankHeader() + sampleEntry(0, "huge", 8000, "1234567", 0xFFFFFFFFu),
         "Unexpected end of file.\n"},
        {"entry cut in its name", bankHeader() + oneEntry.substr(0, 6), "Unexpected end of file.\n"},
        {"entry cut in its size", bankHeader() + oneEntry.substr(0, 20), "Unexpected end of file.\n"},
    };
    for (const auto& c : cases) {
        for (const std::vector<std::string>& args : {std::vector<std::string>{"-d", path}, {path}}) {
            unlink(path.c_str());
            if (!c.bytes.empty())
                bank(c.bytes);
            const ProgramResult result = deck(args);
            EXPECT_EQ(result.status, 255) << c.what << " " << args[0];
            EXPECT_EQ(result.err, c.err) << c.what << " " << args[0];
            EXPECT_EQ(result.out.find("now creating"), std::string::npos) << c.what;
        }
        EXPECT_FALSE(fileExists(dir / "huge")) << c.what;
    }
}

TEST_F(WbkdeckTest, PrintsAuthorAndBankNameAsEucJp)
{
    struct Case {
        std::string header;
        std::string authorShown;
    } cases[] = {
        {bankHeader("0123456789abcdef0123456789ABCDEF"), "0123456789abcdef0123456789ABCDEF"},
        {bankHeader("\x82\xA0\xB1-san\0hidden"s), "\xA4\xA2\x8E\xB1-san"},
        {bankHeader("plain", "WBK\x7F\x01\x02\x03\xFF"), "plain"},
    };
    const std::string sjisName = "\x83\x41.wbk";
    for (const auto& c : cases) {
        writeBytes(dir / sjisName, c.header);
        const ProgramResult result = deck({"-d", sjisName});
        EXPECT_EQ(result.status, 0) << c.authorShown;
        EXPECT_EQ(result.err, "");
        EXPECT_EQ(result.out, "the auther of this .wbk is " + c.authorShown + "\nnow loading \xA5\xA2.wbk.\n");
    }
}

TEST_F(WbkdeckTest, ExtractsEverySampleOnceAndNeverOverwrites)
{
    struct Sample {
        unsigned char type;
        std::string name;
        int rate;
        std::string data;
        std::string line;
        bool created;
    } samples[] = {
        {0, "signed.pc8", 8000, "\x80\x7F\x00"s,
         "now creating \"signed.pc8\"\tformat=8bit\tsize=3byte\trate=8000hz\t\n", true},
        {1, "voice.pcm", 22050, "\x12\x34\x00\xFF"s,
         "now creating \"voice.pcm\"\tformat=adpcm\tsize=4byte\trate=22050hz\t\n", true},
        {3, "three.pcm", 65535, "z", "now creating \"three.pcm\"\tformat=adpcm\tsize=1byte\trate=65535hz\t\n", true},
        {2, "sixteen-bytes.pc", 11025, "",
         "now creating \"sixteen-bytes.pc\"\tformat=8bit\tsize=0byte\trate=11025hz\t\n", true},
        {0, "sub/in.pc8", 16540, "sub", "now creating \"sub/in.pc8\"\tformat=8bit\tsize=3byte\trate=16540hz\t\n", true},
        {0, "nodir/x.pc8", 8000, "lost", "now creating \"nodir/x.pc8\"\tformat=8bit\tsize=4byte\trate=8000hz\t\n", false},
        {0, "\x83\x41", 1, "kana", "now creating \"\xA5\xA2\"\tformat=8bit\tsize=4byte\trate=1hz\t\n", true},
    };
    mkdir((dir / "sub").c_str(), 0755);
    std::string bytes = bankHeader();
    std::string out, firstErr, secondErr;
    for (const auto& s : samples) {
        bytes += sampleEntry(s.type, s.name, s.rate, s.data);
        out += s.line;
        const std::string report =
            "can not open " + s.name + " : " + (s.created ? "File exists" : "No such file or directory") + "\n";
        secondErr += report;
        if (!s.created)
            firstErr += report;
    }
    const std::string path = bank(bytes);

    // "nodir/x.pc8" cannot be created, so neither run reports success.
    const ProgramResult first = deck({"-d", path});
    EXPECT_EQ(first.status, 255);
    EXPECT_EQ(first.out, startOfOutput(path) + out);
    EXPECT_EQ(first.err, firstErr);
    for (const auto& s : samples) {
        if (!s.created)
            continue;
        EXPECT_EQ(readBytes(dir / s.name), s.data) << s.name;
        EXPECT_EQ(fileMode(dir / s.name), 0664u) << s.name;
        writeBytes(dir / s.name, "kept");
    }
    EXPECT_FALSE(fileExists(dir / "nodir"));

    const ProgramResult second = deck({"-d", path});
    EXPECT_EQ(second.status, 255);
    EXPECT_EQ(second.out, first.out);
    EXPECT_EQ(second.err, secondErr);
    for (const auto& s : samples) {
        if (s.created) {
            EXPECT_EQ(readBytes(dir / s.name), "kept") << s.name;
        }
    }
}

TEST_F(WbkdeckTest, NeverWritesOutsideTheWorkingDirectory)
{
    const std::string work = dir / "work";
    const std::string outside = dir / "outside";
    mkdir(work.c_str(), 0755);
    mkdir(outside.c_str(), 0755);
    symlink(outside.c_str(), (work + "/link").c_str());
    symlink((outside + "/target").c_str(), (work + "/last").c_str());
    const std::string absolute = "/tmp/wbk" + std::to_string(getpid());
    const std::string path = bank(bankHeader() + sampleEntry(0, absolute, 8000, "a") +
                                  sampleEntry(0, "../up", 8000, "b") + sampleEntry(0, "x/../../up2", 8000, "c") +
                                  sampleEntry(0, "link/in", 8000, "d") + sampleEntry(0, "last", 8000, "e") +
                                  sampleEntry(0, "", 8000, "f") + sampleEntry(0, ".//ok", 8000, "g") +
                                  sampleEntry(0, "link/", 8000, "h"));

    const ProgramResult result = deck({"-d", path}, work);
    EXPECT_EQ(result.status, 255);
    const std::string err = result.err;
    EXPECT_EQ(err, "wbkdeck: skipping \"" + absolute + "\": absolute names are not extracted\n"
                   "wbkdeck: skipping \"../up\": names with \"..\" are not extracted\n"
                   "wbkdeck: skipping \"x/../../up2\": names with \"..\" are not extracted\n"
                   "can not open link/in : Not a directory\n"
                   "can not open last : File exists\n"
                   "wbkdeck: skipping entry 5: it has no name\n"
                   "wbkdeck: skipping entry 7: it has no name\n");
    // Only the files that are tried are announced.
    const std::vector<std::string> lines = linesOf(result.out);
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                            [](const std::string& line) { return line.rfind("now creating", 0) == 0; }),
              3);
    EXPECT_EQ(readBytes(work + "/ok"), "g");
    for (const std::string& escaped : {absolute, dir / "up", dir / "up2", outside + "/in", outside + "/target"})
        EXPECT_FALSE(fileExists(escaped)) << escaped;
    unlink(absolute.c_str());
}

TEST_F(WbkdeckTest, StopsAtAnOversizedEntryAfterExtractingTheOthers)
{
    const std::string path = bank(bankHeader() + sampleEntry(0, "one", 8000, "11") + sampleEntry(1, "two", 8000, "22") +
                                  sampleEntry(0, "three", 8000, "333", 4));
    const ProgramResult result = deck({"-d", path});
    EXPECT_EQ(result.status, 255);
    EXPECT_EQ(result.err, "Unexpected end of file.\n");
    EXPECT_EQ(result.out, startOfOutput(path) +
                              "now creating \"one\"\tformat=8bit\tsize=2byte\trate=8000hz\t\n"
                              "now creating \"two\"\tformat=adpcm\tsize=2byte\trate=8000hz\t\n");
    EXPECT_EQ(readBytes(dir / "two"), "22");
    EXPECT_FALSE(fileExists(dir / "three"));
}

// An entry of 2 GiB or more that the file holds whole is no damage: it is
// listed, and only playback, which would decode it to 4 GiB, refuses it. The
// bank is sparse.
TEST_F(WbkdeckTest, WholeEntryOfTwoGiBIsListedAndRefusedByPlayback)
{
    const std::uint32_t storedSize = 0x80000000u;
    const std::string path = bank(bankHeader() + sampleEntry(1, "huge", 8000, "", storedSize));
    ASSERT_EQ(truncate(path.c_str(), 40 + 23 + static_cast<off_t>(storedSize)), 0);
    const ProgramResult listed = deck({"-l", path});
    EXPECT_EQ(listed.err, "");
    EXPECT_EQ(listed.status, 0);
    EXPECT_EQ(linesOf(listed.out).back(), "0\tadpcm   \t2147483648\t8000\thuge   \t536871");
    const ProgramResult played = deck({path});
    EXPECT_EQ(played.err, "wbkdeck: " + path + ": the entry is too large to decode in memory: File too large\n");
    EXPECT_EQ(played.status, 255);
}

} // namespace
