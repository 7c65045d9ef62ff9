#include "buildBank.h"

#include "AudioSource.h"
#include "BankTransaction.h"
#include "Manifest.h"
#include "ManifestSources.h"
#include "Refusal.h"
#include "editReport.h"
#include "edits.h"
#include "filePath.h"
#include "SampleFile.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <memory>
#include <sstream>
#include <thread>

namespace {

// The manifest's text: standard input for "-".
std::string manifestText(const char* path)
{
    if (std::strcmp(path, "-") == 0) {
        std::ostringstream text;
        text << std::cin.rdbuf();
        return text.str();
    }
    const int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        throw Refusal(Refusal::Kind::failedCall, path, "open", errno);
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
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    encoding.threads = options.jobs ? numberOption(options.jobs, 1, 1024, "-j", "a number of threads") : cores;
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

// The regular files of `folder`, in byte order of their names.
std::vector<std::string> filesOf(const std::string& folder)
{
    const std::unique_ptr<DIR, int (*)(DIR*)> list(opendir(folder.c_str()), closedir);
    if (!list)
        throw Refusal(Refusal::Kind::failedCall, folder, "open", errno);
    std::vector<std::string> names;
    while (const dirent* entry = readdir(list.get())) {
        struct stat info;
        const std::string path = folder + "/" + entry->d_name;
        if (stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode))
            names.push_back(entry->d_name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

// The manifest that a folder stands for: one entry per audio file, named
// as wbkenc and an append would name it. Other files are skipped with a
// line each; a file that cannot be an entry refuses the whole build.
Manifest folderManifest(const std::string& folder, const Options& options)
{
    const std::string type = options.type ? options.type : "adpcm";
    if (type != "adpcm" && type != "8bit")
        throw Refusal("--type takes adpcm or 8bit, not '" + type + "'");
    const int rate = options.rate ? parseRate(options.rate) : 0;
    Manifest manifest;
    std::string faults;
    for (const std::string& name : filesOf(folder)) {
        ManifestEntry entry;
        entry.sourcePath = folder + "/" + name;
        const AudioSource audio(entry.sourcePath);
        if (!audio.error().empty()) {
            std::cerr << "wbkpack: skipping " << escapeManifestText(entry.sourcePath) << ": not an audio file"
                      << std::endl;
            continue;
        }
        entry.type = type == "adpcm" ? 1 : 0;
        entry.name = name.substr(0, name.rfind('.')) + (type == "adpcm" ? ".pcm" : ".pc8");
        const std::string shown = escapeManifestText(entry.sourcePath);
        if (entry.name.size() > Bank::nameSize)
            faults += "\nwbkpack: " + shown + ": its name " + escapeManifestText(entry.name) + " is " +
                      std::to_string(entry.name.size()) + " bytes long, more than 16";
        if (!rate && (audio.inputRate() < 1 || audio.inputRate() > 65535))
            faults += "\nwbkpack: " + shown + ": its rate " + std::to_string(audio.inputRate()) +
                      " Hz is not from 1 to 65535: choose one with -r";
        entry.rate = static_cast<std::uint16_t>(rate ? rate : audio.inputRate());
        manifest.entries.push_back(entry);
    }
    if (!faults.empty())
        throw Refusal(folder + " can not become a bank:" + faults);
    if (manifest.entries.empty())
        throw Refusal(folder + " holds no audio file");
    return manifest;
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
            manifest = folderManifest(source, options);
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
