#include "ProgramRunner.h"
#include "SimulatedDevice.h"
#include "samplePattern.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

const char silence = static_cast<char>(128);

// The bytes a looping sample gives from its start on.
std::string looped(const std::string& sample, std::size_t length)
{
    std::string bytes;
    while (bytes.size() < length)
        bytes += sample;
    return bytes.substr(0, length);
}

// Runs the stream driver on the simulated device with fragments of
// `fragment` bytes that drain at once, unless `env` says otherwise.
class KovaAudioTest : public ::testing::Test {
protected:
    ProgramResult stream(std::vector<std::string> steps, std::vector<std::string> env = {}, int fragment = 1000)
    {
        ProgramRun run;
        run.args = std::move(steps);
        run.setEnv = device.environment();
        run.setEnv.push_back("FAKEDSP_FRAGMENT=" + std::to_string(fragment));
        run.setEnv.insert(run.setEnv.end(), env.begin(), env.end());
        return runProgram(STREAMDRIVER, run);
    }
    std::string capture() const { return device.played(); }
    std::string log() const { return device.log(); }

    SimulatedDevice device;
};

TEST_F(KovaAudioTest, TimerPeriodIsALittleShorterThanAFragment)
{
    struct Case {
        std::vector<std::string> steps;
        int fragment;
        std::string interval;
    } cases[] = {
        {{"open", "init=16540", "prepare"}, 4096, "interval=0s241664us"},
        {{"open", "init=16540", "prepare"}, 32768, "interval=1s957452us"},
        {{"open", "init=8000", "prepare"}, 1000, "interval=0s124000us"},
        {{"disable", "prepare"}, 1000, "interval=0s491520us"},
    };
    for (const auto& c : cases) {
        const ProgramResult result = stream(c.steps, {}, c.fragment);
        EXPECT_NE(result.out.find(c.interval + "\n"), std::string::npos) << result.out;
    }
}

// Samples that end within the two primed fragments play without the timer;
// the last fragment is padded with silence.
TEST_F(KovaAudioTest, ShortSamplesArePaddedToAWholeFragment)
{
    struct Case {
        int size;
        std::string expected;
    } cases[] = {
        {400, samplePattern(0, 400) + std::string(600, silence)},
        {1000, samplePattern(0, 1000)},
        {1700, samplePattern(0, 1700) + std::string(300, silence)},
        {0, std::string(1000, silence)},
    };
    for (const auto& c : cases) {
        device.clear();
        const ProgramResult result =
            stream({"open", "init=16540", "prepare", "play=" + std::to_string(c.size), "sleep=200"});
        EXPECT_NE(result.out.find("play writing=0\n"), std::string::npos) << c.size;
        EXPECT_EQ(capture(), c.expected) << c.size;
    }
}

TEST_F(KovaAudioTest, LongSampleStreamsFromTheTimerUntilItsEnd)
{
    const ProgramResult result = stream({"open", "init=16540", "prepare", "play=2500", "wait"});
    EXPECT_NE(result.out.find("play writing=255\nwait writing=0\n"), std::string::npos) << result.out;
    EXPECT_EQ(capture(), samplePattern(0, 2500) + std::string(500, silence));
}

TEST_F(KovaAudioTest, LoopingSampleRunsOnSeamlesslyAcrossTicks)
{
    stream({"open", "init=16540", "prepare", "play=300,loop", "sleep=300", "reset"});
    const std::string played = capture();
    EXPECT_GE(played.size(), 3000u);
    EXPECT_EQ(played.size() % 1000, 0u);
    EXPECT_EQ(played, looped(samplePattern(0, 300), played.size()));
}

TEST_F(KovaAudioTest, QueuedSampleFollowsTheEndOfALoopPass)
{
    stream({"open", "init=16540", "prepare", "play=300,loop", "sleep=150", "que=500", "wait"});
    const std::string played = capture();
    const std::string queued = samplePattern(1, 500);
    const std::size_t start = played.find(queued);
    ASSERT_NE(start, std::string::npos);
    EXPECT_EQ(start % 300, 0u);
    EXPECT_EQ(played.substr(0, start), looped(samplePattern(0, 300), start));
    EXPECT_EQ(played.substr(start + 500), std::string((1000 - (start + 500) % 1000) % 1000, silence));
}

TEST_F(KovaAudioTest, QueuedLoopingSampleLoopsItself)
{
    // Priming writes 1000 + 1000 bytes of the first loop; the first tick, half
    // a second later, ends its pass (100 bytes) and the queued loop takes over.
    stream({"open", "init=2000", "prepare", "play=300,loop", "que=700,loop", "sleep=700", "reset"});
    const std::string played = capture();
    ASSERT_GE(played.size(), 3000u);
    EXPECT_EQ(played.substr(0, 2100), looped(samplePattern(0, 300), 2100));
    EXPECT_EQ(played.substr(2100), looped(samplePattern(1, 700), played.size() - 2100));
}

// A device buffer of one fragment, playing in real time, is full after the
// first priming write: the second finds no room, writes nothing, and the
// timer carries the sample on.
TEST_F(KovaAudioTest, NoRoomOnTheDeviceMeansNothingIsWritten)
{
    const ProgramResult result = stream({"open", "init=16540", "prepare", "play=2500", "wait"},
                                        {"FAKEDSP_BUFFER=1000", "FAKEDSP_REALTIME=1"});
    EXPECT_NE(result.out.find("play writing=255\nwait writing=0\n"), std::string::npos) << result.out;
    const std::vector<std::string> calls = linesOf(log());
    const auto firstWrite = std::find(calls.begin(), calls.end(), "write len=1000 accepted=1000");
    ASSERT_LT(firstWrite + 2, calls.end());
    EXPECT_EQ(firstWrite[1].rfind("ioctl GETOSPACE", 0), 0u) << firstWrite[1];
    EXPECT_EQ(firstWrite[2].rfind("ioctl GETOSPACE", 0), 0u) << "no write without room: " << firstWrite[2];
    EXPECT_EQ(capture(), samplePattern(0, 2500) + std::string(500, silence));
}

TEST_F(KovaAudioTest, WaitingByteDrainsTheDeviceBeforeTheEnd)
{
    for (const std::string waiting : {"0", "1"}) {
        device.clear();
        stream({"open", "init=16540", "prepare", "waiting=" + waiting, "play=2500", "wait"});
        const std::string calls = log();
        const std::size_t lastWrite = calls.rfind("write ");
        ASSERT_NE(lastWrite, std::string::npos);
        EXPECT_EQ(calls.find("ioctl SYNC", lastWrite) != std::string::npos, waiting == "1") << calls;
    }
}

TEST_F(KovaAudioTest, DisabledAudioPacesTheSampleWithoutTheDevice)
{
    const ProgramResult result = stream({"disable", "prepare", "play=20000", "wait"});
    EXPECT_NE(result.out.find("play writing=255\nwait writing=0\n"), std::string::npos) << result.out;
    EXPECT_EQ(log(), "");
    EXPECT_EQ(capture(), "");
}

TEST_F(KovaAudioTest, RateThatCannotBeSetLeavesTheStreamerIdleWithOldTiming)
{
    const ProgramResult result =
        stream({"open", "init=16540", "prepare", "rate=22050"}, {"FAKEDSP_ANSWER_SPEED=22050:22047"});
    EXPECT_NE(result.out.find("interval=0s59000us\nprepare writing=0\nrate=0\ninterval=0s59000us\nrate writing=0\n"),
              std::string::npos)
        << result.out;
    EXPECT_NE(result.err.find("SNDCTL_DSP_SPEED:can not set playing rate strictly.\nrate=22050\nresult=22047\n"),
              std::string::npos)
        << result.err;
}

TEST_F(KovaAudioTest, NewSampleTakesOverAStreamingOne)
{
    const ProgramResult result = stream({"open", "init=2000", "prepare", "play=3000", "play=2500", "wait"});
    EXPECT_NE(result.out.find("play writing=255\nplay writing=255\nwait writing=0\n"), std::string::npos)
        << result.out;
    EXPECT_EQ(capture(), samplePattern(0, 2000) + samplePattern(1, 2500) + std::string(500, silence));
}

TEST_F(KovaAudioTest, EmptyLoopingSamplesAreNotStreamed)
{
    ProgramResult result = stream({"open", "init=16540", "prepare", "play=0,loop", "sleep=200"});
    EXPECT_NE(result.out.find("play writing=0\n"), std::string::npos);
    EXPECT_EQ(capture(), "");

    device.clear();
    stream({"open", "init=16540", "prepare", "play=300,loop", "que=0,loop", "sleep=200", "reset"});
    const std::string played = capture();
    EXPECT_GE(played.size(), 2000u);
    EXPECT_EQ(played, looped(samplePattern(0, 300), played.size()));
}

TEST_F(KovaAudioTest, StopWritesNothingAfterTheReset)
{
    const ProgramResult result =
        stream({"open", "init=16540", "prepare", "play=300,loop", "sleep=150", "stop", "sleep=200"});
    EXPECT_NE(result.out.find("stop writing=0\n"), std::string::npos);
    const std::string calls = log();
    const std::size_t reset = calls.rfind("ioctl RESET");
    ASSERT_NE(reset, std::string::npos);
    EXPECT_EQ(calls.find("write ", reset), std::string::npos) << calls;
}

// A rate of 0 would divide by zero, and above 500000 Hz the period comes
// out as 0, which would never arm the timer.
TEST_F(KovaAudioTest, RateWithoutAUsableTimerPeriodEndsTheSetUp)
{
    struct Case {
        std::string answer, condition;
    } cases[] = {{"0", "sampleRate>0"}, {"-5", "sampleRate>0"}, {"600000", "a timer period>0"}};
    for (const auto& c : cases) {
        const ProgramResult result = stream({"open", "init=16540", "prepare"}, {"FAKEDSP_ANSWER_SPEED=" + c.answer});
        EXPECT_EQ(result.status, 255) << c.answer;
        EXPECT_NE(result.err.find("KovaAudio: " + c.condition + " does not hold.\n"), std::string::npos) << result.err;
    }
}

// The free-space query fails in the first tick after the two priming calls.
TEST_F(KovaAudioTest, FailedQueryInsideATickEndsTheProcess)
{
    const ProgramResult result =
        stream({"open", "init=16540", "prepare", "play=5000", "wait"}, {"FAKEDSP_FAIL=GETOSPACE@3:EIO"});
    EXPECT_EQ(result.status, 255);
    EXPECT_EQ(result.err, "can not get no bloking output size of audio: Input/output error\n");
    EXPECT_EQ(capture(), samplePattern(0, 2000));
}

} // namespace
