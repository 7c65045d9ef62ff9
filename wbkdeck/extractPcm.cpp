#include "extractPcm.h"

#include "createNewFile.h"
#include "openBank.h"
#include "printError.h"
#include "readWriteAll.h"
#include "visibleText.h"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

namespace {

// True when a stored name leads to no file: it is empty (it starts with a
// zero byte) or ends with '/'.
bool namesNoFile(const std::string& stored)
{
    return stored.empty() || stored.back() == '/';
}

// Copies the entry's data piece by piece into the new file named after it,
// announced, or reports why it is skipped; true when all of it was written.
bool writeFile(const Bank& bank, const BankEntry& entry, std::size_t index, int rawText)
{
    const std::string name = entry.nameText();
    if (!mayCreateFor(entry, index, name))
        return false;
    printCreating(entry, "", rawText);
    const std::unique_ptr<KovaOutputStream> file = createNewFile(name.c_str());
    if (!file || !file->good()) {
        printOpenError(name.c_str());
        return false;
    }
    int writeErrno = 0;
    bank.readData(entry, [&](const unsigned char* data, std::size_t count) {
        if (file->write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(count)))
            return true;
        writeErrno = errno;
        return false;
    });
    file->close();
    if (!file->fail())
        return true;
    if (writeErrno != 0)
        errno = writeErrno;
    printWriteError(name.c_str());
    return false;
}

// True when the file open on `fd` holds exactly the entry's stored bytes.
bool holdsEntryData(int fd, const Bank& bank, const BankEntry& entry)
{
    std::vector<unsigned char> piece;
    std::uint64_t offset = 0;
    const bool same = bank.readData(entry, [&](const unsigned char* data, std::size_t count) {
        piece.resize(count);
        if (readAt(fd, piece.data(), count, offset) != count || std::memcmp(piece.data(), data, count) != 0)
            return false;
        offset += count;
        return true;
    });
    unsigned char more;
    return same && readAt(fd, &more, 1, offset) == 0;
}

// True when -d would write the entry's file under `name` and it is there now,
// as -d writes it: a regular file, reached without a symbolic link, holding
// the entry's bytes.
bool isExtractedFile(const std::string& name, const Bank& bank, const BankEntry& entry)
{
    if (namesNoFile(name) || whyOutsideWorkingDirectory(name.c_str()))
        return false;
    const OwnedFd file = openExistingFile(name.c_str());
    return file.get() >= 0 && holdsEntryData(file.get(), bank, entry);
}

} // namespace

void printCreating(const EntryHead& head, const char* suffix, int rawText)
{
    std::cout << "now creating \"";
    std::cout << visibleText(head.nameText().c_str(), rawText) << suffix;
    std::cout << "\"\tformat=" << (head.isAdpcm() ? "adpcm" : "8bit") << "\tsize=" << head.size
              << "byte\trate=" << head.rate << "hz\t" << std::endl;
}

bool mayCreateFor(const EntryHead& head, std::size_t index, const std::string& name, const char* refusal)
{
    if (namesNoFile(head.nameText())) {
        std::cerr << "wbkdeck: skipping entry " << index << ": it has no name" << std::endl;
        return false;
    }
    const char* reason = refusal ? refusal : whyOutsideWorkingDirectory(name.c_str());
    if (reason)
        std::cerr << "wbkdeck: skipping \"" << visibleText(name.c_str(), 1) << "\": " << reason << std::endl;
    return reason == nullptr;
}

bool extractPcm(const Bank& bank, const std::vector<std::size_t>& chosen, int rawText)
{
    bool allWritten = true;
    for (std::size_t index : chosen)
        allWritten = writeFile(bank, bank.entries()[index], index, rawText) && allWritten;
    stopAtDamage(bank);
    return allWritten;
}

std::vector<std::string> extractedFiles(const Bank& bank, const std::vector<std::size_t>& chosen)
{
    std::vector<std::string> files;
    for (std::size_t index : chosen) {
        const BankEntry& entry = bank.entries()[index];
        const std::string name = entry.nameText();
        files.push_back(isExtractedFile(name, bank, entry) ? name : "");
    }
    return files;
}
