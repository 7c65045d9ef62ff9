#include "Pcm.h"
#include "ProgramRunner.h"
#include "SnrMeter.h"
#include "TestFiles.h"

#include <gtest/gtest.h>
#include <sndfile.hh>

#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <csignal>
#include <cstdio>
#include <set>
#include <string>
#include <vector>

namespace {

using Samples = std::vector<std::int16_t>;

const double pi = std::acos(-1.0);

// A sine in signed 16-bit steps.
Samples sine(int count, double amplitude, double frequency, int rate)
{
    Samples samples(count);
    for (int i = 0; i < count; ++i)
        samples[i] = static_cast<std::int16_t>(std::lround(amplitude * std::sin(2 * pi * frequency * i / rate)));
    return samples;
}

// Writes a WAV file of `channels` interleaved from the given channel samples.
void writeWav(const std::string& path, int subtype, int rate, const std::vector<Samples>& channels)
{
    SndfileHandle file(path.c_str(), SFM_WRITE, SF_FORMAT_WAV | subtype, static_cast<int>(channels.size()), rate);
    ASSERT_EQ(file.error(), 0) << file.strError();
    std::vector<double> frames;
    for (std::size_t i = 0; i < channels[0].size(); ++i)
        for (const Samples& channel : channels)
            frames.push_back(channel[i] / 32768.0);
    file.writef(frames.data(), static_cast<sf_count_t>(channels[0].size()));
}

// The unsigned 8-bit samples a player gets from a sample file.
std::string decode(const std::string& bytes, bool adpcm)
{
    const Pcm pcm(adpcm ? 1 : 0, reinterpret_cast<const unsigned char*>(bytes.data()), static_cast<int>(bytes.size()));
    return std::string(reinterpret_cast<const char*>(pcm.getU8Data()), pcm.getU8Size());
}

std::string snrText(const Samples& reference, const std::string& played)
{
    SnrMeter meter;
    for (std::size_t i = 0; i < reference.size(); ++i)
        meter.add(reference[i], static_cast<unsigned char>(played[i]));
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", meter.decibels());
    return text;
}

class WbkencTest : public ::testing::Test {
protected:
    ProgramResult encode(std::vector<std::string> args, ProgramRun run = {})
    {
        run.args = std::move(args);
        run.workDir = dir.path();
        return runProgram(WBKENC, run);
    }

    TempDir dir;
};

// Each input is encoded, the output decoded as a player would, and the
// result compared with what the input holds: exactly for 8-bit input kept
// at its rate, else by the SNR that the summary reports (worked out here
// again) and a lower bound on it.
TEST_F(WbkencTest, EncodesWhatLibsndfileReads)
{
    const Samples tone = sine(8000, 12000, 440, 16540);
    const Samples other = sine(8000, 8000, 1000, 16540);
    Samples mixed(tone.size());
    for (std::size_t i = 0; i < tone.size(); ++i)
        mixed[i] = static_cast<std::int16_t>((tone[i] + other[i]) / 2);
    Samples tone8Bit(tone.size());
    for (std::size_t i = 0; i < tone.size(); ++i)
        tone8Bit[i] = static_cast<std::int16_t>(tone[i] / 256 * 256);
    const struct {
        const char* input;
        int subtype;
        int rate;
        std::vector<Samples> channels;
        std::vector<std::string> options;
        const char* output;
        Samples expected;  // at the output rate
        int expectedRate;
        double minSnr;
    } cases[] = {
        {"u8.wav", SF_FORMAT_PCM_U8, 16540, {tone8Bit}, {}, "u8.pc8", tone8Bit, 16540, 0},
        {"u8.wav", SF_FORMAT_PCM_U8, 16540, {tone8Bit}, {"-f"}, "u8.pcm", tone8Bit, 16540, 30},
        {"s16.wav", SF_FORMAT_PCM_16, 16540, {tone}, {}, "s16.PC8", tone, 16540, 35},
        {"s16.wav", SF_FORMAT_PCM_16, 16540, {tone}, {"-D"}, "nodither.pc8", tone, 16540, 38},
        {"s16.wav", SF_FORMAT_PCM_16, 16540, {tone}, {"-q", "1"}, "s16.PCM", tone, 16540, 30},
        {"float.wav", SF_FORMAT_FLOAT, 16540, {tone}, {"-q", "5"}, "float.pcm", tone, 16540, 30},
        {"stereo.wav", SF_FORMAT_PCM_24, 16540, {tone, other}, {}, "stereo.pcm", mixed, 16540, 30},
        {"44k.wav", SF_FORMAT_PCM_16, 44100, {sine(22050, 12000, 440, 44100)}, {"-r", "11025"}, "11k.pcm",
         sine(5513, 12000, 440, 11025), 11025, 25},
        {"8k.wav", SF_FORMAT_PCM_16, 8000, {sine(4000, 12000, 440, 8000)}, {"-r", "44100"}, "44k.pc8",
         sine(22050, 12000, 440, 44100), 44100, 30},
    };
    for (const auto& c : cases) {
        writeWav(dir / c.input, c.subtype, c.rate, c.channels);
        std::vector<std::string> args = c.options;
        args.push_back(c.input);
        args.push_back(c.output);
        const ProgramResult result = encode(args);
        const std::string name = c.output;
        const bool adpcm = name.back() == 'm' || name.back() == 'M';
        const std::string played = decode(readBytes(dir / c.output), adpcm);
        ASSERT_GE(played.size(), c.expected.size()) << c.output;

        const std::string count = std::to_string(c.expected.size());
        char duration[16];
        std::snprintf(duration, sizeof duration, "%.2f", static_cast<double>(c.expected.size()) / c.expectedRate);
        const std::string rate = std::to_string(c.expectedRate);
        EXPECT_EQ(result.out, "wrote " + name + ": " + count + " samples at " + rate + " Hz (" + duration + " s), " +
                                  (adpcm ? "ADPCM" : "signed 8-bit") + ", SNR " + snrText(c.expected, played) +
                                  " dB, 0 clipped\npack it with: wbkpack -r " + rate + " BANK.wbk " + name + "\n")
            << c.output;
        EXPECT_EQ(result.err, "") << c.output;
        EXPECT_EQ(result.status, 0) << c.output;
        EXPECT_EQ(played.size(), c.expected.size() + (adpcm ? c.expected.size() % 2 : 0)) << c.output;
        if (c.minSnr == 0) {
            for (std::size_t i = 0; i < c.expected.size(); ++i)
                ASSERT_EQ(static_cast<unsigned char>(played[i]), c.expected[i] / 256 + 128) << c.output << " at " << i;
        } else {
            EXPECT_GE(std::stod(snrText(c.expected, played)), c.minSnr) << c.output;
        }
    }
}

TEST_F(WbkencTest, CountsClippedSamples)
{
    SndfileHandle file((dir / "loud.wav").c_str(), SFM_WRITE, SF_FORMAT_WAV | SF_FORMAT_FLOAT, 1, 8000);
    const float samples[] = {0.0f, 1.5f, -2.0f, 0.5f, 1.0f};
    file.write(samples, 5);
    file = SndfileHandle();
    for (const char* output : {"loud.pcm", "loud.pc8"}) {
        const ProgramResult result = encode({"-D", "loud.wav", output});
        EXPECT_NE(result.out.find(", 3 clipped\n"), std::string::npos) << output << ": " << result.out;
    }
}

// Every refusal is one line, exit status 255, and leaves the directory as
// it was.
TEST_F(WbkencTest, RefusalsLeaveNothingBehind)
{
    writeWav(dir / "in.wav", SF_FORMAT_PCM_16, 16540, {sine(100, 1000, 440, 16540)});
    writeWav(dir / "fast.wav", SF_FORMAT_PCM_16, 96000, {sine(100, 1000, 440, 96000)});
    writeWav(dir / "empty.wav", SF_FORMAT_PCM_16, 16540, {Samples{}});
    writeBytes(dir / "text.wav", "not audio at all");
    writeBytes(dir / "old.pcm", "old");
    ASSERT_EQ(mkdir((dir / "dir.pcm").c_str(), 0755), 0);
    const std::set<std::string> before = filesIn(dir.path());
    const struct {
        std::vector<std::string> args;
        std::string err;
    } cases[] = {
        {{}, "wbkenc: expected INPUT and OUTPUT (see wbkenc --help)\n"},
        {{"in.wav"}, "wbkenc: expected INPUT and OUTPUT (see wbkenc --help)\n"},
        {{"in.wav", "a.pcm", "b.pcm"}, "wbkenc: expected INPUT and OUTPUT (see wbkenc --help)\n"},
        {{"-x", "in.wav", "a.pcm"}, "wbkenc: unknown option -x (see wbkenc --help)\n"},
        {{"--loud", "in.wav", "a.pcm"}, "wbkenc: unknown option --loud (see wbkenc --help)\n"},
        {{"--version=2", "in.wav", "a.pcm"}, "wbkenc: option --version takes no value (see wbkenc --help)\n"},
        {{"in.wav", "a.pcm", "-r"}, "wbkenc: option -r needs a value (see wbkenc --help)\n"},
        {{"-r", "0", "in.wav", "a.pcm"}, "wbkenc: -r takes a rate from 1 to 65535, not '0'\n"},
        {{"-r", "65536", "in.wav", "a.pcm"}, "wbkenc: -r takes a rate from 1 to 65535, not '65536'\n"},
        {{"-r", "8k", "in.wav", "a.pcm"}, "wbkenc: -r takes a rate from 1 to 65535, not '8k'\n"},
        {{"-q", "6", "in.wav", "a.pcm"}, "wbkenc: -q takes a quality from 1 to 5, not '6'\n"},
        {{"-j", "0", "in.wav", "a.pcm"}, "wbkenc: -j takes a number of threads from 1 to 1024, not '0'\n"},
        {{"in.wav", "a.wav"}, "wbkenc: OUTPUT must end in .pc8 (signed 8-bit) or .pcm (ADPCM): a.wav\n"},
        {{"in.wav", "a.Pcm"}, "wbkenc: OUTPUT must end in .pc8 (signed 8-bit) or .pcm (ADPCM): a.Pcm\n"},
        {{"in.wav", "pcm"}, "wbkenc: OUTPUT must end in .pc8 (signed 8-bit) or .pcm (ADPCM): pcm\n"},
        {{"in.wav", "--", "-f"}, "wbkenc: OUTPUT must end in .pc8 (signed 8-bit) or .pcm (ADPCM): -f\n"},
        {{"in.wav", "old.pcm"}, "wbkenc: old.pcm exists (use -f to replace it)\n"},
        {{"-f", "in.wav", "dir.pcm"}, "wbkenc: dir.pcm is a directory\n"},
        {{"missing.wav", "a.pcm"}, "wbkenc: can not read missing.wav: System error : No such file or directory.\n"},
        {{"text.wav", "a.pcm"}, "wbkenc: can not read text.wav: Format not recognised.\n"},
        {{"empty.wav", "a.pcm"}, "wbkenc: empty.wav holds no samples\n"},
        {{"fast.wav", "a.pc8"}, "wbkenc: fast.wav is at 96000 Hz, outside 1..65535: choose a rate with -r\n"},
        {{"in.wav", "nodir/a.pcm"}, "wbkenc: can not create nodir/a.pcm: No such file or directory\n"},
        {{"-f", "in.wav", "."}, "wbkenc: OUTPUT must end in .pc8 (signed 8-bit) or .pcm (ADPCM): .\n"},
    };
    for (const auto& c : cases) {
        const ProgramResult result = encode(c.args);
        const std::string label = c.args.empty() ? "no operands" : c.args.back();
        EXPECT_EQ(result.err, c.err) << label;
        EXPECT_EQ(result.out, "") << label;
        EXPECT_EQ(result.status, 255) << label;
        EXPECT_EQ(filesIn(dir.path()), before) << label;
    }
    EXPECT_EQ(readBytes(dir / "old.pcm"), "old");
}

// The search on several threads gives the bytes and the summary of one,
// over several of its segments (65536 samples).
TEST_F(WbkencTest, ThreadsGiveTheSameBytes)
{
    Samples sweep(150001);
    for (std::size_t i = 0; i < sweep.size(); ++i)
        sweep[i] = static_cast<std::int16_t>(std::lround(9000 * std::sin(i * (0.01 + i * 2e-7)) + (i * 7919 % 601) - 300));
    writeWav(dir / "in.wav", SF_FORMAT_PCM_16, 16540, {sweep});
    const ProgramResult one = encode({"-q", "2", "-j", "1", "in.wav", "one.pcm"});
    const ProgramResult three = encode({"-q", "2", "-j", "3", "in.wav", "three.pcm"});
    EXPECT_EQ(three.status, 0) << three.err;
    EXPECT_EQ(readBytes(dir / "three.pcm"), readBytes(dir / "one.pcm"));
    const auto summary = [](std::string out, const std::string& name) {
        for (std::size_t at; (at = out.find(name)) != std::string::npos;)
            out.replace(at, name.size(), "OUT");
        return out;
    };
    EXPECT_EQ(summary(three.out, "three.pcm"), summary(one.out, "one.pcm"));
}

// Without -f an existing OUTPUT is refused (see above).
TEST_F(WbkencTest, ReplacesWithF)
{
    writeWav(dir / "in.wav", SF_FORMAT_PCM_16, 8000, {sine(101, 1000, 440, 8000)});
    writeBytes(dir / "out.pcm", "old");
    const ProgramResult result = encode({"-f", "in.wav", "out.pcm"});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(readBytes(dir / "out.pcm").size(), 51u);
    EXPECT_EQ(fileMode(dir / "out.pcm"), 0644u);

    // A symbolic link is replaced itself; what it pointed to stays.
    ASSERT_EQ(symlink("out.pcm", (dir / "link.pcm").c_str()), 0);
    EXPECT_EQ(encode({"-f", "in.wav", "link.pcm"}).status, 0);
    EXPECT_EQ(readBytes(dir / "link.pcm").size(), 51u);
    EXPECT_EQ(readBytes(dir / "out.pcm").size(), 51u);
    struct stat info;
    ASSERT_EQ(lstat((dir / "link.pcm").c_str(), &info), 0);
    EXPECT_TRUE(S_ISREG(info.st_mode));
}

// A failing write (here at the file size limit), an interruption or a kill
// leaves no OUTPUT; the first two leave nothing at all.
TEST_F(WbkencTest, FailedOrStoppedRunLeavesNoOutput)
{
    writeWav(dir / "long.wav", SF_FORMAT_PCM_16, 44100, {sine(44100 * 30, 12000, 440, 44100)});
    const std::set<std::string> before = filesIn(dir.path());
    ProgramRun limited;
    limited.fileSizeLimit = 1000;
    const ProgramResult full = encode({"-q", "1", "long.wav", "out.pc8"}, limited);
    EXPECT_EQ(full.err, "wbkenc: can not write out.pc8: File too large\n");
    EXPECT_EQ(full.status, 255);
    EXPECT_EQ(filesIn(dir.path()), before);

    for (int signal : {SIGINT, SIGTERM, SIGKILL}) {
        ProgramRun run;
        run.stopAfterMs = 300;
        run.stopSignal = signal;
        const ProgramResult result = encode({"-q", "5", "long.wav", "out.pcm"}, run);
        EXPECT_EQ(result.status, 128 + signal);
        EXPECT_FALSE(fileExists(dir / "out.pcm")) << "signal " << signal;
        if (signal != SIGKILL) {
            EXPECT_EQ(filesIn(dir.path()), before) << "signal " << signal;
        }
    }

    // A hangup that was ignored when wbkenc started (nohup) stays ignored.
    ProgramRun run;
    run.workDir = dir.path();
    run.stopAfterMs = 200;
    run.stopSignal = SIGHUP;
    EXPECT_EQ(runInShell("trap '' HUP; exec \"$0\" -q 3 long.wav out.pcm", WBKENC, run).status, 0);
    EXPECT_TRUE(fileExists(dir / "out.pcm"));
}

// The suggested wbkpack command can be pasted into a shell as it is.
TEST_F(WbkencTest, SuggestsACommandToPaste)
{
    writeWav(dir / "in.wav", SF_FORMAT_PCM_16, 8000, {sine(10, 1000, 440, 8000)});
    const struct {
        const char* output;
        const char* word;
    } cases[] = {
        {"plain-name_1.pcm", "plain-name_1.pcm"},
        {"my voice.pcm", "'my voice.pcm'"},
        {"it's $HOME.pc8", "'it'\\''s $HOME.pc8'"},
    };
    for (const auto& c : cases) {
        const ProgramResult result = encode({"in.wav", c.output});
        EXPECT_NE(result.out.find(std::string("\npack it with: wbkpack -r 8000 BANK.wbk ") + c.word + "\n"),
                  std::string::npos)
            << result.out;
    }
}

// A summary lost on a full disk fails the run; the output it describes is
// complete and stays.
TEST_F(WbkencTest, SummaryThatCannotBeWrittenFailsTheRun)
{
    writeWav(dir / "in.wav", SF_FORMAT_PCM_16, 8000, {sine(101, 1000, 440, 8000)});
    ProgramRun run;
    run.workDir = dir.path();
    const ProgramResult result = runInShell("exec \"$0\" in.wav out.pcm >/dev/full", WBKENC, run);
    EXPECT_EQ(result.err, "wbkenc: can not write the summary to standard output; out.pcm is complete\n");
    EXPECT_EQ(result.status, 255);
    EXPECT_EQ(readBytes(dir / "out.pcm").size(), 51u);
}

TEST_F(WbkencTest, HelpAndVersion)
{
    const ProgramResult help = encode({"--help"});
    EXPECT_EQ(help.out.rfind("Usage: wbkenc [-r RATE] [-q QUALITY] [-j N] [-D] [-f] INPUT OUTPUT\n", 0), 0u);
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(encode({"-h"}).out, help.out);
    const ProgramResult version = encode({"--version"});
    EXPECT_EQ(version.out, "wbkenc " WBK_VERSION "\n");
    EXPECT_EQ(version.status, 0);
}

} // namespace
