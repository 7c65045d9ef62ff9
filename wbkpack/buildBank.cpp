#include "buildBank.h"

#include "BankTransaction.h"
#include "Manifest.h"
#include "ManifestSources.h"
#include "Refusal.h"
#include "editReport.h"
#include "encodeAudioFile.h"
#include "edits.h"
#include "folderManifest.h"
#include "filePath.h"
#include "SampleFile.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>
#include <system_error>

namespace {

// The manifest's text: standard input for "-".
std::string manifestText(const char* path)
{
    std::ifstream file;
    if (std::strcmp(path, "-") != 0) {
        file.open(path, std::ios::binary);
        if (!file.is_open())
            throw Refusal(Refusal::Kind::failedCall, path, "open", errno);
    }
    std::ostringstream text;
    text << (file.is_open() ? file.rdbuf() : std::cin.rdbuf());
    if (file.bad() || std::cin.bad())
        throw Refusal(Refusal::Kind::failedCall, path, "read", errno);
    return text.str();
}

int numberOption(const char* text, int first, int last, const char* option, const char* what)
{
    const auto value = text ? decimalValue(text, static_cast<std::uint64_t>(last)) : std::nullopt;
    if (!value || *value < static_cast<std::uint64_t>(first))
        throw Refusal(std::string(option) + " takes " + what + " from " + std::to_string(first) + " to " +
                      std::to_string(last) + ", not '" + (text ? text : "") + "'");
    return static_cast<int>(*value);
}

// Entries encoded of all, and samples per second, on a terminal only,
// rewritten in place.
ManifestSources::Encoding encodingOf(const Options& options)
{
    ManifestSources::Encoding encoding;
    if (options.quality)
        encoding.quality = numberOption(options.quality, 1, AudioEncoding::qualityLevels, "-q", "a quality");
    encoding.threads = options.jobs
                           ? numberOption(options.jobs, 1, AudioEncoding::maxThreads, "-j", "a number of threads")
                           : AudioEncoding::defaultThreads();
    if (!isatty(STDERR_FILENO))
        return encoding;
    const auto start = std::chrono::steady_clock::now();
    encoding.progress = [start](std::size_t done, std::size_t total, std::uint64_t samples) {
        const std::chrono::duration<double> seconds = std::chrono::steady_clock::now() - start;
        std::fprintf(stderr, "\rwbkpack: %zu of %zu audio entries encoded, %.1f M samples/s ", done, total,
                     samples / 1e6 / std::max(seconds.count(), 1e-3));
        if (done == total)
            std::fprintf(stderr, "\n");
        std::fflush(stderr);
    };
    return encoding;
}

bool isDirectory(const char* path)
{
    struct stat info;
    return stat(path, &info) == 0 && S_ISDIR(info.st_mode);
}

// The manifest of a folder; files that are no audio are skipped with a line
// each, a file that cannot be an entry refuses the whole build.
Manifest manifestOfFolder(const std::string& folder, const Options& options)
{
    const std::string type = options.type ? options.type : "adpcm";
    if (type != "adpcm" && type != "8bit")
        throw Refusal("--type takes adpcm or 8bit, not '" + type + "'");
    FolderManifest found;
    try {
        found = folderManifest(folder, type == "adpcm" ? SampleFormat::adpcm : SampleFormat::signed8Bit,
                               options.rate ? parseRate(options.rate) : 0);
    } catch (const std::system_error& error) {
        throw Refusal(Refusal::Kind::failedCall, folder, "open", error.code().value());
    }
    for (const std::string& skipped : found.skipped)
        std::cerr << "wbkpack: skipping " << skipped << ": not an audio file" << std::endl;
    std::string faults;
    for (const std::string& fault : found.faults)
        faults += "\nwbkpack: " + fault;
    if (!faults.empty())
        throw Refusal(folder + " can not become a bank:" + faults);
    if (found.manifest.entries.empty())
        throw Refusal(folder + " holds no audio file");
    return found.manifest;
}

} // namespace

int buildBank(const Options& options)
{
    const char* path = options.operands[0];
    const char* source = options.operands[1];
    const bool fromFolder = isDirectory(source);
    if (!fromFolder && (options.rate || options.type))
        throw Refusal(std::string(options.rate ? "-r" : "--type") + " goes with --build BANK DIR only");
    const std::string sourceName = std::strcmp(source, "-") == 0 ? "standard input" : source;
    const ManifestSources::Encoding encoding = encodingOf(options);
    try {
        Manifest manifest;
        if (fromFolder) {
            manifest = manifestOfFolder(source, options);
        } else {
            std::istringstream text(manifestText(source));
            manifest = readManifest(text);
        }
        const std::string folder = fromFolder || std::strcmp(source, "-") == 0 ? "." : directoryOf(source);
        ManifestSources sources(manifest, folder);
        BankTransaction edit(path, true);
        reportLeftovers(edit.leftovers(), path);
        const std::vector<PlannedEntry> entries = sources.plan(edit, encoding);
        edit.write(manifest.magic ? *manifest.magic : Bank::newMagic(),
                   manifest.author ? *manifest.author : newBankAuthor(), entries);
        std::cout << "built " << path << " from " << sourceName << ": " << entryCount(entries.size()) << std::endl;
        return 0;
    } catch (const ManifestError& error) {
        if (fromFolder)
            throw Refusal(error.reason());
        throw Refusal(sourceName + ": " + error.what());
    }
}
