#ifndef WBK_SJIS_TO_UTF8_H
#define WBK_SJIS_TO_UTF8_H

#include <string>

// Converts Shift-JIS text (Microsoft's code page 932, whose 0x5C is the
// backslash) into UTF-8 through iconv. A byte that starts no valid character
// becomes U+FFFD and the conversion goes on with the next byte, so the result
// is always valid UTF-8.
std::string sjisToUtf8(const std::string& sjis);

#endif
