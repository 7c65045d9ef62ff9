#include "BankBytes.h"
#include "ProgramRunner.h"
#include "TestFiles.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <string>

namespace {

using namespace std::string_literals;

class WbkpackTest : public ::testing::Test {
protected:
    ProgramResult pack(const std::string& bank, const std::string& sample, const std::string& rate,
                       ProgramRun run = {})
    {
        run.args = {bank, sample};
        run.input = rate;
        run.workDir = dir.path();
        if (run.setEnv.empty() && run.unsetEnv.empty())
            run.setEnv = {"LOGNAME=tester"};
        return runProgram(WBKPACK, run);
    }

    TempDir dir;
};

TEST_F(WbkpackTest, FewerThanTwoOperandsPrintsUsage)
{
    for (const auto& args : {std::vector<std::string>{}, {"bank.wbk"}}) {
        ProgramRun run;
        run.args = args;
        run.argv0 = "wbkpack";
        const ProgramResult result = runProgram(WBKPACK, run);
        EXPECT_EQ(result.err, "Usage:wbkpack .wbk .[pc8|pcm]\n");
        EXPECT_EQ(result.out, "");
        EXPECT_EQ(result.status, 255);
    }
}

TEST_F(WbkpackTest, FirstRunWritesHeaderAndEntry)
{
    writeBytes(dir / "tone.pc8", "\x01\x7f\x80\xff");
    const ProgramResult result = pack("bank.wbk", "tone.pc8", "16540\n");
    EXPECT_EQ(result.out, "now appending tone.pc8 to bank.wbk...\ninput sample rate of tone.pc8:done\n");
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(readBytes(dir / "bank.wbk"),
              bankHeader("wbkpack:tester") + sampleEntry(0, "tone.pc8", 16540, "\x01\x7f\x80\xff"));
}

TEST_F(WbkpackTest, AuthorComesFromLogname)
{
    struct Case {
        std::vector<std::string> setEnv, unsetEnv;
        std::string expected;
    } cases[] = {
        {{}, {"LOGNAME"}, "wbkpack:"},
        {{"LOGNAME=ann"}, {}, "wbkpack:ann"},
        {{"LOGNAME=abcdefghijklmnopqrstuvwxyz0123"}, {}, "wbkpack:abcdefghijklmnopqrst"},
    };
    writeBytes(dir / "s.pc8", "");
    for (const auto& c : cases) {
        ProgramRun run;
        run.setEnv = c.setEnv;
        run.unsetEnv = c.unsetEnv;
        const std::string bank = "bank" + std::to_string(c.expected.size()) + ".wbk";
        ASSERT_EQ(pack(bank, "s.pc8", "8000\n", run).status, 0);
        EXPECT_EQ(readBytes(dir / bank).substr(8, 32), bankHeader(c.expected).substr(8));
    }
}

TEST_F(WbkpackTest, SecondRunAppendsOnlyAnEntry)
{
    writeBytes(dir / "a.pc8", "AA");
    writeBytes(dir / "b.pc8", "BBB");
    ASSERT_EQ(pack("bank.wbk", "a.pc8", "8000\n").status, 0);
    ASSERT_EQ(pack("bank.wbk", "b.pc8", "11025\n").status, 0);
    EXPECT_EQ(readBytes(dir / "bank.wbk"), bankHeader("wbkpack:tester") + sampleEntry(0, "a.pc8", 8000, "AA") +
                                               sampleEntry(0, "b.pc8", 11025, "BBB"));
}

// The stored name is the sample's own name without its directory, cut to 16 bytes.
TEST_F(WbkpackTest, TypeNameAndRateFields)
{
    const std::string cutNote = "the name long_name_here.pc8 is stored cut to its first 16 bytes: long_name_here.p\n";
    struct Case {
        std::string sample, rate;
        char type;
        std::string storedName, storedRate, warnings;
    } cases[] = {
        {"voice.PCM", "8000", 1, "voice.PCM", "\x40\x1f", "voice.PCM is not pcm data.\n.pcm is not supported.\n"},
        {"voice.pcm", "8000", 1, "voice.pcm", "\x40\x1f", "voice.pcm is not pcm data.\n.pcm is not supported.\n"},
        {"a.Pc8", "8000", 0, "a.Pc8", "\x40\x1f", ""},
        {"sound.raw", "8000", 0, "sound.raw", "\x40\x1f", ""},
        {"up.PC8", "44100", 0, "up.PC8", "\x44\xac", ""},
        {"pcm", "48000", 0, "pcm", "\x80\xbb", ""},
        {"top.pc8", "65535", 0, "top.pc8", "\xff\xff", ""},
        {"samples/long_name_here.pc8", "1", 0, "long_name_here.p", std::string("\x01\x00", 2), cutNote},
        {"samples/in_dir.pc8", "2", 0, "in_dir.pc8", std::string("\x02\x00", 2), ""},
    };
    mkdir((dir / "samples").c_str(), 0755);
    for (const auto& c : cases) {
        writeBytes(dir / c.sample, "xyz");
        const std::string bank = "t" + c.rate + ".wbk";
        std::remove((dir / bank).c_str());
        const ProgramResult result = pack(bank, c.sample, c.rate + "\n");
        EXPECT_EQ(result.status, 0) << c.sample;
        EXPECT_EQ(result.err, c.warnings) << c.sample;
        const std::string entry = readBytes(dir / bank).substr(40);
        EXPECT_EQ(entry, sampleEntry(c.type, c.storedName, std::stoi(c.rate), "xyz")) << c.sample;
        EXPECT_EQ(entry.substr(17, 2), c.storedRate) << c.sample;
    }
}

TEST_F(WbkpackTest, EmptySampleGivesAnEntryOfSizeZero)
{
    writeBytes(dir / "empty.pc8", "");
    ASSERT_EQ(pack("bank.wbk", "empty.pc8", "8000\n").status, 0);
    EXPECT_EQ(readBytes(dir / "bank.wbk").substr(40), sampleEntry(0, "empty.pc8", 8000, ""));
}

TEST_F(WbkpackTest, NewBankGetsMode0664UnderUmaskZero)
{
    writeBytes(dir / "s.pc8", "x");
    ProgramRun run;
    run.umask = 0;
    ASSERT_EQ(pack("bank.wbk", "s.pc8", "8000\n", run).status, 0);
    EXPECT_EQ(fileMode(dir / "bank.wbk"), 0664u);
}

TEST_F(WbkpackTest, WriteFailureIsReportedNeverDone)
{
    writeBytes(dir / "s.pc8", "x");
    const ProgramResult result = pack("/dev/full", "s.pc8", "8000\n");
    EXPECT_EQ(result.err, "can not write to /dev/full : No space left on device\n/dev/full may be broken.\n");
    EXPECT_EQ(result.out, "now appending s.pc8 to /dev/full...\ninput sample rate of s.pc8:");
    EXPECT_EQ(result.status, 255);
}

TEST_F(WbkpackTest, BankThatCannotBeOpened)
{
    writeBytes(dir / "s.pc8", "x");
    struct Case {
        std::string bank, err;
    } cases[] = {
        {"missing/bank.wbk", "can not open missing/bank.wbk : No such file or directory\n"},
        {".", "can not open . : Is a directory\n"},
    };
    for (const auto& c : cases) {
        const ProgramResult result = pack(c.bank, "s.pc8", "8000\n");
        EXPECT_EQ(result.err, c.err);
        EXPECT_EQ(result.out, "");
        EXPECT_EQ(result.status, 255);
    }
}

// Every refused run leaves an existing bank byte for byte as it was and
// creates no new one.
TEST_F(WbkpackTest, RefusedRunsLeaveBanksUntouched)
{
    const std::string rateError = "the sample rate must be a whole number from 1 to 65535.\n";
    struct Case {
        std::string sample, input, err;
    } cases[] = {
        {"s.pc8", "", rateError},
        {"s.pc8", "abc\n", rateError},
        {"s.pc8", "0\n", rateError},
        {"s.pc8", "-5\n", rateError},
        {"s.pc8", "65536\n", rateError},
        {"s.pc8", "99999999999999999999\n", rateError},
        {"s.pc8", "12x\n", rateError},
        {"missing.pc8", "8000\n", "Can't open missing.pc8.\n"},
        {"sampledir", "8000\n", "Can't open sampledir.\n"},
        {"huge.pc8", "8000\n", "huge.pc8 is too large: a sample must be smaller than 2147483648 bytes.\n"},
    };
    writeBytes(dir / "s.pc8", "data");
    mkdir((dir / "sampledir").c_str(), 0755);
    writeBytes(dir / "huge.pc8", "");
    ASSERT_EQ(truncate((dir / "huge.pc8").c_str(), 0x80000000LL), 0);  // sparse: no disk used
    writeBytes(dir / "old.pc8", "old");
    ASSERT_EQ(pack("old.wbk", "old.pc8", "8000\n").status, 0);
    const std::string before = readBytes(dir / "old.wbk");
    for (const auto& c : cases) {
        for (const std::string bank : {"old.wbk", "new.wbk"}) {
            const ProgramResult result = pack(bank, c.sample, c.input);
            EXPECT_EQ(result.status, 255) << bank << " " << c.input;
            EXPECT_EQ(result.err, c.err) << bank << " " << c.input;
        }
        EXPECT_EQ(readBytes(dir / "old.wbk"), before) << c.input;
        EXPECT_FALSE(fileExists(dir / "new.wbk")) << c.input;
    }
}

// Interrupted at the rate prompt, a run leaves an existing bank as it was
// and removes the bank it created.
TEST_F(WbkpackTest, InterruptAtThePromptLeavesNoTrace)
{
    writeBytes(dir / "s.pc8", "data");
    writeBytes(dir / "old.pc8", "old");
    ASSERT_EQ(pack("old.wbk", "old.pc8", "8000\n").status, 0);
    const std::string before = readBytes(dir / "old.wbk");
    for (const std::string bank : {"old.wbk", "new.wbk"}) {
        ProgramRun run;
        run.stopAfterMs = 10000;
        run.stopWhenOutput = "input sample rate of s.pc8:";
        run.stopSignal = SIGINT;
        const ProgramResult result = pack(bank, "s.pc8", "", run);
        EXPECT_EQ(result.out, "now appending s.pc8 to " + bank + "...\ninput sample rate of s.pc8:");
        EXPECT_EQ(result.status, 128 + SIGINT);
    }
    EXPECT_EQ(readBytes(dir / "old.wbk"), before);
    EXPECT_FALSE(fileExists(dir / "new.wbk"));
}

// A write that fails after writing began, here at the file size limit, cuts
// the bank back to what it was.
TEST_F(WbkpackTest, WriteFailureAfterWritingBeganRestoresTheBank)
{
    writeBytes(dir / "old.pc8", "old");
    ASSERT_EQ(pack("bank.wbk", "old.pc8", "8000\n").status, 0);
    const std::string before = readBytes(dir / "bank.wbk");
    writeBytes(dir / "big.pc8", std::string(300000, 'x'));
    ProgramRun run;
    run.fileSizeLimit = 100000;
    const ProgramResult result = pack("bank.wbk", "big.pc8", "8000\n", run);
    EXPECT_EQ(result.err, "can not write to bank.wbk : File too large\nbank.wbk may be broken.\n");
    EXPECT_EQ(result.status, 255);
    EXPECT_EQ(readBytes(dir / "bank.wbk"), before);
}

// A bank named through a dangling symbolic link: a failed run neither
// removes the link nor leaves the file it would have created.
TEST_F(WbkpackTest, FailedRunThroughADanglingLinkLeavesNoTrace)
{
    ASSERT_EQ(symlink("target.wbk", (dir / "link.wbk").c_str()), 0);
    const ProgramResult result = pack("link.wbk", "missing.pc8", "8000\n");
    EXPECT_EQ(result.status, 255);
    EXPECT_TRUE(fileExists(dir / "link.wbk"));
    EXPECT_FALSE(fileExists(dir / "target.wbk"));

    writeBytes(dir / "s.pc8", "x");
    ASSERT_EQ(pack("link.wbk", "s.pc8", "8000\n").status, 0);
    EXPECT_EQ(readBytes(dir / "target.wbk").size(), 40u + 23u + 1u);
}

} // namespace
