// wbkpack: appends one sample file to a sound bank, creating the bank and its
// header when the bank is empty. A run that fails leaves the bank as it was.
#include "KovaInputStream.h"
#include "KovaOutputStream.h"
#include "printError.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cctype>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

namespace {

constexpr std::int64_t maxSampleSize = INT32_MAX;
constexpr int nameSize = 16;
constexpr int authorSize = 32;
constexpr std::size_t maxLognameLength = 20;

// What it takes to undo this run: the bank's length before it, or its removal
// when this run created it. Used from atexit and from signal handlers. The
// path is the file's own, so that a bank reached through a symbolic link is
// undone without touching the link.
struct Rollback {
    char bankPath[PATH_MAX] = {};
    off_t originalLength = 0;
    bool created = false;
    volatile sig_atomic_t armed = 0;
} rollback;

void undoChanges()
{
    if (!rollback.armed)
        return;
    rollback.armed = 0;
    if (rollback.created)
        unlink(rollback.bankPath);
    else
        truncate(rollback.bankPath, rollback.originalLength);
}

void undoAndDie(int signalNumber)
{
    undoChanges();
    std::signal(signalNumber, SIG_DFL);
    std::raise(signalNumber);
}

// The bank's length when this run opened it.
off_t lengthOf(KovaOutputStream& wbk)
{
    struct stat info;
    return fstat(wbk.fd(), &info) == 0 ? info.st_size : 0;
}

void armRollback(KovaOutputStream& wbk, off_t originalLength)
{
    struct stat info;
    if (fstat(wbk.fd(), &info) != 0 || !S_ISREG(info.st_mode))
        return;
    const std::string fdLink = "/proc/self/fd/" + std::to_string(wbk.fd());
    const ssize_t length = readlink(fdLink.c_str(), rollback.bankPath, sizeof rollback.bankPath - 1);
    if (length <= 0)
        return;
    rollback.bankPath[length] = '\0';
    rollback.originalLength = originalLength;
    rollback.created = wbk.createdFile();
    rollback.armed = 1;
    std::atexit(undoChanges);
    for (int signalNumber : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE})
        std::signal(signalNumber, undoAndDie);
    // Beyond the file size limit a write then fails (EFBIG) and is undone,
    // instead of the process being killed with a partial entry in the bank.
    std::signal(SIGXFSZ, SIG_IGN);
}

bool endsWith(const std::string& name, const char* suffix)
{
    const std::size_t length = std::strlen(suffix);
    return name.size() >= length && name.compare(name.size() - length, length, suffix) == 0;
}

unsigned char sampleTypeOf(const char* sampleName)
{
    const std::string name(sampleName);
    if (endsWith(name, ".pc8") || endsWith(name, ".PC8"))
        return 0;
    if (endsWith(name, ".pcm") || endsWith(name, ".PCM")) {
        std::cerr << sampleName << " is not pcm data." << std::endl;
        std::cerr << ".pcm is not supported." << std::endl;
        return 1;
    }
    return 0;
}

[[noreturn]] void failWrite(KovaOutputStream& wbk, KovaInputStream& pcm, const char* wbkFileName)
{
    printWriteError(wbkFileName);
    wbk.close();
    pcm.close();
    std::exit(-1);
}

// Asks for the sample rate and accepts a whole number that fits the 16-bit
// rate field; anything else ends the run before the bank is touched.
int askRate(const char* pcmFileName)
{
    std::cout << "input sample rate of " << pcmFileName << ":" << std::flush;
    std::string answer;
    std::getline(std::cin, answer);
    const char* text = answer.c_str();
    char* end = nullptr;
    errno = 0;
    const long rate = std::strtol(text, &end, 10);
    while (end != text && std::isspace(static_cast<unsigned char>(*end)))
        ++end;
    if (end == text || *end != '\0' || errno != 0 || rate < 1 || rate > UINT16_MAX) {
        std::cerr << "the sample rate must be a whole number from 1 to 65535." << std::endl;
        std::exit(-1);
    }
    return static_cast<int>(rate);
}

void writeHeader(KovaOutputStream& wbk, KovaInputStream& pcm, const char* wbkFileName)
{
    static const char magic[8] = {'W', 'B', 'K', 0, 0, 0, 0, 0};
    wbk.write(magic, sizeof magic);

    std::string author = "wbkpack:";
    if (const char* logname = std::getenv("LOGNAME"))
        author += std::string(logname).substr(0, maxLognameLength);
    author.resize(authorSize, '\0');
    wbk.write(author.data(), authorSize);

    if (wbk.fail())
        failWrite(wbk, pcm, wbkFileName);
}

void addPcm(KovaOutputStream& wbk, KovaInputStream& pcm, const char* wbkFileName, unsigned char type,
            const char* pcmFileName, int rate)
{
    wbk.put(static_cast<char>(type));
    char name[nameSize] = {};
    std::memcpy(name, pcmFileName, std::min<std::size_t>(std::strlen(pcmFileName), nameSize));
    wbk.write(name, nameSize);
    wbk.put16(rate);

    const std::int64_t size = pcm.getFileSize();
    wbk.put32(static_cast<int>(size));
    std::vector<char> chunk(64 * 1024);
    for (std::int64_t left = size; left > 0 && wbk.good();) {
        const std::int64_t count = std::min<std::int64_t>(left, chunk.size());
        pcm.read(chunk.data(), count);
        wbk.write(chunk.data(), count);
        left -= count;
    }
    if (wbk.fail())
        failWrite(wbk, pcm, wbkFileName);
}

} // namespace

int main(int argc, char* argv[])
{
    if (argc < 3) {
        std::cerr << "Usage:" << argv[0] << " .wbk .[pc8|pcm]" << std::endl;
        return -1;
    }
    const char* wbkFileName = argv[1];
    const char* pcmFileName = argv[2];
    const unsigned char type = sampleTypeOf(pcmFileName);

    KovaOutputStream wbk(wbkFileName, std::ios::out | std::ios::app | std::ios::binary);
    if (!wbk.good()) {
        printOpenError(wbkFileName);
        wbk.close();
        return -1;
    }
    const off_t originalLength = lengthOf(wbk);
    armRollback(wbk, originalLength);

    KovaInputStream pcm(pcmFileName, std::ios::in | std::ios::binary);
    if (!pcm.good()) {
        printOpenError(pcmFileName);
        pcm.close();
        wbk.close();
        return -1;
    }

    std::cout << "now appending " << pcmFileName << " to " << wbkFileName << "..." << std::endl;
    if (pcm.getFileSize() > maxSampleSize) {
        std::cerr << pcmFileName << " is too large: a sample must be smaller than 2147483648 bytes." << std::endl;
        return -1;
    }
    const int rate = askRate(pcmFileName);

    if (originalLength == 0)
        writeHeader(wbk, pcm, wbkFileName);
    addPcm(wbk, pcm, wbkFileName, type, pcmFileName, rate);

    pcm.close();
    wbk.close();
    if (wbk.fail())
        failWrite(wbk, pcm, wbkFileName);
    rollback.armed = 0;
    std::cout << "done" << std::endl;
    return 0;
}
