#include "visibleText.h"

#include "sjisToEuc.h"

#include <cstdio>
#include <cstring>
#include <sstream>

namespace {

bool isControl(unsigned char byte) { return byte < 0x20 || byte == 0x7F; }

} // namespace

std::string escapeControls(const std::string& bytes)
{
    std::string escaped;
    escaped.reserve(bytes.size());
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (!isControl(byte)) {
            escaped += c;
            continue;
        }
        char code[5];
        std::snprintf(code, sizeof code, "\\x%02x", byte);
        escaped += code;
    }
    return escaped;
}

std::string visibleText(const char* text, int isOutputSjis)
{
    std::ostringstream converted;
    writeSjisText(converted, text, static_cast<int>(std::strlen(text)), isOutputSjis);
    return escapeControls(converted.str());
}

bool hasControlCharacters(const char* text)
{
    for (; *text; ++text)
        if (isControl(static_cast<unsigned char>(*text)))
            return true;
    return false;
}
