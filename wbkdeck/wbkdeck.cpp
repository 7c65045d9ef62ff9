// wbkdeck: checks a sound bank and prints its author, then lists and plays
// its samples, only lists them (-l), extracts their data into files of their
// own (-d) or exports them as WAV files (-w).
#include "KovaInputStream.h"
#include "exportWav.h"
#include "extractPcm.h"
#include "playPcm.h"
#include "printError.h"
#include "visibleText.h"

#include <getopt.h>

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
    std::cout << "the auther of this .wbk is " << visibleText(author, 0) << std::endl;
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

const char usage[] = "Usage: wbkdeck [-d|-w|-l] BANK\n";

const char help[] = "Checks the sound bank BANK and prints its author, then\n"
                    "  (no option)  lists the samples and plays them, one per character read, through\n"
                    "               /dev/dsp or ALSA (WBK_AUDIO=oss, alsa or alsa:PCM chooses)\n"
                    "  -l           lists the samples only\n"
                    "  -d           extracts every sample's stored data into a file named after it\n"
                    "  -w           exports every sample as an unsigned 8-bit WAV file, named after it + \".wav\"\n"
                    "  -h, --help   show this help\n"
                    "  --version    show the version\n";

[[noreturn]] void refuseUsage(const std::string& reason)
{
    std::cerr << "wbkdeck: " << reason << "\n" << usage << std::flush;
    std::exit(-1);
}

Mode modeOf(int option)
{
    return option == 'd' ? Mode::extract : option == 'w' ? Mode::exportWav : Mode::list;
}

// A long option as it was given (also "--help=x", which getopt names by its
// short twin), a short one by the letter that getopt refused.
std::string refusedOption(const char* lastArgument)
{
    if (std::strncmp(lastArgument, "--", 2) == 0)
        return lastArgument;
    return {'-', char(optopt)};
}

// At most one mode option, then the bank and nothing after it.
Arguments parseArguments(int argc, char* argv[])
{
    enum { versionOption = 1 };
    static const option longOptions[] = {{"help", no_argument, nullptr, 'h'},
                                         {"version", no_argument, nullptr, versionOption},
                                         {nullptr, 0, nullptr, 0}};
    Arguments arguments;
    bool modeGiven = false;
    opterr = 0;
    // "+": options end at the first operand, so that nothing after the bank passes for an option.
    for (int option; (option = getopt_long(argc, argv, "+hdwl", longOptions, nullptr)) != -1;) {
        switch (option) {
        case 'h':
            std::cout << usage << help;
            std::exit(0);
        case versionOption:
            std::cout << "wbkdeck " WBK_VERSION << std::endl;
            std::exit(0);
        case 'd':
        case 'w':
        case 'l':
            if (modeGiven)
                refuseUsage("only one of -d, -w and -l can be given");
            arguments.mode = modeOf(option);
            modeGiven = true;
            break;
        default:
            refuseUsage("unknown option " + refusedOption(argv[optind - 1]));
        }
    }
    if (optind >= argc) {
        std::cerr << "Usage:" << argv[0] << " .wbk" << std::endl;
        std::exit(-1);
    }
    arguments.bank = argv[optind];
    if (optind + 1 < argc)
        refuseUsage(std::string("unexpected argument after the bank: ") + argv[optind + 1]);
    return arguments;
}

// Runs the chosen mode on the bank past its header; false when a sample
// could not be played or written.
bool runMode(Mode mode, KovaInputStream& wbk, std::int64_t endPosition, const char* wbkFileName)
{
    switch (mode) {
    case Mode::play:
        return playPcm(wbk, endPosition, wbkFileName, 0);
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

// True when everything printed reached standard output; a listing lost on a
// full disk must not end with status 0.
bool outputWritten()
{
    if (std::cout.flush())
        return true;
    std::cerr << "wbkdeck: can not write to standard output" << std::endl;
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
    std::cout << "now loading " << visibleText(wbkFileName, 0) << "." << std::flush;
    const bool allDone = runMode(arguments.mode, wbk, endPosition, wbkFileName);
    return outputWritten() && allDone ? 0 : -1;
}
