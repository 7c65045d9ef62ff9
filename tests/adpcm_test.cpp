#include "Adpcm.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;

Bytes randomCodes(std::size_t count, unsigned seed)
{
    std::mt19937 random(seed);
    Bytes bytes(count);
    for (auto& byte : bytes)
        byte = static_cast<unsigned char>(random());
    return bytes;
}

// Decoding in pieces of any size carries the state across the cuts, and the
// byte-wise loop agrees with the one-code step.
TEST(Adpcm, PiecesAndSingleCodesMatchOneCall)
{
    const Bytes stored = randomCodes(1000, 7);
    Bytes whole(2 * stored.size());
    Adpcm().decodeBytes(stored.data(), stored.size(), whole.data());

    for (std::size_t piece : {1, 3, 64, 999}) {
        Adpcm decoder;
        Bytes pieces(whole.size());
        for (std::size_t at = 0; at < stored.size(); at += piece) {
            const std::size_t count = std::min(piece, stored.size() - at);
            decoder.decodeBytes(stored.data() + at, count, pieces.data() + 2 * at);
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

} // namespace
