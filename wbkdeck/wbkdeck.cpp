// wbkdeck: checks a sound bank and prints its author, then lists and plays
// its samples, only lists them (-l), extracts their data into files of their
// own (-d) or exports them as WAV files (-w).
#include "KovaInputStream.h"
#include "Scenario.h"
#include "exportWav.h"
#include "extractPcm.h"
#include "playPcm.h"
#include "printError.h"

#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <new>
#include <string>

namespace {

constexpr int magicSize = 8;
constexpr int authorSize = 32;

void writeText(const char* text)
{
    Scenario::writeSjis(std::cout, text, std::strlen(text), 0);
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

enum class Mode { play, list, extract, exportWav };

struct Arguments {
    Mode mode = Mode::play;
    const char* bank = nullptr;
};

void printUsage(std::ostream& out, const char* program)
{
    out << "Usage: " << program << " [-d|-w|-l] BANK\n"
        << "  (no option)  list the samples, then play them through /dev/dsp, one per character read\n"
        << "  -l           list the samples only\n"
        << "  -d           extract every sample's stored data into a file named after it\n"
        << "  -w           export every sample as an unsigned 8-bit WAV file, named after it + \".wav\"\n"
        << "  -h, --help   show this help\n"
        << "  --version    show the version\n";
}

[[noreturn]] void refuse(const char* program, const std::string& reason)
{
    std::cerr << "wbkdeck: " << reason << std::endl;
    printUsage(std::cerr, program);
    std::exit(-1);
}

bool modeOf(const std::string& option, Mode& mode)
{
    static const struct {
        const char* option;
        Mode mode;
    } modes[] = {{"-d", Mode::extract}, {"-w", Mode::exportWav}, {"-l", Mode::list}};
    for (const auto& m : modes) {
        if (option == m.option) {
            mode = m.mode;
            return true;
        }
    }
    return false;
}

// One mode option at most, then the bank; "--" ends the options.
Arguments parseArguments(int argc, char* argv[])
{
    Arguments arguments;
    bool modeGiven = false;
    int i = 1;
    for (; i < argc && argv[i][0] == '-' && argv[i][1] != '\0'; ++i) {
        const std::string option = argv[i];
        if (option == "--") {
            ++i;
            break;
        }
        if (option == "-h" || option == "--help") {
            printUsage(std::cout, argv[0]);
            std::exit(0);
        }
        if (option == "--version") {
            std::cout << "wbkdeck " WBK_VERSION << std::endl;
            std::exit(0);
        }
        if (modeGiven && modeOf(option, arguments.mode))
            refuse(argv[0], "only one of -d, -w and -l can be given");
        if (!modeOf(option, arguments.mode))
            refuse(argv[0], "unknown option " + option);
        modeGiven = true;
    }
    if (i >= argc) {
        std::cerr << "Usage:" << argv[0] << " .wbk" << std::endl;
        std::exit(-1);
    }
    arguments.bank = argv[i];
    if (i + 1 < argc)
        refuse(argv[0], std::string("unexpected argument after the bank: ") + argv[i + 1]);
    return arguments;
}

// Runs the chosen mode on the bank past its header; false when a sample
// could not be written.
bool runMode(Mode mode, KovaInputStream& wbk, std::int64_t endPosition, const char* wbkFileName)
{
    switch (mode) {
    case Mode::play:
        playPcm(wbk, endPosition, wbkFileName, 0);
        return true;
    case Mode::list:
        listPcm(wbk, endPosition, wbkFileName, 0);
        return true;
    case Mode::extract:
        std::cout << std::endl;
        return extractPcm(wbk, endPosition, 0);
    case Mode::exportWav:
        std::cout << std::endl;
        return exportWav(wbk, endPosition, 0);
    }
    return false;
}

} // namespace

int main(int argc, char* argv[])
{
    std::set_new_handler(failAllocation);
    const Arguments arguments = parseArguments(argc, argv);
    const char* wbkFileName = arguments.bank;
    // Beyond the file size limit a write then fails and is reported, instead
    // of the process being killed in the middle of a file.
    std::signal(SIGXFSZ, SIG_IGN);

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
    return runMode(arguments.mode, wbk, endPosition, wbkFileName) ? 0 : -1;
}
