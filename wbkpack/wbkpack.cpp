// wbkpack: appends one sample file to a sound bank, creating the bank and its
// header when the bank is empty, and edits banks. A run never damages a bank:
// the append writes only to the end of a whole bank, under an exclusive lock,
// and a run that fails takes back its own bytes and nothing else; an edit
// writes a new bank beside the old one and renames it into place
// (BankTransaction). Every failure comes back here as an exception; main
// prints it and exits with 255.
#include "Bank.h"
#include "BankAppend.h"
#include "BankTransaction.h"
#include "CleanupRegistry.h"
#include "KovaInputStream.h"
#include "Refusal.h"
#include "SourceFile.h"
#include "buildBank.h"
#include "edits.h"
#include "filePath.h"
#include "Options.h"
#include "printError.h"
#include "repairBank.h"
#include "SampleFormat.h"
#include "SampleFile.h"
#include "visibleText.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

namespace {

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

void failWrite(const char* wbkFileName)
{
    throw Refusal(Refusal::Kind::failedCall, wbkFileName, "write", errno);
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

// A bank given as its own sample would be copied into itself as it grows.
void refuseBankAsSample(int bankFd, const char* wbkFileName, const char* pcmFileName)
{
    if (isFileAtPath(bankFd, pcmFileName))
        throw Refusal(std::string(pcmFileName) + " is the bank " + wbkFileName +
                      " itself: a bank cannot be appended to itself");
}

int appendSample(const char* wbkFileName, const char* pcmFileName, const char* rateOption)
{
    EntryHead head;
    head.type = sampleTypeOf(pcmFileName);
    const std::uint16_t givenRate = rateOption ? parseRate(rateOption) : 0;
    BankAppend append(wbkFileName);

    if (SourceFile(pcmFileName).isSpecial())
        throw Refusal(std::string(pcmFileName) + " is not a regular file");
    KovaInputStream pcm(pcmFileName, std::ios::in | std::ios::binary);
    if (!pcm.good())
        throw Refusal(Refusal::Kind::failedCall, pcmFileName, "open", errno);
    refuseBankAsSample(append.fd(), wbkFileName, pcmFileName);
    checkSample(pcm, pcmFileName);
    append.precheck();

    std::cout << "now appending " << pcmFileName << " to " << wbkFileName << "..." << std::endl;
    const std::string name = storedName(pcmFileName);
    std::copy(name.begin(), name.end(), head.name.begin());
    head.rate = rateOption ? givenRate : askRate(pcmFileName);

    if (!append.lock().hasHeader())
        writeHeader(append.stream(), wbkFileName);
    addPcm(append.stream(), pcm, wbkFileName, head);
    append.commit();
    pcm.close();
    append.stream().close();
    std::cout << "done" << std::endl;
    return 0;
}

int repair(const char* wbkFileName)
{
    const BankRepair repair = repairBank(wbkFileName);
    if (repair.removedBytes == 0)
        std::cout << wbkFileName << " is whole: nothing to remove" << std::endl;
    else
        std::cout << "removed " << repair.removedBytes << " bytes from the end of " << wbkFileName
                  << "; whole entries kept: " << repair.keptEntries << std::endl;
    return 0;
}

int run(const Options& options)
{
    if (options.repair)
        return repair(options.operands[0]);
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

// "can not ACTION NAME : reason", as the stream classes report it.
void printFailedCall(const std::string& action, const std::string& name, int errorNumber)
{
    errno = errorNumber;
    if (action == "open")
        printOpenError(name.c_str());
    else if (action == "write")
        printWriteError(name.c_str());
    else {
        std::cerr << "can not " << action << " " << visibleText(name.c_str(), 1) << std::flush;
        std::perror(" ");
    }
}

void print(const Refusal& refusal, const char* prefix)
{
    switch (refusal.kind()) {
    case Refusal::Kind::sentence:
        std::cerr << prefix << refusal.what() << std::endl;
        break;
    case Refusal::Kind::failedCall:
        printFailedCall(refusal.what(), refusal.name(), refusal.errorNumber());
        break;
    case Refusal::Kind::cannotOpen:
        printCantOpen(refusal.name().c_str());
        break;
    case Refusal::Kind::verbatim:
        std::cerr << refusal.name() << std::flush;
        break;
    }
}

} // namespace

int main(int argc, char* argv[])
{
    Options options;
    try {
        options = parseOptions(argc, argv);
    } catch (const Refusal& refusal) {
        print(refusal, "");
        return -1;
    }
    if (!options.answer.empty()) {
        std::cout << options.answer << std::flush;
        return 0;
    }
    CleanupRegistry::catchSignals();
    // The plain append keeps the messages it always had; the rest name the program.
    const bool plainAppend = options.edit == Options::Edit::none && options.operands.size() == 2 && !options.repair;
    const char* prefix = plainAppend ? "" : "wbkpack: ";
    try {
        return run(options);
    } catch (const Refusal& refusal) {
        print(refusal, prefix);
    } catch (const BankRefused& refusal) {
        std::cerr << prefix << refusal.what() << std::endl;
    } catch (const BankError& error) {
        // What failed on the bank itself.
        printFailedCall(error.what(), options.operands[0], error.errorNumber());
    }
    return -1;
}
