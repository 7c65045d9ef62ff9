#include "folderManifest.h"

#include "AudioSource.h"
#include "Bank.h"
#include "encodeAudioFile.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <system_error>

namespace {

std::vector<std::string> regularFilesOf(const std::string& folder)
{
    const std::unique_ptr<DIR, int (*)(DIR*)> list(opendir(folder.c_str()), closedir);
    if (!list)
        throw std::system_error(errno, std::generic_category(), folder);
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

} // namespace

FolderManifest folderManifest(const std::string& folder, SampleFormat format, int rate)
{
    const bool adpcm = format == SampleFormat::adpcm;
    FolderManifest result;
    for (const std::string& name : regularFilesOf(folder)) {
        ManifestEntry entry;
        entry.sourcePath = folder + "/" + name;
        const AudioSource audio(entry.sourcePath);
        const std::string shown = escapeManifestText(entry.sourcePath);
        if (!audio.error().empty()) {
            result.skipped.push_back(shown);
            continue;
        }
        entry.type = adpcm ? 1 : 0;
        entry.name = name.substr(0, name.rfind('.')) + (adpcm ? ".pcm" : ".pc8");
        if (entry.name.size() > Bank::nameSize)
            result.faults.push_back(shown + ": its name " + escapeManifestText(entry.name) + " is " +
                                    std::to_string(entry.name.size()) + " bytes long, more than 16");
        if (!rate && (audio.inputRate() < 1 || audio.inputRate() > AudioEncoding::maxRate))
            result.faults.push_back(shown + ": its rate " + std::to_string(audio.inputRate()) +
                                    " Hz is not from 1 to 65535: choose one with -r");
        entry.rate = static_cast<std::uint16_t>(rate ? rate : audio.inputRate());
        result.manifest.entries.push_back(entry);
    }
    return result;
}
