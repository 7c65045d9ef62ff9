#ifndef WBK_MANIFEST_SOURCES_H
#define WBK_MANIFEST_SOURCES_H

#include "Bank.h"
#include "BankTransaction.h"
#include "Manifest.h"
#include "ParallelEncoding.h"
#include "encodeAudioFile.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

// The sources of a manifest's entries, checked: entries of banks (PATH#N,
// each bank opened once), raw sample files (checked, then closed again, so
// that a manifest of many files does not use up the descriptors) and audio
// files, to be encoded to the entry's type and rate. Relative paths are found
// from `folder`. A bad source throws ManifestError with its line.
class ManifestSources {
public:
    // How the audio files are encoded: at this quality, on this many threads.
    struct Encoding {
        int quality = AudioEncoding::defaultQuality;
        unsigned threads = 1;
        // Called as each audio entry is written: entries written of all the
        // audio entries, and the samples encoded so far.
        std::function<void(std::size_t done, std::size_t total, std::uint64_t samples)> progress;
    };

    ManifestSources(const Manifest& manifest, const std::string& folder);
    ~ManifestSources();
    ManifestSources(const ManifestSources&) = delete;
    ManifestSources& operator=(const ManifestSources&) = delete;

    // The entries to write, in the manifest's order; those taken from the bank
    // being replaced are taken from it as `edit` read it under the lock. The
    // audio files start being encoded now, at most `threads` ahead of the
    // entry being written; an entry whose file fails throws ManifestError as
    // it is written.
    std::vector<PlannedEntry> plan(const BankTransaction& edit, const Encoding& encoding);

private:
    struct Source;
    void openBank(Source& source);
    void openFile(Source& source);
    std::vector<unsigned char> nextEncoded(const ManifestEntry& entry);

    std::map<std::string, std::unique_ptr<Bank>> banks;
    std::vector<Source> sources;
    std::unique_ptr<ParallelEncoding> encoding;
    std::function<void(std::size_t, std::size_t, std::uint64_t)> progress;
    std::size_t audioDone = 0, audioTotal = 0;
    std::uint64_t samplesDone = 0;
};

#endif
