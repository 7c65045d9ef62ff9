#include "Adpcm.h"
#include "AdpcmParallel.h"
#include "KovaInputStream.h"
#include "Pcm.h"
#include "TestFiles.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <optional>
#include <random>
#include <string>
#include <vector>

// Reaches the decoder state and the one-code step of a Pcm.
struct PcmDecoderProbe {
    static int now(const Pcm& pcm) { return pcm.now; }
    static int adp(const Pcm& pcm) { return pcm.adp; }
    static int stepSize(const Pcm& pcm, int index) { return pcm.adp_table[index]; }
    static void calcSub(Pcm& pcm, unsigned char code) { pcm.calcSub(code); }
};

namespace {

using Probe = PcmDecoderProbe;
using Samples = std::vector<int>;
using ::testing::ExitedWithCode;
using namespace std::string_literals;

Pcm fromMemory(unsigned char type, const std::string& stored)
{
    return Pcm(type, reinterpret_cast<const unsigned char*>(stored.data()), static_cast<int>(stored.size()));
}

Samples decoded(const Pcm& pcm)
{
    return Samples(pcm.getU8Data(), pcm.getU8Data() + pcm.getU8Size());
}

Samples operator+(Samples a, const Samples& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// A sample entry as a bank stores it: type, name, rate, size, data.
std::string entry(unsigned char type, const std::string& name, const std::string& rate, std::uint32_t size,
                  const std::string& data)
{
    std::string bytes(1, static_cast<char>(type));
    bytes += name + std::string(16 - name.size(), '\0') + rate;
    for (int shift = 0; shift < 32; shift += 8)
        bytes += static_cast<char>(size >> shift & 0xFF);
    return bytes + data;
}

std::string entry(unsigned char type, const std::string& name, const std::string& data)
{
    return entry(type, name, "\x44\xac", static_cast<std::uint32_t>(data.size()), data);
}

TEST(PcmDecoder, KnownVectors)
{
    struct Case {
        unsigned char type;
        std::string stored;
        Samples expected;
        std::optional<int> now, adp;
    } cases[] = {
        {1, "\x00\x77\x88"s, {128, 128, 130, 134, 133, 132}, 2127, 14},
        {3, "\x00\x7f\x80\xff\x01\x77\x88"s,
         {128, 128, 126, 130, 130, 130, 123, 108, 114, 116, 143, 201, 192, 185}, {}, {}},
        {1, "\x08", {127, 127}, 2047, 0},
        {1, "\x80", {128, 127}, 2047, 0},
        {1, std::string(16, '\0'), Samples(8, 128) + Samples(8, 129) + Samples(8, 130) + Samples(8, 131), 2111, 0},
        {1, std::string(12, '\x77'), Samples{129, 133, 142, 160, 200} + Samples(19, 255), 4095, 48},
        {3, std::string(12, '\xff'), Samples{126, 122, 113, 95, 55} + Samples(19, 0), 0, 48},
    };
    for (const auto& c : cases) {
        const Pcm pcm = fromMemory(c.type, c.stored);
        EXPECT_EQ(decoded(pcm), c.expected) << "type " << int(c.type) << ", " << c.stored.size() << " bytes";
        if (c.now) {
            EXPECT_EQ(Probe::now(pcm), *c.now);
        }
        if (c.adp) {
            EXPECT_EQ(Probe::adp(pcm), *c.adp);
        }
    }

    // Both decoders of the codec: each vector alone, and amid codes that go
    // up and down over three bytes, so that the lanes of the parallel
    // decoder start at different samples, and return to the start.
    using Decode = void (*)(Adpcm&, const unsigned char*, std::size_t, unsigned char*);
    const struct {
        const char* name;
        Decode decode;
    } paths[] = {
        {"plain loop", [](Adpcm& d, const unsigned char* in, std::size_t n, unsigned char* out) { d.decodeBytesSerially(in, n, out); }},
        {"parallel", AdpcmParallel::decodeBytes},
    };
    std::string around;
    for (int i = 0; i < 1000; ++i)
        around += "\x00\x80\x88"s;  // 2051, 2051, 2047
    for (const auto& path : paths) {
        for (const auto& c : cases) {
            for (const std::string& before : {""s, around}) {
                const std::string stored = before + c.stored + (before.empty() ? "" : around + around);
                Adpcm decoder;
                std::vector<unsigned char> out(2 * stored.size());
                path.decode(decoder, reinterpret_cast<const unsigned char*>(stored.data()), stored.size(), out.data());
                const auto vector = out.begin() + 2 * before.size();
                EXPECT_EQ(Samples(vector, vector + c.expected.size()), c.expected)
                    << path.name << ", " << c.stored.size() << " bytes after " << before.size();
                if (before.empty() && c.now) {
                    EXPECT_EQ(decoder.sample(), *c.now) << path.name;
                    EXPECT_EQ(decoder.stepIndex(), *c.adp) << path.name;
                }
            }
        }
    }
}

TEST(PcmDecoder, CodeByCodeState)
{
    struct Step {
        unsigned char code;
        int stepSize, now, adp;
    };
    const std::vector<Step> sequences[] = {
        {{0, 16, 2049, 0}, {0, 16, 2051, 0}, {7, 16, 2081, 8}, {7, 34, 2144, 16}, {8, 73, 2135, 15}, {8, 66, 2127, 14}},
        {{8, 16, 2045, 0}, {0, 16, 2047, 0}},
        {{0, 16, 2049, 0}, {8, 16, 2047, 0}},
    };
    for (const auto& sequence : sequences) {
        Pcm pcm = fromMemory(1, "");
        for (const Step& step : sequence) {
            EXPECT_EQ(Probe::stepSize(pcm, Probe::adp(pcm)), step.stepSize);
            Probe::calcSub(pcm, step.code);
            EXPECT_EQ(Probe::now(pcm), step.now) << "code " << int(step.code);
            EXPECT_EQ(Probe::adp(pcm), step.adp) << "code " << int(step.code);
        }
    }
}

TEST(PcmDecoder, StepSizesAreTheDialogicTable)
{
    const int dialogicStepSizes[49] = {
        16,  17,  19,  21,  23,  25,  28,  31,  34,  37,  41,  45,  50,  55,   60,   66,   73,
        80,  88,  97,  107, 118, 130, 143, 157, 173, 190, 209, 230, 253, 279,  307,  337,
        371, 408, 449, 494, 544, 598, 658, 724, 796, 876, 963, 1060, 1166, 1282, 1411, 1552};
    const Pcm pcm = fromMemory(1, "");
    for (int i = 0; i < 49; ++i)
        EXPECT_EQ(Probe::stepSize(pcm, i), dialogicStepSizes[i]) << "index " << i;
}

// The decode loop works through tables derived per entry; stepping the
// decoder one code at a time must give the same samples and end state.
TEST(PcmDecoder, TableDrivenLoopMatchesOneCodeAtATime)
{
    std::mt19937 random(7);
    for (double smallCodeShare : {0.0, 0.8, 0.85, 0.9, 0.95}) {
        std::bernoulli_distribution small(smallCodeShare);
        std::string stored(4000, '\0');
        for (char& byte : stored) {
            const auto code = [&] { return small(random) ? random() % 4 | (random() % 2) * 8 : random() % 16; };
            byte = static_cast<char>(code() | code() << 4);
        }
        Pcm reference = fromMemory(1, "");
        Samples expected;
        for (unsigned char byte : stored) {
            for (unsigned char code : {byte & 0x0F, byte >> 4}) {
                Probe::calcSub(reference, code);
                expected.push_back(Probe::now(reference) >> 4);
            }
        }
        const Pcm pcm = fromMemory(1, stored);
        EXPECT_EQ(decoded(pcm), expected) << "small code share " << smallCodeShare;
        EXPECT_EQ(Probe::now(pcm), Probe::now(reference));
        EXPECT_EQ(Probe::adp(pcm), Probe::adp(reference));
    }
}

// A Dialogic encoder that follows the decoder through its one-code step.
std::string encode(const std::vector<int>& signal)
{
    Pcm decoder = fromMemory(1, "");
    std::string stored((signal.size() + 1) / 2, '\0');
    for (std::size_t i = 0; i < signal.size(); ++i) {
        int difference = signal[i] - Probe::now(decoder);
        const int step = Probe::stepSize(decoder, Probe::adp(decoder));
        unsigned char code = difference < 0 ? 8 : 0;
        difference = std::abs(difference);
        const struct {
            int bit, size;
        } parts[] = {{4, step}, {2, step / 2}, {1, step / 4}};
        for (const auto& part : parts) {
            if (difference >= part.size) {
                code |= part.bit;
                difference -= part.size;
            }
        }
        Probe::calcSub(decoder, code);
        stored[i / 2] = static_cast<char>(stored[i / 2] | code << (i % 2 * 4));
    }
    return stored;
}

TEST(PcmDecoder, EncodedSineDecodesCloseToTheSignal)
{
    const double pi = std::acos(-1.0);
    std::vector<int> sine(4000);
    for (std::size_t i = 0; i < sine.size(); ++i)
        sine[i] = 2048 + static_cast<int>(std::lround(1500 * std::sin(2 * pi * 440 * i / 16000.0)));
    const Samples output = decoded(fromMemory(1, encode(sine)));
    ASSERT_EQ(output.size(), sine.size());
    const std::size_t adapted = 12;  // the step size starts small and needs a few codes to grow
    for (std::size_t i = adapted; i < sine.size(); ++i)
        ASSERT_NEAR(output[i], sine[i] >> 4, 3) << "sample " << i;
}

TEST(PcmDecoder, EightBitTypesFlipTheSignBit)
{
    for (unsigned char type : {0, 2, 4, 255}) {
        const Pcm pcm = fromMemory(type, "\x00\x7f\x80\xff"s);
        EXPECT_EQ(decoded(pcm), (Samples{0x80, 0xff, 0x00, 0x7f})) << "type " << int(type);
    }
}

class PcmEntryTest : public ::testing::Test {
protected:
    std::string bank(const std::string& bytes) { return dir.write("bank.wbk", bytes); }

    TempDir dir;
};

TEST_F(PcmEntryTest, FieldsAndSizes)
{
    struct Case {
        std::string stored;
        std::string expectedName;
        int rate;
        std::uint32_t decodedSize;
    } cases[] = {
        {entry(1, "ABCDEFGHIJKLMNOP", "\x44\xac", 5, "12345"), "ABCDEFGHIJKLMNOP", 44100, 10},
        {entry(3, "abc", "\xff\xff", 2, "12"), "abc", 65535, 4},
        {entry(0, "x.pc8", "\x40\x9c", 3, "123"), "x.pc8", 40000, 3},
        {entry(255, "", "\x00\x00"s, 0, ""), "", 0, 0},
        {entry(1, "empty.pcm", "\x7c\x40", 0, ""), "empty.pcm", 16508, 0},
    };
    for (const auto& c : cases) {
        KovaInputStream in(bank(c.stored).c_str());
        const unsigned char type = static_cast<unsigned char>(in.get());
        const Pcm pcm(type, in);
        EXPECT_EQ(pcm.getType(), static_cast<char>(type));
        EXPECT_STREQ(pcm.getFileName(), c.expectedName.c_str());
        EXPECT_EQ(pcm.getPcmRate(), c.rate);
        EXPECT_EQ(pcm.getSize(), static_cast<int>(c.stored.size()) - 23);
        EXPECT_EQ(pcm.getU8Size(), c.decodedSize);
        EXPECT_EQ(in.getFileSize(), 1) << "only the type byte is left uncounted";
    }
}

TEST_F(PcmEntryTest, EntriesAreReadBackToBack)
{
    KovaInputStream in(bank(entry(1, "first", "\x00\x77\x88"s) + entry(0, "second", "\x00\x7f"s)).c_str());
    const Pcm first(static_cast<unsigned char>(in.get()), in);
    const Pcm second(static_cast<unsigned char>(in.get()), in);
    EXPECT_STREQ(first.getFileName(), "first");
    EXPECT_EQ(decoded(first), (Samples{128, 128, 130, 134, 133, 132}));
    EXPECT_STREQ(second.getFileName(), "second");
    EXPECT_EQ(decoded(second), (Samples{0x80, 0xff}));
    EXPECT_EQ(in.remaining(), 0);
}

TEST_F(PcmEntryTest, ShortOrOversizedEntriesEndTheProcess)
{
    const std::string whole = entry(1, "cut", "\x44\xac", 10, "0123456789");
    const std::string cases[] = {
        whole.substr(0, 10),                           // inside the name
        whole.substr(0, 18),                           // inside the rate
        whole.substr(0, 21),                           // inside the size
        whole.substr(0, 28),                           // inside the data
        entry(1, "big", "\x44\xac", 0x7fffffff, "x"),  // size beyond the file
        entry(0, "huge", "\x44\xac", 0x80000000, "x"), // size of 2^31
        entry(3, "max", "\x44\xac", 0xffffffff, "x"),  // largest size field
    };
    for (const auto& bytes : cases) {
        const std::string path = bank(bytes);
        EXPECT_EXIT(
            {
                KovaInputStream in(path.c_str());
                Pcm(static_cast<unsigned char>(in.get()), in);
            },
            ExitedWithCode(255), "^Unexpected end of file.\n$")
            << bytes.size() << " bytes";
    }
}

} // namespace
