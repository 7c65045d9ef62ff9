#include "edits.h"

#include "BankTransaction.h"
#include "EntryChoice.h"
#include "Manifest.h"
#include "Refusal.h"
#include "editReport.h"
#include "samples.h"
#include "visibleText.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <functional>
#include <iostream>
#include <memory>
#include <optional>
#include <stdexcept>

using namespace std::string_literals;

namespace {

// Plans an edit of the bank as read: changes `entries`, which come as the
// bank's own, and returns the report; std::invalid_argument when the
// command line chooses what the bank does not have.
using Planner = std::function<std::string(const Bank& bank, std::vector<PlannedEntry>& entries)>;

using Samples = std::vector<std::unique_ptr<SampleFile>>;

// Lets `plan` edit the bank's own entries; returns the report.
std::string planOn(const Bank& bank, const char* path, const Planner& plan, std::vector<PlannedEntry>& entries)
{
    try {
        return plan(bank, entries);
    } catch (const std::invalid_argument& error) {
        throw Refusal(path + ": "s + error.what());
    }
}

// Refuses, before the user is asked anything, an edit that the bank as it
// is now would refuse. A missing bank is left to the edit.
void precheck(const char* path, const Planner& plan)
{
    const int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0 && errno == ENOENT)
        return;
    if (fd < 0)
        throw Refusal(Refusal::Kind::failedCall, path, "open", errno);
    try {
        const std::unique_ptr<Bank> bank = precheckBank(fd, path, true);
        std::vector<PlannedEntry> entries = BankTransaction::keptEntriesOf(*bank);
        planOn(*bank, path, plan, entries);
    } catch (...) {
        close(fd);
        throw;
    }
    close(fd);
}

int runEdit(const char* path, bool create, const Planner& plan)
{
    BankTransaction edit(path, create);
    reportLeftovers(edit.leftovers(), path);
    std::vector<PlannedEntry> entries = edit.keptEntries();
    const std::string report = planOn(edit.bank(), path, plan, entries);
    edit.write(edit.magic(), edit.author(newBankAuthor()), entries);
    std::cout << report << std::endl;
    return 0;
}

PlannedEntry newEntry(const SampleFile& sample)
{
    PlannedEntry entry;
    entry.head = sample.head;
    entry.fd = sample.fd();
    return entry;
}

std::optional<std::uint16_t> givenRate(const Options& options)
{
    return options.rate ? std::optional<std::uint16_t>(parseRate(options.rate)) : std::nullopt;
}

// Opens the samples named from operand `first` on and gives them the rate of
// -r; without it, asks for each once `plan` holds on the bank as it is.
void openSamples(const Options& options, std::size_t first, Samples& samples, const Planner& plan)
{
    const std::optional<std::uint16_t> rate = givenRate(options);
    for (std::size_t k = first; k < options.operands.size(); ++k)
        samples.push_back(std::make_unique<SampleFile>(options.operands[k]));
    if (!rate)
        precheck(options.operands[0], plan);
    for (const auto& sample : samples)
        sample->head.rate = rate ? *rate : askRate(sample->path());
}

// The bytes of --name: at most 16, escapes as in a manifest.
std::optional<std::string> givenName(const Options& options)
{
    if (!options.name)
        return std::nullopt;
    std::string name;
    try {
        name = unescapeManifestText(options.name);
    } catch (const std::invalid_argument& error) {
        throw Refusal("in the name given with --name, "s + error.what());
    }
    if (name.size() > Bank::nameSize)
        throw Refusal("the name " + escapeManifestText(name) + " is " + std::to_string(name.size()) +
                      " bytes long, more than " + std::to_string(Bank::nameSize));
    return name;
}

void setName(EntryHead& head, const std::string& name)
{
    head.name.fill(0);
    std::copy(name.begin(), name.end(), head.name.begin());
}

std::size_t chooseOne(const Bank& bank, const char* entry)
{
    return chooseEntries(bank.entries(), entry, false).front();
}

// The index that `option` gives: 0 to `last`.
std::size_t indexArgument(const char* text, std::size_t last, const char* option)
{
    const auto index = decimalValue(text, last);
    if (!index)
        throw std::invalid_argument(option + " takes an index from 0 to "s + std::to_string(last) + ", not " + text);
    return static_cast<std::size_t>(*index);
}

} // namespace

void reportLeftovers(const StagedFile::Leftovers& removed, const char* path)
{
    if (removed.files > 0)
        std::cout << "removed " << removed.files << (removed.files == 1 ? " file" : " files") << " left beside "
                  << path << " by killed runs (" << removed.bytes << " bytes)" << std::endl;
}

Bank::Author newBankAuthor()
{
    const char* logname = std::getenv("LOGNAME");
    return Bank::newAuthor(logname ? logname : "");
}

int insertSamples(const Options& options)
{
    const char* path = options.operands[0];
    Samples samples;
    const Planner plan = [&](const Bank& bank, std::vector<PlannedEntry>& entries) {
        const std::size_t count = bank.entries().size();
        const std::size_t at = options.entry ? indexArgument(options.entry, count, "--insert") : count;
        std::vector<PlannedEntry> added;
        for (const auto& sample : samples)
            added.push_back(newEntry(*sample));
        entries.insert(entries.begin() + static_cast<std::ptrdiff_t>(at), added.begin(), added.end());
        return (options.entry ? "inserted " : "appended ") + entryCount(added.size()) + " as " +
               indexRange(at, at + added.size() - 1) + (options.entry ? " in " : " to ") + path + movedClause(entries);
    };
    openSamples(options, 1, samples, plan);
    return runEdit(path, true, plan);
}

int replaceEntry(const Options& options)
{
    const char* path = options.operands[0];
    const std::optional<std::string> name = givenName(options);
    const std::optional<std::uint16_t> rate = givenRate(options);
    const SampleFile sample(options.operands[1]);
    return runEdit(path, false, [&](const Bank& bank, std::vector<PlannedEntry>& entries) {
        const std::size_t index = chooseOne(bank, options.entry);
        const BankEntry& old = bank.entries()[index];
        PlannedEntry& replaced = entries[index] = newEntry(sample);
        replaced.head.name = old.name;
        if (name)
            setName(replaced.head, *name);
        replaced.head.rate = rate ? *rate : old.rate;
        return "replaced " + entryText(bank, index) + " of " + path + " with " + sample.path();
    });
}

int removeEntries(const Options& options)
{
    const char* path = options.operands[0];
    return runEdit(path, false, [&](const Bank& bank, std::vector<PlannedEntry>& entries) {
        const std::vector<std::size_t> removed = chooseEntries(bank.entries(), options.removed);
        for (auto index = removed.rbegin(); index != removed.rend(); ++index)
            entries.erase(entries.begin() + static_cast<std::ptrdiff_t>(*index));
        const std::string what = removed.size() == 1 ? entryText(bank, removed.front())
                                                     : entryCount(removed.size()) + " (" + indexList(removed) + ")";
        return "removed " + what + " from " + path + movedClause(entries);
    });
}

int setEntry(const Options& options)
{
    const char* path = options.operands[0];
    const std::optional<std::string> name = givenName(options);
    const std::optional<std::uint16_t> rate = givenRate(options);
    return runEdit(path, false, [&](const Bank& bank, std::vector<PlannedEntry>& entries) {
        const std::size_t index = chooseOne(bank, options.entry);
        EntryHead& head = entries[index].head;
        std::string changes;
        if (rate) {
            head.rate = *rate;
            changes = "rate " + std::to_string(*rate);
        }
        if (name) {
            setName(head, *name);
            changes += (changes.empty() ? "name " : ", name ") + visibleText(head.nameText().c_str(), 0);
        }
        return "changed " + entryText(bank, index) + " of " + path + ": " + changes;
    });
}

int moveEntry(const Options& options)
{
    const char* path = options.operands[0];
    return runEdit(path, false, [&](const Bank& bank, std::vector<PlannedEntry>& entries) {
        const std::size_t from = chooseOne(bank, options.entry);
        const std::size_t to = indexArgument(options.to, bank.entries().size() - 1, "--to");
        PlannedEntry moved = entries[from];
        moved.movedFrom.reset();
        entries.erase(entries.begin() + static_cast<std::ptrdiff_t>(from));
        entries.insert(entries.begin() + static_cast<std::ptrdiff_t>(to), moved);
        return "moved " + entryText(bank, from) + " of " + path + " to " + std::to_string(to) + movedClause(entries);
    });
}
