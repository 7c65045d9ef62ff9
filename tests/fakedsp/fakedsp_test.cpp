// Runs dspdriver with libfakedsp.so preloaded and checks what the driver
// saw, what the device logged and which bytes it captured.
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

using Lines = std::vector<std::string>;

std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream all;
    all << in.rdbuf();
    return all.str();
}

Lines split_lines(const std::string& text) {
    Lines lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// Same signal as dspdriver writes.
std::string pattern(size_t len) {
    std::string bytes(len, '\0');
    for (size_t i = 0; i < len; ++i) bytes[i] = static_cast<char>(i * 31 + 7);
    return bytes;
}

Lines operator+(Lines a, const Lines& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

int count_prefix(const Lines& lines, const std::string& prefix) {
    int n = 0;
    for (const std::string& line : lines) n += line.rfind(prefix, 0) == 0;
    return n;
}

// The number after `key=` in `line`.
long field(const std::string& line, const std::string& key) {
    size_t at = line.find(" " + key + "=");
    EXPECT_NE(at, std::string::npos) << key << " missing in: " << line;
    return at == std::string::npos ? -1 : std::stol(line.substr(at + key.size() + 2));
}

struct Result {
    Lines out;  // what dspdriver printed
    Lines log;  // FAKEDSP_LOG
    std::string capture;
};

// A scratch directory and the driver runs that use it.
class Session {
public:
    Session() {
        char tmpl[] = "/tmp/fakedsp_test.XXXXXX";
        dir_ = mkdtemp(tmpl);
    }
    ~Session() {
        for (const char* name : {"log", "capture", "plain.txt"}) unlink(path(name).c_str());
        rmdir(dir_.c_str());
    }
    std::string path(const std::string& name) const { return dir_ + "/" + name; }

    Result run(const Lines& env, const Lines& steps, const char* driver = FAKEDSP_DRIVER) {
        Lines vars = {"LD_PRELOAD=" FAKEDSP_LIB, "ASAN_OPTIONS=verify_asan_link_order=0",
                      "FAKEDSP_LOG=" + path("log"), "FAKEDSP_CAPTURE=" + path("capture")};
        Result r;
        r.out = split_lines(spawn(Lines{driver} + steps, vars + env));
        r.log = split_lines(read_file(path("log")));
        r.capture = read_file(path("capture"));
        return r;
    }

private:
    static std::vector<char*> pointers(Lines& strings) {
        std::vector<char*> p;
        for (std::string& s : strings) p.push_back(s.data());
        p.push_back(nullptr);
        return p;
    }

    static std::string spawn(Lines args, Lines env) {
        int fds[2];
        EXPECT_EQ(pipe(fds), 0);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
        posix_spawn_file_actions_addclose(&actions, fds[0]);
        pid_t pid = 0;
        int err = posix_spawn(&pid, args[0].c_str(), &actions, nullptr, pointers(args).data(),
                              pointers(env).data());
        posix_spawn_file_actions_destroy(&actions);
        close(fds[1]);
        EXPECT_EQ(err, 0) << "cannot run " << args[0];
        std::string out;
        char buf[4096];
        for (ssize_t n; (n = read(fds[0], buf, sizeof buf)) > 0;) out.append(buf, n);
        close(fds[0]);
        int status = 0;
        if (err == 0) waitpid(pid, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "driver failed: " << out;
        return out;
    }

    std::string dir_;
};

TEST(FakeDsp, EveryOpenEntryPointReachesTheDevice) {
    for (const char* variant : {"open", "open64", "__open", "__open64", "__open_2", "__open64_2",
                                "openat", "openat64", "__openat_2", "__openat64_2"}) {
        SCOPED_TRACE(variant);
        Result r = Session().run({}, {std::string("open=") + variant, "close"});
        EXPECT_EQ(r.out, (Lines{"open ok", "close 0"}));
        EXPECT_EQ(r.log, (Lines{"open flags=2049", "close underruns=0"}));
    }
}

TEST(FakeDsp, LogsOneLinePerCall) {
    std::vector<const char*> drivers = {FAKEDSP_DRIVER};
    if (*FAKEDSP_ASAN_DRIVER) drivers.push_back(FAKEDSP_ASAN_DRIVER);
    for (const char* driver : drivers) {
        SCOPED_TRACE(driver);
        Result r = Session().run(
            {"FAKEDSP_FAIL=SPEED@2:EINVAL"},
            {"open", "setfmt=8", "setfmt=8", "stereo=0", "speed=16540", "speed=1", "blksize",
             "ospace", "write=100", "poll=-1", "post", "sync", "reset", "close"},
            driver);
        EXPECT_EQ(r.log,
                  (Lines{"open flags=2049", "ioctl SETFMT in=8 out=8", "ioctl SETFMT in=8 out=8",
                         "ioctl STEREO in=0 out=0", "ioctl SPEED in=16540 out=16540",
                         "ioctl SPEED in=1 error=EINVAL", "ioctl GETBLKSIZE out=4096",
                         "ioctl GETOSPACE fragments=4 fragstotal=4 fragsize=4096 bytes=16384",
                         "write len=100 accepted=100", "poll events=4 timeout=-1 revents=4",
                         "ioctl POST", "ioctl SYNC", "ioctl RESET", "close underruns=0"}));
    }
}

struct Case {
    Lines env;
    Lines steps;
    Lines out;
};

TEST(FakeDsp, AnswersControlsAsConfigured) {
    const Case cases[] = {
        {{},
         {"setfmt=8", "stereo=0", "speed=16540"},
         {"setfmt 0 8", "stereo 0 0", "speed 0 16540"}},
        {{"FAKEDSP_ANSWER_SETFMT=16"}, {"setfmt=8", "setfmt=8"}, {"setfmt 0 16", "setfmt 0 16"}},
        {{"FAKEDSP_ANSWER_SETFMT_1=16"}, {"setfmt=8", "setfmt=8"}, {"setfmt 0 16", "setfmt 0 8"}},
        {{"FAKEDSP_ANSWER_SETFMT_1=16"},
         {"setfmt=8", "close", "open", "setfmt=8"},
         {"setfmt 0 16", "close 0", "open ok", "setfmt 0 16"}},
        {{"FAKEDSP_ANSWER_STEREO=1"}, {"stereo=0"}, {"stereo 0 1"}},
        {{"FAKEDSP_ANSWER_SPEED=16537"},
         {"speed=16540", "speed=8000"},
         {"speed 0 16537", "speed 0 16537"}},
        {{"FAKEDSP_ANSWER_SPEED=16540:16537"},
         {"speed=16540", "speed=8000"},
         {"speed 0 16537", "speed 0 8000"}},
        {{"FAKEDSP_ANSWER_SPEED=16540:16537,11025:11000,8000"},
         {"speed=11025", "speed=16540", "speed=22050"},
         {"speed 0 11000", "speed 0 16537", "speed 0 8000"}},
        {{"FAKEDSP_ANSWER_SPEED=7", "FAKEDSP_ANSWER_SPEED_2=9"},
         {"speed=1", "speed=2", "speed=3"},
         {"speed 0 7", "speed 0 9", "speed 0 7"}},
        {{"FAKEDSP_ANSWER_SPEED=fast"}, {"speed=8000"}, {"speed 0 8000"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.env));
        EXPECT_EQ(Session().run(c.env, Lines{"open"} + c.steps).out, Lines{"open ok"} + c.out);
    }
}

TEST(FakeDsp, FailsCallsAsConfigured) {
    const Case cases[] = {
        {{"FAKEDSP_FAIL=open:ENODEV"}, {"open"}, {"open -1 ENODEV"}},
        {{"FAKEDSP_FAIL=open"}, {"open"}, {"open -1 EIO"}},
        {{"FAKEDSP_FAIL=open@2:EBUSY"},
         {"open", "close", "open"},
         {"open ok", "close 0", "open -1 EBUSY"}},
        {{"FAKEDSP_FAIL=SETFMT"}, {"open", "setfmt=8"}, {"open ok", "setfmt -1 EIO"}},
        {{"FAKEDSP_FAIL=SETFMT@2:EINVAL"},
         {"open", "setfmt=8", "setfmt=8", "setfmt=8"},
         {"open ok", "setfmt 0 8", "setfmt -1 EINVAL", "setfmt 0 8"}},
        {{"FAKEDSP_FAIL=STEREO:EINVAL"}, {"open", "stereo=0"}, {"open ok", "stereo -1 EINVAL"}},
        {{"FAKEDSP_FAIL=SPEED"},
         {"open", "setfmt=8", "speed=8000"},
         {"open ok", "setfmt 0 8", "speed -1 EIO"}},
        {{"FAKEDSP_FAIL=GETOSPACE"}, {"open", "ospace"}, {"open ok", "ospace -1 EIO"}},
        {{"FAKEDSP_FAIL=GETBLKSIZE"}, {"open", "blksize"}, {"open ok", "blksize -1 EIO"}},
        {{"FAKEDSP_FAIL=SYNC,POST,RESET:ENXIO"},
         {"open", "sync", "post", "reset"},
         {"open ok", "sync -1 EIO", "post -1 EIO", "reset -1 ENXIO"}},
        {{"FAKEDSP_FAIL=write:EPIPE"}, {"open", "write=10"}, {"open ok", "write -1 EPIPE"}},
        {{"FAKEDSP_FAIL=poll:EINTR"}, {"open", "poll=0"}, {"open ok", "poll -1 EINTR"}},
        // A failed close still releases the descriptor.
        {{"FAKEDSP_FAIL=close"},
         {"open", "close", "close"},
         {"open ok", "close -1 EIO", "close -1 EBADF"}},
        {{"FAKEDSP_FAIL=speed:ENODEV"}, {"open", "speed=1"}, {"open ok", "speed -1 ENODEV"}},
        {{"FAKEDSP_FAIL=nonsense"}, {"open", "speed=1"}, {"open ok", "speed 0 1"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.env));
        EXPECT_EQ(Session().run(c.env, c.steps).out, c.out);
    }
}

TEST(FakeDsp, WritesAcceptWhatFitsAndCaptureIt) {
    struct WriteCase {
        Lines env;
        Lines steps;
        Lines out;
        size_t captured;
    };
    const WriteCase cases[] = {
        {{}, {"write=10000", "write=0"}, {"write 10000", "write 0"}, 10000},
        {{"FAKEDSP_BUFFER=1024", "FAKEDSP_FRAGMENT=256"}, {"write=5000"}, {"write 1024"}, 1024},
        {{"FAKEDSP_PARTIAL=100"},
         {"writeall=1000"},
         {"writeall 1000 writes=10 eagain=0 polls=9"},
         1000},
        {{"FAKEDSP_PARTIAL=300", "FAKEDSP_EAGAIN_EVERY=2"},
         {"writeall=1000"},
         {"writeall 1000 writes=7 eagain=3 polls=6"},
         1000},
        {{"FAKEDSP_EAGAIN_EVERY=1"}, {"write=10"}, {"write -1 EAGAIN"}, 0},
    };
    for (const WriteCase& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.env));
        Result r = Session().run(c.env, Lines{"open"} + c.steps);
        EXPECT_EQ(r.out, Lines{"open ok"} + c.out);
        EXPECT_EQ(r.capture, pattern(c.captured));
    }
}

TEST(FakeDsp, ReportsOutputSpace) {
    const Case cases[] = {
        {{},
         {"blksize", "ospace"},
         {"blksize 0 4096", "ospace fragments=4 fragstotal=4 fragsize=4096 bytes=16384"}},
        {{"FAKEDSP_FRAGMENT=1024", "FAKEDSP_BUFFER=8192"},
         {"blksize", "ospace"},
         {"blksize 0 1024", "ospace fragments=8 fragstotal=8 fragsize=1024 bytes=8192"}},
        {{"FAKEDSP_FRAGMENT=1000"},
         {"ospace"},
         {"ospace fragments=4 fragstotal=4 fragsize=1000 bytes=4000"}},
        {{"FAKEDSP_BUFFER=10000"},
         {"ospace"},
         {"ospace fragments=2 fragstotal=2 fragsize=4096 bytes=10000"}},
        {{"FAKEDSP_BUFFER=100"},
         {"ospace"},
         {"ospace fragments=4 fragstotal=4 fragsize=4096 bytes=16384"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.env));
        EXPECT_EQ(Session().run(c.env, Lines{"open"} + c.steps).out, Lines{"open ok"} + c.out);
    }
}

// At 1000 bytes a second, queued audio outlasts the gaps between steps.
const Lines kSlowDevice = {"FAKEDSP_REALTIME=1", "FAKEDSP_BUFFER=1024", "FAKEDSP_FRAGMENT=256"};

TEST(FakeDsp, RealtimeSpaceFollowsQueuedAudio) {
    struct SpaceCase {
        Lines steps;
        long min_bytes;
        long max_bytes;
    };
    // Bounds that hold however slowly the steps run, except where noted.
    const SpaceCase cases[] = {
        {{"speed=1000", "write=3000"}, 8192 - 3000, 8191},
        {{"speed=1000", "write=3000", "post"}, 8192 - 3000, 8191},
        {{"speed=1000", "write=3000", "reset"}, 8192, 8192},
        // 16000 bytes a second: 200 ms of audio, played out before the sleep ends.
        {{"setfmt=16", "stereo=1", "speed=4000", "write=3200", "sleep=300"}, 8192, 8192},
        // 4000 bytes a second: a second of audio, still playing.
        {{"setfmt=8", "stereo=0", "speed=4000", "write=4000", "sleep=250"}, 4192, 8191},
    };
    for (const SpaceCase& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.steps));
        Lines steps = Lines{"open"} + c.steps + Lines{"ospace"};
        Result r = Session().run(
            {"FAKEDSP_REALTIME=1", "FAKEDSP_BUFFER=8192", "FAKEDSP_FRAGMENT=1024"}, steps);
        ASSERT_FALSE(r.out.empty());
        long bytes = field(r.out.back(), "bytes");
        EXPECT_GE(bytes, c.min_bytes);
        EXPECT_LE(bytes, c.max_bytes);
        EXPECT_EQ(field(r.out.back(), "fragments"), bytes / 1024);
    }
}

// At 100 bytes a second a byte plays for 10 ms, so that a busy machine does
// not free one between the two writes; a fragment of 16 bytes frees in 160 ms.
TEST(FakeDsp, FullBufferRefusesWritesUntilPollSeesRoom) {
    Result r = Session().run({"FAKEDSP_REALTIME=1", "FAKEDSP_BUFFER=1024", "FAKEDSP_FRAGMENT=16"},
                             {"open", "speed=100", "write=1024", "write=1", "poll=0", "poll=20", "poll=-1",
                              "write=16"});
    EXPECT_EQ(r.out,
              (Lines{"open ok", "speed 0 100", "write 1024", "write -1 EAGAIN", "poll 0 revents=0",
                     "poll 0 revents=0", "poll 1 revents=4", "write 16"}));
    EXPECT_EQ(r.capture, pattern(1040));
}

TEST(FakeDsp, BlockingWriteWaitsForRoom) {
    Result r = Session().run(kSlowDevice, {"open-block", "speed=1000", "write=1024", "write=100"});
    EXPECT_EQ(r.out, (Lines{"open ok", "speed 0 1000", "write 1024", "write 100"}));
}

TEST(FakeDsp, CompletionLoopDeliversEveryByte) {
    Result r = Session().run(kSlowDevice, {"open", "speed=44100", "writeall=5000"});
    ASSERT_EQ(r.out.size(), 3u);
    EXPECT_GT(field(r.out[2], "writes"), 1);
    EXPECT_EQ(r.capture, pattern(5000));
}

TEST(FakeDsp, SyncWaitsUntilQueuedAudioHasPlayed) {
    struct SyncCase {
        Lines setup;
        int bytes;
        long min_ms;
    };
    const SyncCase cases[] = {
        {{"speed=8000"}, 2000, 250},
        {{"speed=4000"}, 400, 100},
        {{"setfmt=16", "stereo=1", "speed=8000"}, 8000, 250},
    };
    for (const SyncCase& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.setup));
        Lines steps =
            Lines{"open"} + c.setup + Lines{"write=" + std::to_string(c.bytes), "sync", "ospace"};
        Result r = Session().run({"FAKEDSP_REALTIME=1"}, steps);
        ASSERT_EQ(r.out.size(), steps.size());
        EXPECT_GE(field(r.out[steps.size() - 2], "since_write_ms"), c.min_ms);
        EXPECT_EQ(field(r.out.back(), "bytes"), 16384);
    }
}

TEST(FakeDsp, CountsUnderrunsOnlyWhenPlaybackRanDry) {
    struct UnderrunCase {
        Lines env;
        Lines steps;
        int underruns;
    };
    const Lines realtime = {"FAKEDSP_REALTIME=1"};
    const UnderrunCase cases[] = {
        {realtime, {"write=100"}, 0},
        {realtime, {"write=100", "sleep=300", "write=100"}, 1},
        {realtime, {"write=500", "write=100"}, 0},
        {realtime, {"write=50", "sleep=150", "write=50", "sleep=150", "write=50"}, 2},
        {realtime, {"write=100", "reset", "write=100"}, 0},
        {realtime, {"write=100", "sync", "write=100"}, 0},
        {realtime, {"write=100", "sleep=300", "write=0"}, 0},
        {{}, {"write=100", "sleep=50", "write=100"}, 0},
    };
    for (const UnderrunCase& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.steps));
        Result r = Session().run(c.env, Lines{"open", "speed=1000"} + c.steps + Lines{"close"});
        ASSERT_FALSE(r.log.empty());
        EXPECT_EQ(r.log.back(), "close underruns=" + std::to_string(c.underruns));
        EXPECT_EQ(count_prefix(r.log, "underrun count="), c.underruns);
    }
}

TEST(FakeDsp, DeviceCanBeReopenedButNotOpenedTwice) {
    Result r = Session().run({}, {"open", "speed=8000", "write=10", "close", "open", "open",
                                  "speed=16000", "write=10", "close", "close"});
    EXPECT_EQ(r.out,
              (Lines{"open ok", "speed 0 8000", "write 10", "close 0", "open ok", "open -1 EBUSY",
                     "speed 0 16000", "write 10", "close 0", "close -1 EBADF"}));
    EXPECT_EQ(count_prefix(r.log, "open flags=2049"), 3);
    EXPECT_EQ(r.capture, pattern(20));
}

TEST(FakeDsp, OtherFilesPassThrough) {
    for (bool device_open : {false, true}) {
        SCOPED_TRACE(device_open);
        Session s;
        Lines steps = {"file=" + s.path("plain.txt")};
        if (device_open) steps = {"open", steps[0], "write=10", "close"};
        Result r = s.run({}, steps);
        EXPECT_EQ(count_prefix(r.out, "file wrote=6 poll=1 ioctl=ENOTTY close=0"), 1);
        EXPECT_EQ(read_file(s.path("plain.txt")), "plain\n");
        EXPECT_EQ(r.log.size(), device_open ? 3u : 0u);
        EXPECT_EQ(r.capture, pattern(device_open ? 10 : 0));
    }
}

}  // namespace
