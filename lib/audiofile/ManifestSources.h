#ifndef WBK_MANIFEST_SOURCES_H
#define WBK_MANIFEST_SOURCES_H

#include "Bank.h"
#include "BankTransaction.h"
#include "Manifest.h"

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

// The sources of a manifest's entries, checked and read: entries of banks
// (PATH#N, each bank opened once), raw sample files (checked, then closed
// again, so that a manifest of many files does not use up the descriptors)
// and audio files, encoded here to the entry's type and rate. Relative paths
// are found from `folder`. A bad source throws ManifestError with its line.
class ManifestSources {
public:
    ManifestSources(const Manifest& manifest, const std::string& folder);
    ~ManifestSources();
    ManifestSources(const ManifestSources&) = delete;
    ManifestSources& operator=(const ManifestSources&) = delete;

    // The entries to write; those taken from the bank being replaced are
    // taken from it as `edit` read it under the lock.
    std::vector<PlannedEntry> plan(const BankTransaction& edit) const;

private:
    struct Source;
    void openBank(Source& source);
    void openFile(Source& source);

    std::map<std::string, std::unique_ptr<Bank>> banks;
    std::vector<Source> sources;
};

#endif
