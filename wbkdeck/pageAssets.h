#ifndef WBKDECK_PAGE_ASSETS_H
#define WBKDECK_PAGE_ASSETS_H

// The style sheet and the script that every page of wbkdeck --html carries
// inline. The script's exact bytes are hashed into the page's
// Content-Security-Policy.
extern const char pageStyle[];
extern const char pageScript[];

#endif
