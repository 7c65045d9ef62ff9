// wbkpack: appends one sample file to a sound bank, creating the bank and its
// header when the bank is empty. A run never damages a bank: it appends only
// to a whole bank, under an exclusive lock, and a run that fails takes back
// its own bytes and nothing else.
#include "Bank.h"
#include "BankLock.h"
#include "KovaInputStream.h"
#include "KovaOutputStream.h"
#include "printError.h"
#include "rollback.h"
#include "sampleFormat.h"

#include <fcntl.h>
#include <getopt.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

namespace {

using namespace std::string_literals;

constexpr std::int64_t maxSampleSize = INT32_MAX;
constexpr std::size_t maxRateLine = 32;

const char usage[] = "Usage: wbkpack [-r RATE] BANK SAMPLE\n"
                     "       wbkpack --repair BANK\n";

const char help[] = "Appends the raw sample file SAMPLE to the sound bank BANK, creating the bank when needed.\n"
                    "SAMPLE is signed 8-bit PCM (.pc8) or 4-bit ADPCM (.pcm); convert other audio with wbkenc.\n"
                    "  -r RATE     the sample rate in Hz (1 to 65535), instead of asking for it\n"
                    "  --repair    cut a damaged BANK back to its last whole entry\n"
                    "  -h, --help  show this help\n"
                    "  --version   show the version\n";

struct Options {
    bool repair = false;
    const char* rate = nullptr;
    std::vector<const char*> operands;
};

[[noreturn]] void refuseUsage(const std::string& reason)
{
    std::cerr << "wbkpack: " << reason << "\n" << usage << std::flush;
    std::exit(-1);
}

// Ends the run with one line on standard error. Once the bank is open, the
// undoing at exit takes back what this run did to it.
[[noreturn]] void refuse(const std::string& message)
{
    std::cerr << message << std::endl;
    std::exit(-1);
}

[[noreturn]] void failOpen(const char* name)
{
    printOpenError(name);
    std::exit(-1);
}

[[noreturn]] void failWrite(const char* wbkFileName)
{
    printWriteError(wbkFileName);
    std::exit(-1);
}

// Reports a failed system call on the bank: "can not lock bank.wbk : ...".
[[noreturn]] void failOn(const char* action, const char* wbkFileName)
{
    std::cerr << "can not " << action << " " << wbkFileName << std::flush;
    std::perror(" ");
    std::exit(-1);
}

Options parseOptions(int argc, char* argv[])
{
    enum { versionOption = 1, repairOption };
    static const option longOptions[] = {{"help", no_argument, nullptr, 'h'},
                                         {"version", no_argument, nullptr, versionOption},
                                         {"repair", no_argument, nullptr, repairOption},
                                         {nullptr, 0, nullptr, 0}};
    Options options;
    opterr = 0;
    for (int option; (option = getopt_long(argc, argv, ":hr:", longOptions, nullptr)) != -1;) {
        switch (option) {
        case 'h':
            std::cout << usage << help;
            std::exit(0);
        case versionOption:
            std::cout << "wbkpack " WBK_VERSION << std::endl;
            std::exit(0);
        case repairOption:
            options.repair = true;
            break;
        case 'r':
            options.rate = optarg;
            break;
        case ':':
            refuseUsage("-r needs a sample rate");
        default:  // a short option is named by optopt, a long one by the argument just read
            refuseUsage("unknown option " + (optopt ? std::string{'-', char(optopt)} : argv[optind - 1]));
        }
    }
    options.operands.assign(argv + optind, argv + argc);
    return options;
}

unsigned char sampleTypeOf(const char* sampleName)
{
    if (sampleFormatOf(sampleName) == SampleFormat::adpcm) {
        std::cerr << sampleName << " is not pcm data." << std::endl;
        std::cerr << ".pcm is not supported." << std::endl;
        return 1;
    }
    return 0;
}

// The name stored in the entry: the file's own name, never a directory part.
std::string baseName(const char* path)
{
    const char* slash = std::strrchr(path, '/');
    return slash ? slash + 1 : path;
}

void noteCutName(const char* pcmFileName)
{
    const std::string name = baseName(pcmFileName);
    if (name.size() > Bank::nameSize)
        std::cerr << "the name " << name << " is stored cut to its first 16 bytes: " << name.substr(0, Bank::nameSize)
                  << std::endl;
}

// Refuses a sample that is too large for an entry or is an audio file of a
// container format rather than raw sample bytes.
void checkSample(KovaInputStream& pcm, const char* pcmFileName)
{
    if (pcm.getFileSize() > maxSampleSize)
        refuse(pcmFileName + " is too large: a sample must be smaller than 2147483648 bytes."s);
    static const struct {
        const char* magic;
        const char* format;
    } containers[] = {{"RIFF", "WAV"}, {"FORM", "AIFF"}, {"fLaC", "FLAC"}, {"OggS", "Ogg"}};
    char start[4] = {};
    pcm.rdbuf()->sgetn(start, sizeof start);
    pcm.rdbuf()->pubseekpos(0);
    for (const auto& container : containers) {
        if (std::memcmp(start, container.magic, sizeof start) != 0)
            continue;
        const std::string name = baseName(pcmFileName);
        const std::string stem = name.substr(0, name.rfind('.'));
        const std::string converted = stem + (name == stem + ".pcm" ? "-converted.pcm" : ".pcm");
        refuse(pcmFileName + " is a "s + container.format + " file, not raw sample data: convert it first, " +
               "e.g. with: wbkenc " + pcmFileName + " " + converted);
    }
}

// What a damaged bank is missing, e.g. "the entry at offset 63 claims 100
// bytes but only 10 remain".
std::string damageText(const BankDamage& damage)
{
    const std::string present = std::to_string(damage.present);
    if (damage.part == BankDamage::header)
        return "the header is cut short after " + present + " bytes";
    const std::string entry = "the entry at offset " + std::to_string(damage.offset);
    if (damage.part == BankDamage::entryHead)
        return entry + " is cut short after " + present + " bytes";
    return entry + " claims " + std::to_string(damage.needed - Bank::entryHeadSize) + " bytes but only " +
           std::to_string(damage.present - Bank::entryHeadSize) + " remain";
}

// Ends the run unless `bank` is whole (or empty).
void requireWhole(const Bank& bank, const char* wbkFileName)
{
    switch (bank.state()) {
    case Bank::State::empty:
    case Bank::State::whole:
        return;
    case Bank::State::notBank:
        refuse(wbkFileName + " is not a sound bank: it does not start with WBK (the bank comes first: "s +
               "wbkpack BANK SAMPLE)");
    case Bank::State::damaged:
        refuse(wbkFileName + " is damaged: "s + damageText(*bank.damage()) + "; wbkpack --repair " + wbkFileName +
               " cuts it back to its last whole entry");
    }
}

// The index of the bank open on `fd`; a bank that cannot be read ends the run.
std::unique_ptr<Bank> readBank(int fd, const char* wbkFileName)
{
    try {
        return std::make_unique<Bank>(fd);
    } catch (const BankError& error) {
        errno = error.errorNumber();
        failOn("read", wbkFileName);
    }
}

// Refuses a file that is not a whole bank before the user is asked anything,
// under a shared lock so that an append in progress is not taken for damage.
void precheckBank(KovaOutputStream& wbk, const char* wbkFileName)
{
    if (flock(wbk.fd(), LOCK_SH) != 0)
        failOn("lock", wbkFileName);
    requireWhole(*readBank(wbk.fd(), wbkFileName), wbkFileName);
    flock(wbk.fd(), LOCK_UN);
}

// Opens (or creates) the bank with the signals held back until the undoing
// knows the file, so that an interrupted run never leaves a new empty bank.
std::unique_ptr<KovaOutputStream> openBank(const char* wbkFileName)
{
    const SignalBlock block;
    auto wbk = std::make_unique<KovaOutputStream>(wbkFileName, std::ios::in | std::ios::out | std::ios::app |
                                                                   std::ios::binary);
    if (!wbk->good())
        failOpen(wbkFileName);
    watchBank(wbk->fd(), wbk->createdFile());
    return wbk;
}

// Takes the exclusive lock on the file that is at the bank's path now: while
// this run waited, the bank may have been removed or replaced.
void lockBank(std::unique_ptr<KovaOutputStream>& wbk, const char* wbkFileName)
{
    for (;;) {
        if (flock(wbk->fd(), LOCK_EX) != 0)
            failOn("lock", wbkFileName);
        if (BankLock::isFileAtPath(wbk->fd(), wbkFileName))
            return;
        wbk = openBank(wbkFileName);
    }
}

// Accepts a whole number that fits the 16-bit rate field; anything else ends
// the run before the bank is touched.
int parseRate(const std::string& answer)
{
    const char* text = answer.c_str();
    char* end = nullptr;
    errno = 0;
    const long rate = std::strtol(text, &end, 10);
    while (end != text && std::isspace(static_cast<unsigned char>(*end)))
        ++end;
    if (answer.size() > maxRateLine || end == text || *end != '\0' || errno != 0 || rate < 1 ||
        rate > UINT16_MAX)
        refuse("the sample rate must be a whole number from 1 to 65535.");
    return static_cast<int>(rate);
}

// Reads one line, but no more than one character beyond `limit`: a longer
// answer is refused without being read whole.
std::string readLine(std::size_t limit)
{
    std::string line;
    for (int c; line.size() <= limit && (c = std::cin.get()) != EOF && c != '\n';)
        line += static_cast<char>(c);
    return line;
}

int askRate(const char* pcmFileName)
{
    std::cout << "input sample rate of " << pcmFileName << ":" << std::flush;
    return parseRate(readLine(maxRateLine));
}

void writeHeader(KovaOutputStream& wbk, const char* wbkFileName)
{
    const char* logname = std::getenv("LOGNAME");
    const auto header = Bank::encodeHeader(Bank::newMagic(), Bank::newAuthor(logname ? logname : ""));
    wbk.write(reinterpret_cast<const char*>(header.data()), header.size());
    if (wbk.fail())
        failWrite(wbkFileName);
}

void addPcm(KovaOutputStream& wbk, KovaInputStream& pcm, const char* wbkFileName, unsigned char type,
            const char* pcmFileName, int rate)
{
    EntryHead head;
    head.type = type;
    const std::string name = baseName(pcmFileName);
    std::copy_n(name.begin(), std::min(name.size(), Bank::nameSize), head.name.begin());
    head.rate = static_cast<std::uint16_t>(rate);
    const std::int64_t size = pcm.getFileSize();
    head.size = static_cast<std::uint32_t>(size);
    const auto bytes = Bank::encodeEntryHead(head);
    wbk.write(reinterpret_cast<const char*>(bytes.data()), bytes.size());

    std::vector<char> chunk(64 * 1024);
    for (std::int64_t left = size; left > 0 && wbk.good();) {
        const std::int64_t count = std::min<std::int64_t>(left, chunk.size());
        pcm.read(chunk.data(), count);
        wbk.write(chunk.data(), count);
        left -= count;
    }
    if (wbk.fail())
        failWrite(wbkFileName);
}

// Devices and file systems that cannot sync answer EINVAL: nothing to wait for.
bool synced(int fd)
{
    return fsync(fd) == 0 || errno == EINVAL;
}

// Makes a new bank's directory entry durable too: the entry of the file
// itself, in the directory a symbolic link leads to.
bool syncDirectoryOf(const char* path)
{
    const std::unique_ptr<char, decltype(&std::free)> real(realpath(path, nullptr), &std::free);
    if (!real)
        return false;
    const char* slash = std::strrchr(real.get(), '/');
    const std::string directory(real.get(), slash == real.get() ? 1 : slash - real.get());
    const int fd = open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool ok = synced(fd);
    close(fd);
    return ok;
}

void makeDurable(KovaOutputStream& wbk, const char* wbkFileName, bool newBank)
{
    wbk.flush();
    if (wbk.fail() || !synced(wbk.fd()) || (newBank && !syncDirectoryOf(wbkFileName)))
        failWrite(wbkFileName);
}

// A bank given as its own sample would be copied into itself as it grows.
void refuseBankAsSample(int bankFd, const char* wbkFileName, const char* pcmFileName)
{
    if (BankLock::isFileAtPath(bankFd, pcmFileName))
        refuse(pcmFileName + " is the bank "s + wbkFileName + " itself: a bank cannot be appended to itself");
}

int appendSample(const char* wbkFileName, const char* pcmFileName, const char* rateOption)
{
    const unsigned char type = sampleTypeOf(pcmFileName);
    const int givenRate = rateOption ? parseRate(rateOption) : 0;
    installRollback();
    std::unique_ptr<KovaOutputStream> wbk = openBank(wbkFileName);

    KovaInputStream pcm(pcmFileName, std::ios::in | std::ios::binary);
    if (!pcm.good())
        failOpen(pcmFileName);
    refuseBankAsSample(wbk->fd(), wbkFileName, pcmFileName);
    checkSample(pcm, pcmFileName);
    precheckBank(*wbk, wbkFileName);

    std::cout << "now appending " << pcmFileName << " to " << wbkFileName << "..." << std::endl;
    noteCutName(pcmFileName);
    const int rate = rateOption ? givenRate : askRate(pcmFileName);

    lockBank(wbk, wbkFileName);
    const std::unique_ptr<Bank> bank = readBank(wbk->fd(), wbkFileName);
    requireWhole(*bank, wbkFileName);
    beginWriting(static_cast<off_t>(bank->wholeLength()));
    if (!bank->hasHeader())
        writeHeader(*wbk, wbkFileName);
    addPcm(*wbk, pcm, wbkFileName, type, pcmFileName, rate);
    makeDurable(*wbk, wbkFileName, !bank->hasHeader());

    commit();
    pcm.close();
    wbk->close();
    std::cout << "done" << std::endl;
    return 0;
}

// Cuts a damaged bank back to the end of its last whole entry.
int repairBank(const char* wbkFileName)
{
    const int fd = open(wbkFileName, O_RDWR | O_CLOEXEC);
    if (fd < 0)
        failOpen(wbkFileName);
    if (flock(fd, LOCK_EX) != 0)
        failOn("lock", wbkFileName);
    const std::unique_ptr<Bank> bank = readBank(fd, wbkFileName);
    if (bank->state() != Bank::State::damaged) {
        requireWhole(*bank, wbkFileName);
        std::cout << wbkFileName << " is whole: nothing to remove" << std::endl;
    } else if (ftruncate(fd, static_cast<off_t>(bank->wholeLength())) != 0 || !synced(fd)) {
        failWrite(wbkFileName);
    } else {
        std::cout << "removed " << bank->length() - bank->wholeLength() << " bytes from the end of " << wbkFileName
                  << "; whole entries kept: " << bank->entries().size() << std::endl;
    }
    close(fd);
    return 0;
}

} // namespace

int main(int argc, char* argv[])
{
    const Options options = parseOptions(argc, argv);
    const std::size_t operandCount = options.repair ? 1 : 2;
    if (options.repair && options.rate)
        refuseUsage("--repair takes no rate");
    if (options.operands.size() > operandCount)
        refuseUsage(std::string("unexpected operand ") + options.operands[operandCount]);
    if (options.operands.size() < operandCount) {
        if (options.repair)
            refuseUsage("--repair needs the bank to repair");
        std::cerr << "Usage:" << argv[0] << " .wbk .[pc8|pcm]" << std::endl;
        return -1;
    }
    if (options.repair)
        return repairBank(options.operands[0]);
    return appendSample(options.operands[0], options.operands[1], options.rate);
}
