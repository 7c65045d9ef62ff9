// Plays through a real sound server: a PulseAudio of the test's own with null
// sinks in unsigned 8-bit mono at 8000 Hz, reached through ALSA's pulse plugin
// and an ALSA configuration of the test's own. parec records a sink's
// monitor, which gives back the played bytes exactly. These tests run alone,
// as they measure playing time.
#include "AlsaConfig.h"
#include "BankBytes.h"
#include "ProgramRunner.h"
#include "TestFiles.h"
#include "samplePattern.h"

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <regex>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using Strings = std::vector<std::string>;

constexpr int rate = 8000;
const char silence = static_cast<char>(128);

double secondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

void sleepSeconds(double seconds)
{
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
}

// Waits up to five seconds for `ready`, giving up when `failed`.
template <typename Ready, typename Failed>
bool waitFor(Ready ready, Failed failed)
{
    for (int waited = 0; waited < 500; ++waited) {
        if (ready())
            return true;
        if (failed())
            return false;
        sleepSeconds(0.01);
    }
    return false;
}

bool acceptsConnections(const std::string& socketPath)
{
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    socketPath.copy(address.sun_path, sizeof address.sun_path - 1);
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const bool connected = connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    close(fd);
    return connected;
}

// A PulseAudio server with the null sinks s0, s1, ...; its home, runtime
// directory and socket lie in a temporary directory, and clients find it
// through that alone. Stopped, its pid file removed, when destroyed.
class PulseServer {
public:
    explicit PulseServer(int sinks = 1)
    {
        mkdir(home().c_str(), 0700);
        mkdir(runtime().c_str(), 0700);
        writeBytes(dir / "client.conf", "autospawn = no\n");
        // WBK_AUDIO=alsa:pulse plays into s0, alsa:pulse:s1 into s1.
        writeBytes(dir / "alsa.conf", "pcm.pulse { @args [ SINK ] @args.SINK { type string default s0 }\n"
                                      "  type pulse; server \"unix:" + socketPath() + "\"; device $SINK }\n");
        ProgramRun run;
        run.args = {"-n", "--daemonize=no", "--exit-idle-time=-1", "--disallow-exit", "--log-target=stderr"};
        for (int k = 0; k < sinks; ++k)
            run.args.insert(run.args.end(), {"-L", "module-null-sink sink_name=s" + std::to_string(k) +
                                                       " format=u8 channels=1 rate=8000 norewinds=1"});
        // The socket comes last, once the sinks are there.
        run.args.insert(run.args.end(), {"-L", "module-native-protocol-unix auth-anonymous=1 socket=" + socketPath()});
        run.setEnv = {"HOME=" + home(), "XDG_RUNTIME_DIR=" + runtime()};
        run.unsetEnv = {"PULSE_SERVER", "XDG_CONFIG_HOME", "DBUS_SESSION_BUS_ADDRESS"};
        process = std::make_unique<BackgroundProgram>(PULSEAUDIO, run, dir / "server.out", dir / "server.log");
    }

    ~PulseServer()
    {
        send(SIGCONT);
        process->stop();
        std::remove((runtime() + "/pulse/pid").c_str());
    }

    bool isListening() const
    {
        return waitFor([&] { return acceptsConnections(socketPath()); }, [&] { return process->hasEnded(); });
    }
    std::string log() const { return std::string(PULSEAUDIO) + " did not start:\n" + readBytes(dir / "server.log"); }
    void send(int signal) const { process->send(signal); }

    // What a client needs to find this server and nothing else.
    Strings clientEnvironment() const
    {
        return {alsaConfigPath(dir / "alsa.conf"), "PULSE_SERVER=unix:" + socketPath(),
                "PULSE_CLIENTCONFIG=" + dir / "client.conf", "HOME=" + home(), "XDG_RUNTIME_DIR=" + runtime()};
    }

    TempDir dir;

private:
    std::string home() const { return dir / "home"; }
    std::string runtime() const { return dir / "run"; }
    std::string socketPath() const { return dir / "native"; }

    std::unique_ptr<BackgroundProgram> process;
};

// How long the last bytes played take to reach a recording of the monitor.
constexpr double untilMonitored = 0.3;

// parec recording the monitor of one sink into a file. A latency of 20 ms
// makes the recording start at once.
class Capture {
public:
    Capture(const PulseServer& server, const std::string& sink) : path(server.dir / sink + ".u8")
    {
        ProgramRun run;
        run.args = {"--raw", "--format=u8", "--channels=1", "--rate=8000", "--latency-msec=20",
                    "--device=" + sink + ".monitor"};
        run.setEnv = server.clientEnvironment();
        process = std::make_unique<BackgroundProgram>(PAREC, run, path, path + ".log");
    }

    bool isRecording() const
    {
        return waitFor([&] { return size() > 0; }, [&] { return process->hasEnded(); });
    }
    std::string log() const { return std::string(PAREC) + " did not record:\n" + readBytes(path + ".log"); }

    std::size_t size() const
    {
        struct stat status{};
        return stat(path.c_str(), &status) == 0 ? static_cast<std::size_t>(status.st_size) : 0;
    }

    // Ends the recording; see untilMonitored.
    std::string stop() const
    {
        process->stop(SIGINT);
        return readBytes(path);
    }

private:
    const std::string path;
    std::unique_ptr<BackgroundProgram> process;
};

ProgramResult runClient(const PulseServer& server, const std::string& program, const Strings& args,
                        const Strings& env, const std::string& input = "")
{
    ProgramRun run;
    run.args = args;
    run.input = input;
    run.workDir = server.dir.path();
    run.setEnv = env;
    const Strings clientEnv = server.clientEnvironment();
    run.setEnv.insert(run.setEnv.end(), clientEnv.begin(), clientEnv.end());
    run.stopAfterMs = 20000;  // a program that hangs is killed (status 137)
    return runProgram(program, run);
}

// Passes when `capture` holds every one of `pieces` whole, in order, with
// nothing but silence around them.
::testing::AssertionResult holdsInOrderAmidSilence(const std::string& capture, const Strings& pieces)
{
    std::size_t at = 0;
    for (std::size_t k = 0; k < pieces.size(); ++k) {
        const std::size_t start = capture.find(pieces[k], at);
        if (start == std::string::npos)
            return ::testing::AssertionFailure() << "sample " << k << " is not in the capture whole";
        if (capture.find_first_not_of(silence, at) < start)
            return ::testing::AssertionFailure() << "sound other than silence before sample " << k;
        at = start + pieces[k].size();
    }
    if (capture.find_first_not_of(silence, at) != std::string::npos)
        return ::testing::AssertionFailure() << "sound other than silence after the last sample";
    return ::testing::AssertionSuccess();
}

// A bank of signed 8-bit samples at 8000 Hz holding `samples`; the player
// plays them with the sign bit flipped.
std::string bankOf(const Strings& samples)
{
    std::string bank = bankHeader();
    for (std::size_t k = 0; k < samples.size(); ++k)
        bank += sampleEntry(0, "r" + std::to_string(k) + ".pc8", rate, samples[k]);
    return bank;
}

std::string flipSignBits(std::string bytes)
{
    for (char& b : bytes)
        b = static_cast<char>(b ^ 0x80);
    return bytes;
}

const Strings streamOneSample = {"open", "init=8000", "prepare", "waiting=1", "play=24000", "wait", "close"};

class PulseTest : public ::testing::Test {
protected:
    void SetUp() override
    {
#ifndef WBK_WITH_ALSA
        GTEST_SKIP() << "built without ALSA";
#endif
    }
};

TEST_F(PulseTest, EveryByteArrivesInOrderAndOnTime)
{
    Strings samples;
    for (std::size_t size : {4000, 6000, 8000})
        samples.push_back(randomBytes(size, static_cast<unsigned>(size)));
    const struct {
        std::string program;
        Strings args;
        std::string input;
        Strings played;
    } cases[] = {
        {WBKDECK, {"bank.wbk"}, "\n\n\n", {flipSignBits(samples[0]), flipSignBits(samples[1]), flipSignBits(samples[2])}},
        {STREAMDRIVER, {"open", "init=8000", "prepare", "waiting=1", "play=12000", "wait", "close"}, "",
         {samplePattern(0, 12000)}},
    };
    const PulseServer server;
    ASSERT_TRUE(server.isListening()) << server.log();
    writeBytes(server.dir / "bank.wbk", bankOf(samples));
    for (const auto& c : cases) {
        const Capture capture(server, "s0");
        ASSERT_TRUE(capture.isRecording()) << capture.log();
        const Clock::time_point start = Clock::now();
        const ProgramResult result = runClient(server, c.program, c.args, {"WBK_AUDIO=alsa:pulse"}, c.input);
        const double seconds = secondsSince(start);
        sleepSeconds(untilMonitored);

        EXPECT_EQ(result.status, 0) << c.program;
        EXPECT_EQ(result.err, "") << c.program;
        EXPECT_TRUE(holdsInOrderAmidSilence(capture.stop(), c.played)) << c.program;
        std::size_t length = 0;
        for (const std::string& played : c.played)
            length += played.size();
        EXPECT_NEAR(seconds, static_cast<double>(length) / rate, 0.5) << c.program;
    }
}

TEST_F(PulseTest, ServerKilledMidPlayEndsPlaybackWithinASecond)
{
    const struct {
        std::string program;
        Strings args;
        std::string input;
    } cases[] = {{WBKDECK, {"bank.wbk"}, "\n"}, {STREAMDRIVER, streamOneSample, ""}};
    for (const auto& c : cases) {
        const PulseServer server;
        ASSERT_TRUE(server.isListening()) << server.log();
        writeBytes(server.dir / "bank.wbk", bankOf({std::string(3 * rate, '\x10')}));
        Clock::time_point killed;
        std::thread killer([&] {
            sleepSeconds(0.7);
            killed = Clock::now();
            server.send(SIGKILL);
        });
        const ProgramResult result = runClient(server, c.program, c.args, {"WBK_AUDIO=alsa:pulse"}, c.input);
        killer.join();

        EXPECT_EQ(result.status, 255) << c.program;
        EXPECT_TRUE(std::regex_match(result.err, std::regex("[^\n]+\n"))) << c.program << ": " << result.err;
        EXPECT_LT(secondsSince(killed), 1.0) << c.program;
    }
}

// The streamers' ticks come while their main flows allocate memory, and the
// server stops for two seconds under them: none may hang, and each one's
// sound goes on after the pause.
TEST_F(PulseTest, PausedServerHoldsUpNoStreamer)
{
    constexpr int runs = 10;
    const PulseServer server(runs);
    ASSERT_TRUE(server.isListening()) << server.log();
    std::vector<std::unique_ptr<Capture>> captures;
    for (int k = 0; k < runs; ++k) {
        captures.push_back(std::make_unique<Capture>(server, "s" + std::to_string(k)));
        ASSERT_TRUE(captures.back()->isRecording()) << captures.back()->log();
    }
    std::vector<std::size_t> capturedBeforeResuming(runs);
    std::thread pauser([&] {
        sleepSeconds(0.8);
        server.send(SIGSTOP);
        sleepSeconds(2.0);
        for (int k = 0; k < runs; ++k)
            capturedBeforeResuming[k] = captures[k]->size();
        server.send(SIGCONT);
    });
    std::vector<ProgramResult> results(runs);
    std::vector<std::thread> streamers;
    for (int k = 0; k < runs; ++k)
        streamers.emplace_back([&, k] {
            results[k] = runClient(server, STREAMDRIVER,
                                   {"open", "init=8000", "prepare", "play=1000,loop", "churn=4500", "reset", "close"},
                                   {"WBK_AUDIO=alsa:pulse:s" + std::to_string(k)});
        });
    for (std::thread& streamer : streamers)
        streamer.join();
    pauser.join();
    sleepSeconds(untilMonitored);

    for (int k = 0; k < runs; ++k) {
        EXPECT_EQ(results[k].status, 0) << "run " << k;
        EXPECT_EQ(results[k].err, "") << "run " << k;
        const std::string after = captures[k]->stop().substr(capturedBeforeResuming[k]);
        // More than the half second that the device buffer held before the pause.
        const auto sounding = std::count_if(after.begin(), after.end(), [](char b) { return b != silence; });
        EXPECT_GT(sounding, rate) << "run " << k;
    }
}

// A device that never takes a frame while recovering seems to succeed.
TEST_F(PulseTest, WritesThatNeverProgressEndPlayback)
{
#ifdef STUCKWRITE_LIBRARY
    const PulseServer server;
    ASSERT_TRUE(server.isListening()) << server.log();
    writeBytes(server.dir / "bank.wbk", bankOf({std::string(3 * rate, '\x10')}));
    const Strings env = {"WBK_AUDIO=alsa:pulse", "LD_PRELOAD=" STUCKWRITE_LIBRARY,
                         "ASAN_OPTIONS=verify_asan_link_order=0"};
    for (const auto& [program, args] : {std::pair<std::string, Strings>{WBKDECK, {"bank.wbk"}},
                                        std::pair<std::string, Strings>{STREAMDRIVER, streamOneSample}}) {
        const ProgramResult result = runClient(server, program, args, env, "\n");
        EXPECT_EQ(result.status, 255) << program;
        EXPECT_EQ(result.err, "can not write to audio device: Broken pipe\n") << program;
        EXPECT_LT(result.maxResidentKiB, 256 * 1024) << program;
    }
#endif
}

} // namespace
