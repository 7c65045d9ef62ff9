#ifndef WBK_REPAIR_BANK_H
#define WBK_REPAIR_BANK_H

#include <cstddef>
#include <cstdint>
#include <string>

// What a repair did: nothing, for a whole bank.
struct BankRepair {
    std::uint64_t removedBytes = 0;
    std::size_t keptEntries = 0;
};

// Cuts the damaged bank at `path` back to the end of its last whole entry,
// under its lock, and syncs it. BankError whose what() is the action that
// failed ("open", "lock", "read", "write"); BankRefused for a file that is no
// bank.
BankRepair repairBank(const std::string& path);

#endif
