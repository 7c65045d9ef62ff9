#include "buildBank.h"

#include "BankTransaction.h"
#include "Manifest.h"
#include "ManifestSources.h"
#include "Refusal.h"
#include "editReport.h"
#include "edits.h"
#include "filePath.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <iostream>
#include <sstream>

using namespace std::string_literals;

namespace {

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
        const ManifestSources sources(manifest, std::strcmp(manifestPath, "-") == 0 ? "." : directoryOf(manifestPath));
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
