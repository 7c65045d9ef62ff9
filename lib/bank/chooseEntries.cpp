#include "chooseEntries.h"

#include "Manifest.h"

#include <algorithm>
#include <stdexcept>

namespace {

std::string bankSize(std::size_t count)
{
    if (count == 0)
        return "the bank has no entries";
    if (count == 1)
        return "the bank has 1 entry (0)";
    return "the bank has " + std::to_string(count) + " entries (0-" + std::to_string(count - 1) + ")";
}

// The index written as `digits`, when the bank has it.
std::size_t chooseIndex(const std::vector<BankEntry>& entries, const std::string& digits)
{
    const auto index = entries.empty() ? std::nullopt : decimalValue(digits, entries.size() - 1);
    if (!index)
        throw std::invalid_argument("there is no entry " + digits + ": " + bankSize(entries.size()));
    return static_cast<std::size_t>(*index);
}

// "2, 5 and 9"
std::string listed(const std::vector<std::size_t>& indices)
{
    std::string text;
    for (std::size_t i = 0; i < indices.size(); ++i) {
        if (i > 0)
            text += i + 1 == indices.size() ? " and " : ", ";
        text += std::to_string(indices[i]);
    }
    return text;
}

std::size_t chooseByName(const std::vector<BankEntry>& entries, const std::string& argument)
{
    std::string name;
    try {
        name = unescapeManifestText(argument);
    } catch (const std::invalid_argument& error) {
        throw std::invalid_argument(std::string("in the entry name, ") + error.what());
    }
    std::vector<std::size_t> carriers;
    for (std::size_t i = 0; i < entries.size(); ++i)
        if (entries[i].nameText() == name)
            carriers.push_back(i);
    const std::string shown = "\"" + escapeManifestText(name) + "\"";
    if (carriers.empty())
        throw std::invalid_argument("no entry is named " + shown);
    if (carriers.size() > 1)
        throw std::invalid_argument("the name " + shown + " is carried by entries " + listed(carriers) +
                                    ": choose one by its index");
    return carriers.front();
}

} // namespace

std::vector<std::size_t> chooseEntries(const std::vector<BankEntry>& entries, const std::string& argument,
                                       bool rangeAllowed)
{
    if (argument.empty())
        throw std::invalid_argument("an empty argument names no entry: give an index or a name");
    if (isDecimal(argument))
        return {chooseIndex(entries, argument)};
    const std::size_t dash = argument.find('-');
    const std::string first = argument.substr(0, dash);
    const std::string last = dash == std::string::npos ? "" : argument.substr(dash + 1);
    if (!isDecimal(first) || !isDecimal(last))
        return {chooseByName(entries, argument)};
    if (!rangeAllowed)
        throw std::invalid_argument("a range is not allowed here: choose one entry, not " + argument);
    const std::size_t from = chooseIndex(entries, first);
    const std::size_t to = chooseIndex(entries, last);
    if (from > to)
        throw std::invalid_argument(argument + " is not a range: its first index is above its last");
    std::vector<std::size_t> chosen;
    for (std::size_t index = from; index <= to; ++index)
        chosen.push_back(index);
    return chosen;
}

std::vector<std::size_t> chooseEntries(const std::vector<BankEntry>& entries,
                                       const std::vector<std::string>& arguments)
{
    std::vector<std::size_t> chosen;
    for (const std::string& argument : arguments) {
        const std::vector<std::size_t> choice = chooseEntries(entries, argument, true);
        chosen.insert(chosen.end(), choice.begin(), choice.end());
    }
    std::sort(chosen.begin(), chosen.end());
    chosen.erase(std::unique(chosen.begin(), chosen.end()), chosen.end());
    return chosen;
}
