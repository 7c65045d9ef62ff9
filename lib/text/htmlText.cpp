#include "htmlText.h"

#include <cstdio>

std::string htmlText(const std::string& utf8)
{
    std::string escaped;
    escaped.reserve(utf8.size());
    for (const char c : utf8) {
        switch (c) {
        case '&': escaped += "&amp;"; continue;
        case '<': escaped += "&lt;"; continue;
        case '>': escaped += "&gt;"; continue;
        case '"': escaped += "&quot;"; continue;
        case '\'': escaped += "&#39;"; continue;
        default: break;
        }
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte != 0x7F) {
            escaped += c;
            continue;
        }
        char code[5];
        std::snprintf(code, sizeof code, "\\x%02x", byte);
        escaped += code;
    }
    return escaped;
}
