#include "Adpcm.h"
#include "AdpcmParallel.h"
#include "SampleDecoder.h"
#include "TestFiles.h"

#include <gtest/gtest.h>
#include <hwy/targets.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;

// Decoding in pieces of any size, on either side of the switch to the
// parallel decoder, carries the state across the cuts, and the byte-wise
// loop agrees with the one-code step.
TEST(Adpcm, PiecesAndSingleCodesMatchOneCall)
{
    const std::string codes = randomBytes(5 * SampleDecoder::parallelFromBytes, 7);
    const Bytes stored(codes.begin(), codes.end());
    Bytes whole(2 * stored.size());
    Adpcm first;
    SampleDecoder::decodeAdpcm(first, stored.data(), stored.size(), whole.data());

    for (std::size_t piece : {std::size_t{1}, std::size_t{3}, std::size_t{64}, SampleDecoder::parallelFromBytes - 1,
                              SampleDecoder::parallelFromBytes, 2 * SampleDecoder::parallelFromBytes + 5}) {
        Adpcm decoder;
        Bytes pieces(whole.size());
        for (std::size_t at = 0; at < stored.size(); at += piece) {
            const std::size_t count = std::min(piece, stored.size() - at);
            SampleDecoder::decodeAdpcm(decoder, stored.data() + at, count, pieces.data() + 2 * at);
        }
        EXPECT_EQ(pieces, whole) << "pieces of " << piece;
    }

    Adpcm decoder;
    Bytes single;
    for (unsigned char byte : stored) {
        single.push_back(decoder.decode(byte & 15));
        single.push_back(decoder.decode(byte >> 4));
    }
    EXPECT_EQ(single, whole);
}

// Runs of codes that drive the decoder everywhere: uniform codes, small
// codes that hold the step index at 0, and rising or falling large codes that
// pin it at 48 and hold the sample at 4095 or 0.
Bytes mixedCodes(std::size_t count, unsigned seed)
{
    std::mt19937 random(seed);
    const auto uniform = [&] { return random() % 16; };
    const auto small = [&] { return random() % 4 | random() % 2 * 8; };
    const auto rising = [&] { return 4 + random() % 4; };
    const auto falling = [&] { return 12 + random() % 4; };
    Bytes bytes(count);
    unsigned kind = 0;
    for (std::size_t i = 0; i < count; ++i) {
        if (random() % 48 == 0)
            kind = random() % 4;
        const auto code = [&] { return kind == 0 ? uniform() : kind == 1 ? small() : kind == 2 ? rising() : falling(); };
        bytes[i] = static_cast<unsigned char>(code() | code() << 4);
    }
    return bytes;
}

struct Decoded {
    Bytes out;
    int sample, stepIndex;
    bool operator==(const Decoded& other) const
    {
        return out == other.out && sample == other.sample && stepIndex == other.stepIndex;
    }
};

// Decodes in pieces of the given sizes, the last piece taking the rest.
template <class Decode>
Decoded decodeInPieces(Adpcm decoder, const Bytes& stored, const std::vector<std::size_t>& pieces, Decode decode)
{
    Bytes out(2 * stored.size());
    std::size_t at = 0;
    for (std::size_t piece : pieces) {
        piece = std::min(piece, stored.size() - at);
        decode(decoder, stored.data() + at, piece, out.data() + 2 * at);
        at += piece;
    }
    decode(decoder, stored.data() + at, stored.size() - at, out.data() + 2 * at);
    return {out, decoder.sample(), decoder.stepIndex()};
}

void compareWithThePlainLoop(const Adpcm& start, const Bytes& stored, const std::vector<std::size_t>& pieces)
{
    const Decoded serial = decodeInPieces(start, stored, pieces, [](Adpcm& d, auto... args) {
        d.decodeBytesSerially(args...);
    });
    const Decoded parallel = decodeInPieces(start, stored, pieces, [](Adpcm& d, auto... args) {
        AdpcmParallel::decodeBytes(d, args...);
    });
    ASSERT_TRUE(parallel == serial) << stored.size() << " bytes from sample " << start.sample() << ", step index "
                                    << start.stepIndex() << ", " << hwy::TargetName(hwy::SupportedTargets() & -hwy::SupportedTargets());
}

// Every instruction set the machine runs, each forced in turn; every length
// up to 300 bytes, alone and after a run long enough for whole blocks; long
// runs in pieces from extreme states.
TEST(AdpcmParallel, MatchesThePlainLoop)
{
    for (const std::int64_t target : AdpcmParallel::targets()) {
        hwy::SetSupportedTargetsForTest(target);
        for (std::size_t length = 0; length <= 300; ++length) {
            for (std::size_t blocks : {0, 4096})
                ASSERT_NO_FATAL_FAILURE(compareWithThePlainLoop(Adpcm(), mixedCodes(blocks + length, length), {}));
        }
        const Adpcm starts[] = {{0, 0}, {4095, 48}, {0, 48}, {4095, 0}, {2047, 24}};
        std::mt19937 random(3);
        for (const Adpcm& start : starts) {
            std::vector<std::size_t> pieces(8);
            for (auto& piece : pieces)
                piece = random() % 20000;
            ASSERT_NO_FATAL_FAILURE(compareWithThePlainLoop(start, mixedCodes(150000, random()), pieces));
        }
    }
    hwy::SetSupportedTargetsForTest(0);
}

} // namespace
