#ifndef WBK_SPLIT_TEXT_H
#define WBK_SPLIT_TEXT_H

#include <string>
#include <vector>

// The pieces of `text` between `separator`s, empty ones included: "a//b"
// gives "a", "", "b"; text without a separator gives itself.
std::vector<std::string> splitText(const std::string& text, char separator);

#endif
