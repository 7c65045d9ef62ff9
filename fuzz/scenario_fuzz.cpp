// Fuzzes the scenario cursor. The whole input is the script; its first bytes
// also place the comment, the cursor and the two list cursors, and then every
// following byte picks one cursor operation (with its arguments from the next
// bytes), so the run is bounded by the input. Each operation is checked
// against what it must do; at the end both lists are read until they end.
#include "Discard.h"
#include "Scenario.h"

#include <cctype>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <iostream>
#include <string_view>

namespace {

// The input's bytes one after another, then zeros.
class ByteSource {
public:
    ByteSource(const std::uint8_t* data, std::size_t size) : data(data), size(size) {}
    bool empty() const { return position >= size; }
    std::uint8_t next() { return empty() ? 0 : data[position++]; }

private:
    const std::uint8_t* data;
    std::size_t size;
    std::size_t position = 0;
};

class FuzzScenario : public Scenario {
public:
    FuzzScenario(const char* data, int size, ByteSource& bytes) : Scenario(data, size), bytes(bytes) { init(); }

    void showInfo() override {}
    int checkMagic() override { return 1; }

    const char* top() const { return scenarioData; }
    std::ptrdiff_t position() const { return pt - scenarioData; }
    const char* end() const { return scenarioData + scenarioSize; }
    const char* begin() const { return beginPoint; }
    const char* listCursor(bool dataList) const { return dataList ? dataFilename : reserved; }
    std::streamsize commentLength() const { return commentSize; }

protected:
    void init() override
    {
        comment = place();
        commentSize = static_cast<int>(pick() % (end() - comment + 1));
        docwait = bytes.next();
        beginPoint = place();
        pt = place();
        dataFilename = place();
        reserved = place();
    }

private:
    unsigned pick()
    {
        const unsigned low = bytes.next();
        return low | bytes.next() << 8;
    }
    // A position inside the data, its end included.
    char* place() { return scenarioData + pick() % (scenarioSize + 1); }

    ByteSource& bytes;
};

bool isSeparator(char c) { return std::string_view(" \t\r\n:").find(c) != std::string_view::npos; }
bool isDecimal(char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; }
bool isValueLetter(char c) { return std::string_view("@FKOPR").find(c) != std::string_view::npos; }

bool atEnd(const FuzzScenario& s) { return s.position() == s.getScenarioSize(); }
// The byte at the cursor, or 0 at the end.
char here(const FuzzScenario& s) { return atEnd(s) ? 0 : s.top()[s.position()]; }

// Steps and offsets: small ones, both ends of the data and beyond them.
int pickCount(ByteSource& bytes, const FuzzScenario& s)
{
    const int position = static_cast<int>(s.position());
    const int size = s.getScenarioSize();
    switch (bytes.next() % 8) {
    case 0: return static_cast<std::int8_t>(bytes.next());
    case 1: return size - position;
    case 2: return size - position + 1;
    case 3: return -position;
    case 4: return -position - 1;
    case 5: return INT_MAX;
    case 6: return INT_MIN;
    default: return 1;
    }
}

void checkSearchNextCommand(FuzzScenario& s)
{
    const std::ptrdiff_t before = s.position();
    const int found = s.searchNextCommand();
    check(s.position() >= before);
    if (found)
        check(!atEnd(s) && !isSeparator(here(s)) && here(s) != ';');
    else
        check(atEnd(s));
}

// A move that would leave the data is refused.
void checkSkip(FuzzScenario& s, ByteSource& bytes)
{
    const int count = pickCount(bytes, s);
    const std::ptrdiff_t before = s.position();
    const std::ptrdiff_t target = before + count;
    s.skip(count);
    const bool inside = target >= 0 && target <= s.getScenarioSize();
    check(s.position() == (inside ? target : before));
}

// Outside the data getChar gives 0.
void checkGetChar(FuzzScenario& s, ByteSource& bytes)
{
    const int offset = pickCount(bytes, s);
    const std::ptrdiff_t index = s.position() + offset;
    const bool inside = index >= 0 && index < s.getScenarioSize();
    check(s.getChar(offset) == (inside ? s.top()[index] : 0));
    check(s.getChar() == here(s));
}

void checkIsChar(FuzzScenario& s, ByteSource& bytes)
{
    const char ch = static_cast<char>(bytes.next());
    check(s.isChar(ch) == (!atEnd(s) && here(s) == ch));
}

// A keyword of up to seven bytes from the input; a zero byte ends it early.
void checkIsString(FuzzScenario& s, ByteSource& bytes)
{
    char word[8] = {};
    const int length = bytes.next() % 8;
    for (int i = 0; i < length; ++i)
        word[i] = static_cast<char>(bytes.next());
    const std::size_t wordLength = std::strlen(word);
    const std::size_t rest = static_cast<std::size_t>(s.getScenarioSize() - s.position());
    const bool expected = wordLength <= rest && std::memcmp(s.top() + s.position(), word, wordLength) == 0;
    check(s.isString(word) == expected);
}

void checkClasses(const FuzzScenario& s)
{
    const char c = here(s);
    check(s.isDigit() == (!atEnd(s) && isDecimal(c)));
    check(s.isValue() == (!atEnd(s) && (isDecimal(c) || isValueLetter(c))));
}

// The number at or after the cursor as plainly read: the value wraps in 32
// bits, and the cursor ends behind the digits or at the end of the data.
void checkDigitValue(FuzzScenario& s)
{
    const char* text = s.top();
    const std::ptrdiff_t size = s.getScenarioSize();
    std::ptrdiff_t i = s.position();
    while (i < size && text[i] != '-' && !isDecimal(text[i]))
        ++i;
    const bool negative = i < size && text[i] == '-';
    if (negative)
        ++i;
    std::uint32_t value = 0;
    for (; i < size && isDecimal(text[i]); ++i)
        value = value * 10 + static_cast<std::uint32_t>(text[i] - '0');
    const int expected = static_cast<int>(negative ? 0u - value : value);
    check(s.getDigitValue() == expected);
    check(s.position() == i);
}

// Walks the commands as an interpreter would: a number where one starts,
// else one byte per command. Every round must move the cursor forward.
void walkCommands(FuzzScenario& s)
{
    while (s.searchNextCommand()) {
        const std::ptrdiff_t before = s.position();
        if (s.isDigit())
            s.getDigitValue();
        else
            s.skip();
        check(s.position() > before);
    }
    check(atEnd(s));
}

void checkEnds(const FuzzScenario& s)
{
    const char* inside = s.top() + s.position();
    for (const char* p : {s.top(), inside, s.end()}) {
        check(s.isEnd(p) == (p >= s.end()));
        check(s.isNotEnd(p) == !s.isEnd(p));
    }
}

// The comment, converted or not, and a newline.
void checkPrintComment(FuzzScenario& s, ByteSource& bytes)
{
    CountingBuffer output;
    std::streambuf* const saved = std::cout.rdbuf(&output);
    const int raw = bytes.next() & 1;
    s.printComment(raw);
    std::cout.rdbuf(saved);
    const std::streamsize length = s.commentLength();
    // Converting gives one or two bytes for each byte.
    check(raw ? output.count == length + 1 : output.count >= length + 1 && output.count <= 2 * length + 1);
}

void checkAccessors(FuzzScenario& s)
{
    check(s.getCommandLength() == s.end() - s.begin());
    check(s.getVersion() == 0);
    check(s.getDocWaitValue() >= 0 && s.getDocWaitValue() <= 255);
    s.setBeginPoint();
    check(s.getCurrentPointer() == s.begin());
}

// One name of a list: cut in place inside the data, and the list cursor
// moves forward or ends. Returns false once the list has ended.
bool takeName(FuzzScenario& s, bool dataList)
{
    const char* before = s.listCursor(dataList);
    const char* name = dataList ? s.getDataFilename() : s.getReservedName();
    if (!name) {
        check(s.listCursor(dataList) == nullptr);
        return false;
    }
    check(before && name >= before && name <= s.end());
    check(name + std::strlen(name) <= s.end());
    const char* after = s.listCursor(dataList);
    check(!after || (after > before && after <= s.end()));
    return true;
}

void drainList(FuzzScenario& s, bool dataList)
{
    int calls = 0;
    while (takeName(s, dataList))
        check(++calls <= s.getScenarioSize());
    check(!takeName(s, dataList));
}

void runOperation(FuzzScenario& s, ByteSource& bytes)
{
    switch (bytes.next() % 13) {
    case 0: checkSearchNextCommand(s); break;
    case 1: checkSkip(s, bytes); break;
    case 2: checkGetChar(s, bytes); break;
    case 3: checkIsChar(s, bytes); break;
    case 4: checkIsString(s, bytes); break;
    case 5: checkClasses(s); break;
    case 6: checkDigitValue(s); break;
    case 7: checkEnds(s); break;
    case 8: checkPrintComment(s, bytes); break;
    case 9: checkAccessors(s); break;
    case 10: takeName(s, true); break;
    case 11: walkCommands(s); break;
    default: takeName(s, false); break;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size > INT_MAX / 2)
        return 0;
    ByteSource bytes(data, size);
    FuzzScenario scenario(reinterpret_cast<const char*>(data), static_cast<int>(size), bytes);
    check(scenario.getScenarioSize() == static_cast<int>(size));
    while (!bytes.empty()) {
        runOperation(scenario, bytes);
        check(scenario.position() >= 0 && scenario.position() <= scenario.getScenarioSize());
    }
    drainList(scenario, true);
    drainList(scenario, false);
    return 0;
}
