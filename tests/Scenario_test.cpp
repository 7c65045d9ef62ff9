#include "DemoScenario.h"
#include "KovaInputStream.h"
#include "ProgramRunner.h"
#include "Scenario.h"
#include "TestFiles.h"

#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace {

using ::testing::ExitedWithCode;

// A copy of exactly text.size() bytes, so that ASan sees any read beyond it.
std::unique_ptr<char[]> exactCopy(const std::string& text)
{
    auto copy = std::make_unique<char[]>(text.size());
    std::copy(text.begin(), text.end(), copy.get());
    return copy;
}

struct Buffer {
    const char* data;
    int size;
};

struct File {
    std::string name;
};

// Opens the base for tests: the cursor starts at `begin`, the rest is set by
// the test itself.
class TextScenario : public Scenario {
public:
    explicit TextScenario(Buffer buffer, int begin = 0) : Scenario(buffer.data, buffer.size), beginOffset(begin)
    {
        init();
    }
    explicit TextScenario(const std::string& text, int begin = 0)
        : TextScenario(Buffer{exactCopy(text).get(), static_cast<int>(text.size())}, begin)
    {
    }
    explicit TextScenario(const File& file) : Scenario(file.name.c_str()) { init(); }
    TextScenario(KovaInputStream& stream, int size) : Scenario(stream, size) { init(); }

    void showInfo() override {}
    int checkMagic() override { return 1; }
    using Scenario::searchnum;

    void setVersion(int high, int low)
    {
        ver1 = high;
        ver2 = low;
    }
    void setComment(int offset, int size)
    {
        comment = scenarioData + offset;
        commentSize = size;
    }
    void setLists(int dataOffset, int reservedOffset)
    {
        dataFilename = scenarioData + dataOffset;
        reserved = scenarioData + reservedOffset;
    }
    std::string text() const { return std::string(scenarioData, scenarioSize); }
    int offset() const { return static_cast<int>(pt - scenarioData); }

protected:
    void init() override { beginPoint = pt = scenarioData + beginOffset; }

private:
    int beginOffset = 0;
};

using ListReader = char* (Scenario::*)();

// Every name a list hands out before its first null.
std::vector<std::string> readList(Scenario& scenario, ListReader next)
{
    std::vector<std::string> names;
    for (int i = 0; i < 10; ++i) {
        const char* name = (scenario.*next)();
        if (!name)
            break;
        names.emplace_back(name);
    }
    return names;
}

std::string printedComment(Scenario& scenario, int isSjis)
{
    std::ostringstream out;
    std::streambuf* const saved = std::cout.rdbuf(out.rdbuf());
    scenario.printComment(isSjis);
    std::cout.rdbuf(saved);
    return out.str();
}

TEST(ScenarioTest, SearchNextCommandPassesSeparatorsAndCrLfComments)
{
    const struct {
        std::string text;
        std::vector<int> commands;
    } cases[] = {
        {"A:B", {0, 2}},
        {" ;x:y\r\nZ", {7}},
        {";a\rb\nc\r\nZ", {8}},
        {"AB ;c\r\n\r\nD", {0, 1, 9}},
        {"; runs to the end", {}},
        {";x\r", {}},
        {" \t\r\n:", {}},
        {"", {}},
    };
    for (const auto& c : cases) {
        TextScenario scenario(c.text);
        std::vector<int> found;
        while (scenario.searchNextCommand() && found.size() < 10) {
            found.push_back(scenario.offset());
            scenario.skip();
        }
        EXPECT_EQ(found, c.commands) << c.text;
        EXPECT_TRUE(scenario.isEnd(scenario.getCurrentPointer())) << c.text;
    }
}

TEST(ScenarioTest, SearchnumReadsSignedNumbersUpToTheEnd)
{
    const struct {
        std::string text;
        int value;
        int cursor;
    } cases[] = {
        {"abc-12x", -12, 6}, {"x-y5", 0, 2},   {"  42;", 42, 4},          {"", 0, 0},
        {"abc", 0, 3},       {"--5", 0, 1},    {"x 987", 987, 5},         {"4294967297", 1, 10},
        {"2147483648", INT_MIN, 10},           {"-2147483648", INT_MIN, 11},
    };
    for (const auto& c : cases) {
        TextScenario scenario(c.text);
        const char* tmp = scenario.getScenarioTop();
        EXPECT_EQ(scenario.searchnum(tmp), c.value) << c.text;
        EXPECT_EQ(tmp - scenario.getScenarioTop(), c.cursor) << c.text;
        EXPECT_EQ(scenario.offset(), 0) << c.text;
        EXPECT_EQ(scenario.getDigitValue(), c.value) << c.text;
        EXPECT_EQ(scenario.offset(), c.cursor) << c.text;
    }
}

TEST(ScenarioTest, ListsHandOutCutLinesUntilADotLine)
{
    const ListReader data = &Scenario::getDataFilename;
    const ListReader reserved = &Scenario::getReservedName;
    const struct {
        ListReader reader;
        std::string text;
        std::vector<std::string> names;
    } cases[] = {
        {data, "a.wav\r\n=x:b.wav\r\n.\r\n", {"a.wav", "b.wav"}},
        {data, "|a:=b:c\r\n.", {"c"}},
        {data, "=nocolon\r\n|x\r\n|a:=b\r\n.", {"=nocolon", "|x", "=b"}},
        {data, "\r\nx\r\n.", {"", "x"}},
        {data, ".\r\n.\r\n", {"."}},
        {data, "\\skip\r\na\r\n.", {"a"}},
        {data, "a\r\n\\x\r\n\\y\r\nb\r\n.", {"a", "b"}},
        {data, "a\r\n\\x\r\n.\r\nb", {"a"}},
        {data, "\\only\r\n", {}},
        {data, "a\r\nlast", {"a", "last"}},
        {data, "a\r", {"a"}},
        {data, "a\r\n.end", {"a"}},
        {reserved, "r1\r\nr2\r\n.end\r\n", {"r1", "r2"}},
        {reserved, "=x:y\r\n\\z\r\n.", {"=x:y", "\\z"}},
        {reserved, "\r\n\r\n.", {"", ""}},
        {reserved, ".\r\n", {"."}},
        {reserved, "tail", {"tail"}},
        {reserved, "", {}},
    };
    for (const auto& c : cases) {
        TextScenario scenario(c.text);
        scenario.setLists(0, 0);
        EXPECT_EQ(readList(scenario, c.reader), c.names) << c.text;
        EXPECT_EQ((scenario.*c.reader)(), nullptr) << c.text;
    }
}

TEST(ScenarioTest, ListsCutTheirLinesInPlaceAndKeepTheGuardByte)
{
    TextScenario scenario(std::string("H\r\na.wav\r\n=x:b.wav\r\n.\r\nr\r\n.", 27));
    EXPECT_EQ(scenario.getDataFilename(), nullptr);
    EXPECT_EQ(scenario.getReservedName(), nullptr);
    scenario.setLists(3, 23);
    readList(scenario, &Scenario::getDataFilename);
    readList(scenario, &Scenario::getReservedName);
    EXPECT_EQ(scenario.text(), std::string("H\r\na.wav\0\n=x:b.wav\0\n.\r\nr\0\n.", 27));
    EXPECT_EQ(scenario.getScenarioTop()[27], '\0');
}

TEST(ScenarioTest, CursorTestsAtAByteAndAtTheEnd)
{
    const struct {
        std::string text;
        int value;
        int digit;
    } cases[] = {
        {"O", 1, 0}, {"P", 1, 0}, {"7", 1, 1}, {"@", 1, 0}, {"F", 1, 0}, {"K", 1, 0},
        {"R", 1, 0}, {"Q", 0, 0}, {"-", 0, 0}, {"0", 1, 1}, {"9", 1, 1}, {"", 0, 0},
    };
    for (const auto& c : cases) {
        TextScenario scenario(c.text);
        EXPECT_EQ(scenario.isValue(), c.value) << c.text;
        EXPECT_EQ(scenario.isDigit(), c.digit) << c.text;
    }
    TextScenario scenario("ab", 2);
    EXPECT_EQ(scenario.isChar('\0'), 0);
    EXPECT_EQ(scenario.getChar(), '\0');
    const char* end = scenario.getScenarioTop() + 2;
    EXPECT_EQ(scenario.isEnd(end), 1);
    EXPECT_EQ(scenario.isNotEnd(end), 0);
    EXPECT_EQ(scenario.isEnd(end - 1), 0);
    EXPECT_EQ(scenario.isNotEnd(end - 1), 1);
}

TEST(ScenarioTest, SkipGetCharAndIsStringStayInsideTheData)
{
    const struct {
        int offset;
        int skipTo;
        char byte;
    } moves[] = {{0, 1, 'b'}, {1, 2, 'c'}, {2, 3, '\0'}, {3, 1, '\0'}, {-1, 0, 'a'}, {-2, 1, '\0'}};
    for (const auto& m : moves) {
        TextScenario scenario("abc", 1);
        EXPECT_EQ(scenario.getChar(m.offset), m.byte) << m.offset;
        scenario.skip(m.offset);
        EXPECT_EQ(scenario.offset(), m.skipTo) << m.offset;
    }
    const struct {
        int begin;
        const char* keyword;
        int match;
    } keywords[] = {{1, "bc", 1}, {1, "b", 1}, {1, "", 1}, {1, "bcd", 0}, {1, "c", 0}, {3, "", 1}, {3, "x", 0}};
    for (const auto& k : keywords)
        EXPECT_EQ(TextScenario("abc", k.begin).isString(k.keyword), k.match) << k.begin << k.keyword;
}

TEST(ScenarioTest, BeginPointVersionAndCommandLength)
{
    TextScenario scenario(std::string(100, ' '), 10);
    EXPECT_EQ(scenario.getVersion(), 0);
    scenario.setVersion(1, 23);
    EXPECT_EQ(scenario.getVersion(), 10023);
    EXPECT_EQ(scenario.getCommandLength(), 90);
    scenario.skip(40);
    scenario.searchNextCommand();
    scenario.setBeginPoint();
    EXPECT_EQ(scenario.getCurrentPointer(), scenario.getBeginPoint());
    EXPECT_EQ(scenario.offset(), 10);
}

TEST(ScenarioTest, BufferConstructorKeepsItsOwnCopy)
{
    std::string data = "ab";
    TextScenario scenario(Buffer{data.data(), 2});
    data[0] = 'X';
    EXPECT_EQ(scenario.text(), "ab");
    EXPECT_EQ(scenario.getScenarioSize(), 2);
}

TEST(ScenarioTest, PrintCommentWritesTheCommentAndANewline)
{
    TextScenario scenario("<\x83\x66\x83\x82>");
    EXPECT_EQ(printedComment(scenario, 0), "\n");
    scenario.setComment(1, 4);
    EXPECT_EQ(printedComment(scenario, 0), "\xA5\xC7\xA5\xE2\n");
    EXPECT_EQ(printedComment(scenario, 1), "\x83\x66\x83\x82\n");
}

class ScenarioFileTest : public ::testing::Test {
protected:
    std::string file(const std::string& bytes) { return dir.write("script", bytes); }

    TempDir dir;
};

TEST_F(ScenarioFileTest, FileConstructorReadsTheWholeFile)
{
    EXPECT_EQ(TextScenario(File{file("A:B\r\n")}).text(), "A:B\r\n");
    EXPECT_EQ(TextScenario(File{file("")}).getScenarioSize(), 0);
}

TEST_F(ScenarioFileTest, FileThatCannotBeSizedEndsTheProcess)
{
    const std::string missing = dir / "missing";
    EXPECT_EXIT(TextScenario(File{missing}), ExitedWithCode(255), "^Can't open " + missing + ".\n$");
    // A sparse file too large for an int size.
    const std::string huge = file("");
    ASSERT_EQ(truncate(huge.c_str(), 1LL << 32), 0);
    EXPECT_EXIT(TextScenario(File{huge}), ExitedWithCode(255), "^Can't open " + huge + ".\n$");
}

TEST_F(ScenarioFileTest, StreamConstructorReadsFromTheCurrentPosition)
{
    KovaInputStream in(file(std::string("\x03\x00\x00\x00" "abcz", 8)).c_str());
    const int size = in.get32();
    EXPECT_EQ(TextScenario(in, size).text(), "abc");
    EXPECT_EQ(in.get8(), 'z');
    EXPECT_EXIT(TextScenario(in, 1), ExitedWithCode(255), "^Unexpected end of file.\n$");
}

// A size beyond what the stream holds is refused before it is allocated.
TEST_F(ScenarioFileTest, StreamConstructorRefusesSizesBeyondTheStream)
{
    KovaInputStream in(file("abc").c_str());
    for (int size : {4, 1000000000, INT_MAX, -1})
        EXPECT_EXIT(TextScenario(in, size), ExitedWithCode(255), "^Unexpected end of file.\n$") << size;
}

TEST(DemoScenarioTest, InitReadsTheHeaderAndCommandsFollowIt)
{
    const struct {
        std::string text;
        int magic;
        int version;
        int wait;
        std::vector<std::string> commands;
        std::vector<std::string> files;
    } cases[] = {
        {"#DEMO 1.2\r\n#WAIT 30\r\n#BEGIN\r\nA 1,-2:B\r\n", 1, 10002, 30, {"A 1 -2", "B"}, {}},
        {"#DEMO 3\r\n#WAIT x\r\n#FILES\r\nf\r\n.\r\n#BEGIN\r\nC -x 5", 1, 30000, 0, {"C", "-x 5"}, {"f"}},
        {"#DEMO\r\n#FILES\r\n.\r\n#BEGIN\r\n;c\r\nEND", 0, 0, 0, {"END"}, {}},
        {"#BEGIN", 0, 0, 0, {}, {}},
        {"NO HEADER", 0, 0, 0, {}, {}},
    };
    for (const auto& c : cases) {
        DemoScenario scenario(exactCopy(c.text).get(), static_cast<int>(c.text.size()));
        EXPECT_EQ(scenario.checkMagic(), c.magic) << c.text;
        EXPECT_EQ(scenario.getVersion(), c.version) << c.text;
        EXPECT_EQ(scenario.getDocWaitValue(), c.wait) << c.text;
        std::vector<std::string> commands;
        for (DemoCommand command; scenario.readCommand(command) && commands.size() < 10;) {
            std::string line = command.name;
            for (int argument : command.arguments)
                line += " " + std::to_string(argument);
            commands.push_back(line);
        }
        EXPECT_EQ(commands, c.commands) << c.text;
        EXPECT_EQ(readList(scenario, &Scenario::getDataFilename), c.files) << c.text;
    }
}

TEST(ScenarioDumpTest, PrintsTheSampleScriptAndRefusesOtherFiles)
{
    const std::string sample = DEMO_SCRIPT;
    TempDir dir;
    writeBytes(dir / "other", "#DEMX 1.0\r\n");
    const struct {
        std::vector<std::string> args;
        int status;
        std::string out;
        std::string err;
    } cases[] = {
        {{sample}, 0,
         "Demo scenario version 1.2 (10002)\nwait: 30\nsize: 237 bytes, commands: 68 bytes from offset 169\n"
         "comment: \xa5\xc7\xa5\xe2\xcd\xd1\xa4\xce\xa5\xb7\xa5\xca\xa5\xea\xa5\xaa\n"
         "commands:\n  BGM 0\n  WAIT 60\n  MSG 1 -2 3\n  PLAY 2\n  END\n"
         "data files:\n  opening.wav\n  se01.wav\n  v001.wav\nreserved names:\n  title\n  ending\n",
         ""},
        {{dir / "other"}, 1, "", dir / "other" + " is not a demo scenario.\n"},
        {{dir / "none"}, 255, "", "Can't open " + dir / "none" + ".\n"},
        {{}, 2, "", "usage: scenario_dump SCRIPT\n"},
    };
    for (const auto& c : cases) {
        ProgramRun run;
        run.args = c.args;
        const ProgramResult result = runProgram(SCENARIO_DUMP, run);
        EXPECT_EQ(result.status, c.status) << result.err;
        EXPECT_EQ(result.out, c.out);
        EXPECT_EQ(result.err, c.err);
    }
}

} // namespace
