#include "printError.h"
#include "visibleText.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>

namespace {

// `shown` is what visibleText makes of `text`; `hasControl` tells whether the
// stored bytes themselves hold a control byte.
TEST(VisibleTextTest, EscapesControlBytesOfTheConvertedText)
{
    struct Case {
        std::string text;
        int isOutputSjis;
        std::string shown;
        bool hasControl;
    } cases[] = {
        {"", 0, "", false},
        {"plain name.pc8", 0, "plain name.pc8", false},
        {"\x83\x41\xB1-san", 0, "\xA5\xA2\x8E\xB1-san", false},
        {"\x83\x41\xB1-san", 1, "\x83\x41\xB1-san", false},
        {"\x1b]0;title\x07\x1b[2J", 0, "\\x1b]0;title\\x07\\x1b[2J", true},
        {"a\rb\nc\bd\te\x7f\x1f", 1, "a\\x0db\\x0ac\\x08d\\x09e\\x7f\\x1f", true},
        {"\x1f", 0, "\\x1f", true},
        {"a\x7f", 1, "a\\x7f", true},
        // User-defined lead bytes convert to control bytes; raw they are none.
        {"\xF5\xA0", 0, "\\x0a\xA2", false},
        {"\xF5\xA0", 1, "\xF5\xA0", false},
        {"\xF7\x40", 0, "\\x0d\xA1", false},
        {"\xF0\x9F!", 0, "\\x00\xA1!", false},
        {"\xF1\x40", 0, "\\x01\xA1", false},
        {"\xF0\x40", 0, "\xFF\xA1", false},
        {"\x80\xA0\xFD\xFF", 0, "\x80\xA0\xFD\xFF", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(visibleText(c.text.c_str(), c.isOutputSjis), c.shown) << c.text << " raw=" << c.isOutputSjis;
        EXPECT_EQ(hasControlCharacters(c.text.c_str()), c.hasControl) << c.text;
    }
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
