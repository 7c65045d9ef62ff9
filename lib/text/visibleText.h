#ifndef WBK_VISIBLE_TEXT_H
#define WBK_VISIBLE_TEXT_H

#include <string>

// Zero-terminated Shift-JIS text from a bank, ready for a terminal or a pipe:
// converted to EUC-JP as writeSjisText does (kept as it is when
// `isOutputSjis` is nonzero), with every control byte (below 0x20, and 0x7F)
// written as \xHH. That covers the control bytes the conversion makes of
// user-defined characters (lead bytes 0xF0 to 0xFC) too, so the text stays on
// one line and cannot drive the terminal. Other text comes out unchanged.
std::string visibleText(const char* text, int isOutputSjis);

// `bytes` with every control byte (below 0x20, and 0x7F) written as \xHH.
std::string escapeControls(const std::string& bytes);

// True when zero-terminated `text` holds a control byte (below 0x20, or 0x7F).
bool hasControlCharacters(const char* text);

#endif
