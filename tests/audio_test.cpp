// Runs Audio operations through the audioplay driver against the simulated
// /dev/dsp, which logs every call and captures every byte it accepts.
#include "ProgramRunner.h"
#include "SimulatedDevice.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

namespace {

using Strings = std::vector<std::string>;

// perror's text for a prefix and an error number.
std::string systemError(const std::string& prefix, int error)
{
    return prefix + ": " + std::strerror(error) + "\n";
}

const std::string notOpened = "audio device is not opened.\nbefore using audio,you must open audio device.\n";
const std::string configureCalls = "open SETFMT SETFMT STEREO SPEED";

// Operations, device settings and what the driver and the device show.
struct Case {
    Strings operations;
    Strings settings;  // FAKEDSP_* variables
    std::string out;
    std::string err;
    std::string calls;  // device calls in order, as callsIn() names them
};

std::string describe(const Case& c)
{
    std::string text;
    for (const auto& word : c.settings)
        text += word + " ";
    for (const auto& word : c.operations)
        text += word + " ";
    return text;
}

std::string pattern(std::size_t size)
{
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<char>(i * 13 + i / 256);
    return bytes;
}

// The device calls of a log, one word each: "open", "close", "write", "poll"
// or the control's name such as "SPEED".
std::string callsIn(const std::string& log)
{
    std::istringstream lines(log);
    std::string calls;
    for (std::string line; std::getline(lines, line);) {
        std::istringstream words(line);
        std::string call;
        words >> call;
        if (call == "ioctl")
            words >> call;
        if (call != "underrun")
            calls += (calls.empty() ? "" : " ") + call;
    }
    return calls;
}

class AudioDeviceTest : public ::testing::Test {
protected:
    ProgramResult audioplay(const Strings& operations, const Strings& settings)
    {
        device.clear();
        ProgramRun run;
        run.args = operations;
        run.workDir = dir.path();
        run.setEnv = device.environment();
        run.setEnv.insert(run.setEnv.end(), settings.begin(), settings.end());
        return runProgram(AUDIOPLAY, run);
    }

    std::string deviceLog() const { return device.log(); }
    std::string played() const { return device.played(); }

    int count(const std::string& call) const
    {
        std::istringstream calls(callsIn(deviceLog()));
        int found = 0;
        for (std::string word; calls >> word;)
            found += word == call;
        return found;
    }

    void check(const std::vector<Case>& cases)
    {
        for (const auto& c : cases) {
            const ProgramResult result = audioplay(c.operations, c.settings);
            EXPECT_EQ(result.out, c.out) << describe(c);
            EXPECT_EQ(result.err, c.err) << describe(c);
            EXPECT_EQ(result.status, 0) << describe(c);
            EXPECT_EQ(callsIn(deviceLog()), c.calls) << describe(c);
        }
    }

    TempDir dir;
    SimulatedDevice device;
};

TEST_F(AudioDeviceTest, OpensWriteOnlyNonBlockingAndAsksForUnsigned8BitMonoAtTheRate)
{
    const ProgramResult result = audioplay({"open", "init:16540", "rate", "close"}, {});

    EXPECT_EQ(result.out, "open=1\ninit=1\nrate=16540\nclose=1\n");
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(deviceLog(), "open flags=2049\n"
                           "ioctl SETFMT in=8 out=8\n"
                           "ioctl SETFMT in=8 out=8\n"
                           "ioctl STEREO in=0 out=0\n"
                           "ioctl SPEED in=16540 out=16540\n"
                           "close underruns=0\n");
}

TEST_F(AudioDeviceTest, AFailedConfigurationStepIsReportedAndStopsTheLaterOnes)
{
    // Only a failed SPEED call is the device refusing the rate.
    const Strings operations = {"open", "init:16540", "rate", "rateRefused", "close"};
    const std::string answered = "open=1\ninit=0\nrate=16540\nrateRefused=0\nclose=1\n";
    check({
        {operations, {"FAKEDSP_FAIL=SETFMT@1:EINVAL"}, answered,
         systemError("Unable to set audio smaple size. SNDCTL_DSP_SAMPLESIZE.", EINVAL) + "bitPerSample=8\nresult=8\n",
         "open SETFMT close"},
        {operations, {"FAKEDSP_ANSWER_SETFMT_1=16"}, answered,
         "Unable to set audio sample size.\nbitPerSample=8\nresult=16\n", "open SETFMT close"},
        {operations, {"FAKEDSP_FAIL=SETFMT@2:EIO"}, answered,
         systemError("Unbale to set audio format. ANDCTL_DSP_SETFMT.", EIO), "open SETFMT SETFMT close"},
        {operations, {"FAKEDSP_ANSWER_SETFMT_2=16"}, answered, "Unbale to set audio format. SNDCTL_DSP_SETFMT.\n",
         "open SETFMT SETFMT close"},
        {operations, {"FAKEDSP_FAIL=STEREO:EINVAL"}, answered,
         systemError("Unable to set Mono/Stereo.", EINVAL) + "channel=0\n", "open SETFMT SETFMT STEREO close"},
        {operations, {"FAKEDSP_ANSWER_STEREO=1"}, answered, "Unable to set Mono/Stereo.\nchannel=0\nresult=1\n",
         "open SETFMT SETFMT STEREO close"},
        {operations, {"FAKEDSP_FAIL=SPEED:EINVAL"}, "open=1\ninit=0\nrate=16540\nrateRefused=1\nclose=1\n",
         systemError("SNDCTL_DSP_SPEED", EINVAL) + "rate=16540\n", configureCalls + " close"},
        // The driver's nearby rate stays in effect.
        {operations, {"FAKEDSP_ANSWER_SPEED=16540:16537"}, "open=1\ninit=0\nrate=16537\nrateRefused=0\nclose=1\n",
         "SNDCTL_DSP_SPEED:can not set playing rate strictly.\nrate=16540\nresult=16537\n",
         configureCalls + " close"},
    });
}

TEST_F(AudioDeviceTest, OpeningClosingAndReopeningReportWhatFails)
{
    const std::string closeFailed = systemError("can not close audio device.", EIO);
    check({
        {{"open", "init:16540"}, {"FAKEDSP_FAIL=open:ENOENT", "WBK_AUDIO=oss"}, "open=0\ninit=0\n",
         systemError("Can not open audio device.", ENOENT) + notOpened, "open"},
        {{"init:8000", "rate"}, {}, "init=0\nrate=16540\n", notOpened, ""},
        // Closing before any open touches no descriptor of the program's own.
        {{"close"}, {}, "close=0\n", systemError("can not close audio device.", EBADF), ""},
        {{"open", "close", "close"}, {}, "open=1\nclose=1\nclose=0\n",
         systemError("can not close audio device.", EBADF), "open close"},
        {{"open", "close"}, {"FAKEDSP_FAIL=close:EIO"}, "open=1\nclose=0\n", closeFailed, "open close"},
        {{"open", "init:16540", "setRate:8000", "rate", "close"}, {}, "open=1\ninit=1\nsetRate=1\nrate=8000\nclose=1\n",
         "", configureCalls + " RESET close " + configureCalls + " close"},
        {{"open", "init:16540", "setRate:8000", "rate"}, {"FAKEDSP_FAIL=close:EIO"},
         "open=1\ninit=1\nsetRate=0\nrate=16540\n", closeFailed, configureCalls + " RESET close"},
        // A refusal is forgotten by the next rate change, whatever ends it.
        {{"open", "init:16540", "setRate:8000", "rateRefused"}, {"FAKEDSP_FAIL=SPEED:EINVAL,close:EIO"},
         "open=1\ninit=0\nsetRate=0\nrateRefused=0\n",
         systemError("SNDCTL_DSP_SPEED", EINVAL) + "rate=16540\n" + closeFailed, configureCalls + " RESET close"},
        {{"open", "init:16540", "setRate:8000", "rate"}, {"FAKEDSP_FAIL=open@2:EBUSY"},
         "open=1\ninit=1\nsetRate=0\nrate=16540\n", systemError("Can not open audio device.", EBUSY),
         configureCalls + " RESET close open"},
    });
}

TEST_F(AudioDeviceTest, WhileDisabledEveryOperationSucceedsWithoutTouchingTheDevice)
{
    writeBytes(dir / "sample.u8", pattern(100));
    check({
        {{"disable", "enabled", "fragment", "space", "rate", "open", "init:8000", "setRate:11025", "play:sample.u8",
          "sync", "post", "reset", "close"},
         {},
         "enabled=0\nfragment=8192\nspace=8192\nrate=16384\nopen=1\ninit=1\nsetRate=1\nclose=1\n",
         "",
         ""},
        // Disabling closes an open device; enabling again leaves it closed.
        {{"open", "disable", "enable", "enabled", "init:8000"}, {}, "open=1\nenabled=1\ninit=0\n", notOpened,
         "open close"},
    });
}

TEST_F(AudioDeviceTest, AFailedDeviceQueryEndsTheProcess)
{
    // Standard output is flushed on the way out: the driver has begun the
    // line of a query that answers a value.
    struct {
        std::string operation;
        std::string control;
        std::string message;
        std::string begunLine;
    } queries[] = {
        {"space", "GETOSPACE", "can not get no bloking output size of audio", "space="},
        {"fragment", "GETBLKSIZE", "can not get fragment size.", "fragment="},
        {"sync", "SYNC", "can not sync audio dev", ""},
        {"post", "POST", "can not post audio dev", ""},
    };
    for (const auto& query : queries) {
        const ProgramResult result =
            audioplay({"open", "init:16540", query.operation, "close"}, {"FAKEDSP_FAIL=" + query.control + ":EIO"});
        EXPECT_EQ(result.status, 255) << query.operation;
        EXPECT_EQ(result.out, "open=1\ninit=1\n" + query.begunLine) << query.operation;
        EXPECT_EQ(result.err, systemError(query.message, EIO)) << query.operation;
    }
}

TEST_F(AudioDeviceTest, QueriesAnswerWhatTheDeviceReports)
{
    const ProgramResult result =
        audioplay({"open", "init:16540", "fragment", "space", "close"}, {"FAKEDSP_FRAGMENT=512", "FAKEDSP_BUFFER=1536"});

    EXPECT_EQ(result.out, "open=1\ninit=1\nfragment=512\nspace=1536\nclose=1\n");
}

TEST_F(AudioDeviceTest, PlayWritesEveryByteInOrderUntilTheDeviceFails)
{
    const std::string sample = pattern(5000);
    writeBytes(dir / "sample.u8", sample);
    struct {
        Strings settings;
        std::size_t playedBytes;
        int writes;
        int polls;
    } cases[] = {
        {{}, 5000, 1, 0},
        {{"FAKEDSP_PARTIAL=1000"}, 5000, 5, 4},
        {{"FAKEDSP_BUFFER=4096"}, 5000, 2, 1},
        {{"FAKEDSP_PARTIAL=1000", "FAKEDSP_EAGAIN_EVERY=2"}, 5000, 9, 8},
        {{"FAKEDSP_FAIL=write@1:EINTR"}, 5000, 2, 0},
        {{"FAKEDSP_FAIL=write:EIO"}, 0, 1, 0},
        {{"FAKEDSP_PARTIAL=1000", "FAKEDSP_FAIL=write@3:EIO"}, 2000, 3, 2},
        {{"FAKEDSP_PARTIAL=1000", "FAKEDSP_FAIL=poll:EIO"}, 1000, 1, 1},
    };
    for (const auto& c : cases) {
        const std::string label = ::testing::PrintToString(c.settings);
        const ProgramResult result = audioplay({"open", "init:16540", "play:sample.u8", "close"}, c.settings);
        EXPECT_EQ(result.err, "") << label;
        EXPECT_EQ(result.out, "open=1\ninit=1\nclose=1\n") << label;
        EXPECT_TRUE(played() == sample.substr(0, c.playedBytes)) << label << ": " << played().size() << " bytes";
        EXPECT_EQ(count("write"), c.writes) << label;
        EXPECT_EQ(count("poll"), c.polls) << label;
    }
}

TEST_F(AudioDeviceTest, PlayGivesUpOnADeviceThatKeepsRefusing)
{
    writeBytes(dir / "sample.u8", pattern(100));

    const ProgramResult result = audioplay({"open", "init:16540", "play:sample.u8", "close"}, {"FAKEDSP_EAGAIN_EVERY=1"});

    EXPECT_EQ(result.out, "open=1\ninit=1\nclose=1\n");
    EXPECT_EQ(played(), "");
    EXPECT_GE(count("write"), 2);
    EXPECT_LE(count("write"), 5);
}

// At 10 bytes a second a full 4-byte buffer stays full for 100 ms, so the
// second sample's first write is refused and play waits for room.
TEST_F(AudioDeviceTest, PlayWaitsForRoomWhenTheBufferIsFull)
{
    const std::string sample = pattern(10);
    writeBytes(dir / "first.u8", sample.substr(0, 4));
    writeBytes(dir / "second.u8", sample.substr(4));

    const ProgramResult result = audioplay({"open", "init:10", "play:first.u8", "play:second.u8", "close"},
                                           {"FAKEDSP_REALTIME=1", "FAKEDSP_FRAGMENT=2", "FAKEDSP_BUFFER=4"});

    EXPECT_EQ(result.out, "open=1\ninit=1\nclose=1\n");
    EXPECT_EQ(played(), sample);
    EXPECT_NE(deviceLog().find("write len=6 error=EAGAIN\n"), std::string::npos) << deviceLog();
}

// An emulation layer that refuses to drain a non-blocking device gets the
// drain again with the device blocking, and the device is non-blocking after.
TEST_F(AudioDeviceTest, SyncDrainsWhereTheDeviceRefusesWhileNonBlocking)
{
    writeBytes(dir / "sample.u8", pattern(100));

    const ProgramResult result = audioplay({"open", "init:16540", "sync", "play:sample.u8", "sync", "close"},
                                           {"FAKEDSP_SYNC_NEEDS_BLOCKING=1"});

    EXPECT_EQ(result.err, "");
    EXPECT_EQ(result.out, "open=1\ninit=1\nclose=1\n");
    EXPECT_EQ(count("SYNC"), 4);
    const std::string calls = deviceLog();
    EXPECT_NE(calls.find("ioctl SYNC error=EAGAIN\nioctl SYNC\nwrite"), std::string::npos) << calls;
}

} // namespace
