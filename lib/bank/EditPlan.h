#ifndef WBK_EDIT_PLAN_H
#define WBK_EDIT_PLAN_H

#include "Bank.h"
#include "BankTransaction.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// The new entry list of an edit of a bank, planned from the bank's own
// entries, and the line that reports it, naming the bank as `path` and
// saying which indices moved. Entries are chosen as chooseEntries reads them;
// what the bank does not have throws std::invalid_argument.
class EditPlan {
public:
    EditPlan(const Bank& bank, const std::string& path);

    const std::vector<PlannedEntry>& entries() const { return planned; }

    // `added` before the entry that `index` names (0 to the number of
    // entries), or at the end without it.
    std::string insert(const char* index, const std::vector<PlannedEntry>& added);
    // New data for the entry `entry`, from `sampleName`; its name and rate
    // stay unless given.
    std::string replace(const char* entry, PlannedEntry replacement, const std::string& sampleName,
                        const std::optional<std::string>& name, const std::optional<std::uint16_t>& rate);
    std::string remove(const std::vector<std::string>& entries);
    std::string set(const char* entry, const std::optional<std::string>& name, const std::optional<std::uint16_t>& rate);
    // The entry `entry` gets the index `to`.
    std::string move(const char* entry, const char* to);

private:
    std::size_t chooseOne(const char* entry) const;
    std::string entry(std::size_t index) const;

    const Bank& bank;
    std::string path;
    std::vector<PlannedEntry> planned;
};

#endif
