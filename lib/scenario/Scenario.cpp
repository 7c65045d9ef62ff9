#include "Scenario.h"

#include "KovaInputStream.h"
#include "sjisToEuc.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <memory>
#include <string_view>

namespace {

bool isDecimal(char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; }
bool isSeparator(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == ':'; }
bool isValueLetter(char c) { return std::string_view("@FKOPR").find(c) != std::string_view::npos; }

} // namespace

Scenario::Scenario(const char* filename)
{
    KovaInputStream stream(filename, std::ios::in | std::ios::binary);
    if (stream.fail()) {
        std::cerr << filename << "is not found." << std::endl;
        stream.close();
        return;
    }
    // The size must fit an int with room for the guard byte.
    if (stream.getFileSize() >= INT_MAX) {
        std::cerr << "Can't open " << filename << "." << std::endl;
        std::exit(-1);
    }
    allocate(static_cast<int>(stream.getFileSize()));
    stream.read(scenarioData, scenarioSize);
    stream.close();
}

Scenario::Scenario(KovaInputStream& stream, int ScenarioSize)
{
    // A size beyond what the stream holds ends here, before it is allocated.
    stream.requireRemaining(static_cast<std::uint32_t>(ScenarioSize));
    allocate(ScenarioSize);
    stream.read(scenarioData, ScenarioSize);
}

Scenario::Scenario(const char* data, int ScenarioSize)
{
    allocate(ScenarioSize);
    std::copy_n(data, scenarioSize, scenarioData);
}

Scenario::~Scenario()
{
    delete[] scenarioData;
}

// The buffer gets one zero byte behind the data; beginPoint and pt start at
// the top until init places them.
void Scenario::allocate(int size)
{
    scenarioSize = std::max(size, 0);
    scenarioData = new char[static_cast<std::size_t>(scenarioSize) + 1];
    scenarioData[scenarioSize] = '\0';
    beginPoint = pt = scenarioData;
}

void Scenario::printComment(int isSjis)
{
    writeSjis(std::cout, comment, commentSize, isSjis) << std::endl;
}

void Scenario::skip(int c)
{
    if (c >= scenarioData - pt && c <= dataEnd() - pt)
        pt += c;
}

char Scenario::getChar(int offset) const
{
    return offset >= scenarioData - pt && offset < dataEnd() - pt ? pt[offset] : 0;
}

int Scenario::isChar(char ch) const
{
    return isNotEnd(pt) && *pt == ch;
}

int Scenario::isString(const char* string) const
{
    const std::size_t length = std::strlen(string);
    return length <= static_cast<std::size_t>(dataEnd() - pt) && std::equal(string, string + length, pt);
}

int Scenario::isDigit() const
{
    return isNotEnd(pt) && isDecimal(*pt);
}

int Scenario::isValue() const
{
    return isNotEnd(pt) && (isDecimal(*pt) || isValueLetter(*pt));
}

int Scenario::searchNextCommand()
{
    while (isNotEnd(pt)) {
        if (isSeparator(*pt))
            ++pt;
        else if (*pt == ';')
            pt = behindCrLf(pt + 1);
        else
            return 1;
    }
    return 0;
}

int Scenario::searchnum(const char*& tmp) const
{
    while (isNotEnd(tmp) && *tmp != '-' && !isDecimal(*tmp))
        ++tmp;
    const bool negative = isNotEnd(tmp) && *tmp == '-';
    if (negative)
        ++tmp;
    // Unsigned arithmetic, so that long numbers wrap instead of overflowing.
    unsigned value = 0;
    for (; isNotEnd(tmp) && isDecimal(*tmp); ++tmp)
        value = value * 10 + static_cast<unsigned>(*tmp - '0');
    return static_cast<int>(negative ? 0u - value : value);
}

int Scenario::searchnum()
{
    const char* cursor = pt;
    const int value = searchnum(cursor);
    pt += cursor - pt;
    return value;
}

char* Scenario::getDataFilename()
{
    dataFilename = passBackslashLines(dataFilename);
    char* name = takeLine(dataFilename);
    // '=alias:name' and '|x:name' name the part behind the ':'; prefixes chain.
    while (name && (*name == '=' || *name == '|')) {
        char* colon = std::strchr(name, ':');
        if (!colon)
            break;
        name = colon + 1;
    }
    return name;
}

char* Scenario::getReservedName()
{
    return takeLine(reserved);
}

// The first CR at or after `from`, or the end of the data.
char* Scenario::findCr(char* from) const
{
    return std::find(from, scenarioData + scenarioSize, '\r');
}

// The start of the line ended by `cr` (two bytes behind it, the LF is taken
// for granted), or null when no byte follows.
char* Scenario::lineBehind(char* cr) const
{
    return dataEnd() - cr > 2 ? cr + 2 : nullptr;
}

// Directly behind the first CR LF pair at or after `from`, or the end.
char* Scenario::behindCrLf(char* from) const
{
    const char crLf[] = "\r\n";
    char* pair = std::search(from, scenarioData + scenarioSize, crLf, crLf + 2);
    return pair == dataEnd() ? pair : pair + 2;
}

// Passes over backslash lines; null when a '.' line or the end comes next.
char* Scenario::passBackslashLines(char* line) const
{
    while (line && isNotEnd(line) && *line == '\\') {
        line = lineBehind(findCr(line));
        if (line && *line == '.')
            return nullptr;
    }
    return line;
}

// Cuts the line at `cursor` by a zero over its CR and moves the cursor to
// the next line, or to null when that line starts with '.' or there is none.
char* Scenario::takeLine(char*& cursor)
{
    if (!cursor || isEnd(cursor))
        return cursor = nullptr;
    char* line = cursor;
    char* cr = findCr(line);
    cursor = lineBehind(cr);
    if (cursor && *cursor == '.')
        cursor = nullptr;
    if (isNotEnd(cr))
        *cr = '\0';
    return line;
}

int Scenario::convertSjis2Euc(const unsigned char* comment, int numberOfCharInComment, unsigned char* eucComment)
{
    return sjisToEuc(comment, numberOfCharInComment, eucComment);
}

std::ostream& Scenario::writeSjis(std::ostream& outputStream, const char* sjisData, int size, int isOutputSjis)
{
    return writeSjisText(outputStream, sjisData, size, isOutputSjis);
}
