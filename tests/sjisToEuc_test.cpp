#include "Scenario.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::string hex(const std::string& bytes)
{
    std::string text;
    char digits[4];
    for (unsigned char byte : bytes) {
        std::snprintf(digits, sizeof digits, "%02X ", byte);
        text += digits;
    }
    return text;
}

// Converts `sjis` from a heap buffer of exactly its length, so that reading
// past the end is caught by the address sanitizer.
std::string convert(const std::string& sjis)
{
    const auto input = std::make_unique<unsigned char[]>(sjis.size());
    std::memcpy(input.get(), sjis.data(), sjis.size());
    std::vector<unsigned char> output(2 * sjis.size());
    const int length = Scenario::convertSjis2Euc(input.get(), sjis.size(), output.data());
    return std::string(output.begin(), output.begin() + length);
}

TEST(SjisTest, ConvertsToEucJp)
{
    using namespace std::string_literals;
    struct Case {
        std::string sjis;
        std::string euc;
    } cases[] = {
        {"\x41", "\x41"},
        {"\xB1", "\x8E\xB1"},
        {"\x81\x40", "\xA1\xA1"},
        {"\x83\x41", "\xA5\xA2"},
        {"\x83\x80", "\xA5\xE0"},
        {"\x82\xA0", "\xA4\xA2"},
        {"\x88\x9F", "\xB0\xA1"},
        {"\xE0\x40", "\xDF\xA1"},
        {"\xEA\xA4", "\xF4\xA6"},
        {"\x9F\xFC", "\xDE\xFE"},
        {"\xF0\x9F", "\x00\xA1"s},
        {"\xF1\x40", "\x01\xA1"},
        {"\xA0", "\xA0"},
        {"\x80", "\x80"},
        {"\xFD", "\xFD"},
        {"\x82\xA0\x41\xB1", "\xA4\xA2\x41\x8E\xB1"},
        // Trail bytes are taken as they come, a zero byte included.
        {"\x82\x00"s, "\xA3\x61"},
        {"\x82\x0A", "\xA3\x6B"},
        {"\x82\xFF", "\xA4\x01"},
        {"A\0B"s, "A\0B"s},
        // A lone lead byte at the end converts as if followed by a zero.
        {"\x41\x82", "\x41\xA3\x61"},
        {"\xE0", "\xDF\x61"},
        {"", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(hex(convert(c.sjis)), hex(c.euc)) << "input " << hex(c.sjis);
}

TEST(SjisTest, WritesConvertedOrRaw)
{
    const std::string sjis = "\x82\xA0\xB1";
    struct Case {
        int size;
        int isOutputSjis;
        std::string written;
    } cases[] = {
        {3, 0, "\xA4\xA2\x8E\xB1"},
        {3, 1, sjis},
        {1, 0, "\xA3\x61"},
        {0, 0, ""},
        {0, 1, ""},
    };
    for (const auto& c : cases) {
        std::ostringstream out;
        std::ostream& returned = Scenario::writeSjis(out, sjis.c_str(), c.size, c.isOutputSjis);
        EXPECT_EQ(&returned, &out);
        EXPECT_EQ(hex(out.str()), hex(c.written)) << "size " << c.size << " raw " << c.isOutputSjis;
    }
}

} // namespace
