#include "Bank.h"
#include "BankBytes.h"
#include "Manifest.h"
#include "ProgramRunner.h"
#include "StagedFile.h"
#include "TestFiles.h"
#include "ToneFile.h"
#include "filePath.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace std::string_literals;

class WbkpackTest : public ::testing::Test {
protected:
    // Runs wbkpack in the test directory, as user "tester" unless `run` sets the environment.
    ProgramResult wbkpack(std::vector<std::string> args, ProgramRun run = {})
    {
        run.args = std::move(args);
        run.workDir = dir.path();
        if (run.setEnv.empty() && run.unsetEnv.empty())
            run.setEnv = {"LOGNAME=tester"};
        return runProgram(WBKPACK, run);
    }

    ProgramResult pack(const std::string& bank, const std::string& sample, const std::string& rate,
                       ProgramRun run = {})
    {
        run.input = rate;
        return wbkpack({bank, sample}, run);
    }

    ProgramResult repair(const std::string& bank) { return wbkpack({"--repair", bank}); }

    // Writes a bank of one entry; returns its bytes.
    std::string existingBank(const std::string& bank)
    {
        const std::string bytes = bankHeader() + sampleEntry(0, "old.pc8", 8000, "old");
        writeBytes(dir / bank, bytes);
        return bytes;
    }

    // A run that is stopped once it waits at the rate prompt for s.pc8.
    static ProgramRun stoppedAtThePrompt()
    {
        ProgramRun run;
        run.stopAfterMs = 20000;
        run.stopWhenOutput = "input sample rate of s.pc8:";
        return run;
    }

    TempDir dir;
};

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
        {"s.pc8", "8000" + std::string(40, ' ') + "\n", rateError},  // a rate line is read up to a bound only
        {"missing.pc8", "8000\n", "Can't open missing.pc8.\n"},
        {"sampledir", "8000\n", "Can't open sampledir.\n"},
        {"huge.pc8", "8000\n", "huge.pc8 is too large: a sample must be smaller than 2147483648 bytes.\n"},
    };
    writeBytes(dir / "s.pc8", "data");
    mkdir((dir / "sampledir").c_str(), 0755);
    writeBytes(dir / "huge.pc8", "");
    ASSERT_EQ(truncate((dir / "huge.pc8").c_str(), 0x80000000LL), 0);  // sparse: no disk used
    const std::string before = existingBank("old.wbk");
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

TEST_F(WbkpackTest, RefusesTheBankAsItsOwnSample)
{
    const std::string before = existingBank("bank.wbk");
    for (const std::string sample : {"bank.wbk", "./bank.wbk"}) {
        const ProgramResult result = pack("bank.wbk", sample, "8000\n");
        EXPECT_EQ(result.status, 255) << sample;
        EXPECT_EQ(result.err, sample + " is the bank bank.wbk itself: a bank cannot be appended to itself\n");
        EXPECT_EQ(readBytes(dir / "bank.wbk"), before) << sample;
    }
}

// Ended at the rate prompt by any signal that ends a process and can be
// caught, a run leaves an existing bank as it was, removes the bank it
// created, and dies by that signal.
TEST_F(WbkpackTest, SignalAtThePromptLeavesNoTrace)
{
    writeBytes(dir / "s.pc8", "data");
    const std::string before = existingBank("old.wbk");
    for (int signalNumber : {SIGINT, SIGTERM, SIGHUP, SIGPIPE, SIGUSR1, SIGUSR2, SIGALRM, SIGVTALRM, SIGPROF,
                             SIGXCPU, SIGIO, SIGPWR, SIGRTMIN + 3}) {
        for (const std::string bank : {"old.wbk", "new.wbk"}) {
            ProgramRun run = stoppedAtThePrompt();
            run.stopSignal = signalNumber;
            const ProgramResult result = pack(bank, "s.pc8", "", run);
            EXPECT_EQ(result.out, "now appending s.pc8 to " + bank + "...\ninput sample rate of s.pc8:");
            EXPECT_EQ(result.status, 128 + signalNumber) << strsignal(signalNumber);
        }
        EXPECT_EQ(readBytes(dir / "old.wbk"), before) << strsignal(signalNumber);
        EXPECT_FALSE(fileExists(dir / "new.wbk")) << strsignal(signalNumber);
    }
}

// A run waiting for another run's lock on the bank can be interrupted.
TEST_F(WbkpackTest, WaitForTheLockEndsOnInterrupt)
{
    const std::string before = existingBank("bank.wbk");
    writeBytes(dir / "s.pc8", "data");
    const int held = open((dir / "bank.wbk").c_str(), O_RDWR);
    ASSERT_EQ(flock(held, LOCK_EX), 0);
    ProgramRun run;
    run.args = {"--set", "0", "-r", "9000", "bank.wbk"};
    run.workDir = dir.path();
    BackgroundProgram waiting(WBKPACK, run, dir / "out", dir / "err");
    usleep(300000);
    EXPECT_EQ(waiting.stop(SIGINT), 128 + SIGINT);
    close(held);
    EXPECT_EQ(readBytes(dir / "bank.wbk"), before);
}

// Under nohup the hangup that would end the run is ignored: the run goes on.
TEST_F(WbkpackTest, SignalIgnoredAtTheStartDoesNotStopTheRun)
{
    writeBytes(dir / "s.pc8", "data");
    ProgramRun run = stoppedAtThePrompt();
    run.workDir = dir.path();
    run.stopSignal = SIGHUP;
    run.stopInput = "8000\n";
    const ProgramResult result = runInShell("trap '' HUP; exec \"$0\" bank.wbk s.pc8", WBKPACK, run);
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, "now appending s.pc8 to bank.wbk...\ninput sample rate of s.pc8:done\n");
}

// A write that fails after writing began, here at the file size limit, cuts
// the bank back to what it was: the limit falls inside the entry's first
// bytes (still in the stream's buffer when the write fails) or in its data.
TEST_F(WbkpackTest, WriteFailureAfterWritingBeganRestoresTheBank)
{
    const std::string before = existingBank("bank.wbk");
    writeBytes(dir / "big.pc8", std::string(300000, 'x'));
    for (const long limit : {long(before.size()) + 10, 100000L}) {
        ProgramRun run;
        run.fileSizeLimit = limit;
        const ProgramResult result = pack("bank.wbk", "big.pc8", "8000\n", run);
        EXPECT_EQ(result.err, "can not write to bank.wbk : File too large\nbank.wbk may be broken.\n") << limit;
        EXPECT_EQ(result.status, 255) << limit;
        EXPECT_EQ(readBytes(dir / "bank.wbk"), before) << limit;
    }
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

// ---- Validation: a run appends to a whole bank or to nothing.

// Banks as a killed run leaves them, and a file that is no bank at all.
struct DamagedBank {
    std::string bytes, damage;
    std::size_t wholeLength;
};

std::vector<DamagedBank> damagedBanks()
{
    const std::string whole = bankHeader() + sampleEntry(0, "a.pc8", 8000, "AA");
    return {
        {whole + sampleEntry(0, "b.pc8", 8000, "0123456789", 100),
         "the entry at offset 65 claims 100 bytes but only 10 remain", whole.size()},
        {whole + sampleEntry(0, "b.pc8", 8000, "").substr(0, 5), "the entry at offset 65 is cut short after 5 bytes",
         whole.size()},
        {bankHeader().substr(0, 12), "the header is cut short after 12 bytes", 0},
        {"WBK", "the header is cut short after 3 bytes", 0},
    };
}

TEST_F(WbkpackTest, RefusesWhatIsNotAWholeBankTouchingNothing)
{
    writeBytes(dir / "s.pc8", "data");
    struct Case {
        std::string bank, bytes, err;
    };
    const std::string notBank = " is not a sound bank: it does not start with WBK (the bank comes first: "
                                "wbkpack BANK SAMPLE)\n";
    // Too short for the magic, a file is no bank even when it starts like one.
    std::vector<Case> cases = {
        {"tone.pc8", "\x01\x7f\x80\xff", "tone.pc8" + notBank},
        {"bank.wbk", "W", "bank.wbk" + notBank},
        {"bank.wbk", "WB", "bank.wbk" + notBank},
    };
    for (const auto& damaged : damagedBanks())
        cases.push_back({"bank.wbk", damaged.bytes,
                         "bank.wbk is damaged: " + damaged.damage +
                             "; wbkpack --repair bank.wbk cuts it back to its last whole entry\n"});
    for (const auto& c : cases) {
        writeBytes(dir / c.bank, c.bytes);
        const ProgramResult result = pack(c.bank, "s.pc8", "8000\n");
        EXPECT_EQ(result.err, c.err);
        EXPECT_EQ(result.out, "");
        EXPECT_EQ(result.status, 255);
        EXPECT_EQ(readBytes(dir / c.bank), c.bytes);
        EXPECT_EQ(readBytes(dir / "s.pc8"), "data");
    }
}

// Repairing cuts a damaged bank back to its last whole entry and leaves a
// whole one (an empty file, a header only, a bank with an entry) as it is;
// either way a run then adds one entry (and a header to an empty file only).
TEST_F(WbkpackTest, RepairCutsBackToTheLastWholeEntry)
{
    writeBytes(dir / "s.pc8", "data");
    const std::string entry = sampleEntry(0, "s.pc8", 8000, "data");
    const std::string whole = "bank.wbk is whole: nothing to remove\n";
    const std::string oneEntry = bankHeader() + sampleEntry(0, "a.pc8", 8000, "AA");
    struct Case {
        std::string bytes, out;
        std::size_t wholeLength;
    };
    std::vector<Case> cases = {{"", whole, 0}, {bankHeader(), whole, 40}, {oneEntry, whole, oneEntry.size()}};
    for (const auto& damaged : damagedBanks())
        cases.push_back({damaged.bytes,
                         "removed " + std::to_string(damaged.bytes.size() - damaged.wholeLength) +
                             " bytes from the end of bank.wbk; whole entries kept: " +
                             std::to_string(damaged.wholeLength ? 1 : 0) + "\n",
                         damaged.wholeLength});
    for (const auto& c : cases) {
        writeBytes(dir / "bank.wbk", c.bytes);
        const ProgramResult result = repair("bank.wbk");
        EXPECT_EQ(result.out, c.out);
        EXPECT_EQ(result.status, 0) << c.out;
        const std::string kept = c.bytes.substr(0, c.wholeLength);
        EXPECT_EQ(readBytes(dir / "bank.wbk"), kept) << c.out;

        ASSERT_EQ(pack("bank.wbk", "s.pc8", "8000\n").status, 0) << c.out;
        EXPECT_EQ(readBytes(dir / "bank.wbk"), (kept.empty() ? bankHeader() : kept) + entry) << c.out;
    }
    // What is not a bank, a file too short for the magic included, is refused untouched.
    for (const char* bytes : {"data", "W", "WB"}) {
        writeBytes(dir / "s.pc8", bytes);
        const ProgramResult result = repair("s.pc8");
        EXPECT_EQ(result.status, 255) << bytes;
        EXPECT_EQ(result.out, "") << bytes;
        EXPECT_EQ(readBytes(dir / "s.pc8"), bytes);
    }
}

TEST_F(WbkpackTest, RefusesAudioFilesOfContainerFormats)
{
    struct Case {
        std::string sample, start, format, converted, typeNotice;
    } cases[] = {
        {"voice.wav", "RIFF", "WAV", "voice.pcm", ""},
        {"dir/voice.aiff", "FORM", "AIFF", "voice.pcm", ""},
        {"voice.flac", "fLaC", "FLAC", "voice.pcm", ""},
        {"voice.ogg", "OggS", "Ogg", "voice.pcm", ""},
        // never suggests the input's own name
        {"voice.pcm", "RIFF", "WAV", "voice-converted.pcm", "voice.pcm is not pcm data.\n.pcm is not supported.\n"},
    };
    mkdir((dir / "dir").c_str(), 0755);
    for (const auto& c : cases) {
        writeBytes(dir / c.sample, c.start + std::string(100, '\0'));
        const ProgramResult result = pack("bank.wbk", c.sample, "8000\n");
        EXPECT_EQ(result.err, c.typeNotice + c.sample + " is a " + c.format +
                                  " file, not raw sample data: convert it first, e.g. with: wbkenc " + c.sample +
                                  " " + c.converted + "\n");
        EXPECT_EQ(result.status, 255);
        EXPECT_FALSE(fileExists(dir / "bank.wbk"));
    }
}

// ---- Options: the two-operand form stays as it is.

// A refused command line prints nothing on standard output and creates no file.
TEST_F(WbkpackTest, OptionsAndOperands)
{
    const std::string usage = "Usage: wbkpack [-r RATE] BANK SAMPLE\n       wbkpack --repair BANK\n";
    writeBytes(dir / "s.pc8", "data");
    struct Case {
        std::vector<std::string> args;
        std::string outStart, err;
        int status;
    } cases[] = {
        {{"--help", "bank.wbk"}, usage + "Appends the raw sample file SAMPLE", "", 0},
        {{"-h"}, usage + "Appends the raw sample file SAMPLE", "", 0},
        {{"--version"}, "wbkpack ", "", 0},
        {{"-zx", "bank.wbk", "s.pc8"}, "", "wbkpack: unknown option -z\n" + usage, 255},
        {{"-q", "3", "bank.wbk", "s.pc8"}, "", "wbkpack: -q goes with --build only\n" + usage, 255},
        {{"--bogus", "bank.wbk", "s.pc8"}, "", "wbkpack: unknown option --bogus\n" + usage, 255},
        {{"--repair", "bank.wbk", "extra"}, "", "wbkpack: unexpected operand extra\n" + usage, 255},
        {{"bank.wbk", "s.pc8", "-r"}, "", "wbkpack: -r needs a sample rate\n" + usage, 255},
        {{"--repair"}, "", "wbkpack: --repair needs the bank to repair\n" + usage, 255},
        {{"--remove"}, "", "wbkpack: --remove needs a value\n" + usage, 255},
        {{"--set", "0", "bank.wbk"}, "", "wbkpack: --set needs -r RATE or --name NAME\n" + usage, 255},
        {{"--move", "0", "bank.wbk"}, "", "wbkpack: --move needs --to INDEX\n" + usage, 255},
        {{"--remove", "0", "-r", "5", "bank.wbk"}, "", "wbkpack: --remove takes no rate\n" + usage, 255},
        {{"--insert", "0", "--remove", "1", "bank.wbk"}, "", "wbkpack: --insert and --remove do not go together\n" + usage,
         255},
        {{"--build", "bank.wbk"}, "", "wbkpack: --build needs the bank and the manifest\n" + usage, 255},
        {{"--replace", "0", "bank.wbk", "s.pc8", "s.pc8"}, "", "wbkpack: unexpected operand s.pc8\n" + usage, 255},
        {{"-r", "0", "bank.wbk", "s.pc8"}, "", "the sample rate must be a whole number from 1 to 65535.\n", 255},
        {{"bank.wbk"}, "", "Usage:wbkpack .wbk .[pc8|pcm]\n", 255},
        {{"--", "--repair"}, "", "Usage:wbkpack .wbk .[pc8|pcm]\n", 255},
        {{"--repair", "bank.wbk", "--", "-r"}, "", "wbkpack: unexpected operand -r\n" + usage, 255},
        {{}, "", "Usage:wbkpack .wbk .[pc8|pcm]\n", 255},
    };
    for (const auto& c : cases) {
        ProgramRun run;
        run.argv0 = "wbkpack";
        const ProgramResult result = wbkpack(c.args, run);
        const std::string first = c.args.empty() ? "(none)" : c.args[0];
        EXPECT_EQ(c.status == 0 ? result.out.substr(0, c.outStart.size()) : result.out, c.outStart) << first;
        EXPECT_EQ(result.err, c.err) << first;
        EXPECT_EQ(result.status, c.status) << first;
        EXPECT_FALSE(fileExists(dir / "bank.wbk")) << first;
        EXPECT_FALSE(fileExists(dir / first)) << first;
    }
}

TEST_F(WbkpackTest, RateOptionReplacesThePrompt)
{
    writeBytes(dir / "s.pc8", "data");
    const ProgramResult result = wbkpack({"-r", "22050", "bank.wbk", "s.pc8"});
    EXPECT_EQ(result.out, "now appending s.pc8 to bank.wbk...\ndone\n");
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(readBytes(dir / "bank.wbk"), bankHeader() + sampleEntry(0, "s.pc8", 22050, "data"));
}

// ---- Edits: a new bank beside the old one, renamed into place.

// Four entries, two of them named b.pc8.
const std::string entryA = sampleEntry(0, "a.pc8", 8000, "A");
const std::string entryB = sampleEntry(0, "b.pc8", 8000, "BB");
const std::string entryC = sampleEntry(1, "c.pcm", 11025, "CCC");
const std::string entryD = sampleEntry(0, "b.pc8", 22050, "DDDD");
const std::string fourEntries = bankHeader() + entryA + entryB + entryC + entryD;

// The hidden files in `directory`: what an edit leaves when it fails to
// remove its temporary file.
std::vector<std::string> hiddenFiles(const std::string& directory)
{
    std::vector<std::string> names;
    for (const auto& file : std::filesystem::directory_iterator(directory))
        if (file.path().filename().string()[0] == '.')
            names.push_back(file.path().filename());
    return names;
}

// One run of each edit form on bank.wbk (four entries), with n.pc8 and m.pcm.
const std::vector<std::vector<std::string>> editForms = {
    {"-r", "9000", "bank.wbk", "n.pc8", "m.pcm"},
    {"--insert", "1", "-r", "9000", "bank.wbk", "n.pc8"},
    {"--replace", "2", "bank.wbk", "n.pc8"},
    {"--remove", "1", "bank.wbk"},
    {"--set", "0", "-r", "9000", "bank.wbk"},
    {"--move", "0", "--to", "3", "bank.wbk"},
    {"--build", "bank.wbk", "m.txt"},
};

class WbkpackEditTest : public WbkpackTest {
protected:
    void SetUp() override
    {
        writeBytes(dir / "bank.wbk", fourEntries);
        writeBytes(dir / "n.pc8", "NN");
        writeBytes(dir / "m.pcm", "MMM");
        writeBytes(dir / "m.txt", "wbk manifest 1\n8bit\t1\tx\tbank.wbk#3\n8bit\t2\ty\tn.pc8\n");
    }
};

TEST_F(WbkpackEditTest, EditsWriteTheirBytesAndSayWhichIndicesMoved)
{
    const std::string header = bankHeader();
    struct Case {
        std::vector<std::string> args;
        std::string out, bank;
    } cases[] = {
        {editForms[0], "appended 2 entries as 4-5 to bank.wbk",
         fourEntries + sampleEntry(0, "n.pc8", 9000, "NN") + sampleEntry(1, "m.pcm", 9000, "MMM")},
        {{"--insert", "1", "-r", "9000", "bank.wbk", "n.pc8", "m.pcm"},
         "inserted 2 entries as 1-2 in bank.wbk; entries 1-3 are now 3-5",
         header + entryA + sampleEntry(0, "n.pc8", 9000, "NN") + sampleEntry(1, "m.pcm", 9000, "MMM") + entryB +
             entryC + entryD},
        {{"--insert", "4", "-r", "9000", "bank.wbk", "n.pc8"}, "inserted 1 entry as 4 in bank.wbk",
         fourEntries + sampleEntry(0, "n.pc8", 9000, "NN")},
        {editForms[2], "replaced entry 2 (c.pcm) of bank.wbk with n.pc8",
         header + entryA + entryB + sampleEntry(0, "c.pcm", 11025, "NN") + entryD},
        {{"--replace", "c.pcm", "-r", "9000", "--name", "x\\x01", "bank.wbk", "m.pcm"},
         "replaced entry 2 (c.pcm) of bank.wbk with m.pcm",
         header + entryA + entryB + sampleEntry(1, "x\x01", 9000, "MMM") + entryD},
        {editForms[3], "removed entry 1 (b.pc8) from bank.wbk; entries 2-3 are now 1-2",
         header + entryA + entryC + entryD},
        {{"--remove", "0-1", "--remove", "3", "--remove", "1", "bank.wbk"},
         "removed 3 entries (0-1, 3) from bank.wbk; entry 2 is now 0", header + entryC},
        {{"--set", "a.pc8", "-r", "16000", "--name", "\\x83\\x41\\x01", "bank.wbk"},
         "changed entry 0 (a.pc8) of bank.wbk: rate 16000, name \xA5\xA2\\x01",
         header + sampleEntry(0, "\x83\x41\x01", 16000, "A") + entryB + entryC + entryD},
        {editForms[5], "moved entry 0 (a.pc8) of bank.wbk to 3; entries 1-3 are now 0-2",
         header + entryB + entryC + entryD + entryA},
        {{"--move", "3", "--to", "1", "bank.wbk"}, "moved entry 3 (b.pc8) of bank.wbk to 1; entries 1-2 are now 2-3",
         header + entryA + entryD + entryB + entryC},
        {editForms[6], "built bank.wbk from m.txt: 2 entries",
         header + sampleEntry(0, "x", 1, "DDDD") + sampleEntry(0, "y", 2, "NN")},
    };
    for (const auto& c : cases) {
        SetUp();
        ASSERT_EQ(chmod((dir / "bank.wbk").c_str(), 0600), 0);
        const ProgramResult result = wbkpack(c.args);
        EXPECT_EQ(result.out, c.out + "\n") << c.args[0];
        EXPECT_EQ(result.err, "") << c.args[0];
        EXPECT_EQ(result.status, 0) << c.args[0];
        EXPECT_EQ(readBytes(dir / "bank.wbk"), c.bank) << c.args[0];
        EXPECT_EQ(fileMode(dir / "bank.wbk"), 0600u) << c.args[0];
    }
}

// Refused edits print one line and leave the bank as it was.
TEST_F(WbkpackEditTest, EditsRefuseWhatTheBankDoesNotHave)
{
    const std::string shared = "wbkpack: bank.wbk: the name \"b.pc8\" is carried by entries 1 and 3: choose one by its index\n";
    struct Case {
        std::vector<std::string> args;
        std::string err;
    } cases[] = {
        {{"--replace", "b.pc8", "bank.wbk", "n.pc8"}, shared},
        {{"--remove", "0", "--remove", "b.pc8", "bank.wbk"}, shared},
        {{"--set", "b.pc8", "-r", "1", "bank.wbk"}, shared},
        {{"--move", "b.pc8", "--to", "0", "bank.wbk"}, shared},
        {{"--remove", "2-4", "bank.wbk"}, "wbkpack: bank.wbk: there is no entry 4: the bank has 4 entries (0-3)\n"},
        {{"--replace", "0-1", "bank.wbk", "n.pc8"}, "wbkpack: bank.wbk: a range is not allowed here: choose one entry, not 0-1\n"},
        {{"--insert", "5", "-r", "1", "bank.wbk", "n.pc8"}, "wbkpack: bank.wbk: --insert takes an index from 0 to 4, not 5\n"},
        {{"--move", "0", "--to", "4", "bank.wbk"}, "wbkpack: bank.wbk: --to takes an index from 0 to 3, not 4\n"},
        {{"--set", "0", "--name", "seventeen-bytes-x", "bank.wbk"},
         "wbkpack: the name seventeen-bytes-x is 17 bytes long, more than 16\n"},
        {{"--remove", "0", "missing.wbk"}, "can not open missing.wbk : No such file or directory\n"},
        {{"--insert", "0", "-r", "1", "bank.wbk", "m.txt", "missing.pc8"}, "Can't open missing.pc8.\n"},
    };
    for (const auto& c : cases) {
        const ProgramResult result = wbkpack(c.args);
        EXPECT_EQ(result.err, c.err) << c.args[0] << " " << c.args[1];
        EXPECT_EQ(result.out, "") << c.args[0] << " " << c.args[1];
        EXPECT_EQ(result.status, 255) << c.args[0] << " " << c.args[1];
        EXPECT_EQ(readBytes(dir / "bank.wbk"), fourEntries) << c.args[0] << " " << c.args[1];
    }
}

// Every edit that fails while it writes, at the file size limit, or that is
// given a device to write, leaves the bank and no temporary file.
TEST_F(WbkpackEditTest, EditsFailingMidwayLeaveTheBankAsItWas)
{
    for (auto args : editForms) {
        ProgramRun run;
        run.fileSizeLimit = 60;
        ProgramResult result = wbkpack(args, run);
        EXPECT_EQ(result.err, "can not write to bank.wbk : File too large\n") << args[0];
        EXPECT_EQ(result.status, 255) << args[0];
        EXPECT_EQ(readBytes(dir / "bank.wbk"), fourEntries) << args[0];
        EXPECT_EQ(hiddenFiles(dir.path()), std::vector<std::string>{}) << args[0];

        std::replace(args.begin(), args.end(), std::string("bank.wbk"), std::string("/dev/full"));
        result = wbkpack(args);
        EXPECT_EQ(result.err, "wbkpack: /dev/full is not a regular file: a bank is edited by writing a new file beside it\n")
            << args[0];
        EXPECT_EQ(result.status, 255) << args[0];
    }
}

// An edit ended by SIGTERM once it writes its new bank leaves the old one
// and no temporary file, and dies by the signal; one that finished first
// has put its whole new bank in place.
TEST_F(WbkpackEditTest, EditsEndedBySigtermLeaveNoTrace)
{
    const std::string large = fourEntries + sampleEntry(0, "big.pc8", 8000, std::string(8 << 20, 'x'));
    writeBytes(dir / "m.txt", "wbk manifest 1\n8bit\t1\tx\tbank.wbk#4\n");
    for (const auto& args : editForms) {
        writeBytes(dir / "bank.wbk", large);
        ProgramRun run;
        run.stopAfterMs = 1;
        run.stopSignal = SIGTERM;
        run.beforeStop = [&] {
            for (int wait = 0; wait < 10000 && hiddenFiles(dir.path()).empty(); ++wait)
                usleep(100);
        };
        const ProgramResult result = wbkpack(args, run);
        EXPECT_TRUE(result.status == 128 + SIGTERM || result.status == 0) << args[0] << " " << result.err;
        EXPECT_EQ(readBytes(dir / "bank.wbk") == large, result.status != 0) << args[0];
        EXPECT_EQ(hiddenFiles(dir.path()), std::vector<std::string>{}) << args[0];
    }
}

// A new bank from a folder of WAV files, a raw sample and an entry of
// another bank: the audio is encoded exactly as wbkenc encodes it.
TEST_F(WbkpackEditTest, BuildsABankFromAFolderThroughOneManifest)
{
    mkdir((dir / "wav").c_str(), 0755);
    writeTone(dir / "wav/one.wav", 44100, 4410, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2);
    writeTone(dir / "wav/two.wav", 8000, 800);
    const auto encoded = [&](std::vector<std::string> args) {
        ProgramRun run;
        run.args = args;
        run.workDir = dir.path();
        EXPECT_EQ(runProgram(WBKENC, run).status, 0);
        return readBytes(dir / args.back());
    };
    writeBytes(dir / "wav/m.txt", "wbk manifest 1\nauthor\tfolder\nadpcm\t11025\tone\tone.wav\n"
                                  "8bit\t8000\ttwo\ttwo.wav\n3\t0\traw\t../n.pc8\n8bit\t7\tb\t../bank.wbk#1\n");
    ProgramRun run;
    run.umask = 0;
    const ProgramResult result = wbkpack({"--build", "new.wbk", "wav/m.txt"}, run);
    EXPECT_EQ(result.out, "built new.wbk from wav/m.txt: 4 entries\n");
    EXPECT_EQ(fileMode(dir / "new.wbk"), 0664u);
    EXPECT_EQ(readBytes(dir / "new.wbk"),
              bankHeader("folder") + sampleEntry(1, "one", 11025, encoded({"-r", "11025", "wav/one.wav", "o.pcm"})) +
                  sampleEntry(0, "two", 8000, encoded({"wav/two.wav", "t.pc8"})) +
                                              sampleEntry(3, "raw", 0, "NN") + sampleEntry(0, "b", 7, "BB"));
}

// A folder becomes the bank of its audio files, in byte order of their
// names, each named as wbkenc and an append would name it; the bank is the
// one its manifest builds, whatever the number of threads.
TEST_F(WbkpackEditTest, BuildsABankFromAFolderOfAudioFiles)
{
    mkdir((dir / "clips").c_str(), 0755);
    writeTone(dir / "clips/b.wav", 8000, 4000);
    writeTone(dir / "clips/a.two.flac", 11025, 3000, SF_FORMAT_FLAC | SF_FORMAT_PCM_16);
    writeTone(dir / "clips/B.wav", 22050, 100);
    writeBytes(dir / "clips/notes.txt", "not audio");
    writeBytes(dir / "m.txt", "wbk manifest 1\nadpcm\t22050\tB.pcm\tclips/B.wav\nadpcm\t11025\ta.two.pcm\tclips/a.two.flac\n"
                              "adpcm\t8000\tb.pcm\tclips/b.wav\n");
    ASSERT_EQ(wbkpack({"--build", "manifest.wbk", "m.txt", "-j", "1"}).status, 0);
    for (const std::string jobs : {"1", "3"}) {
        const ProgramResult result = wbkpack({"--build", "folder.wbk", "clips", "-j", jobs});
        EXPECT_EQ(result.out, "built folder.wbk from clips: 3 entries\n");
        EXPECT_EQ(result.err, "wbkpack: skipping clips/notes.txt: not an audio file\n");
        EXPECT_EQ(readBytes(dir / "folder.wbk"), readBytes(dir / "manifest.wbk")) << jobs;
        unlink((dir / "folder.wbk").c_str());
    }
    ASSERT_EQ(wbkpack({"--build", "8bit.wbk", "clips", "--type", "8bit", "-r", "5000", "-q", "1"}).status, 0);
    const Bank bank(dir / "8bit.wbk");
    EXPECT_EQ(bank.entries()[1].nameText(), "a.two.pc8");
    EXPECT_EQ(bank.entries()[1].rate, 5000);
    EXPECT_EQ(bank.entries()[1].type, 0);
}

// A folder with a file that cannot be an entry is refused whole, naming
// every such file.
TEST_F(WbkpackEditTest, FolderBuildsRefuseWhatCannotBeAnEntry)
{
    mkdir((dir / "bad").c_str(), 0755);
    writeTone(dir / "bad/seventeen-bytes.wav", 8000, 100);
    writeTone(dir / "bad/fast.wav", 96000, 100);
    mkdir((dir / "none").c_str(), 0755);
    writeBytes(dir / "none/a.txt", "text");
    const struct {
        std::vector<std::string> args;
        std::string err;
    } cases[] = {
        {{"--build", "new.wbk", "bad"},
         "wbkpack: skipping bad/a.txt: not an audio file\n"
         "wbkpack: bad can not become a bank:\n"
         "wbkpack: bad/fast.wav: its rate 96000 Hz is not from 1 to 65535: choose one with -r\n"
         "wbkpack: bad/seventeen-bytes.wav: its name seventeen-bytes.pcm is 19 bytes long, more than 16\n"},
        {{"--build", "new.wbk", "none"}, "wbkpack: skipping none/a.txt: not an audio file\nwbkpack: none holds no audio file\n"},
        {{"--build", "new.wbk", "none", "--type", "wav"}, "wbkpack: --type takes adpcm or 8bit, not 'wav'\n"},
        {{"--build", "new.wbk", "m.txt", "-r", "8000"}, "wbkpack: -r goes with --build BANK DIR only\n"},
        {{"--build", "new.wbk", "m.txt", "-j", "0"}, "wbkpack: -j takes a number of threads from 1 to 1024, not '0'\n"},
    };
    writeBytes(dir / "bad/a.txt", "text");
    for (const auto& c : cases) {
        const ProgramResult result = wbkpack(c.args);
        EXPECT_EQ(result.err, c.err) << c.args[2];
        EXPECT_EQ(result.status, 255) << c.args[2];
        EXPECT_FALSE(fileExists(dir / "new.wbk")) << c.args[2];
    }
}

// A bank's manifest with its entries reversed builds the reversed bank over
// the bank itself: the entries are read before the new bank takes its place.
// (wbkdeck_print_test builds odd banks again from wbkdeck's manifests.)
TEST_F(WbkpackEditTest, ABankBuiltOverItselfFromItsManifestKeepsItsBytes)
{
    std::string author(32, '\0');
    author.replace(0, 5, "odd\0x", 5);
    author[31] = '\xff';
    const std::string header = std::string("WBK\x01\xff\0\0z", 8) + author;
    const std::string odd[] = {sampleEntry(255, "\x83\x41\\#\t", 0, ""),
                               sampleEntry(1, "sixteen-bytes-xx", 65535, "\x12\x34"), sampleEntry(3, "a\0b"s, 1, "\0"s)};
    const std::pair<std::string, std::string> cases[] = {
        {header + odd[0] + odd[1] + odd[2], header + odd[2] + odd[1] + odd[0]}, {header, header}, {bankHeader(), bankHeader()}};
    for (const auto& [bank, reversed] : cases) {
        writeBytes(dir / "odd.wbk", bank);
        Manifest manifest;
        const Bank index(dir / "odd.wbk");
        manifest.magic = index.magic();
        manifest.author = index.authorBytes();
        for (std::uint32_t k = 0; k < index.entries().size(); ++k) {
            const BankEntry& entry = index.entries()[k];
            std::string name(entry.name.begin(), entry.name.end());
            name.erase(name.find_last_not_of('\0') + 1);
            manifest.entries.insert(manifest.entries.begin(), {entry.type, entry.rate, name, "odd.wbk", k});
        }
        std::ostringstream text;
        writeManifest(text, manifest);
        ProgramRun run;
        run.input = text.str();
        EXPECT_EQ(wbkpack({"--build", "odd.wbk", "-"}, run).status, 0);
        EXPECT_EQ(readBytes(dir / "odd.wbk"), reversed);
    }
}

// A manifest with a bad line is refused with its number; nothing is written.
TEST_F(WbkpackEditTest, BadManifestLinesAreRefusedWithTheirNumbers)
{
    writeBytes(dir / "voice.wav", "RIFF" + std::string(60, '\0'));
    struct Case {
        std::string line, err;
    } cases[] = {
        {"wave\t8000\tx\tn.pc8", "unknown type \"wave\": write 8bit, adpcm or a type byte from 0 to 255\n"},
        {"8bit\t8000\tx\tmissing.pc8", "can not open missing.pc8: No such file or directory\n"},
        {"8bit\t8000\tx\tbank.wbk#4", "bank.wbk has no entry 4: it has 4 entries (0-3)\n"},
        {"8bit\t8000\tx\tn.pc8#0", "n.pc8 is not a sound bank\n"},
        {"3\t8000\tx\tvoice.wav", "voice.wav is a WAV file: audio is encoded to 8bit or adpcm only, not to type 3\n"},
        {"8bit\t0\tx\tvoice.wav", "voice.wav is a WAV file: audio is encoded at a rate from 1 to 65535, not 0\n"},
        {"8bit\t8000\tx\tvoice.wav", "can not read voice.wav: "},
    };
    for (const auto& c : cases) {
        writeBytes(dir / "m.txt", "wbk manifest 1\n8bit\t1\tfine\tn.pc8\n" + c.line + "\n");
        const std::string expected = "wbkpack: m.txt: line 3: " + c.err;
        for (const std::string bank : {"bank.wbk", "new.wbk"}) {
            const ProgramResult result = wbkpack({"--build", bank, "m.txt"});
            EXPECT_EQ(result.err.substr(0, expected.size()), expected) << c.line;
            EXPECT_EQ(result.status, 255) << c.line;
        }
        EXPECT_EQ(readBytes(dir / "bank.wbk"), fourEntries) << c.line;
        EXPECT_FALSE(fileExists(dir / "new.wbk")) << c.line;
    }
}

// ---- What an edit keeps of the bank, and what it refuses to lose.

// Runs wbkpack as user nobody (uid and gid 65534, no other groups).
ProgramResult asNobody(const std::string& script, ProgramRun run)
{
    return runInShell("exec setpriv --reuid=65534 --regid=65534 --clear-groups \"$0\" " + script, WBKPACK, run);
}

TEST_F(WbkpackEditTest, EditsKeepTheOwnerModeAndAttributesOfTheBank)
{
    for (const auto& args : editForms) {
        SetUp();
        const std::string bank = dir / "bank.wbk";
        ASSERT_EQ(chown(bank.c_str(), 65534, 65534), 0);
        ASSERT_EQ(chmod(bank.c_str(), 04751), 0);
        ASSERT_EQ(setxattr(bank.c_str(), "user.note", "kept", 4, 0), 0);
        ASSERT_EQ(wbkpack(args).status, 0) << args[0];
        struct stat info;
        ASSERT_EQ(stat(bank.c_str(), &info), 0);
        EXPECT_EQ(info.st_uid, 65534u) << args[0];
        EXPECT_EQ(info.st_gid, 65534u) << args[0];
        EXPECT_EQ(info.st_mode & 07777, 04751u) << args[0];
        char note[8] = {};
        EXPECT_EQ(getxattr(bank.c_str(), "user.note", note, sizeof note), 4) << args[0];
        EXPECT_STREQ(note, "kept") << args[0];
    }
}

// What an edit cannot carry over refuses it, naming why; the bank stays.
TEST_F(WbkpackEditTest, EditsRefuseWhatWouldLoseTheBanksIdentity)
{
    const std::string folder = std::filesystem::canonical(dir.path());
    const auto root = [](const std::string&) {};
    const auto linked = [&](const std::string& bank) { ASSERT_EQ(link(bank.c_str(), (dir / "other").c_str()), 0); };
    const auto writableFolder = [&](const std::string&) { ASSERT_EQ(chmod(dir.path().c_str(), 0777), 0); };
    const auto readOnlyFolder = [&](const std::string& bank) {
        ASSERT_EQ(chmod(dir.path().c_str(), 0755), 0);
        ASSERT_EQ(chown(bank.c_str(), 65534, 65534), 0);
    };
    struct Case {
        std::function<void(const std::string&)> prepare;
        bool nobody;
        std::string err;
    } cases[] = {
        {linked, false, "wbkpack: bank.wbk has 2 hard links; an edit would split them\n"},
        {writableFolder, true,
         "wbkpack: can not keep the owner and group of bank.wbk (Operation not permitted): the bank is unchanged\n"},
        {readOnlyFolder, true,
         "wbkpack: can not create a file in " + folder +
             ", the folder of bank.wbk (Permission denied): an edit writes the new bank beside the old\n"},
        {root, false, ""},
    };
    for (const auto& c : cases) {
        SetUp();
        ASSERT_EQ(chmod((dir / "bank.wbk").c_str(), 0666), 0);
        c.prepare(dir / "bank.wbk");
        ProgramRun run;
        run.workDir = dir.path();
        const ProgramResult result = c.nobody ? asNobody("--set 0 -r 5 bank.wbk", run) : wbkpack({"--set", "0", "-r", "5", "bank.wbk"});
        EXPECT_EQ(result.err, c.err);
        EXPECT_EQ(result.status, c.err.empty() ? 0 : 255) << c.err;
        EXPECT_EQ(readBytes(dir / "bank.wbk") == fourEntries, !c.err.empty()) << c.err;
        EXPECT_EQ(hiddenFiles(dir.path()), std::vector<std::string>{}) << c.err;
        unlink((dir / "other").c_str());
        chmod(dir.path().c_str(), 0700);
    }
}

// A sparse bank stays sparse: only the data ranges are copied.
TEST_F(WbkpackEditTest, EditsKeepTheHolesOfASparseBank)
{
    const std::uint32_t hole = 64 << 20;
    std::string bank = bankHeader() + sampleEntry(0, "quiet", 8000, "");
    for (int k = 0; k < 4; ++k)  // the entry's size, little-endian
        bank[bank.size() - 4 + k] = static_cast<char>(hole >> (8 * k));
    const auto blocks = [&] {
        struct stat info;
        stat((dir / "bank.wbk").c_str(), &info);
        return info.st_blocks;
    };
    for (const auto& args : std::vector<std::vector<std::string>>{{"--set", "0", "-r", "5", "bank.wbk"},
                                                                  {"--insert", "0", "-r", "5", "bank.wbk", "n.pc8"}}) {
        writeBytes(dir / "bank.wbk", bank);
        ASSERT_EQ(truncate((dir / "bank.wbk").c_str(), bank.size() + hole), 0);
        const auto before = blocks();
        ASSERT_EQ(wbkpack(args).status, 0) << args[0];
        EXPECT_LE(blocks(), before + 8) << args[0];  // a 4 KiB block more at most, for the new entry
        EXPECT_EQ(Bank(dir / "bank.wbk").entries().back().size, hole) << args[0];
    }
}

// What is no regular file is refused at once, as a sample of an append or
// an edit and as a source of a build; a build opens one source at a time.
TEST_F(WbkpackEditTest, SourcesMustBeRegularFilesAndAreOpenedOneAtATime)
{
    ASSERT_EQ(mkfifo((dir / "fifo.pc8").c_str(), 0644), 0);
    mkdir((dir / "folder.pc8").c_str(), 0755);
    writeBytes(dir / "m.txt", "wbk manifest 1\n8bit\t1\tx\tfifo.pc8\n");
    struct Case {
        std::vector<std::string> args;
        std::string err;
    } cases[] = {
        {{"-r", "5", "bank.wbk", "fifo.pc8"}, "fifo.pc8 is not a regular file\n"},
        {{"-r", "5", "bank.wbk", "/dev/zero"}, "/dev/zero is not a regular file\n"},
        {{"-r", "5", "bank.wbk", "n.pc8", "fifo.pc8"}, "wbkpack: fifo.pc8 is not a regular file\n"},
        {{"--replace", "0", "bank.wbk", "folder.pc8"}, "wbkpack: folder.pc8 is not a regular file\n"},
        {{"--build", "bank.wbk", "m.txt"}, "wbkpack: m.txt: line 2: can not open fifo.pc8: not a regular file\n"},
    };
    for (const auto& c : cases) {
        const ProgramResult result = wbkpack(c.args);
        EXPECT_EQ(result.err, c.err) << c.args.back();
        EXPECT_EQ(result.status, 255) << c.args.back();
        EXPECT_EQ(readBytes(dir / "bank.wbk"), fourEntries) << c.args.back();
    }

    std::string manifest = "wbk manifest 1\n";
    for (int k = 0; k < 2000; ++k)
        manifest += "8bit\t1\tx\tn.pc8\n";
    writeBytes(dir / "m.txt", manifest);
    ProgramRun run;
    run.workDir = dir.path();
    const ProgramResult result = runInShell("ulimit -n 32 && exec \"$0\" --build many.wbk m.txt", WBKPACK, run);
    EXPECT_EQ(result.out, "built many.wbk from m.txt: 2000 entries\n");
    EXPECT_EQ(result.err, "");
}

// A killed edit leaves its new bank behind; the next edit removes it, and
// any other no writer holds, but not one being written.
TEST_F(WbkpackEditTest, TheNextEditRemovesWhatKilledEditsLeft)
{
    const std::string large = fourEntries + sampleEntry(0, "big.pc8", 8000, std::string(8 << 20, 'x'));
    writeBytes(dir / "bank.wbk", large);
    ProgramRun run;
    run.stopAfterMs = 1;
    run.beforeStop = [&] {
        for (int wait = 0; wait < 10000 && hiddenFiles(dir.path()).empty(); ++wait)
            usleep(100);
    };
    const ProgramResult killed = wbkpack({"--remove", "0", "bank.wbk"}, run);
    writeBytes(dir / ".bank.wbk.ABC123", "left");
    const StagedFile live(AT_FDCWD, dir / "bank.wbk", 0600);
    ASSERT_TRUE(live.isOpen());
    const std::string leftover = killed.status == 128 + SIGKILL ? "2 files" : "1 file";

    const ProgramResult result = wbkpack({"--set", "0", "-r", "5", "bank.wbk"});
    EXPECT_EQ(result.out.substr(0, result.out.find('(')), "removed " + leftover + " left beside bank.wbk by killed runs ");
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(hiddenFiles(dir.path()), std::vector<std::string>{fileNameOf(live.temporaryName())});
}

// ---- Concurrency: runs on one bank never spoil each other's entries.

// While a run waits at its rate prompt, something happens to its bank;
// then the run is interrupted, answers a bad rate, or goes on.
TEST_F(WbkpackTest, WhatHappensWhileARunWaitsAtItsPrompt)
{
    const std::string oldBank = existingBank("bank.wbk");
    const std::string header = bankHeader();
    const std::string theirEntry = sampleEntry(0, "b.pc8", 11025, "BBB");
    const std::string ourEntry = sampleEntry(0, "s.pc8", 8000, "data");
    const std::string replacement = bankHeader("other") + sampleEntry(0, "r.pc8", 8000, "a longer sample");
    writeBytes(dir / "s.pc8", "data");
    writeBytes(dir / "b.pc8", "BBB");
    const auto anotherRunAppends = [&] { EXPECT_EQ(pack("bank.wbk", "b.pc8", "11025\n").status, 0); };
    const auto bankIsReplaced = [&] {
        writeBytes(dir / "other.wbk", replacement);
        ASSERT_EQ(rename((dir / "other.wbk").c_str(), (dir / "bank.wbk").c_str()), 0);
    };
    const auto bankIsRemoved = [&] { ASSERT_EQ(unlink((dir / "bank.wbk").c_str()), 0); };
    struct Case {
        const char* what;
        bool bankExists;
        std::function<void()> meanwhile;
        int stopSignal;
        std::string stopInput;
        int status;
        std::string bank;
    } cases[] = {
        {"appended by another, interrupted", true, anotherRunAppends, SIGINT, "", 128 + SIGINT, oldBank + theirEntry},
        {"appended by another, bad rate", true, anotherRunAppends, 0, "abc\n", 255, oldBank + theirEntry},
        {"created here, appended by another, interrupted", false, anotherRunAppends, SIGINT, "", 128 + SIGINT,
         header + theirEntry},
        {"created here, appended by another", false, anotherRunAppends, 0, "8000\n", 0,
         header + theirEntry + ourEntry},
        {"replaced, interrupted", true, bankIsReplaced, SIGINT, "", 128 + SIGINT, replacement},
        {"replaced", true, bankIsReplaced, 0, "8000\n", 0, replacement + ourEntry},
        {"removed", true, bankIsRemoved, 0, "8000\n", 0, header + ourEntry},
    };
    for (const auto& c : cases) {
        std::remove((dir / "bank.wbk").c_str());
        if (c.bankExists)
            existingBank("bank.wbk");
        ProgramRun run = stoppedAtThePrompt();
        run.beforeStop = c.meanwhile;
        run.stopSignal = c.stopSignal;
        run.stopInput = c.stopInput;
        const ProgramResult result = pack("bank.wbk", "s.pc8", "", run);
        EXPECT_EQ(result.status, c.status) << c.what;
        EXPECT_EQ(fileExists(dir / "bank.wbk") ? readBytes(dir / "bank.wbk") : "(none)", c.bank) << c.what;
    }
}

bool endsWith(const std::string& text, const std::string& end)
{
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

struct Entry {
    std::string name, data;
    int rate;
    auto key() const { return std::tie(name, rate, data); }
    bool operator<(const Entry& other) const { return key() < other.key(); }
    bool operator==(const Entry& other) const { return key() == other.key(); }
};

// The entries of a bank that is whole, or nothing.
std::optional<std::vector<Entry>> entriesOf(const std::string& bank)
{
    if (bank.empty())
        return std::vector<Entry>{};
    if (bank.size() < 40 || bank.compare(0, 40, bankHeader()) != 0)
        return std::nullopt;
    std::vector<Entry> entries;
    for (std::size_t offset = 40; offset < bank.size();) {
        if (bank.size() - offset < 23)
            return std::nullopt;
        const auto byte = [&](std::size_t at) { return std::uint32_t(std::uint8_t(bank[offset + at])); };
        const std::uint32_t size = byte(19) | byte(20) << 8 | byte(21) << 16 | byte(22) << 24;
        if (size > bank.size() - offset - 23)
            return std::nullopt;
        entries.push_back({bank.substr(offset + 1, 16).c_str(), bank.substr(offset + 23, size),
                           int(byte(17) | byte(18) << 8)});
        offset += 23 + size;
    }
    return entries;
}

// Rounds of three appends and one edit at once on one bank holding a seed
// entry, with samples up to 1 MiB, where runs fail at random: a bad rate,
// the file size limit, a signal at a random moment or once the run has
// started. The edit inserts an entry, or changes, moves or removes the seed.
// After each round the bank holds, whole and once, every entry of the runs
// that succeeded and no entry of a run that failed, once a partial entry of
// an append killed by SIGKILL has been repaired; only an edit killed by
// SIGKILL leaves its temporary file.
TEST_F(WbkpackTest, ConcurrentRunsWithRandomFailuresLoseNothing)
{
#if defined(__SANITIZE_ADDRESS__)
    const int rounds = 10;
#else
    const int rounds = 30;
#endif
    const int signals[] = {SIGINT, SIGTERM, SIGHUP, SIGUSR1, SIGALRM, SIGKILL};
    std::mt19937 random(20261207);
    const auto pick = [&](int low, int high) { return std::uniform_int_distribution<int>(low, high)(random); };
    for (int round = 0; round < rounds; ++round) {
        const std::string bank = "bank" + std::to_string(round) + ".wbk";
        writeBytes(dir / bank, bankHeader() + sampleEntry(0, "seed", 1, "seed"));
        struct Run {
            Entry entry;
            std::vector<std::string> args;
            ProgramRun how;
            ProgramResult result;
        };
        std::vector<Run> runs(4);
        Run& edit = runs.back();
        for (std::size_t k = 0; k < runs.size(); ++k) {
            Run& run = runs[k];
            run.entry = {"r" + std::to_string(round) + "_" + std::to_string(k) + ".pc8",
                         std::string(pick(0, 1 << 20), char('a' + k)), pick(1, 65535)};
            for (std::size_t i = 0; i < run.entry.data.size(); i += 4096)
                run.entry.data[i] = char(pick(0, 255));
            writeBytes(dir / run.entry.name, run.entry.data);
            run.args = {bank, run.entry.name};
            run.how.input = std::to_string(run.entry.rate) + "\n";
            switch (pick(0, 5)) {
            case 0:
                run.how.input = "abc\n";
                break;
            case 1:
                run.how.fileSizeLimit = pick(1, 3 << 20);
                break;
            case 2:  // a signal at a random moment, often before the run starts
                run.how.stopAfterMs = pick(1, 10);
                run.how.stopSignal = signals[pick(0, std::size(signals) - 1)];
                break;
            case 3:  // a signal once the run has started: while it waits for the lock or writes
                run.how.stopAfterMs = &run == &edit ? pick(5, 30) : 60000;
                run.how.stopWhenOutput = "now appending";
                run.how.stopSignal = signals[pick(0, std::size(signals) - 1)];
                break;
            }
        }
        const std::string rate = std::to_string(edit.entry.rate);
        const std::vector<std::string> edits[] = {{"--insert", "0", bank, edit.entry.name},
                                                  {"--set", "seed", "-r", rate, bank},
                                                  {"--move", "seed", "--to", "0", bank},
                                                  {"--remove", "seed", bank}};
        edit.args = edits[pick(0, 3)];
        std::vector<std::thread> threads;
        for (Run& run : runs)
            threads.emplace_back([&] { run.result = wbkpack(run.args, run.how); });
        for (std::thread& thread : threads)
            thread.join();

        // A run killed by SIGKILL after its entry became durable could not
        // say so: its entry may be there or not, but whole.
        std::vector<Entry> done, doneOrKilled;
        for (const Run& run : runs) {
            const bool inserts = &run != &edit || run.args[0] == "--insert";
            const bool succeeded = &run == &edit ? run.result.status == 0 : endsWith(run.result.out, "done\n");
            if (inserts && succeeded)
                done.push_back(run.entry);
            if (inserts && (succeeded || run.result.status == 128 + SIGKILL))
                doneOrKilled.push_back(run.entry);
        }
        std::optional<std::vector<Entry>> entries = entriesOf(readBytes(dir / bank));
        if (!entries) {
            // Only SIGKILL can leave a partial entry; the next run refuses it
            // and repairing cuts it off.
            EXPECT_NE(doneOrKilled.size(), done.size()) << "round " << round;
            EXPECT_EQ(repair(bank).status, 0) << "round " << round;
            entries = entriesOf(readBytes(dir / bank));
        }
        ASSERT_TRUE(entries) << "round " << round;
        const auto isSeed = [](const Entry& entry) { return entry.name == "seed"; };
        EXPECT_LE(std::count_if(entries->begin(), entries->end(), isSeed), 1) << "round " << round;
        entries->erase(std::remove_if(entries->begin(), entries->end(), isSeed), entries->end());
        std::sort(entries->begin(), entries->end());
        std::sort(done.begin(), done.end());
        std::sort(doneOrKilled.begin(), doneOrKilled.end());
        EXPECT_TRUE(std::includes(entries->begin(), entries->end(), done.begin(), done.end())) << "round " << round;
        EXPECT_TRUE(std::includes(doneOrKilled.begin(), doneOrKilled.end(), entries->begin(), entries->end()))
            << "round " << round;
        for (const std::string& left : hiddenFiles(dir.path())) {
            EXPECT_EQ(edit.result.status, 128 + SIGKILL) << "round " << round << " left " << left;
            std::remove((dir / left).c_str());
        }
    }
}

} // namespace
