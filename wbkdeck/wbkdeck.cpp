// wbkdeck: checks a sound bank and prints its author, then lists and plays
// its samples or, with -d, extracts them into files of their own.
#include "KovaInputStream.h"
#include "extractPcm.h"
#include "playPcm.h"
#include "printError.h"
#include "visibleText.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <new>

namespace {

constexpr int magicSize = 8;
constexpr int authorSize = 32;

void writeText(const char* text)
{
    std::cout << visibleText(text, 0);
}

// Only "WBK" and the byte after it count; the rest of the magic is ignored.
void checkMagic(KovaInputStream& wbk)
{
    char magic[magicSize];
    wbk.read(magic, magicSize);
    magic[3] = '\0';
    if (std::memcmp(magic, "WBK", 4) != 0) {
        std::cerr << "Incorrect data format detected" << std::endl;
        wbk.close();
        std::exit(-1);
    }
}

void printAuthor(KovaInputStream& wbk)
{
    char author[authorSize + 1] = {};
    wbk.read(author, authorSize);
    std::cout << "the auther of this .wbk is ";
    writeText(author);
    std::cout << std::endl;
}

[[noreturn]] void failAllocation()
{
    std::cerr << "wbkdeck: not enough memory" << std::endl;
    std::exit(-1);
}

} // namespace

int main(int argc, char* argv[])
{
    std::set_new_handler(failAllocation);
    const bool extracting = argc > 1 && std::strcmp(argv[1], "-d") == 0;
    const int bankArgument = extracting ? 2 : 1;
    if (argc <= bankArgument) {
        std::cerr << "Usage:" << argv[0] << " .wbk" << std::endl;
        return -1;
    }
    const char* wbkFileName = argv[bankArgument];

    KovaInputStream wbk(wbkFileName, std::ios::in | std::ios::binary);
    if (!wbk.good()) {
        printOpenError(wbkFileName);
        wbk.close();
        return -1;
    }
    const std::int64_t endPosition = wbk.getFileSize() + wbk.tellg();

    checkMagic(wbk);
    printAuthor(wbk);
    std::cout << "now loading ";
    writeText(wbkFileName);
    std::cout << "." << std::flush;

    if (extracting) {
        std::cout << std::endl;
        extractPcm(wbk, endPosition, 0);
    } else {
        playPcm(wbk, endPosition, wbkFileName, 0);
    }
    return 0;
}
