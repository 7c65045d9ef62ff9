#ifndef WBK_HTML_TEXT_H
#define WBK_HTML_TEXT_H

#include <string>

// UTF-8 text made safe to place in an HTML document, as element content or
// as a quoted attribute value: &, <, >, " and ' become character references,
// and every control byte (below 0x20, and 0x7F) is shown as the text \xHH,
// so that it can neither break the markup nor hide in it.
std::string htmlText(const std::string& utf8);

#endif
