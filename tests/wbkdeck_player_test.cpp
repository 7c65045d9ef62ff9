#include "BankBytes.h"
#include "ProgramRunner.h"
#include "SimulatedDevice.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const std::string listingHeader =
    "No. \t format \t size  \t rate \t original data \t length \n"
    "--- \t--------\t-------\t------\t---------------\t--------\n";

// Signed 8-bit bytes and what the player hands to the device for them.
const std::string signedBytes("\x00\x7f\x80\xff", 4);
const std::string unsignedBytes("\x80\xff\x00\x7f", 4);
const std::string adpcmBytes("\x00\x77\x88", 3);
const std::string decodedAdpcm{char(128), char(128), char(130), char(134), char(133), char(132)};

// The rates the device was set to, in order.
std::vector<std::string> speedsOf(const std::string& log)
{
    std::vector<std::string> speeds;
    for (const std::string& line : linesOf(log))
        if (line.rfind("ioctl SPEED in=", 0) == 0)
            speeds.push_back(line.substr(15, line.find(' ', 15) - 15));
    return speeds;
}

// Runs wbkdeck on a bank through the simulated device.
class PlayerTest : public ::testing::Test {
protected:
    ProgramResult play(const std::string& bank, const std::string& input = "", std::vector<std::string> env = {},
                       int stopAfterMs = 0)
    {
        writeBytes(dir / "bank.wbk", bank);
        ProgramRun run;
        run.args = {"bank.wbk"};
        run.input = input;
        run.workDir = dir.path();
        run.stopAfterMs = stopAfterMs;
        run.setEnv = device.environment();
        run.setEnv.insert(run.setEnv.end(), env.begin(), env.end());
        return runProgram(WBKDECK, run);
    }
    std::string capture() const { return device.played(); }
    std::string log() const { return device.log(); }

    TempDir dir;
    SimulatedDevice device;
};

TEST_F(PlayerTest, ListsThenPlaysEveryEntryAtItsRate)
{
    const std::string bank = bankHeader("wbkpack:ann") + sampleEntry(0, "a.pc8", 8000, signedBytes) +
                             sampleEntry(1, "voice.pcm", 16540, adpcmBytes) +
                             sampleEntry(3, "sixteen_bytes_xx", 22050, adpcmBytes) +
                             sampleEntry(7, "odd", 4, signedBytes);
    const ProgramResult result = play(bank, "\n\n\n\n");
    EXPECT_EQ(result.out, "the auther of this .wbk is wbkpack:ann\n"
                          "now loading bank.wbk.....done.\n"
                          "bank.wbk has 4 PCM\n" +
                              listingHeader +
                              "0\t8bit    \t4\t8000\ta.pc8   \t0.0005\n"
                              "1\tadpcm   \t3\t16540\tvoice.pcm   \t0.000362757\n"
                              "2\tadpcm   \t3\t22050\tsixteen_bytes_xx   \t0.000272109\n"
                              "3\t8bit    \t4\t4\todd   \t1\n"
                              "a.pc8:now playing 0-th pcm...done.\n"
                              "voice.pcm:now playing 1-th pcm...done.\n"
                              "sixteen_bytes_xx:now playing 2-th pcm...done.\n"
                              "odd:now playing 3-th pcm...done.\n");
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(capture(), unsignedBytes + decodedAdpcm + decodedAdpcm + unsignedBytes);
    EXPECT_EQ(speedsOf(log()), (std::vector<std::string>{"16540", "8000", "16540", "22050", "4"}));
    EXPECT_EQ(linesOf(log()).back().rfind("close", 0), 0u);
}

// An ADPCM byte holds two samples; a rate of 0 has no playing time.
TEST_F(PlayerTest, LengthColumnIsDecodedSamplesOverRate)
{
    const std::string bank = bankHeader() + sampleEntry(0, "a", 16540, std::string(16540, 'x')) +
                             sampleEntry(1, "b", 16540, std::string(16540, 'x')) +
                             sampleEntry(3, "c", 0, std::string(10, 'x'));
    const std::vector<std::string> lines = linesOf(play(bank).out);
    ASSERT_GE(lines.size(), 8u);
    EXPECT_EQ(lines[5], "0\t8bit    \t16540\t16540\ta   \t1");
    EXPECT_EQ(lines[6], "1\tadpcm   \t16540\t16540\tb   \t2");
    EXPECT_EQ(lines[7], "2\tadpcm   \t10\t0\tc   \t-");
}

TEST_F(PlayerTest, ShiftJisNamesAreShownAsEucJp)
{
    const std::string bank = bankHeader() + sampleEntry(0, "\x83\x41\xb1.pc8", 8000, "");
    const ProgramResult result = play(bank);
    EXPECT_NE(result.out.find("\t\xa5\xa2\x8e\xb1.pc8   \t0\n"), std::string::npos) << result.out;
    EXPECT_NE(result.out.find("\xa5\xa2\x8e\xb1.pc8:now playing 0-th pcm...done.\n"), std::string::npos);
}

TEST_F(PlayerTest, HeaderOnlyBankOpensAndClosesTheDevice)
{
    const ProgramResult result = play(bankHeader());
    EXPECT_EQ(result.out, "the auther of this .wbk is wbkpack:tester\nnow loading bank.wbk.done.\n"
                          "bank.wbk has 0 PCM\n" + listingHeader);
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(log(), "open flags=2049\nioctl SETFMT in=8 out=8\nioctl SETFMT in=8 out=8\n"
                     "ioctl STEREO in=0 out=0\nioctl SPEED in=16540 out=16540\nclose underruns=0\n");
}

// Every character read, the newline included, starts one entry; the player
// then waits for the next one, and at the end of input it waits no more.
TEST_F(PlayerTest, WaitsForOneCharacterPerEntry)
{
    std::string bank = bankHeader();
    for (int k = 0; k < 6; ++k)
        bank += sampleEntry(0, "s" + std::to_string(k), 8000, "x");
    struct Case {
        int stopAfterMs;
        int played;
    } cases[] = {{1000, 4}, {0, 6}};
    for (const auto& c : cases) {
        const ProgramResult result = play(bank, "abc\n", {}, c.stopAfterMs);
        const std::string last = "s" + std::to_string(c.played - 1) + ":now playing ";
        const std::string next = "s" + std::to_string(c.played) + ":now playing ";
        EXPECT_NE(result.out.find(last), std::string::npos) << result.out;
        EXPECT_EQ(result.out.find(next), std::string::npos) << result.out;
    }
}

TEST_F(PlayerTest, DeviceThatCannotBeOpenedEndsThePlayer)
{
    const ProgramResult result = play(bankHeader(), "", {"FAKEDSP_FAIL=open:ENODEV", "WBK_AUDIO=oss"});
    EXPECT_EQ(result.err, "Can not open audio device.: No such device\ncan not open Audio Device: No such device\n");
    EXPECT_EQ(result.status, 255);
}

TEST_F(PlayerTest, NearbyRateIsReportedAndPlaybackGoesOn)
{
    const std::string bank = bankHeader() + sampleEntry(0, "a", 16540, signedBytes);
    const ProgramResult result = play(bank, "", {"FAKEDSP_ANSWER_SPEED=16537"});
    const std::string report = "SNDCTL_DSP_SPEED:can not set playing rate strictly.\nrate=16540\nresult=16537\n";
    EXPECT_EQ(result.err, report + report);
    EXPECT_NE(result.out.find("a:now playing 0-th pcm...done.\n"), std::string::npos);
    EXPECT_EQ(capture(), unsignedBytes);
    EXPECT_EQ(result.status, 0);
}

TEST_F(PlayerTest, RefusedWriteEndsPlaybackWithTheReason)
{
    const std::string bank = bankHeader() + sampleEntry(0, "a", 8000, signedBytes) +
                             sampleEntry(0, "b", 8000, signedBytes);
    const struct {
        std::string failure;
        std::string reason;
    } cases[] = {{"FAKEDSP_FAIL=write:EIO", "Input/output error"}, {"FAKEDSP_FAIL=write@1:ENOSPC", "No space left on device"}};
    for (const auto& c : cases) {
        const ProgramResult result = play(bank, "", {c.failure});
        EXPECT_EQ(result.out.substr(result.out.find("\na:")), "\na:now playing 0-th pcm...\n") << c.failure;
        EXPECT_EQ(result.err, "can not write to audio device: " + c.reason + "\n") << c.failure;
        EXPECT_EQ(result.status, 255) << c.failure;
    }
}

// An entry is skipped, with one line, only for rate 0 or a rate the device
// refused; the rest play and the run fails. Every other failure of the rate
// change is reported by Audio and the sample goes to the device as it is.
TEST_F(PlayerTest, OnlyUnplayableRatesAreSkipped)
{
    const std::string skipZero = "wbkdeck: skipping entry 0: the device can not play 0 Hz\n";
    const std::string refused = "SNDCTL_DSP_SPEED: Invalid argument\nrate=";
    const std::string sizeRefused = "Unable to set audio sample size.\nbitPerSample=8\nresult=16\n";
    const struct {
        std::vector<std::string> env;
        std::string err;
        std::string played;
        std::vector<std::string> speeds;
    } cases[] = {
        {{}, skipZero, unsignedBytes, {"16540", "8000"}},
        {{"FAKEDSP_FAIL=SPEED:EINVAL"},
         refused + "16540\n" + skipZero + refused + "8000\n" +
             "wbkdeck: skipping entry 1: the device can not play 8000 Hz\n",
         "", {"16540", "8000"}},
        {{"FAKEDSP_ANSWER_SETFMT_1=16"}, sizeRefused + skipZero + sizeRefused, unsignedBytes, {}},
        // Linux releases the descriptor even when close fails: the write is refused.
        {{"FAKEDSP_FAIL=close:EIO"},
         skipZero + "can not close audio device.: Input/output error\n"
                    "can not write to audio device: Bad file descriptor\n",
         "", {"16540"}},
    };
    for (const auto& c : cases) {
        device.clear();
        const ProgramResult result =
            play(bankHeader() + sampleEntry(0, "zero", 0, signedBytes) + sampleEntry(0, "b", 8000, signedBytes),
                 "", c.env);
        EXPECT_EQ(result.err, c.err);
        EXPECT_EQ(result.out.find("zero:now playing"), std::string::npos) << result.out;
        EXPECT_EQ(result.out.find("b:now playing 1-th pcm...done.\n") != std::string::npos, !c.played.empty());
        EXPECT_EQ(capture(), c.played);
        EXPECT_EQ(speedsOf(log()), c.speeds);
        EXPECT_EQ(result.status, 255);
    }
}

// On a terminal the first wait is explained on standard error (in a pipe,
// every other test sees an empty standard error).
TEST_F(PlayerTest, TerminalInputGetsOneHintBeforeTheFirstWait)
{
    const std::string script = "/usr/bin/script";
    if (!fileExists(script))
        GTEST_SKIP() << "no script(1) to give the player a terminal";
    writeBytes(dir / "bank.wbk", bankHeader() + sampleEntry(0, "a", 8000, signedBytes) +
                                     sampleEntry(0, "b", 8000, signedBytes));
    ProgramRun run;
    run.args = {"-qec", std::string(WBKDECK) + " bank.wbk 2>hint", "/dev/null"};
    run.input = "\n\n";
    run.workDir = dir.path();
    run.setEnv = device.environment();
    const ProgramResult result = runProgram(script, run);
    EXPECT_NE(result.out.find("b:now playing 1-th pcm...done."), std::string::npos) << result.out;
    EXPECT_EQ(readBytes(dir / "hint"),
              "press Enter to play the next sample, or type a number of letters to play several\n");
    EXPECT_EQ(result.status, 0);
}

TEST_F(PlayerTest, BankOfMoreThanSixtyFourEntriesPlaysThemAll)
{
    std::string bank = bankHeader();
    std::string expected;
    for (int k = 0; k < 70; ++k) {
        bank += sampleEntry(0, "s" + std::to_string(k), 8000, std::string(1, char(k)));
        expected += char(k ^ 0x80);
    }
    const ProgramResult result = play(bank);
    EXPECT_NE(result.out.find("bank.wbk has 70 PCM\n"), std::string::npos);
    EXPECT_NE(result.out.find("\n69\t8bit    \t1\t8000\ts69   \t0.000125\n"), std::string::npos);
    EXPECT_NE(result.out.find("s69:now playing 69-th pcm...done.\n"), std::string::npos);
    EXPECT_EQ(capture(), expected);
}

TEST_F(PlayerTest, TruncatedEntryEndsLoadingBeforeTheDevice)
{
    const std::string bank = bankHeader() + sampleEntry(0, "a", 8000, "abc", 4);
    const ProgramResult result = play(bank);
    EXPECT_EQ(result.err, "Unexpected end of file.\n");
    EXPECT_EQ(result.status, 255);
    EXPECT_EQ(log(), "");
}

} // namespace
