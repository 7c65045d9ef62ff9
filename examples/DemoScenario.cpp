#include "DemoScenario.h"

#include <cctype>
#include <cstring>
#include <iostream>
#include <string_view>

namespace {

constexpr char magicWord[] = "#DEMO ";

bool isDecimal(char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; }
bool endsName(char c) { return std::string_view(" \t\r\n:;").find(c) != std::string_view::npos; }

} // namespace

DemoScenario::DemoScenario(const char* filename) : Scenario(filename)
{
    init();
}

DemoScenario::DemoScenario(const char* data, int size) : Scenario(data, size)
{
    init();
}

void DemoScenario::init()
{
    for (pt = scenarioData; isNotEnd(pt) && !isString("#BEGIN"); nextLine())
        readHeaderLine();
    nextLine();
    beginPoint = pt;
}

void DemoScenario::readHeaderLine()
{
    if (takeKeyword(magicWord))
        readVersion();
    else if (takeKeyword("#COMMENT "))
        readComment();
    else if (takeKeyword("#WAIT "))
        docwait = numberAt(0) ? getDigitValue() : 0;
    else if (takeKeyword("#FILES"))
        dataFilename = listStart();
    else if (takeKeyword("#RESERVED"))
        reserved = listStart();
}

void DemoScenario::readVersion()
{
    ver1 = numberAt(0) ? getDigitValue() : 0;
    if (isChar('.') && numberAt(1))
        ver2 = getDigitValue();
}

void DemoScenario::readComment()
{
    comment = pt;
    while (isNotEnd(pt) && !isChar('\r'))
        skip();
    commentSize = static_cast<int>(pt - comment);
}

// The first line of a list, or null when the list is empty. Leaves pt there.
char* DemoScenario::listStart()
{
    nextLine();
    return isNotEnd(pt) && !isChar('.') ? pt : nullptr;
}

// Moves pt behind the next CR LF, or to the end of the data.
void DemoScenario::nextLine()
{
    while (isNotEnd(pt) && !isString("\r\n"))
        skip();
    if (isNotEnd(pt))
        skip(2);
}

bool DemoScenario::takeKeyword(const char* keyword)
{
    if (!isString(keyword))
        return false;
    skip(static_cast<int>(std::strlen(keyword)));
    return true;
}

// Whether a number starts `offset` bytes after pt: a digit, or '-' and a digit.
bool DemoScenario::numberAt(int offset) const
{
    const char c = getChar(offset);
    return isDecimal(c) || (c == '-' && isDecimal(getChar(offset + 1)));
}

void DemoScenario::showInfo()
{
    std::cout << "Demo scenario version " << ver1 << '.' << ver2 << " (" << getVersion() << ")\n"
              << "wait: " << docwait << '\n'
              << "size: " << scenarioSize << " bytes, commands: " << getCommandLength()
              << " bytes from offset " << (beginPoint - scenarioData) << '\n';
}

int DemoScenario::checkMagic()
{
    const std::string_view text(scenarioData, static_cast<std::size_t>(scenarioSize));
    return text.compare(0, std::strlen(magicWord), magicWord) == 0;
}

bool DemoScenario::readCommand(DemoCommand& command)
{
    if (!searchNextCommand())
        return false;
    command.name.clear();
    command.arguments.clear();
    do {
        command.name += getChar();
        skip();
    } while (isNotEnd(pt) && !endsName(getChar()));
    if (isChar(' ') && numberAt(1)) {
        do
            command.arguments.push_back(getDigitValue());
        while (isChar(',') && numberAt(1));
    }
    return true;
}
