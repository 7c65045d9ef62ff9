#include "BankBytes.h"
#include "Pcm.h"
#include "ProgramRunner.h"
#include "SimulatedDevice.h"
#include "TestFiles.h"
#include "WbkdeckRunTest.h"

#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <csignal>

#include <fstream>
#include <set>
#include <string>
#include <vector>

namespace {

// What playback hands to the device for an entry.
std::string decodedAsPlayed(unsigned char type, const std::string& stored)
{
    const Pcm pcm(type, reinterpret_cast<const unsigned char*>(stored.data()), static_cast<int>(stored.size()));
    return {reinterpret_cast<const char*>(pcm.getU8Data()), pcm.getU8Size()};
}

struct Wav {
    bool opened = false;
    int rate = 0;
    int channels = 0;
    int format = 0;
    std::string samples;
};

Wav readWav(const std::string& path)
{
    Wav wav;
    SF_INFO info = {};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (!file)
        return wav;
    wav.opened = true;
    wav.rate = info.samplerate;
    wav.channels = info.channels;
    wav.format = info.format;
    wav.samples.resize(static_cast<std::size_t>(info.frames));
    wav.samples.resize(static_cast<std::size_t>(sf_read_raw(file, wav.samples.data(), info.frames)));
    sf_close(file);
    return wav;
}

std::string creatingLine(const std::string& fileName, const char* format, std::size_t size, int rate)
{
    return "now creating \"" + fileName + "\"\tformat=" + format + "\tsize=" + std::to_string(size) + "byte\trate=" +
           std::to_string(rate) + "hz\t\n";
}

class WbkdeckExportTest : public WbkdeckRunTest {
protected:
    std::string bank(const std::string& entries)
    {
        return dir.write("test.wbk", bankHeader() + entries);
    }

    std::string header(const std::string& bankPath)
    {
        return "the auther of this .wbk is wbkpack:tester\nnow loading " + bankPath + ".\n";
    }
};

// Entries longer than the piece the programs read at a time, cut at odd
// places, come out as -d copies and as WAVs equal to what playback decodes.
TEST_F(WbkdeckExportTest, ExportsAndExtractsEveryEntryWhole)
{
    const std::size_t beyondOnePiece = (1u << 20) + 12345;
    struct Entry {
        unsigned char type;
        std::string name;
        int rate;
        std::string data;
        const char* format;
    } entries[] = {
        {1, "long.pcm", 11025, randomBytes(beyondOnePiece, 1), "adpcm"},
        {0, "long.pc8", 8000, randomBytes(2 * beyondOnePiece, 2), "8bit"},
        {3, "three.pcm", 65535, "\x00\x7F\x80\xFF\x01\x77\x88", "adpcm"},
        {7, "odd-type", 1, "\x00\x7F\x80\xFF", "8bit"},
        {0, "empty.pc8", 16540, "", "8bit"},
        {1, "sixteen-bytes.pc", 22050, "\x77", "adpcm"},
    };
    std::string bytes, wavOut, copyOut;
    for (const auto& e : entries) {
        bytes += sampleEntry(e.type, e.name, e.rate, e.data);
        wavOut += creatingLine(e.name + ".wav", e.format, e.data.size(), e.rate);
        copyOut += creatingLine(e.name, e.format, e.data.size(), e.rate);
    }
    const std::string path = bank(bytes);

    const ProgramResult exported = deck({"-w", path});
    EXPECT_EQ(exported.status, 0);
    EXPECT_EQ(exported.err, "");
    EXPECT_EQ(exported.out, header(path) + wavOut);
    const ProgramResult copied = deck({"-d", path});
    EXPECT_EQ(copied.status, 0);
    EXPECT_EQ(copied.out, header(path) + copyOut);

    for (const auto& e : entries) {
        const Wav wav = readWav(dir / (e.name + ".wav"));
        ASSERT_TRUE(wav.opened) << e.name;
        EXPECT_EQ(wav.rate, e.rate) << e.name;
        EXPECT_EQ(wav.channels, 1) << e.name;
        EXPECT_EQ(wav.format, SF_FORMAT_WAV | SF_FORMAT_PCM_U8) << e.name;
        EXPECT_TRUE(wav.samples == decodedAsPlayed(e.type, e.data)) << e.name;
        EXPECT_EQ(fileMode(dir / (e.name + ".wav")), 0664u) << e.name;
        EXPECT_TRUE(readBytes(dir / e.name) == e.data) << e.name;
    }
}

// Each case holds one entry that cannot be written between two that can: the
// run reports it, goes on and ends with status 255.
TEST_F(WbkdeckExportTest, EntryThatCannotBeWrittenIsReportedAndTheRunFails)
{
    const std::string absolute = "/tmp/wbk" + std::to_string(getpid());
    struct Case {
        std::string name;
        int rate;
        std::string err;
    } cases[] = {
        {"../up", 8000, "wbkdeck: skipping \"../up.wav\": names with \"..\" are not extracted\n"},
        {absolute, 8000, "wbkdeck: skipping \"" + absolute + ".wav\": absolute names are not extracted\n"},
        {"nodir/a", 8000, "can not open nodir/a.wav : No such file or directory\n"},
        {"exists", 8000, "can not open exists.wav : File exists\n"},
        {"link", 8000, "can not open link.wav : File exists\n"},
        {"silent", 0, "wbkdeck: skipping \"silent.wav\": a sample of rate 0 cannot be written as WAV\n"},
        {std::string("\0hidden", 7), 8000, "wbkdeck: skipping entry 1: it has no name\n"},
        {"sub/", 8000, "wbkdeck: skipping entry 1: it has no name\n"},
    };
    mkdir((dir / "sub").c_str(), 0755);
    writeBytes(dir / "exists.wav", "kept");
    symlink((dir / "target.wav").c_str(), (dir / "link.wav").c_str());
    for (const auto& c : cases) {
        const std::string path = bank(sampleEntry(0, "before", 8000, "ab") + sampleEntry(0, c.name, c.rate, "xyz") +
                                      sampleEntry(1, "after", 8000, "cd"));
        const ProgramResult result = deck({"-w", path});
        EXPECT_EQ(result.status, 255) << c.name;
        EXPECT_EQ(result.err, c.err) << c.name;
        EXPECT_NE(result.out.find(creatingLine("after.wav", "adpcm", 2, 8000)), std::string::npos) << c.name;
        // An entry skipped before its file is tried is not announced.
        const bool tried = c.err.rfind("can not open", 0) == 0;
        EXPECT_EQ(result.out.find("size=3byte") != std::string::npos, tried) << c.name;
        EXPECT_EQ(readWav(dir / "after.wav").samples, decodedAsPlayed(1, "cd")) << c.name;
        unlink((dir / "before.wav").c_str());
        unlink((dir / "after.wav").c_str());
    }
    EXPECT_EQ(readBytes(dir / "exists.wav"), "kept");
    for (const std::string& escaped :
         {absolute + ".wav", dir / "up.wav", dir / "target.wav", dir / "silent.wav", dir / ".wav", dir / "sub/.wav"})
        EXPECT_FALSE(fileExists(escaped)) << escaped;
}

// A write that fails half-way: -w removes the file; -d reports it as broken,
// as it always did. Either way the later entries are still written.
TEST_F(WbkdeckExportTest, WriteFailureHalfWay)
{
    const std::string path =
        bank(sampleEntry(1, "big", 8000, randomBytes(300000, 3)) + sampleEntry(0, "small", 8000, "s"));
    struct Case {
        const char* option;
        std::string err;
        const char* big;
        bool bigLeft;
    } cases[] = {
        {"-w", "can not write to big.wav : File too large\nbig.wav removed.\n", "big.wav", false},
        {"-d", "can not write to big : File too large\nbig may be broken.\n", "big", true},
    };
    for (const auto& c : cases) {
        ProgramRun run;
        run.fileSizeLimit = 100000;
        const ProgramResult result = deck({c.option, path}, run);
        EXPECT_EQ(result.status, 255) << c.option;
        EXPECT_EQ(result.err, c.err) << c.option;
        EXPECT_EQ(fileExists(dir / c.big), c.bigLeft) << c.option;
        EXPECT_TRUE(fileExists(dir / (std::string("small") + (c.bigLeft ? "" : ".wav")))) << c.option;
        for (const std::string& name : filesIn(dir.path()))
            EXPECT_NE(name[0], '.') << c.option << ": " << name;
    }
}

// The files in `dir` that are neither the bank nor a finished WAV file.
std::set<std::string> leftOver(const TempDir& dir)
{
    std::set<std::string> names = filesIn(dir.path());
    for (const char* expected : {"test.wbk", "first.wav"})
        names.erase(expected);
    return names;
}

// Stopped by a signal while a large sample is being written, the run removes
// that file and ends by the signal; files finished before it stay. Killed,
// it leaves the unfinished file under its hidden name only, never under its
// own. The large sample is a sparse 256 MiB, far more than is written before
// the signal.
TEST_F(WbkdeckExportTest, InterruptedRunRemovesTheFileBeingWritten)
{
    const std::uint32_t largeSize = 256u << 20;
    const std::string path = bank(sampleEntry(0, "first", 8000, "1") + sampleEntry(1, "large", 8000, "", largeSize));
    ASSERT_EQ(truncate(path.c_str(), 40 + 24 + 23 + static_cast<off_t>(largeSize)), 0);
    for (int signalNumber : {SIGINT, SIGTERM, SIGKILL}) {
        ProgramRun run;
        run.stopAfterMs = 60000;
        run.stopWhenOutput = "now creating \"large.wav\"";
        run.stopSignal = signalNumber;
        // Waits (at most 5 s) for the file being written, under its hidden name.
        run.beforeStop = [this] {
            for (int wait = 0; wait < 500 && leftOver(dir).empty(); ++wait)
                usleep(10000);
        };
        const ProgramResult result = deck({"-w", path}, run);
        EXPECT_EQ(result.status, 128 + signalNumber);
        EXPECT_EQ(result.err, "");
        EXPECT_TRUE(fileExists(dir / "first.wav")) << signalNumber;
        const std::set<std::string> left = leftOver(dir);
        EXPECT_EQ(left.size(), signalNumber == SIGKILL ? 1u : 0u) << signalNumber;
        for (const std::string& name : left) {
            EXPECT_EQ(name.rfind(".large.wav.", 0), 0u) << name;
            unlink((dir / name).c_str());
        }
        unlink((dir / "first.wav").c_str());
    }
}

// A signal ignored by whoever started the run (as nohup ignores SIGHUP) does
// not stop it: the export goes on until the file size limit ends the large
// sample, which is then reported and removed as any failed write is.
TEST_F(WbkdeckExportTest, SignalIgnoredAtTheStartDoesNotStopTheRun)
{
    const std::uint32_t largeSize = 256u << 20;
    const std::string path = bank(sampleEntry(1, "large", 8000, "", largeSize));
    ASSERT_EQ(truncate(path.c_str(), 40 + 23 + static_cast<off_t>(largeSize)), 0);
    std::ofstream(path, std::ios::binary | std::ios::app) << sampleEntry(0, "last", 8000, "1");
    ProgramRun run;
    run.workDir = dir.path();
    run.fileSizeLimit = 64 << 20;
    run.stopAfterMs = 60000;
    run.stopWhenOutput = "now creating \"large.wav\"";
    run.stopSignal = SIGHUP;
    const ProgramResult result = runInShell("trap '' HUP; exec \"$0\" -w test.wbk", WBKDECK, run);
    EXPECT_EQ(result.status, 255);
    EXPECT_EQ(result.err, "can not write to large.wav : File too large\nlarge.wav removed.\n");
    EXPECT_FALSE(fileExists(dir / "large.wav"));
    EXPECT_TRUE(fileExists(dir / "last.wav"));
}

// The size of an entry is checked before its file is made.
TEST_F(WbkdeckExportTest, TruncatedBankStopsBeforeTheOversizedEntry)
{
    const std::string path = bank(sampleEntry(0, "one", 8000, "11") + sampleEntry(1, "two", 8000, "222", 4));
    const ProgramResult result = deck({"-w", path});
    EXPECT_EQ(result.status, 255);
    EXPECT_EQ(result.err, "wbkdeck: " + path + " is damaged: the entry at offset 65 claims 4 bytes but only 3 remain; "
                          "wbkpack --repair " + path + " cuts it back to its last whole entry\n");
    EXPECT_EQ(result.out, header(path) + creatingLine("one.wav", "8bit", 2, 8000));
    EXPECT_EQ(readWav(dir / "one.wav").samples, decodedAsPlayed(0, "11"));
    EXPECT_FALSE(fileExists(dir / "two.wav"));
}

// 2^31 - 18 ADPCM bytes decode to more than a RIFF size field can count; the
// bank is sparse, and the entry is passed over unread.
TEST_F(WbkdeckExportTest, SampleTooLargeForWavIsSkipped)
{
    const std::uint32_t storedSize = 0x7FFFFFEE;
    const std::string path = bank(sampleEntry(1, "huge", 8000, "", storedSize));
    ASSERT_EQ(truncate(path.c_str(), 40 + 23 + static_cast<off_t>(storedSize)), 0);
    std::ofstream(path, std::ios::binary | std::ios::app) << sampleEntry(0, "after", 8000, "a");

    const ProgramResult result = deck({"-w", path});
    EXPECT_EQ(result.status, 255);
    EXPECT_EQ(result.err, "wbkdeck: skipping \"huge.wav\": a sample of more than 4 GiB cannot be written as WAV\n");
    EXPECT_FALSE(fileExists(dir / "huge.wav"));
    EXPECT_EQ(readWav(dir / "after.wav").samples, decodedAsPlayed(0, "a"));
}

// The ".wav" is shown after the name as -d and the listing show it, even when
// the name ends in a Shift-JIS lead byte.
TEST_F(WbkdeckExportTest, NameEndingInALeadByteIsShownAsStored)
{
    const std::string path = bank(sampleEntry(0, "end\x82", 8000, "x"));
    const ProgramResult result = deck({"-w", path});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, header(path) + creatingLine("end\xA3" "a.wav", "8bit", 1, 8000));
    EXPECT_EQ(readWav(dir / "end\x82.wav").samples, decodedAsPlayed(0, "x"));
}

TEST_F(WbkdeckExportTest, ListsAsPlaybackDoesWithoutTheDevice)
{
    const std::string path = bank(sampleEntry(0, "a.pc8", 8000, "abcd") + sampleEntry(1, "\x83\x41.pcm", 16540, "xyz"));
    const std::string listing = "the auther of this .wbk is wbkpack:tester\n"
                                "now loading test.wbk...done.\n"
                                "test.wbk has 2 PCM\n"
                                "No. \t format \t size  \t rate \t original data \t length \n"
                                "--- \t--------\t-------\t------\t---------------\t--------\n"
                                "0\t8bit    \t4\t8000\ta.pc8   \t0.0005\n"
                                "1\tadpcm   \t3\t16540\t\xA5\xA2.pcm   \t0.000362757\n";
    const SimulatedDevice device;
    ProgramRun run;
    run.setEnv = device.environment();
    run.input = "\n\n";
    const ProgramResult listed = deck({"-l", "test.wbk"}, run);
    EXPECT_EQ(listed.status, 0);
    EXPECT_EQ(listed.err, "");
    EXPECT_EQ(listed.out, listing);
    EXPECT_EQ(device.log(), "");

    const ProgramResult played = deck({"test.wbk"}, run);
    EXPECT_EQ(played.out.substr(0, listing.size()), listing);
    EXPECT_NE(device.log(), "");
}

// Output lost on a full disk is a failure, in every mode that ends normally.
TEST_F(WbkdeckExportTest, StandardOutputThatCannotBeWrittenFailsTheRun)
{
    bank(sampleEntry(0, "a", 8000, "x"));
    for (const char* mode : {"-l", "-d", "-w"}) {
        ProgramRun run;
        run.workDir = dir.path();
        const ProgramResult result =
            runInShell(std::string("exec \"$0\" ") + mode + " test.wbk >/dev/full", WBKDECK, run);
        EXPECT_EQ(result.status, 255) << mode;
        EXPECT_EQ(result.err, "wbkdeck: can not write to standard output\n") << mode;
    }
}

// -l reads no sample data: a sparse bank of 2 GiB lists within 256 MiB of
// address space, where decoding it would need 6 GiB.
TEST_F(WbkdeckExportTest, ListingNeedsNoMemoryForTheSamples)
{
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the address sanitizer reserves more address space than the limit";
#endif
    const std::uint32_t storedSize = 0x7FFFFFEE;
    const std::string path = bank(sampleEntry(1, "huge", 8000, "", storedSize));
    ASSERT_EQ(truncate(path.c_str(), 40 + 23 + static_cast<off_t>(storedSize)), 0);
    ProgramRun run;
    run.workDir = dir.path();
    const ProgramResult result = runInShell("ulimit -v 262144 && exec \"$0\" -l test.wbk", WBKDECK, run);
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(linesOf(result.out).back(), "0\tadpcm   \t2147483630\t8000\thuge   \t536871");
}

TEST_F(WbkdeckExportTest, OptionHandling)
{
    const std::string usage = "Usage: wbkdeck [-d|-w|-l|-m|-M|--json] BANK [ENTRY...]\n"
                              "       wbkdeck --header BANK\n"
                              "       wbkdeck --html PAGE BANK [ENTRY...]\n";
    const std::string oneMode = "wbkdeck: only one of -d, -w, -l, -m, -M, --json, --header and --html can be given\n";
    bank(sampleEntry(0, "a", 8000, "x"));
    writeBytes(dir / "-dash.wbk", bankHeader());
    struct Case {
        std::vector<std::string> args;
        int status;
        std::string outStart;
        std::string err;
    } cases[] = {
        {{"-h"}, 0, usage, ""},
        {{"--help", "test.wbk"}, 0, usage, ""},
        {{"--version"}, 0, "wbkdeck " WBK_VERSION "\n", ""},
        {{"-x", "test.wbk"}, 255, "", "wbkdeck: unknown option -x\n" + usage},
        {{"-dx", "test.wbk"}, 255, "", "wbkdeck: unknown option -x\n" + usage},
        {{"--dump", "test.wbk"}, 255, "", "wbkdeck: unknown option --dump\n" + usage},
        {{"--help=x", "test.wbk"}, 255, "", "wbkdeck: unknown option --help=x\n" + usage},
        {{"-w", "test.wbk", "more"}, 255, "", "wbkdeck: no entry is named \"more\"\n"},
        {{"test.wbk", "-d"}, 255, "", "wbkdeck: no entry is named \"-d\"\n"},
        {{"--header", "test.wbk", "0"}, 255, "", "wbkdeck: unexpected argument after the bank: 0\n" + usage},
        {{"-d", "-w", "test.wbk"}, 255, "", oneMode + usage},
        {{"--json", "-m", "test.wbk"}, 255, "", oneMode + usage},
        {{"--html", "p.html", "-w", "test.wbk"}, 255, "", oneMode + usage},
        {{"--html"}, 255, "", "wbkdeck: option --html needs an argument\n" + usage},
        {{"--html", "p.html"}, 255, "", "Usage:wbkdeck .wbk\n"},
        {{"-w"}, 255, "", "Usage:wbkdeck .wbk\n"},
        {{"-l", "--"}, 255, "", "Usage:wbkdeck .wbk\n"},
        {{"-w", "--", "-dash.wbk"}, 0, "the auther of this .wbk is wbkpack:tester\nnow loading -dash.wbk.\n", ""},
    };
    for (const auto& c : cases) {
        const ProgramResult result = deck(c.args);
        const std::string what = c.args[0] + " " + (c.args.size() > 1 ? c.args[1] : "");
        EXPECT_EQ(result.status, c.status) << what;
        EXPECT_EQ(result.out.substr(0, c.outStart.size()), c.outStart) << what;
        EXPECT_EQ(result.err, c.err) << what;
        if (c.status != 0) {
            EXPECT_EQ(result.out, "") << what;
        }
    }
    EXPECT_FALSE(fileExists(dir / "a"));
    EXPECT_FALSE(fileExists(dir / "a.wav"));
}

} // namespace
