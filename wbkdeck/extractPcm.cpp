#include "extractPcm.h"

#include "createNewFile.h"
#include "openBank.h"
#include "printError.h"
#include "visibleText.h"

#include <cerrno>
#include <iostream>
#include <memory>
#include <set>
#include <string>

namespace {

// Copies the entry's data piece by piece; true when all of it was written.
bool writeFile(const Bank& bank, const BankEntry& entry, std::size_t index)
{
    const std::string name = entry.nameText();
    if (!mayCreateFor(entry, index, name))
        return false;
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

// The files that an extraction writes one after the other, and the
// directories they are in.
class WrittenFiles {
public:
    // Notes the file `path` and returns true, unless a file written before
    // has that path or lies on its way, or `path` is the directory of one.
    bool add(const std::string& path)
    {
        if (files.count(path) > 0 || directories.count(path) > 0)
            return false;
        std::vector<std::string> above;
        for (std::size_t slash = path.find('/'); slash != std::string::npos; slash = path.find('/', slash + 1)) {
            above.push_back(path.substr(0, slash));
            if (files.count(above.back()) > 0)
                return false;
        }
        files.insert(path);
        directories.insert(above.begin(), above.end());
        return true;
    }

private:
    std::set<std::string> files;
    std::set<std::string> directories;
};

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
    if (head.name[0] == '\0') {
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
    for (std::size_t index : chosen) {
        const BankEntry& entry = bank.entries()[index];
        printCreating(entry, "", rawText);
        allWritten = writeFile(bank, entry, index) && allWritten;
    }
    stopAtDamage(bank);
    return allWritten;
}

std::vector<std::string> extractedFiles(const Bank& bank, const std::vector<std::size_t>& chosen)
{
    std::vector<std::string> files;
    WrittenFiles written;
    for (std::size_t index : chosen) {
        const std::string name = bank.entries()[index].nameText();
        const bool writes = !name.empty() && !whyOutsideWorkingDirectory(name.c_str()) &&
                            written.add(pathWithinWorkingDirectory(name.c_str()));
        files.push_back(writes ? name : "");
    }
    return files;
}
