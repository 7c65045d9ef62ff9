// wbkpack: appends one sample file to a sound bank, creating the bank and its
// header when the bank is empty, and edits banks. A run never damages a bank:
// the append writes only to the end of a whole bank, under an exclusive lock,
// and a run that fails takes back its own bytes and nothing else; an edit
// writes a new bank beside the old one and renames it into place.
#include "Bank.h"
#include "BankEdit.h"
#include "BankLock.h"
#include "KovaInputStream.h"
#include "KovaOutputStream.h"
#include "buildBank.h"
#include "edits.h"
#include "failures.h"
#include "options.h"
#include "rollback.h"
#include "SourceFile.h"
#include "samples.h"
#include "sampleFormat.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

namespace {

using namespace std::string_literals;

unsigned char sampleTypeOf(const char* sampleName)
{
    if (sampleFormatOf(sampleName) == SampleFormat::adpcm) {
        std::cerr << sampleName << " is not pcm data." << std::endl;
        std::cerr << ".pcm is not supported." << std::endl;
        return 1;
    }
    return 0;
}

// Refuses a sample that is too large for an entry or is an audio file of a
// container format rather than raw sample bytes.
void checkSample(KovaInputStream& pcm, const char* pcmFileName)
{
    char start[audioContainerMagicSize] = {};
    pcm.rdbuf()->sgetn(start, sizeof start);
    pcm.rdbuf()->pubseekpos(0);
    checkSampleContent(pcmFileName, pcm.getFileSize(), start);
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

void writeHeader(KovaOutputStream& wbk, const char* wbkFileName)
{
    const auto header = Bank::encodeHeader(Bank::newMagic(), newBankAuthor());
    wbk.write(reinterpret_cast<const char*>(header.data()), header.size());
    if (wbk.fail())
        failWrite(wbkFileName);
}

// Writes the entry whose head is `head` but for its size, with the data of `pcm`.
void addPcm(KovaOutputStream& wbk, KovaInputStream& pcm, const char* wbkFileName, EntryHead head)
{
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
    EntryHead head;
    head.type = sampleTypeOf(pcmFileName);
    const std::uint16_t givenRate = rateOption ? parseRate(rateOption) : 0;
    std::unique_ptr<KovaOutputStream> wbk = openBank(wbkFileName);

    if (SourceFile(pcmFileName).isSpecial())
        refuse(pcmFileName + " is not a regular file"s);
    KovaInputStream pcm(pcmFileName, std::ios::in | std::ios::binary);
    if (!pcm.good())
        failOpen(pcmFileName);
    refuseBankAsSample(wbk->fd(), wbkFileName, pcmFileName);
    checkSample(pcm, pcmFileName);
    precheckBank(*wbk, wbkFileName);

    std::cout << "now appending " << pcmFileName << " to " << wbkFileName << "..." << std::endl;
    const std::string name = storedName(pcmFileName);
    std::copy(name.begin(), name.end(), head.name.begin());
    head.rate = rateOption ? givenRate : askRate(pcmFileName);

    lockBank(wbk, wbkFileName);
    const std::unique_ptr<Bank> bank = readBank(wbk->fd(), wbkFileName);
    requireWhole(*bank, wbkFileName);
    beginWriting(static_cast<off_t>(bank->wholeLength()));
    if (!bank->hasHeader())
        writeHeader(*wbk, wbkFileName);
    addPcm(*wbk, pcm, wbkFileName, head);
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
    if (stateOf(*bank) != Bank::State::damaged) {
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
    const bool plainAppend = options.edit == Options::Edit::none && options.operands.size() == 2 && !options.repair;
    if (!plainAppend)
        nameTheProgramInRefusals();
    if (options.repair)
        return repairBank(options.operands[0]);
    installRollback();
    switch (options.edit) {
    case Options::Edit::none:
        if (options.operands.size() == 2)
            return appendSample(options.operands[0], options.operands[1], options.rate);
        [[fallthrough]];  // several samples are inserted at the end
    case Options::Edit::insert:
        return insertSamples(options);
    case Options::Edit::replace:
        return replaceEntry(options);
    case Options::Edit::remove:
        return removeEntries(options);
    case Options::Edit::set:
        return setEntry(options);
    case Options::Edit::move:
        return moveEntry(options);
    case Options::Edit::build:
        return buildBank(options);
    }
    return -1;
}
