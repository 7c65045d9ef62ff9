#include "buildBank.h"

#include "BankTransaction.h"
#include "Manifest.h"
#include "Refusal.h"
#include "encodeAudioFile.h"
#include "SourceFile.h"
#include "editReport.h"
#include "edits.h"
#include "filePath.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <iostream>
#include <map>
#include <memory>
#include <sstream>

using namespace std::string_literals;

namespace {

// Where an entry's data come from: an entry of a bank, a raw sample file, or
// an audio file encoded here.
struct Source {
    const ManifestEntry* entry = nullptr;
    std::string path;        // as found from here
    Bank* bank = nullptr;    // for PATH#N
    std::int64_t size = 0;   // of a raw sample file, opened again when it is written
    std::unique_ptr<std::vector<unsigned char>> encoded;
};

// SOURCE as written, for messages.
std::string shown(const ManifestEntry& entry)
{
    return escapeManifestText(entry.sourcePath);
}

std::string entriesOf(std::size_t count)
{
    if (count == 0)
        return "it has no entries";
    return "it has " + entryCount(count) + " (" + indexRange(0, count - 1) + ")";
}

void requireEntry(const Bank& bank, const ManifestEntry& entry)
{
    if (*entry.sourceEntry >= bank.entries().size())
        throw ManifestError(entry.line, shown(entry) + " has no entry " + std::to_string(*entry.sourceEntry) + ": " +
                                            entriesOf(bank.entries().size()));
}

// The samples of an audio file, mixed down to mono, resampled to the entry's
// rate and encoded to its type.
std::unique_ptr<std::vector<unsigned char>> encodeAudio(const Source& source, const char* format)
{
    const ManifestEntry& entry = *source.entry;
    if (entry.type > 1)
        throw ManifestError(entry.line, shown(entry) + " is a " + format +
                                            " file: audio is encoded to 8bit or adpcm only, not to type " +
                                            std::to_string(entry.type));
    if (entry.rate == 0)
        throw ManifestError(entry.line, shown(entry) + " is a " + format +
                                            " file: audio is encoded at a rate from 1 to 65535, not 0");
    AudioEncoding how;
    how.format = entry.type == 1 ? SampleFormat::adpcm : SampleFormat::signed8Bit;
    how.rate = entry.rate;
    auto bytes = std::make_unique<std::vector<unsigned char>>();
    try {
        encodeAudioFile(source.path, shown(entry), how, [&](const unsigned char* settled, std::size_t count) {
            bytes->insert(bytes->end(), settled, settled + count);
        });
    } catch (const std::runtime_error& error) {
        throw ManifestError(entry.line, error.what());
    }
    return bytes;
}

class Sources {
public:
    Sources(const Manifest& manifest, const std::string& folder)
    {
        for (const ManifestEntry& entry : manifest.entries) {
            Source source;
            source.entry = &entry;
            source.path = entry.sourcePath[0] == '/' || folder == "." ? entry.sourcePath
                                                                        : folder + "/" + entry.sourcePath;
            if (entry.sourceEntry)
                openBank(source);
            else
                openFile(source);
            sources.push_back(std::move(source));
        }
    }

    // The entries to write; those taken from the bank being replaced are
    // taken from it as `edit` read it under the lock.
    std::vector<PlannedEntry> plan(const BankTransaction& edit) const
    {
        std::vector<PlannedEntry> planned;
        for (const Source& source : sources) {
            PlannedEntry entry;
            entry.head.type = source.entry->type;
            entry.head.rate = source.entry->rate;
            std::copy(source.entry->name.begin(), source.entry->name.end(), entry.head.name.begin());
            if (source.bank) {
                const bool replaced = BankLock::isFileAtPath(edit.fd(), source.path.c_str());
                const Bank& bank = replaced ? edit.bank() : *source.bank;
                requireEntry(bank, *source.entry);
                const BankEntry& from = bank.entries()[*source.entry->sourceEntry];
                entry.head.size = from.size;
                entry.fd = bank.fd();
                entry.offset = from.dataOffset();
            } else if (source.encoded) {
                entry.head.size = static_cast<std::uint32_t>(source.encoded->size());
                entry.bytes = source.encoded.get();
            } else {
                entry.head.size = static_cast<std::uint32_t>(source.size);
                entry.path = source.path;
            }
            planned.push_back(entry);
        }
        return planned;
    }

private:
    void openBank(Source& source)
    {
        const ManifestEntry& entry = *source.entry;
        auto& bank = banks[source.path];
        try {
            if (!bank)
                bank = std::make_unique<Bank>(source.path);
        } catch (const BankError& error) {
            throw ManifestError(entry.line, "can not open " + shown(entry) + ": " + std::strerror(error.errorNumber()));
        }
        if (bank->state() == Bank::State::notBank)
            throw ManifestError(entry.line, shown(entry) + " is not a sound bank");
        requireEntry(*bank, entry);
        source.bank = bank.get();
    }

    // Checks the file and closes it again: a manifest of many files must
    // not use up the descriptors.
    void openFile(Source& source)
    {
        const ManifestEntry& entry = *source.entry;
        const SourceFile file(source.path);
        if (!file.problem().empty())
            throw ManifestError(entry.line, "can not open " + shown(entry) + ": " + file.problem());
        if (const char* format = audioContainerOf(file.start()))
            source.encoded = encodeAudio(source, format);
        else if (file.size() > Bank::maxSampleSize)
            throw ManifestError(entry.line,
                                shown(entry) + " is too large: a sample must be smaller than 2147483648 bytes");
        source.size = file.size();
    }

    std::map<std::string, std::unique_ptr<Bank>> banks;
    std::vector<Source> sources;
};

// The manifest's text: standard input for "-"; a file that cannot be read
// ends the run.
std::string manifestText(const char* path)
{
    if (std::strcmp(path, "-") == 0) {
        std::ostringstream text;
        text << std::cin.rdbuf();
        return text.str();
    }
    const int fd = open(path, O_RDONLY | O_CLOEXEC);
    struct stat info;
    if (fd >= 0 && fstat(fd, &info) == 0 && S_ISDIR(info.st_mode))
        errno = EISDIR;
    if (fd < 0 || S_ISDIR(info.st_mode)) {
        const int error = errno;
        if (fd >= 0)
            close(fd);
        throw Refusal(Refusal::Kind::failedCall, path, "open", error);
    }
    std::string text;
    char piece[65536];
    for (ssize_t n; (n = read(fd, piece, sizeof piece)) != 0;) {
        if (n < 0 && errno != EINTR) {
            const int error = errno;
            close(fd);
            throw Refusal(Refusal::Kind::failedCall, path, "read", error);
        }
        if (n > 0)
            text.append(piece, static_cast<std::size_t>(n));
    }
    close(fd);
    return text;
}

} // namespace

int buildBank(const Options& options)
{
    const char* path = options.operands[0];
    const char* manifestPath = options.operands[1];
    const std::string manifestName = std::strcmp(manifestPath, "-") == 0 ? "standard input" : manifestPath;
    try {
        std::istringstream text(manifestText(manifestPath));
        const Manifest manifest = readManifest(text);
        const Sources sources(manifest, std::strcmp(manifestPath, "-") == 0 ? "." : directoryOf(manifestPath));
        BankTransaction edit(path, true);
        reportLeftovers(edit.leftovers(), path);
        const std::vector<PlannedEntry> entries = sources.plan(edit);
        edit.write(manifest.magic ? *manifest.magic : Bank::newMagic(),
                   manifest.author ? *manifest.author : newBankAuthor(), entries);
        std::cout << "built " << path << " from " << manifestName << ": " << entryCount(entries.size()) << std::endl;
        return 0;
    } catch (const ManifestError& error) {
        throw Refusal(manifestName + ": " + error.what());
    }
}
