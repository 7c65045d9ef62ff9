// Plays through alsa-oss's libaoss, which turns /dev/dsp calls into ALSA
// calls, with ALSA's file plugin writing every device opening into a WAV file
// of its own: the header shows how the device was configured, the data what
// was played. The ALSA configuration is the test's own, whatever the machine
// routes "default" to.
#include "AlsaConfig.h"
#include "BankBytes.h"
#include "ProgramRunner.h"
#include "TestFiles.h"
#include "WavFile.h"

#include <gtest/gtest.h>

#include <regex>
#include <string>

namespace {

std::string pattern(std::size_t size, int seed)
{
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<char>((i * 7 + seed) % 251);
    return bytes;
}

class AossTest : public ::testing::Test {
protected:
    void SetUp() override
    {
#ifndef AOSS_LIBRARY
        GTEST_SKIP() << "libaoss is not installed (apt-get install alsa-oss); OSS emulation not tested";
#endif
        writeBytes(home / "alsa.conf", "pcm.!default " + wavRecorderPcm(wav));
    }

    ProgramResult underAoss(const std::string& program, const std::vector<std::string>& args,
                            const std::string& input = "")
    {
#ifdef AOSS_LIBRARY
        ProgramRun run;
        run.args = args;
        run.input = input;
        run.workDir = home.path();
        run.setEnv = {"LD_PRELOAD=" AOSS_LIBRARY, "HOME=" + home.path(), alsaConfigPath(home / "alsa.conf"),
                      // libaoss is preloaded ahead of the sanitizer runtime and leaks a little.
                      "ASAN_OPTIONS=verify_asan_link_order=0:detect_leaks=0"};
        run.unsetEnv = {"ALSA_OSS_PCM_DEVICE"};
        return runProgram(program, run);
#else
        (void)program, (void)args, (void)input;
        return {};
#endif
    }

    ProgramResult audioplay(const std::vector<std::string>& operations) { return underAoss(AUDIOPLAY, operations); }

    TempDir home;
    const std::string wav = home / "played.wav";
};

TEST_F(AossTest, EachRateChangePlaysIntoAFreshlyConfiguredDevice)
{
    const std::string first = pattern(3000, 1);
    const std::string second = pattern(200000, 2);
    writeBytes(home / "first.u8", first);
    writeBytes(home / "second.u8", second);

    const ProgramResult result = audioplay({"open", "init:16540", "rate", "setRate:8000", "play:first.u8", "sync",
                                            "setRate:22050", "play:second.u8", "sync", "close"});

    EXPECT_EQ(result.err, "");
    EXPECT_EQ(result.out, "open=1\ninit=1\nrate=16540\nsetRate=1\nsetRate=1\nclose=1\n");
    EXPECT_EQ(result.status, 0);
    struct Opening {
        std::string file;
        int rate;
        std::string played;
    } openings[] = {{wav, 16540, ""}, {wav + ".0001", 8000, first}, {wav + ".0002", 22050, second}};
    for (const auto& opening : openings) {
        const WavFile played = readWav(opening.file);
        EXPECT_EQ(played.channels, 1) << opening.file;
        EXPECT_EQ(played.bitsPerSample, 8) << opening.file;
        EXPECT_EQ(played.rate, opening.rate) << opening.file;
        EXPECT_TRUE(played.data == opening.played) << opening.file << ": " << played.data.size() << " bytes";
    }
    EXPECT_FALSE(fileExists(wav + ".0003"));
}

TEST_F(AossTest, StreamerQueriesAnswerWithoutEndingTheProcess)
{
    const ProgramResult result = audioplay({"open", "init:16540", "fragment", "space", "post", "reset", "close"});

    EXPECT_EQ(result.err, "");
    EXPECT_EQ(result.status, 0);
    const std::regex positiveAnswers("open=1\ninit=1\nfragment=[1-9][0-9]*\nspace=[1-9][0-9]*\nclose=1\n");
    EXPECT_TRUE(std::regex_match(result.out, positiveAnswers)) << result.out;
}

TEST_F(AossTest, PlayerPlaysEachSampleAtItsRate)
{
    const std::string signedBytes = pattern(5000, 3);
    std::string unsignedBytes = signedBytes;
    for (char& byte : unsignedBytes)
        byte = static_cast<char>(byte ^ 0x80);
    writeBytes(home / "bank.wbk", bankHeader() + sampleEntry(0, "tone.pc8", 11025, signedBytes) +
                                      sampleEntry(1, "voice.pcm", 8000, std::string("\x00\x77\x88", 3)));

    const ProgramResult result = underAoss(WBKDECK, {"bank.wbk"}, "\n\n");

    EXPECT_EQ(result.err, "");
    EXPECT_EQ(result.status, 0);
    EXPECT_NE(result.out.find("voice.pcm:now playing 1-th pcm...done.\n"), std::string::npos) << result.out;
    const WavFile tone = readWav(wav + ".0001");
    EXPECT_EQ(tone.rate, 11025);
    EXPECT_TRUE(tone.data == unsignedBytes) << tone.data.size() << " bytes";
    const WavFile voice = readWav(wav + ".0002");
    EXPECT_EQ(voice.rate, 8000);
    EXPECT_EQ(voice.data, (std::string{char(128), char(128), char(130), char(134), char(133), char(132)}));
}

} // namespace
