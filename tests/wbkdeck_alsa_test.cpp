// Plays through the ALSA back end into ALSA's file plugin, configured by a
// file of the test's own (ALSA_CONFIG_PATH), never the machine's sound card.
// Each device opening becomes a WAV file of its own: the header shows the
// rate that was set, the data what was played. The simulated /dev/dsp,
// failing to open, stands for a system without one.
#include "AlsaConfig.h"
#include "BankBytes.h"
#include "ProgramRunner.h"
#include "SimulatedDevice.h"
#include "WavFile.h"
#include "samplePattern.h"

#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

namespace {

using Strings = std::vector<std::string>;

const std::string noDsp = "Can not open audio device.: No such file or directory\n";
const std::string noAlsaDefault = "Can not open ALSA device \"default\": No such file or directory "
                                  "(choose one with WBK_AUDIO=alsa:NAME, or WBK_AUDIO=oss for /dev/dsp only)\n";
const std::string playerGivesUp = "can not open Audio Device: No such file or directory\n";

// An ALSA configuration with "default" and "recorder" recording into WAV
// files, or with no PCM at all.
class AlsaFileDevice {
public:
    explicit AlsaFileDevice(bool withDefault = true)
    {
        const std::string recorder = wavRecorderPcm(dir / "played.wav");
        writeBytes(dir / "alsa.conf", withDefault ? "pcm.!default " + recorder + "pcm.recorder " + recorder : "");
    }

    // The WAV file of the k-th opening, counted from 0.
    std::string opening(int k) const
    {
        const std::string number = std::to_string(10000 + k).substr(1);
        return dir / (k == 0 ? "played.wav" : "played.wav." + number);
    }

    ProgramResult run(const std::string& program, const Strings& args, const Strings& env,
                      const std::string& input = "") const
    {
        ProgramRun run;
        run.args = args;
        run.input = input;
        run.workDir = dir.path();
        // The first of two settings of a variable counts: `env` comes first.
        run.setEnv = env;
        const Strings dspEnv = dsp.environment();
        run.setEnv.insert(run.setEnv.end(), dspEnv.begin(), dspEnv.end());
        run.setEnv.insert(run.setEnv.end(), {"FAKEDSP_FAIL=open:ENOENT", alsaConfigPath(dir / "alsa.conf")});
        run.unsetEnv = {"WBK_AUDIO"};
        return runProgram(program, run);
    }

    TempDir dir;

private:
    SimulatedDevice dsp;
};

class AlsaTest : public ::testing::Test {
protected:
    void SetUp() override
    {
#ifndef WBK_WITH_ALSA
        GTEST_SKIP() << "built without ALSA";
#endif
    }
};

TEST_F(AlsaTest, PlayerPlaysEachSampleAtItsRate)
{
    const std::string signedBytes = samplePattern(0, 5000);
    std::string unsignedBytes = signedBytes;
    for (char& byte : unsignedBytes)
        byte = static_cast<char>(byte ^ 0x80);
    const std::string bank = bankHeader() + sampleEntry(0, "tone.pc8", 11025, signedBytes) +
                             sampleEntry(1, "voice.pcm", 8000, std::string("\x00\x77\x88", 3));
    const std::string decodedVoice{char(128), char(128), char(130), char(134), char(133), char(132)};

    for (const Strings& choice : {Strings{}, Strings{"WBK_AUDIO=alsa"}, Strings{"WBK_AUDIO=alsa:recorder"}}) {
        const AlsaFileDevice device;
        writeBytes(device.dir / "bank.wbk", bank);
        const ProgramResult result = device.run(WBKDECK, {"bank.wbk"}, choice, "\n\n");
        const std::string name = choice.empty() ? "WBK_AUDIO unset" : choice[0];

        EXPECT_EQ(result.err, "") << name;
        EXPECT_EQ(result.status, 0) << name;
        EXPECT_NE(result.out.find("voice.pcm:now playing 1-th pcm...done.\n"), std::string::npos) << result.out;
        const struct {
            int rate;
            std::string played;
        } openings[] = {{16540, ""}, {11025, unsignedBytes}, {8000, decodedVoice}};
        for (int k = 0; k < 3; ++k) {
            const WavFile wav = readWav(device.opening(k));
            EXPECT_EQ(wav.channels, 1) << name << k;
            EXPECT_EQ(wav.bitsPerSample, 8) << name << k;
            EXPECT_EQ(wav.rate, openings[k].rate) << name << k;
            EXPECT_TRUE(wav.data == openings[k].played) << name << k << ": " << wav.data.size() << " bytes";
        }
        EXPECT_FALSE(fileExists(device.opening(3))) << name;
    }
}

TEST_F(AlsaTest, WhenNoDeviceOpensEachChoiceSaysWhy)
{
    const struct {
        Strings env;
        bool alsaHasDefault;
        std::string err;
    } cases[] = {
        // /dev/dsp only: exactly the player's two lines.
        {{"WBK_AUDIO=oss"}, true, noDsp + playerGivesUp},
        // No /dev/dsp and no ALSA "default": both reasons, then the player's line.
        {{}, false, noDsp + noAlsaDefault + playerGivesUp},
        {{"WBK_AUDIO="}, false, noDsp + noAlsaDefault + playerGivesUp},
        // A /dev/dsp that exists but fails is not passed over for ALSA.
        {{"FAKEDSP_FAIL=open:EBUSY"}, true,
         "Can not open audio device.: Device or resource busy\ncan not open Audio Device: Device or resource busy\n"},
        {{"WBK_AUDIO=alsa:missing"}, true,
         "Can not open ALSA device \"missing\": No such file or directory "
         "(choose one with WBK_AUDIO=alsa:NAME, or WBK_AUDIO=oss for /dev/dsp only)\n" + playerGivesUp},
        {{"WBK_AUDIO=pulse"}, true,
         "WBK_AUDIO=pulse: unknown sound system (use oss, alsa or alsa:PCM)\n"
         "can not open Audio Device: Invalid argument\n"},
        {{"WBK_AUDIO=alsa:"}, true,
         "WBK_AUDIO=alsa:: unknown sound system (use oss, alsa or alsa:PCM)\n"
         "can not open Audio Device: Invalid argument\n"},
    };
    for (const auto& c : cases) {
        const AlsaFileDevice device(c.alsaHasDefault);
        writeBytes(device.dir / "bank.wbk", bankHeader());
        const ProgramResult result = device.run(WBKDECK, {"bank.wbk"}, c.env);
        const std::string name = c.env.empty() ? "WBK_AUDIO unset" : c.env[0];
        EXPECT_EQ(result.err, c.err) << name;
        EXPECT_EQ(result.status, 255) << name;
        EXPECT_FALSE(fileExists(device.opening(0))) << name;
    }
}

TEST_F(AlsaTest, WritesLargerThanTheDeviceBufferArriveWhole)
{
    const AlsaFileDevice device;
    const std::string sample = samplePattern(1, 300000);
    writeBytes(device.dir / "sample.u8", sample);

    const ProgramResult result =
        device.run(AUDIOPLAY, {"open", "init:16540", "fragment", "space", "play:sample.u8", "sync", "close"}, {});

    EXPECT_EQ(result.err, "");
    EXPECT_EQ(result.status, 0);
    const std::regex answers("open=1\ninit=1\nfragment=([1-9][0-9]*)\nspace=([1-9][0-9]*)\nclose=1\n");
    std::smatch sizes;
    ASSERT_TRUE(std::regex_match(result.out, sizes, answers)) << result.out;
    EXPECT_LT(std::stoi(sizes[2]), 300000) << "the buffer should be smaller than the sample";
    EXPECT_TRUE(readWav(device.opening(0)).data == sample);
}

// The streamer's timer, fragments and take-over work through ALSA as through
// /dev/dsp: a looping sample runs on across several ticks until a queued
// sample follows the end of a pass, or a sample given meanwhile takes its
// place at once; silence pads the last fragment.
TEST_F(AlsaTest, StreamerLoopsAndHandsOver)
{
    const struct {
        std::string step;
        int size;
        bool atTheEndOfAPass;
    } cases[] = {{"que=500", 500, true}, {"play=700", 700, false}};
    const std::string loop = samplePattern(0, 300);
    for (const auto& c : cases) {
        const AlsaFileDevice device;
        const ProgramResult result = device.run(
            STREAMDRIVER, {"open", "init=8000", "prepare", "play=300,loop", "sleep=300", c.step, "wait", "close"},
            {"WBK_AUDIO=alsa"});
        EXPECT_EQ(result.err, "") << c.step;
        ASSERT_EQ(result.status, 0) << c.step;

        const std::string played = readWav(device.opening(0)).data;
        std::size_t looped = 0;
        while (looped < played.size() && played[looped] == loop[looped % loop.size()])
            ++looped;
        EXPECT_GE(looped, 2000u) << c.step << ": the loop should fill at least the two primed fragments";
        if (c.atTheEndOfAPass) {
            EXPECT_EQ(looped % loop.size(), 0u) << c.step;
        }
        EXPECT_EQ(played.substr(looped, c.size), samplePattern(1, c.size)) << c.step;
        const std::string rest = played.substr(std::min(played.size(), looped + c.size));
        EXPECT_EQ(rest.find_first_not_of(char(128)), std::string::npos) << c.step;
        EXPECT_LT(rest.size(), 1000u) << c.step << ": silence pads the last fragment only";
    }
}

} // namespace
