#include "printManifest.h"

#include "Manifest.h"
#include "extractPcm.h"

#include <iostream>

void printManifest(const Bank& bank, const std::vector<std::size_t>& chosen, const std::string& bankName,
                   bool filesAsSources)
{
    Manifest manifest;
    manifest.magic = bank.magic();
    manifest.author = bank.authorBytes();
    const std::vector<std::string> files =
        filesAsSources ? extractedFiles(bank, chosen) : std::vector<std::string>(chosen.size());
    for (std::size_t k = 0; k < chosen.size(); ++k) {
        const BankEntry& entry = bank.entries()[chosen[k]];
        ManifestEntry line;
        line.type = entry.type;
        line.rate = entry.rate;
        line.name = entry.nameBytes();
        line.sourcePath = files[k].empty() ? bankName : files[k];
        if (files[k].empty())
            line.sourceEntry = static_cast<std::uint32_t>(chosen[k]);
        manifest.entries.push_back(line);
    }
    writeManifest(std::cout, manifest);
}
