// wbkdeck: checks a sound bank and prints its author, then lists and plays
// its samples, only lists them (-l), extracts their data into files of their
// own (-d) or exports them as WAV files (-w); or prints only the bank's
// manifest (-m, -M), its listing as JSON (--json) or a C header of its
// entries (--header); or writes a web page to see and hear them (--html).
// ENTRY arguments choose the entries to deal with.
#include "Bank.h"
#include "CleanupRegistry.h"
#include "chooseEntries.h"
#include "exportWav.h"
#include "extractPcm.h"
#include "openBank.h"
#include "playPcm.h"
#include "printCHeader.h"
#include "printJson.h"
#include "printManifest.h"
#include "visibleText.h"
#include "writeHtml.h"

#include <getopt.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <memory>
#include <new>
#include <numeric>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace {

void printAuthor(const Bank& bank)
{
    std::cout << "the auther of this .wbk is " << visibleText(bank.author().c_str(), 0) << std::endl;
}

[[noreturn]] void failAllocation()
{
    std::cerr << "wbkdeck: not enough memory" << std::endl;
    std::exit(-1);
}

enum class Mode { play, list, extract, exportWav, manifest, manifestOfFiles, json, cHeader, html };

// The modes that print only their own output, and refuse a damaged bank.
bool printsOnly(Mode mode)
{
    return mode == Mode::manifest || mode == Mode::manifestOfFiles || mode == Mode::json || mode == Mode::cHeader ||
           mode == Mode::html;
}

// The listing, playback and -d refuse a file that is no bank with their short
// messages; the other modes name the program, the file and what is wrong.
Refusals refusalsOf(Mode mode)
{
    return mode == Mode::play || mode == Mode::list || mode == Mode::extract ? Refusals::terse : Refusals::named;
}

struct Arguments {
    Mode mode = Mode::play;
    const char* bank = nullptr;
    const char* page = nullptr;  // --html's
    std::vector<std::string> entries;
};

const char usage[] = "Usage: wbkdeck [-d|-w|-l|-m|-M|--json] BANK [ENTRY...]\n"
                     "       wbkdeck --header BANK\n"
                     "       wbkdeck --html PAGE BANK [ENTRY...]\n";

const char help[] = "Checks the sound bank BANK and prints its author, then\n"
                    "  (no option)  lists the samples and plays them, one per character read, through\n"
                    "               /dev/dsp or ALSA (WBK_AUDIO=oss, alsa or alsa:PCM chooses)\n"
                    "  -l           lists the samples only\n"
                    "  -d           extracts every sample's stored data into a file named after it\n"
                    "  -w           exports every sample as an unsigned 8-bit WAV file, named after it + \".wav\"\n"
                    "or prints only\n"
                    "  -m           the bank's manifest for wbkpack --build, its entries taken from BANK\n"
                    "  -M           the manifest with the files that -d wrote as sources, where they\n"
                    "               hold the entries' bytes\n"
                    "  --json       the listing as a JSON array of objects\n"
                    "  --header     a C header: an enum of the entries' indices named after them\n"
                    "or writes\n"
                    "  --html PAGE  one self-contained web page to search, see and play the entries\n"
                    "ENTRY chooses entries, dealt with in bank order: an index (12), a range (3-7) or\n"
                    "a stored name (\\xHH escapes accepted: \\x33-4 is the name 3-4); without ENTRY,\n"
                    "every entry.\n"
                    "  -h, --help   show this help\n"
                    "  --version    show the version\n";

[[noreturn]] void refuseUsage(const std::string& reason)
{
    std::cerr << "wbkdeck: " << reason << "\n" << usage << std::flush;
    std::exit(-1);
}

enum { versionOption = 1, jsonOption, headerOption, htmlOption };

// The mode options and the mode that each one chooses.
const std::pair<int, Mode> modeOptions[] = {{'d', Mode::extract},         {'w', Mode::exportWav},
                                            {'l', Mode::list},            {'m', Mode::manifest},
                                            {'M', Mode::manifestOfFiles}, {jsonOption, Mode::json},
                                            {headerOption, Mode::cHeader}, {htmlOption, Mode::html}};

// A long option as it was given (also "--help=x", which getopt names by its
// short twin), a short one by the letter that getopt refused.
std::string refusedOption(const char* lastArgument)
{
    if (std::strncmp(lastArgument, "--", 2) == 0)
        return lastArgument;
    return {'-', char(optopt)};
}

// The operands: the bank, then the entries, which --header does not take.
void takeOperands(Arguments& arguments, int argc, char* argv[])
{
    if (optind >= argc) {
        std::cerr << "Usage:" << argv[0] << " .wbk" << std::endl;
        std::exit(-1);
    }
    arguments.bank = argv[optind];
    arguments.entries.assign(argv + optind + 1, argv + argc);
    // Options end at the bank, so a "--" after it only marks that end, unless
    // one before the bank did.
    const bool optionsEnded = std::strcmp(argv[optind - 1], "--") == 0;
    const auto marker = std::find(arguments.entries.begin(), arguments.entries.end(), "--");
    if (!optionsEnded && marker != arguments.entries.end())
        arguments.entries.erase(marker);
    if (arguments.mode == Mode::cHeader && !arguments.entries.empty())
        refuseUsage("unexpected argument after the bank: " + arguments.entries.front());
}

// At most one mode option, then the bank and the entries.
Arguments parseArguments(int argc, char* argv[])
{
    static const option longOptions[] = {{"help", no_argument, nullptr, 'h'},
                                         {"version", no_argument, nullptr, versionOption},
                                         {"json", no_argument, nullptr, jsonOption},
                                         {"header", no_argument, nullptr, headerOption},
                                         {"html", required_argument, nullptr, htmlOption},
                                         {nullptr, 0, nullptr, 0}};
    Arguments arguments;
    opterr = 0;
    // "+": options end at the first operand, so that every argument after the bank is an entry;
    // ":": a missing option argument is told apart from an unknown option.
    for (int option; (option = getopt_long(argc, argv, "+:hdwlmM", longOptions, nullptr)) != -1;) {
        switch (option) {
        case 'h':
            std::cout << usage << help;
            std::exit(0);
        case versionOption:
            std::cout << "wbkdeck " WBK_VERSION << std::endl;
            std::exit(0);
        default:
            const auto chosen = std::find_if(std::begin(modeOptions), std::end(modeOptions),
                                             [&](const auto& modeOption) { return modeOption.first == option; });
            if (option == ':')
                refuseUsage("option " + refusedOption(argv[optind - 1]) + " needs an argument");
            if (chosen == std::end(modeOptions))
                refuseUsage("unknown option " + refusedOption(argv[optind - 1]));
            // No option chooses play, the mode without one.
            if (arguments.mode != Mode::play)
                refuseUsage("only one of -d, -w, -l, -m, -M, --json, --header and --html can be given");
            arguments.mode = chosen->second;
            if (option == htmlOption)
                arguments.page = optarg;
        }
    }
    takeOperands(arguments, argc, argv);
    return arguments;
}

// The entries that the arguments choose, all of them without any; a choice
// that names nothing ends the program with its reason.
std::vector<std::size_t> chosenEntries(const Bank& bank, const std::vector<std::string>& arguments)
{
    if (arguments.empty()) {
        std::vector<std::size_t> all(bank.entries().size());
        std::iota(all.begin(), all.end(), 0);
        return all;
    }
    try {
        return chooseEntries(bank.entries(), arguments);
    } catch (const std::invalid_argument& error) {
        std::cerr << "wbkdeck: " << error.what() << std::endl;
        std::exit(-1);
    }
}

// Prints the author and the loading line, then runs the chosen mode on the
// chosen entries; false when a sample could not be played or written.
bool runDeckMode(const Arguments& arguments, const Bank& bank, const std::vector<std::size_t>& chosen)
{
    printAuthor(bank);
    std::cout << "now loading " << visibleText(arguments.bank, 0) << "." << std::flush;
    switch (arguments.mode) {
    case Mode::play:
        return playPcm(bank, chosen, arguments.bank, 0);
    case Mode::list:
        listPcm(bank, chosen, arguments.bank, 0);
        return true;
    case Mode::extract:
        std::cout << std::endl;
        return extractPcm(bank, chosen, 0);
    case Mode::exportWav: {
        std::cout << std::endl;
        const bool allWritten = exportWav(bank, chosen, 0);
        refuseDamage(bank, arguments.bank);
        return allWritten;
    }
    default:
        return false;
    }
}

// Prints only what the mode makes of the chosen entries.
void runPrintMode(const Arguments& arguments, const Bank& bank, const std::vector<std::size_t>& chosen)
{
    switch (arguments.mode) {
    case Mode::manifest:
    case Mode::manifestOfFiles:
        printManifest(bank, chosen, arguments.bank, arguments.mode == Mode::manifestOfFiles);
        break;
    case Mode::json:
        printJson(bank, chosen);
        break;
    case Mode::cHeader:
        printCHeader(bank, arguments.bank);
        break;
    case Mode::html:
        writeHtml(bank, chosen, arguments.page, arguments.bank);
        break;
    default:
        break;
    }
}

// The bank could not be read after its index was: it may have been cut
// short or replaced meanwhile, or the disk fails.
[[noreturn]] void failReading(const char* wbkFileName, const BankError& error)
{
    std::cerr << "wbkdeck: " << visibleText(wbkFileName, 1) << ": " << error.what() << ": "
              << std::strerror(error.errorNumber()) << std::endl;
    std::exit(-1);
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
    // Files staged by any mode are removed on SIGINT, SIGTERM and every other
    // signal that would end the process; beyond the file size limit a write
    // fails and is reported, instead of the process being killed in the
    // middle of a file.
    CleanupRegistry::catchSignals();

    const std::unique_ptr<Bank> bank = openBank(arguments.bank, refusalsOf(arguments.mode));
    if (printsOnly(arguments.mode))
        refuseDamage(*bank, arguments.bank);
    const std::vector<std::size_t> chosen = chosenEntries(*bank, arguments.entries);
    try {
        bool allDone = true;
        if (printsOnly(arguments.mode))
            runPrintMode(arguments, *bank, chosen);
        else
            allDone = runDeckMode(arguments, *bank, chosen);
        return outputWritten() && allDone ? 0 : -1;
    } catch (const BankError& error) {
        failReading(arguments.bank, error);
    } catch (const std::runtime_error& error) {
        std::cerr << "wbkdeck: " << error.what() << std::endl;
        return -1;
    }
}
