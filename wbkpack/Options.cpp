#include "Options.h"

#include <getopt.h>

#include "Refusal.h"

namespace {

const char usage[] = "Usage: wbkpack [-r RATE] BANK SAMPLE\n"
                     "       wbkpack --repair BANK\n";

const char help[] =
    "Appends the raw sample file SAMPLE to the sound bank BANK, creating the bank when needed.\n"
    "SAMPLE is signed 8-bit PCM (.pc8) or 4-bit ADPCM (.pcm); convert other audio with wbkenc.\n"
    "  -r RATE     the sample rate in Hz (1 to 65535), instead of asking for it\n"
    "  --repair    cut a damaged BANK back to its last whole entry\n"
    "  -h, --help  show this help\n"
    "  --version   show the version\n"
    "\n"
    "Edits: each writes a new bank beside BANK and renames it into place, or leaves BANK as it was.\n"
    "  wbkpack [-r RATE] BANK SAMPLE...                     append several samples, all or none\n"
    "  wbkpack --insert INDEX [-r RATE] BANK SAMPLE...      insert them before entry INDEX\n"
    "  wbkpack --replace ENTRY [-r RATE] [--name NAME] BANK SAMPLE\n"
    "                                                       new data for an entry\n"
    "  wbkpack --remove ENTRY [--remove ENTRY...] BANK      remove entries\n"
    "  wbkpack --set ENTRY [-r RATE] [--name NAME] BANK     change an entry's rate or name\n"
    "  wbkpack --move ENTRY --to INDEX BANK                 move an entry to INDEX\n"
    "  wbkpack --build BANK MANIFEST [-q Q] [-j N]          a whole bank from a manifest ('-': standard input)\n"
    "  wbkpack --build BANK DIR [-r RATE] [--type adpcm|8bit] [-q Q] [-j N]\n"
    "                                                       a bank of every audio file in DIR\n"
    "A build encodes its audio files at quality Q (1 to 5, as wbkenc -q; default 4) on N threads\n"
    "(default: one per core).\n"
    "Without -r each SAMPLE's rate is asked for. Entries count from 0. ENTRY is an index (12), a\n"
    "range (3-7, for --remove) or a stored name (\\xHH escapes accepted). NAME is at most 16 bytes.\n"
    "A manifest is text: \"wbk manifest 1\", then optional \"magic\" and \"author\" lines, then one\n"
    "line per entry: TYPE, RATE, NAME, SOURCE separated by TABs, SOURCE being PATH#N (entry N of\n"
    "a bank), a raw sample file, or a WAV, AIFF, FLAC or Ogg file encoded to TYPE 8bit or adpcm.\n"
    "See wbkpack(1).\n";

struct EditOption {
    Options::Edit edit;
    const char* name;
    bool takesRate, takesName;
    std::size_t operandsFrom, operandsTo;
};

constexpr std::size_t anyNumber = 1000000;

// What each edit takes: -r, --name, and how many operands.
const EditOption editOptions[] = {
    {Options::Edit::none, "", true, false, 2, anyNumber},
    {Options::Edit::replace, "--replace", true, true, 2, 2},
    {Options::Edit::insert, "--insert", true, false, 2, anyNumber},
    {Options::Edit::remove, "--remove", false, false, 1, 1},
    {Options::Edit::set, "--set", true, true, 1, 1},
    {Options::Edit::move, "--move", false, false, 1, 1},
    {Options::Edit::build, "--build", true, false, 2, 2},
};

[[noreturn]] void refuseUsage(const std::string& reason)
{
    throw Refusal(Refusal::Kind::verbatim, "wbkpack: " + reason + "\n" + usage);
}

const EditOption& editOption(Options::Edit edit)
{
    for (const EditOption& option : editOptions)
        if (option.edit == edit)
            return option;
    return editOptions[0];
}

void chooseEdit(Options& options, Options::Edit edit)
{
    if (options.repair || (options.edit != Options::Edit::none && options.edit != edit))
        refuseUsage(std::string(options.repair ? "--repair" : editOption(options.edit).name) + " and " +
                    (edit == Options::Edit::none ? "--repair" : editOption(edit).name) + " do not go together");
    options.edit = edit;
}

// The operands and options that each form takes.
void checkForm(const Options& options, const char* program)
{
    const EditOption& form = editOption(options.edit);
    const std::string name = options.repair ? "--repair" : form.name;
    if (options.rate && (options.repair || !form.takesRate))
        refuseUsage(name + " takes no rate");
    if (options.name && !form.takesName)
        refuseUsage("--name goes with --replace or --set only");
    if (options.to && options.edit != Options::Edit::move)
        refuseUsage("--to goes with --move only");
    if ((options.quality || options.jobs || options.type) && options.edit != Options::Edit::build)
        refuseUsage(std::string(options.quality ? "-q" : options.jobs ? "-j" : "--type") + " goes with --build only");
    if (options.edit == Options::Edit::move && !options.to)
        refuseUsage("--move needs --to INDEX");
    if (options.edit == Options::Edit::set && !options.rate && !options.name)
        refuseUsage("--set needs -r RATE or --name NAME");
    const std::size_t most = options.repair ? 1 : form.operandsTo;
    const std::size_t fewest = options.repair ? 1 : form.operandsFrom;
    if (options.operands.size() > most)
        refuseUsage(std::string("unexpected operand ") + options.operands[most]);
    if (options.operands.size() >= fewest)
        return;
    if (options.repair)
        refuseUsage("--repair needs the bank to repair");
    if (options.edit == Options::Edit::none) {
        throw Refusal(Refusal::Kind::verbatim, "Usage:" + std::string(program) + " .wbk .[pc8|pcm]\n");
    }
    refuseUsage(name + (fewest == 1 ? " needs the bank" : options.edit == Options::Edit::build
                                                              ? " needs the bank and the manifest"
                                                              : " needs the bank and the sample"));
}

} // namespace

Options parseOptions(int argc, char* argv[])
{
    enum { versionOption = 1, repairOption, toOption, nameOption, buildOption, typeOption };
    static const option longOptions[] = {{"help", no_argument, nullptr, 'h'},
                                         {"version", no_argument, nullptr, versionOption},
                                         {"repair", no_argument, nullptr, repairOption},
                                         {"replace", required_argument, nullptr, 'R'},
                                         {"insert", required_argument, nullptr, 'I'},
                                         {"remove", required_argument, nullptr, 'D'},
                                         {"set", required_argument, nullptr, 'S'},
                                         {"move", required_argument, nullptr, 'M'},
                                         {"to", required_argument, nullptr, toOption},
                                         {"name", required_argument, nullptr, nameOption},
                                         {"build", no_argument, nullptr, buildOption},
                                         {"type", required_argument, nullptr, typeOption},
                                         {nullptr, 0, nullptr, 0}};
    Options options;
    opterr = 0;
    for (int option; (option = getopt_long(argc, argv, ":hr:q:j:", longOptions, nullptr)) != -1;) {
        switch (option) {
        case 'h':
            options.answer = std::string(usage) + help;
            return options;
        case versionOption:
            options.answer = "wbkpack " WBK_VERSION "\n";
            return options;
        case repairOption:
            if (options.edit != Options::Edit::none)
                chooseEdit(options, Options::Edit::none);
            options.repair = true;
            break;
        case 'r':
            options.rate = optarg;
            break;
        case 'q':
            options.quality = optarg;
            break;
        case 'j':
            options.jobs = optarg;
            break;
        case typeOption:
            options.type = optarg;
            break;
        case 'R':
        case 'S':
        case 'M':
        case 'I':
            chooseEdit(options, option == 'R'   ? Options::Edit::replace
                                : option == 'S' ? Options::Edit::set
                                : option == 'M' ? Options::Edit::move
                                                : Options::Edit::insert);
            options.entry = optarg;
            break;
        case 'D':
            chooseEdit(options, Options::Edit::remove);
            options.removed.push_back(optarg);
            break;
        case toOption:
            options.to = optarg;
            break;
        case nameOption:
            options.name = optarg;
            break;
        case buildOption:
            chooseEdit(options, Options::Edit::build);
            break;
        case ':':
            refuseUsage(optopt == 'r' ? "-r needs a sample rate" : std::string(argv[optind - 1]) + " needs a value");
        default:  // a short option is named by optopt, a long one by the argument just read
            refuseUsage("unknown option " + (optopt ? std::string{'-', char(optopt)} : argv[optind - 1]));
        }
    }
    options.operands.assign(argv + optind, argv + argc);
    checkForm(options, argv[0]);
    return options;
}
