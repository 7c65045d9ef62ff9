#include "edits.h"

#include "BankTransaction.h"
#include "EditPlan.h"
#include "Manifest.h"
#include "Refusal.h"
#include "SampleFile.h"

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

// Plans an edit of the bank as read and returns the report; what the bank
// does not have throws std::invalid_argument.
using Planner = std::function<std::string(EditPlan& plan)>;

using Samples = std::vector<std::unique_ptr<SampleFile>>;

// The plan of `planner` for `bank`; what it refuses names the bank.
std::string planOn(EditPlan& plan, const char* path, const Planner& planner)
{
    try {
        return planner(plan);
    } catch (const std::invalid_argument& error) {
        throw Refusal(path + ": "s + error.what());
    }
}

// Refuses, before the user is asked anything, an edit that the bank as it
// is now would refuse. A missing bank is left to the edit.
void precheck(const char* path, const Planner& planner)
{
    const int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0 && errno == ENOENT)
        return;
    if (fd < 0)
        throw Refusal(Refusal::Kind::failedCall, path, "open", errno);
    try {
        const std::unique_ptr<Bank> bank = precheckBank(fd, path, true);
        EditPlan plan(*bank, path);
        planOn(plan, path, planner);
    } catch (...) {
        close(fd);
        throw;
    }
    close(fd);
}

int runEdit(const char* path, bool create, const Planner& planner)
{
    BankTransaction edit(path, create);
    reportLeftovers(edit.leftovers(), path);
    EditPlan plan(edit.bank(), path);
    const std::string report = planOn(plan, path, planner);
    edit.write(edit.magic(), edit.author(newBankAuthor()), plan.entries());
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

// The samples get the rate of -r; without it, each is asked for once the
// edit holds on the bank as it is.
int insertSamples(const Options& options)
{
    const char* path = options.operands[0];
    const std::optional<std::uint16_t> rate = givenRate(options);
    Samples samples;
    for (std::size_t k = 1; k < options.operands.size(); ++k)
        samples.push_back(std::make_unique<SampleFile>(options.operands[k]));
    const Planner planner = [&](EditPlan& plan) {
        std::vector<PlannedEntry> added;
        for (const auto& sample : samples)
            added.push_back(newEntry(*sample));
        return plan.insert(options.entry, added);
    };
    if (!rate)
        precheck(path, planner);
    for (const auto& sample : samples)
        sample->head.rate = rate ? *rate : askRate(sample->path());
    return runEdit(path, true, planner);
}

int replaceEntry(const Options& options)
{
    const std::optional<std::string> name = givenName(options);
    const std::optional<std::uint16_t> rate = givenRate(options);
    const SampleFile sample(options.operands[1]);
    return runEdit(options.operands[0], false, [&](EditPlan& plan) {
        return plan.replace(options.entry, newEntry(sample), sample.path(), name, rate);
    });
}

int removeEntries(const Options& options)
{
    return runEdit(options.operands[0], false, [&](EditPlan& plan) { return plan.remove(options.removed); });
}

int setEntry(const Options& options)
{
    const std::optional<std::string> name = givenName(options);
    const std::optional<std::uint16_t> rate = givenRate(options);
    return runEdit(options.operands[0], false, [&](EditPlan& plan) { return plan.set(options.entry, name, rate); });
}

int moveEntry(const Options& options)
{
    return runEdit(options.operands[0], false, [&](EditPlan& plan) { return plan.move(options.entry, options.to); });
}
