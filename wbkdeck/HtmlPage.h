#ifndef WBKDECK_HTML_PAGE_H
#define WBKDECK_HTML_PAGE_H

#include "SampleOverview.h"

#include <cstddef>
#include <cstdint>
#include <string>

// What the head of a page tells of the bank. Text is UTF-8, not yet escaped.
struct PageHead {
    std::string bankName;
    std::string author;
    std::size_t entryCount = 0;
    double seconds = 0;  // of the entries with a rate
    std::uint64_t storedBytes = 0;
    std::size_t adpcmCount = 0;
    std::size_t pcm8Count = 0;
    bool linksAudio = false;  // the players play files beside the page
};

// One entry's row. Text is UTF-8, not yet escaped.
struct PageRow {
    std::size_t index = 0;
    std::string name;
    const char* format = "";
    unsigned rate = 0;
    std::uint32_t storedBytes = 0;
    std::uint64_t samples = 0;
};

// A self-contained HTML page of a bank's entries, written in order onto an
// open file descriptor, which stays the caller's: the head, then each row
// (its cells, then its player), then the end. Its one inline script is
// allowed by its hash in the page's Content-Security-Policy, which lets
// nothing else run and nothing load but data: URIs and the page's own files.
// Every text from the bank goes through htmlText here and nowhere else.
// A failed write throws std::runtime_error naming `pageName`.
class HtmlPage {
public:
    HtmlPage(int fd, std::string pageName);
    HtmlPage(const HtmlPage&) = delete;
    HtmlPage& operator=(const HtmlPage&) = delete;

    void writeHead(const PageHead& head);
    void writeRow(const PageRow& row, const SampleOverview& overview);
    // The row's player, one of the three, ends the row.
    void writeEmbeddedPlayer(int wavFd);
    void writeLinkedPlayer(const std::string& relativeUrl);
    void writeNoPlayer(const std::string& why);
    // Writes the script and the end of the document, and everything still held.
    void finish();

private:
    void put(const std::string& text);
    void flushBuffer();

    int fd;
    std::string pageName;
    std::string buffer;
};

#endif
