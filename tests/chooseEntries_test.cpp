#include "chooseEntries.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace {

using namespace std::string_literals;
using Indices = std::vector<std::size_t>;

std::vector<BankEntry> bank(const std::vector<std::string>& names)
{
    std::vector<BankEntry> entries(names.size());
    for (std::size_t i = 0; i < names.size(); ++i)
        std::copy(names[i].begin(), names[i].end(), entries[i].name.begin());
    return entries;
}

const std::vector<BankEntry> entries = bank({"drum", "voice", "7", "\x83\x41\x01"s, "voice", "a\0b"s, "3-4",
                                             "sixteen-bytes-xx", "", "voice", ""});

TEST(EntryChoiceTest, ChoosesByIndexRangeAndName)
{
    struct Case {
        std::string argument;
        bool rangeAllowed;
        Indices chosen;
    } cases[] = {
        {"0", false, {0}},
        {"10", false, {10}},
        {"007", false, {7}},
        {"7", false, {7}},  // an index, although entry 2 is named "7"
        {"\\x37", false, {2}},
        {"2-4", true, {2, 3, 4}},
        {"10-10", true, {10}},
        {"drum", false, {0}},
        {"\\x83A\\x01", false, {3}},
        {"a", false, {5}},  // the name ends at its first zero byte
        {"3\\x2d4", true, {6}},
        {"\\x33-4", true, {6}},
        {"sixteen-bytes-xx", false, {7}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(chooseEntries(entries, c.argument, c.rangeAllowed), c.chosen) << c.argument;
}

TEST(EntryChoiceTest, RefusesWithAMessage)
{
    struct Case {
        std::vector<BankEntry> entries;
        std::string argument;
        std::string message;
        bool rangeAllowed = true;
    } cases[] = {
        {entries, "11", "there is no entry 11: the bank has 11 entries (0-10)"},
        {entries, "99999999999999999999999", "there is no entry 99999999999999999999999: the bank"},
        {bank({"a"}), "1", "there is no entry 1: the bank has 1 entry (0)"},
        {{}, "0", "there is no entry 0: the bank has no entries"},
        {entries, "9-11", "there is no entry 11"},
        {entries, "3-1", "3-1 is not a range"},
        {entries, "foo", "no entry is named \"foo\""},
        {entries, "\\x83A\\x02", "no entry is named \"\\x83A\\x02\""},
        {entries, "voice", "the name \"voice\" is carried by entries 1, 4 and 9: choose one by its index"},
        {entries, "\\x00", "no entry is named \"\\x00\""},
        {entries, "a\\q", "in the entry name, \"\\q\" is no escape"},
        {entries, "", "an empty argument names no entry"},
        {entries, "2-4", "a range is not allowed here", false},
    };
    for (const Case& c : cases) {
        try {
            chooseEntries(c.entries, c.argument, c.rangeAllowed);
            ADD_FAILURE() << "no error for " << c.argument;
        } catch (const std::invalid_argument& error) {
            EXPECT_NE(std::string(error.what()).find(c.message), std::string::npos) << error.what();
        }
    }
}

TEST(EntryChoiceTest, JoinsSeveralArgumentsInBankOrder)
{
    EXPECT_EQ(chooseEntries(entries, std::vector<std::string>{"drum", "3-5", "1", "4", "0-1"}),
              (Indices{0, 1, 3, 4, 5}));
    EXPECT_EQ(chooseEntries(entries, std::vector<std::string>{}), Indices{});
    EXPECT_THROW(chooseEntries(entries, std::vector<std::string>{"1", "voice"}), std::invalid_argument);
}

} // namespace
