#include "sjisToUtf8.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using namespace std::string_literals;

TEST(SjisToUtf8Test, ConvertsCodePage932AndReplacesWhatItCanNot)
{
    const std::string replacement = "\xEF\xBF\xBD";
    const struct {
        std::string sjis;
        std::string utf8;
    } cases[] = {
        {"a440.pc8", "a440.pc8"},
        {"C:\\x~", "C:\\x~"},                                    // 0x5C and 0x7E stay ASCII
        {"\x83\x41\x82\xA0", "\xE3\x82\xA2\xE3\x81\x82"},        // katakana A, hiragana a
        {"\xB1\xDF", "\xEF\xBD\xB1\xEF\xBE\x9F"},                // half-width katakana
        {"\x87\x40", "\xE2\x91\xA0"},                            // NEC extension: circled 1
        {"ab\0c"s, "ab\0c"s},
        {"x\x83", "x" + replacement},                            // lead byte at the end
        {"\x83\x20z", replacement + " z"},                       // lead byte without a trail byte
        {"\xA0\xFD\xFE\xFF!", replacement + replacement + replacement + replacement + "!"},
        {"", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(sjisToUtf8(c.sjis), c.utf8) << c.sjis;
}

} // namespace
