#include "editReport.h"

#include "visibleText.h"

namespace {

// How long the run of moved entries starting at `start` is: the next ones
// keep the same distance to their old index.
std::size_t movedRunLength(const std::vector<PlannedEntry>& entries, std::size_t start)
{
    std::size_t length = 1;
    while (start + length < entries.size() && entries[start + length].movedFrom &&
           *entries[start + length].movedFrom == *entries[start].movedFrom + length)
        ++length;
    return length;
}

} // namespace

std::string indexRange(std::size_t first, std::size_t last)
{
    return first == last ? std::to_string(first) : std::to_string(first) + "-" + std::to_string(last);
}

std::string indexList(const std::vector<std::size_t>& indices)
{
    std::string text;
    for (std::size_t i = 0; i < indices.size();) {
        std::size_t last = i;
        while (last + 1 < indices.size() && indices[last + 1] == indices[last] + 1)
            ++last;
        text += (text.empty() ? "" : ", ") + indexRange(indices[i], indices[last]);
        i = last + 1;
    }
    return text;
}

std::string entryText(const Bank& bank, std::size_t index)
{
    return "entry " + std::to_string(index) + " (" + visibleText(bank.entries()[index].nameText().c_str(), 0) + ")";
}

std::string entryCount(std::size_t count)
{
    return std::to_string(count) + (count == 1 ? " entry" : " entries");
}

std::string movedClause(const std::vector<PlannedEntry>& entries)
{
    std::string clause;
    for (std::size_t start = 0; start < entries.size();) {
        const auto& from = entries[start].movedFrom;
        if (!from || *from == start) {
            ++start;
            continue;
        }
        const std::size_t length = movedRunLength(entries, start);
        clause += (clause.empty() ? "; " : ", ") + std::string(length == 1 ? "entry " : "entries ") +
                  indexRange(*from, *from + length - 1) + (length == 1 ? " is now " : " are now ") +
                  indexRange(start, start + length - 1);
        start += length;
    }
    return clause;
}
