#include "BankBytes.h"
#include "ProgramRunner.h"
#include "TestFiles.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <functional>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <tuple>
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
        {{"-qx", "bank.wbk", "s.pc8"}, "", "wbkpack: unknown option -q\n" + usage, 255},
        {{"--bogus", "bank.wbk", "s.pc8"}, "", "wbkpack: unknown option --bogus\n" + usage, 255},
        {{"bank.wbk", "s.pc8", "extra"}, "", "wbkpack: unexpected operand extra\n" + usage, 255},
        {{"bank.wbk", "s.pc8", "-r"}, "", "wbkpack: -r needs a sample rate\n" + usage, 255},
        {{"--repair"}, "", "wbkpack: --repair needs the bank to repair\n" + usage, 255},
        {{"-r", "0", "bank.wbk", "s.pc8"}, "", "the sample rate must be a whole number from 1 to 65535.\n", 255},
        {{"bank.wbk"}, "", "Usage:wbkpack .wbk .[pc8|pcm]\n", 255},
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

// Rounds of three runs at once on one bank, with samples up to 1 MiB, where
// runs fail at random: a bad rate, the file size limit, a signal at a random
// moment or once the run has started. After each round the bank holds, whole
// and once, every entry of the runs that said "done" and no entry of a run
// that failed, once a partial entry of a run killed by SIGKILL has been
// repaired.
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
        struct Run {
            Entry entry;
            ProgramRun how;
            ProgramResult result;
        };
        std::vector<Run> runs(3);
        for (std::size_t k = 0; k < runs.size(); ++k) {
            Run& run = runs[k];
            run.entry = {"r" + std::to_string(round) + "_" + std::to_string(k) + ".pc8",
                         std::string(pick(0, 1 << 20), char('a' + k)), pick(1, 65535)};
            for (std::size_t i = 0; i < run.entry.data.size(); i += 4096)
                run.entry.data[i] = char(pick(0, 255));
            writeBytes(dir / run.entry.name, run.entry.data);
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
                run.how.stopAfterMs = 60000;
                run.how.stopWhenOutput = "now appending";
                run.how.stopSignal = signals[pick(0, std::size(signals) - 1)];
                break;
            }
        }
        std::vector<std::thread> threads;
        for (Run& run : runs)
            threads.emplace_back([&] { run.result = pack(bank, run.entry.name, run.how.input, run.how); });
        for (std::thread& thread : threads)
            thread.join();

        // A run killed by SIGKILL after its entry became durable could not
        // say "done": its entry may be there or not, but whole.
        std::vector<Entry> done, doneOrKilled;
        for (const Run& run : runs) {
            if (endsWith(run.result.out, "done\n"))
                done.push_back(run.entry);
            if (endsWith(run.result.out, "done\n") || run.result.status == 128 + SIGKILL)
                doneOrKilled.push_back(run.entry);
        }
        if (!fileExists(dir / bank)) {
            EXPECT_TRUE(done.empty()) << "round " << round;
            continue;
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
        std::sort(entries->begin(), entries->end());
        std::sort(done.begin(), done.end());
        std::sort(doneOrKilled.begin(), doneOrKilled.end());
        EXPECT_TRUE(std::includes(entries->begin(), entries->end(), done.begin(), done.end())) << "round " << round;
        EXPECT_TRUE(std::includes(doneOrKilled.begin(), doneOrKilled.end(), entries->begin(), entries->end()))
            << "round " << round;
    }
}

} // namespace
