#include "EditPlan.h"

#include "chooseEntries.h"
#include "Manifest.h"
#include "editReport.h"
#include "visibleText.h"

#include <stdexcept>

namespace {

// The index that `option` gives: 0 to `last`.
std::size_t indexArgument(const char* text, std::size_t last, const char* option)
{
    const auto index = decimalValue(text, last);
    if (!index)
        throw std::invalid_argument(std::string(option) + " takes an index from 0 to " + std::to_string(last) +
                                    ", not " + text);
    return static_cast<std::size_t>(*index);
}

void setName(EntryHead& head, const std::string& name)
{
    head.name.fill(0);
    std::copy(name.begin(), name.end(), head.name.begin());
}

std::ptrdiff_t at(std::size_t index)
{
    return static_cast<std::ptrdiff_t>(index);
}

} // namespace

EditPlan::EditPlan(const Bank& bank, const std::string& path)
    : bank(bank), path(path), planned(BankTransaction::keptEntriesOf(bank))
{
}

std::size_t EditPlan::chooseOne(const char* entry) const
{
    return chooseEntries(bank.entries(), entry, false).front();
}

std::string EditPlan::entry(std::size_t index) const
{
    return entryText(bank, index);
}

std::string EditPlan::insert(const char* index, const std::vector<PlannedEntry>& added)
{
    const std::size_t count = bank.entries().size();
    const std::size_t first = index ? indexArgument(index, count, "--insert") : count;
    planned.insert(planned.begin() + at(first), added.begin(), added.end());
    return (index ? "inserted " : "appended ") + entryCount(added.size()) + " as " +
           indexRange(first, first + added.size() - 1) + (index ? " in " : " to ") + path + movedClause(planned);
}

std::string EditPlan::replace(const char* entryText, PlannedEntry replacement, const std::string& sampleName,
                              const std::optional<std::string>& name, const std::optional<std::uint16_t>& rate)
{
    const std::size_t index = chooseOne(entryText);
    const BankEntry& old = bank.entries()[index];
    replacement.head.name = old.name;
    if (name)
        setName(replacement.head, *name);
    replacement.head.rate = rate ? *rate : old.rate;
    planned[index] = replacement;
    return "replaced " + entry(index) + " of " + path + " with " + sampleName;
}

std::string EditPlan::remove(const std::vector<std::string>& entries)
{
    const std::vector<std::size_t> removed = chooseEntries(bank.entries(), entries);
    for (auto index = removed.rbegin(); index != removed.rend(); ++index)
        planned.erase(planned.begin() + at(*index));
    const std::string what = removed.size() == 1 ? entry(removed.front())
                                                 : entryCount(removed.size()) + " (" + indexList(removed) + ")";
    return "removed " + what + " from " + path + movedClause(planned);
}

std::string EditPlan::set(const char* entryText, const std::optional<std::string>& name,
                          const std::optional<std::uint16_t>& rate)
{
    const std::size_t index = chooseOne(entryText);
    EntryHead& head = planned[index].head;
    std::string changes;
    if (rate) {
        head.rate = *rate;
        changes = "rate " + std::to_string(*rate);
    }
    if (name) {
        setName(head, *name);
        changes += (changes.empty() ? "name " : ", name ") + visibleText(head.nameText().c_str(), 0);
    }
    return "changed " + entry(index) + " of " + path + ": " + changes;
}

std::string EditPlan::move(const char* entryText, const char* to)
{
    const std::size_t from = chooseOne(entryText);
    const std::size_t index = indexArgument(to, bank.entries().size() - 1, "--to");
    PlannedEntry moved = planned[from];
    moved.movedFrom.reset();
    planned.erase(planned.begin() + at(from));
    planned.insert(planned.begin() + at(index), moved);
    return "moved " + entry(from) + " of " + path + " to " + std::to_string(index) + movedClause(planned);
}
