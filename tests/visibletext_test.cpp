#include "printError.h"
#include "visibleText.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>

namespace {

using namespace std::string_literals;

TEST(VisibleTextTest, EscapesControlBytesOfTheConvertedText)
{
    struct Case {
        std::string text;
        int isOutputSjis;
        std::string shown;
    } cases[] = {
        {"", 0, ""},
        {"plain name.pc8", 0, "plain name.pc8"},
        {"\x83\x41\xB1-san", 0, "\xA5\xA2\x8E\xB1-san"},
        {"\x83\x41\xB1-san", 1, "\x83\x41\xB1-san"},
        {"\x1b]0;title\x07\x1b[2J", 0, "\\x1b]0;title\\x07\\x1b[2J"},
        {"a\rb\nc\bd\te\x7f\x1f", 1, "a\\x0db\\x0ac\\x08d\\x09e\\x7f\\x1f"},
        // User-defined lead bytes convert to control bytes; raw they are none.
        {"\xF5\xA0", 0, "\\x0a\xA2"},
        {"\xF5\xA0", 1, "\xF5\xA0"},
        {"\xF7\x40", 0, "\\x0d\xA1"},
        {"\xF0\x9F!", 0, "\\x00\xA1!"},
        {"\xF1\x40", 0, "\\x01\xA1"},
        {"\xF0\x40", 0, "\xFF\xA1"},
        {"\x80\xA0\xFD\xFF", 0, "\x80\xA0\xFD\xFF"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(visibleText(c.text.c_str(), c.isOutputSjis), c.shown) << c.text << " raw=" << c.isOutputSjis;
}

TEST(VisibleTextTest, FindsControlCharacters)
{
    const std::pair<std::string, bool> cases[] = {
        {"", false}, {"name.pc8", false}, {"\x80\x9F\xFF \x83\x41", false},
        {"\x1f", true}, {"a\x7f", true}, {"tab\there", true}, {"\xF5\n", true},
    };
    for (const auto& [text, expected] : cases)
        EXPECT_EQ(hasControlCharacters(text.c_str()), expected) << text;
}

TEST(VisibleTextTest, FileErrorReportsEscapeTheNameAndKeepTheReason)
{
    testing::internal::CaptureStderr();
    errno = ENOENT;
    printOpenError("a\x1b[2J");
    errno = ENOSPC;
    printWriteError("b\n");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "can not open a\\x1b[2J : No such file or directory\n"
                                                      "can not write to b\\x0a : No space left on device\n"
                                                      "b\\x0a may be broken.\n");
}

} // namespace
