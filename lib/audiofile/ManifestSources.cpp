#include "ManifestSources.h"

#include "AudioSource.h"
#include "SourceFile.h"
#include "audioContainerOf.h"
#include "filePath.h"
#include "editReport.h"
#include "encodeAudioFile.h"

#include <algorithm>
#include <cstring>

// Where an entry's data come from: an entry of a bank, a raw sample file, or
// an audio file encoded here.
struct ManifestSources::Source {
    const ManifestEntry* entry = nullptr;
    std::string path;        // as found from here
    Bank* bank = nullptr;    // for PATH#N
    std::int64_t size = 0;   // of a raw sample file, opened again when it is written
    bool isAudio = false;    // an audio file to encode
};

namespace {

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

// Refuses, before anything is written, an audio file that cannot become the
// entry: the type or rate is not for audio, or the file cannot be read.
void checkAudio(const ManifestEntry& entry, const std::string& path, const char* format)
{
    if (entry.type > 1)
        throw ManifestError(entry.line, shown(entry) + " is a " + format +
                                            " file: audio is encoded to 8bit or adpcm only, not to type " +
                                            std::to_string(entry.type));
    if (entry.rate == 0)
        throw ManifestError(entry.line, shown(entry) + " is a " + format +
                                            " file: audio is encoded at a rate from 1 to 65535, not 0");
    const AudioSource audio(path);
    if (!audio.error().empty())
        throw ManifestError(entry.line, "can not read " + shown(entry) + ": " + audio.error());
}

} // namespace

ManifestSources::ManifestSources(const Manifest& manifest, const std::string& folder)
{
    for (const ManifestEntry& entry : manifest.entries) {
        Source source;
        source.entry = &entry;
        source.path = entry.sourcePath[0] == '/' || folder == "." ? entry.sourcePath : folder + "/" + entry.sourcePath;
        if (entry.sourceEntry)
            openBank(source);
        else
            openFile(source);
        sources.push_back(std::move(source));
    }
}

ManifestSources::~ManifestSources() = default;

std::vector<PlannedEntry> ManifestSources::plan(const BankTransaction& edit, const Encoding& how)
{
    std::vector<ParallelEncoding::Job> jobs;
    for (const Source& source : sources) {
        if (!source.isAudio)
            continue;
        ParallelEncoding::Job job{source.path, shown(*source.entry), {}};
        job.how.format = source.entry->type == 1 ? SampleFormat::adpcm : SampleFormat::signed8Bit;
        job.how.rate = source.entry->rate;
        job.how.quality = how.quality;
        jobs.push_back(job);
    }
    // Fewer audio files than threads: each searches on its share of them.
    const std::size_t share = std::max<std::size_t>(1, how.threads / std::max<std::size_t>(1, jobs.size()));
    for (ParallelEncoding::Job& job : jobs)
        job.how.threads = static_cast<unsigned>(share);
    audioTotal = jobs.size();
    progress = how.progress;
    encoding = std::make_unique<ParallelEncoding>(std::move(jobs), how.threads);

    std::vector<PlannedEntry> planned;
    for (const Source& source : sources) {
        PlannedEntry entry;
        entry.head.type = source.entry->type;
        entry.head.rate = source.entry->rate;
        std::copy(source.entry->name.begin(), source.entry->name.end(), entry.head.name.begin());
        if (source.bank) {
            const bool replaced = isFileAtPath(edit.fd(), source.path.c_str());
            const Bank& bank = replaced ? edit.bank() : *source.bank;
            requireEntry(bank, *source.entry);
            const BankEntry& from = bank.entries()[*source.entry->sourceEntry];
            entry.head.size = from.size;
            entry.fd = bank.fd();
            entry.offset = from.dataOffset();
        } else if (source.isAudio) {
            entry.produce = [this, &source] { return nextEncoded(*source.entry); };
        } else {
            entry.head.size = static_cast<std::uint32_t>(source.size);
            entry.path = source.path;
        }
        planned.push_back(entry);
    }
    return planned;
}

void ManifestSources::openBank(Source& source)
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

void ManifestSources::openFile(Source& source)
{
    const ManifestEntry& entry = *source.entry;
    const SourceFile file(source.path);
    if (!file.problem().empty())
        throw ManifestError(entry.line, "can not open " + shown(entry) + ": " + file.problem());
    if (const char* format = audioContainerOf(file.start())) {
        checkAudio(entry, source.path, format);
        source.isAudio = true;
    } else if (file.size() > Bank::maxSampleSize) {
        throw ManifestError(entry.line, shown(entry) + " is too large: a sample must be smaller than 2147483648 bytes");
    }
    source.size = file.size();
}

std::vector<unsigned char> ManifestSources::nextEncoded(const ManifestEntry& entry)
{
    ParallelEncoding::Result result;
    try {
        result = encoding->takeNext();
    } catch (const std::runtime_error& error) {
        throw ManifestError(entry.line, error.what());
    }
    samplesDone += result.audio.samples;
    if (progress)
        progress(++audioDone, audioTotal, samplesDone);
    return std::move(result.bytes);
}
