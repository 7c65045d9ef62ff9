#include "edits.h"

#include "BankEdit.h"
#include "EntryChoice.h"
#include "Manifest.h"
#include "editReport.h"
#include "failures.h"
#include "samples.h"
#include "visibleText.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <functional>
#include <iostream>
#include <memory>
#include <optional>
#include <stdexcept>

using namespace std::string_literals;

namespace {

struct EditPlan {
    std::vector<PlannedEntry> entries;
    std::string report;
};

// Plans an edit of the bank as read: std::invalid_argument when the
// command line chooses what the bank does not have.
using Planner = std::function<EditPlan(const Bank& bank)>;

using Samples = std::vector<std::unique_ptr<SampleFile>>;

EditPlan planOn(const Bank& bank, const char* path, const Planner& plan)
{
    try {
        return plan(bank);
    } catch (const std::invalid_argument& error) {
        refuse(path + ": "s + error.what());
    }
}

// Refuses, before the user is asked anything, an edit that the bank as it
// is now would refuse; under a shared lock, so that an append in progress
// is not taken for damage. A missing bank is left to the edit.
void precheck(const char* path, const Planner& plan)
{
    const int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0 && errno == ENOENT)
        return;
    if (fd < 0)
        failOpen(path);
    if (flock(fd, LOCK_SH) != 0)
        failOn("lock", path);
    const std::unique_ptr<Bank> bank = readBank(fd, path);
    requireWhole(*bank, path);
    planOn(*bank, path, plan);
    close(fd);
}

int runEdit(const char* path, bool create, const Planner& plan)
{
    BankEdit edit(path, create);
    const EditPlan planned = planOn(edit.bank(), path, plan);
    edit.write(edit.magic(), edit.author(), planned.entries);
    std::cout << planned.report << std::endl;
    return 0;
}

std::vector<PlannedEntry> keptEntries(const Bank& bank)
{
    std::vector<PlannedEntry> entries;
    for (std::size_t index = 0; index < bank.entries().size(); ++index)
        entries.push_back(keptEntry(bank, index));
    return entries;
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
        refuse("wbkpack: in the name given with --name, "s + error.what());
    }
    if (name.size() > Bank::nameSize)
        refuse("wbkpack: the name " + escapeManifestText(name) + " is " + std::to_string(name.size()) +
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

int insertSamples(const Options& options)
{
    const char* path = options.operands[0];
    Samples samples;
    const Planner plan = [&](const Bank& bank) {
        const std::size_t count = bank.entries().size();
        const std::size_t at = options.entry ? indexArgument(options.entry, count, "--insert") : count;
        EditPlan planned;
        planned.entries = keptEntries(bank);
        std::vector<PlannedEntry> added;
        for (const auto& sample : samples)
            added.push_back(newEntry(*sample));
        planned.entries.insert(planned.entries.begin() + static_cast<std::ptrdiff_t>(at), added.begin(),
                               added.end());
        planned.report = (options.entry ? "inserted " : "appended ") + entryCount(added.size()) + " as " +
                         indexRange(at, at + added.size() - 1) + (options.entry ? " in " : " to ") + path +
                         movedClause(planned.entries);
        return planned;
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
    return runEdit(path, false, [&](const Bank& bank) {
        const std::size_t index = chooseOne(bank, options.entry);
        const BankEntry& old = bank.entries()[index];
        EditPlan planned;
        planned.entries = keptEntries(bank);
        PlannedEntry& replaced = planned.entries[index] = newEntry(sample);
        replaced.head.name = old.name;
        if (name)
            setName(replaced.head, *name);
        replaced.head.rate = rate ? *rate : old.rate;
        planned.report = "replaced " + entryText(bank, index) + " of " + path + " with " + sample.path();
        return planned;
    });
}

int removeEntries(const Options& options)
{
    const char* path = options.operands[0];
    return runEdit(path, false, [&](const Bank& bank) {
        const std::vector<std::size_t> removed = chooseEntries(bank.entries(), options.removed);
        EditPlan planned;
        std::size_t next = 0;
        for (std::size_t index = 0; index < bank.entries().size(); ++index) {
            if (next < removed.size() && removed[next] == index)
                ++next;
            else
                planned.entries.push_back(keptEntry(bank, index));
        }
        const std::string what = removed.size() == 1 ? entryText(bank, removed.front())
                                                     : entryCount(removed.size()) + " (" + indexList(removed) + ")";
        planned.report = "removed " + what + " from " + path + movedClause(planned.entries);
        return planned;
    });
}

int setEntry(const Options& options)
{
    const char* path = options.operands[0];
    const std::optional<std::string> name = givenName(options);
    const std::optional<std::uint16_t> rate = givenRate(options);
    return runEdit(path, false, [&](const Bank& bank) {
        const std::size_t index = chooseOne(bank, options.entry);
        EditPlan planned;
        planned.entries = keptEntries(bank);
        EntryHead& head = planned.entries[index].head;
        std::string changes;
        if (rate) {
            head.rate = *rate;
            changes = "rate " + std::to_string(*rate);
        }
        if (name) {
            setName(head, *name);
            changes += (changes.empty() ? "name " : ", name ") + visibleText(head.nameText().c_str(), 0);
        }
        planned.report = "changed " + entryText(bank, index) + " of " + path + ": " + changes;
        return planned;
    });
}

int moveEntry(const Options& options)
{
    const char* path = options.operands[0];
    return runEdit(path, false, [&](const Bank& bank) {
        const std::size_t from = chooseOne(bank, options.entry);
        const std::size_t to = indexArgument(options.to, bank.entries().size() - 1, "--to");
        EditPlan planned;
        planned.entries = keptEntries(bank);
        PlannedEntry moved = planned.entries[from];
        moved.movedFrom.reset();
        planned.entries.erase(planned.entries.begin() + static_cast<std::ptrdiff_t>(from));
        planned.entries.insert(planned.entries.begin() + static_cast<std::ptrdiff_t>(to), moved);
        planned.report = "moved " + entryText(bank, from) + " of " + path + " to " + std::to_string(to) +
                         movedClause(planned.entries);
        return planned;
    });
}
