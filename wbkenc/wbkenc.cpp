// wbkenc: turns an audio file into a sample for a sound bank, signed 8-bit
// PCM (.pc8) or 4-bit ADPCM (.pcm), ready for wbkpack.
#include "OutputFile.h"
#include "Progress.h"

#include "encodeAudioFile.h"
#include "SampleFormat.h"

#include <getopt.h>
#include <sys/stat.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>

namespace {

const char usage[] =
    "Usage: wbkenc [-r RATE] [-q QUALITY] [-j N] [-D] [-f] INPUT OUTPUT\n"
    "Makes a sound bank sample from an audio file (WAV, AIFF, FLAC, Ogg Vorbis and\n"
    "whatever else libsndfile reads), mixed down to mono. OUTPUT's name decides the\n"
    "format: .pc8 or .PC8 is signed 8-bit PCM, .pcm or .PCM is 4-bit ADPCM.\n"
    "\n"
    "  -r RATE      resample to RATE Hz (1..65535); default: keep the input's rate\n"
    "  -q QUALITY   ADPCM search effort, 1 (greedy, fastest) to 5 (widest); default 4\n"
    "  -j N         search on N threads (1..1024; default: one per core); the bytes\n"
    "               are the same for every N\n"
    "  -D           no dither when reducing to 8 bits (.pc8)\n"
    "  -f           replace OUTPUT if it exists\n"
    "  -h, --help   show this help\n"
    "  --version    show the version\n"
    "\n"
    "Example: wbkenc -r 16540 voice.wav voice.pcm && wbkpack -r 16540 voices.wbk voice.pcm\n";

using Format = SampleFormat;

struct Options {
    AudioEncoding encoding;
    bool replace = false;
    std::string input, output;
};

[[noreturn]] void refuse(const std::string& message)
{
    std::cerr << "wbkenc: " << message << std::endl;
    std::exit(-1);
}

// Decided from the name exactly as wbkpack decides the sample type.
Format formatOf(const std::string& output)
{
    const Format format = sampleFormatOf(output.c_str());
    if (format != Format::unnamed)
        return format;
    refuse("OUTPUT must end in .pc8 (signed 8-bit) or .pcm (ADPCM): " + output);
}

// A whole number in first..last, or a refusal naming the option.
int numberArgument(const char* text, int first, int last, const char* option, const char* what)
{
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || errno != 0 || value < first || value > last)
        refuse(std::string(option) + " takes " + what + " from " + std::to_string(first) + " to " +
               std::to_string(last) + ", not '" + text + "'");
    return static_cast<int>(value);
}

// What getopt refused: an unknown short or long option, or a value given
// to a long option that takes none (then getopt reports it by its letter).
std::string optionError(int letter, const std::string& word)
{
    const std::size_t equals = word.find('=');
    if (word.compare(0, 2, "--") == 0 && equals != std::string::npos)
        return "option " + word.substr(0, equals) + " takes no value";
    if (letter)
        return std::string("unknown option -") + static_cast<char>(letter);
    return "unknown option " + word;
}

Options parseOptions(int argc, char* argv[])
{
    static const option longOptions[] = {
        {"help", no_argument, nullptr, 'h'}, {"version", no_argument, nullptr, 'V'}, {nullptr, 0, nullptr, 0}};
    Options options;
    options.encoding.threads = AudioEncoding::defaultThreads();
    opterr = 0;
    for (int c; (c = getopt_long(argc, argv, ":r:q:j:Dfh", longOptions, nullptr)) != -1;) {
        switch (c) {
        case 'r':
            options.encoding.rate = numberArgument(optarg, 1, AudioEncoding::maxRate, "-r", "a rate");
            break;
        case 'q':
            options.encoding.quality = numberArgument(optarg, 1, AudioEncoding::qualityLevels, "-q", "a quality");
            break;
        case 'j':
            options.encoding.threads = static_cast<unsigned>(
                numberArgument(optarg, 1, AudioEncoding::maxThreads, "-j", "a number of threads"));
            break;
        case 'D':
            options.encoding.dither = false;
            break;
        case 'f':
            options.replace = true;
            break;
        case 'h':
            std::cout << usage;
            std::exit(0);
        case 'V':
            std::cout << "wbkenc " WBK_VERSION << std::endl;
            std::exit(0);
        case ':':
            refuse(std::string("option -") + static_cast<char>(optopt) + " needs a value (see wbkenc --help)");
        default:
            refuse(optionError(optopt, argv[optind - 1]) + " (see wbkenc --help)");
        }
    }
    if (argc - optind != 2)
        refuse("expected INPUT and OUTPUT (see wbkenc --help)");
    options.input = argv[optind];
    options.output = argv[optind + 1];
    return options;
}

// OUTPUT is replaced only with -f, and never when it is a directory: that
// would fail only after all the work. A symbolic link is replaced itself.
void checkOutputPlace(const Options& options)
{
    struct stat info;
    if (lstat(options.output.c_str(), &info) != 0)
        return;
    if (S_ISDIR(info.st_mode))
        refuse(options.output + " is a directory");
    if (!options.replace)
        refuse(options.output + " exists (use -f to replace it)");
}

std::string formatSnr(double decibels)
{
    if (std::isnan(decibels))
        return "n/a";
    if (std::isinf(decibels))
        return "inf dB";
    char text[32];
    std::snprintf(text, sizeof text, "%.1f dB", decibels);
    return text;
}

// `name` as one shell word, quoted only when it needs to be, so that the
// suggested command line can be pasted as it is.
std::string shellWord(const std::string& name)
{
    const bool plain = !name.empty() && name.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"
                                                                "0123456789._/+-,:@%") == std::string::npos;
    if (plain)
        return name;
    std::string quoted = "'";
    for (char c : name)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

// False when standard output could not take it.
bool printSummary(const Options& options, const EncodedAudio& sample)
{
    char duration[32];
    std::snprintf(duration, sizeof duration, "%.2f", static_cast<double>(sample.samples) / sample.rate);
    std::cout << "wrote " << options.output << ": " << sample.samples << " samples at " << sample.rate << " Hz ("
              << duration << " s), " << (options.encoding.format == Format::adpcm ? "ADPCM" : "signed 8-bit")
              << ", SNR " << formatSnr(sample.snr) << ", " << sample.clipped << " clipped\n"
              << "pack it with: wbkpack -r " << sample.rate << " BANK.wbk " << shellWord(options.output) << std::endl;
    return !std::cout.fail();
}

} // namespace

int main(int argc, char* argv[])
{
    Options options = parseOptions(argc, argv);
    options.encoding.format = formatOf(options.output);
    checkOutputPlace(options);

    EncodedAudio sample;
    OutputFile file(options.output);
    if (!file.error().empty())
        refuse(file.error());
    try {
        Progress progress;
        sample = encodeAudioFile(
            options.input, options.input, options.encoding,
            [&file](const unsigned char* bytes, std::size_t count) { file.write(bytes, count); },
            [&](std::int64_t done, std::int64_t total) {
                progress.show(done, total);
                return file.error().empty();
            });
        progress.erase();
    } catch (const std::runtime_error& error) {
        refuse(error.what());
    }
    if (!file.commit(options.replace))
        refuse(file.error());
    // The output is complete and stays; the run still fails, as what it
    // printed was lost.
    if (!printSummary(options, sample))
        refuse("can not write the summary to standard output; " + options.output + " is complete");
    return 0;
}
