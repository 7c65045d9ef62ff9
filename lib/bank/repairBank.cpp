#include "repairBank.h"

#include "BankLock.h"
#include "BankTransaction.h"
#include "syncFile.h"

#include <unistd.h>

#include <cerrno>

BankRepair repairBank(const std::string& path)
{
    const BankLock lock(path, false);
    const std::unique_ptr<Bank> bank = readBank(lock.fd());
    BankRepair repair;
    repair.keptEntries = bank->entries().size();
    if (bank->state() != Bank::State::damaged) {
        requireWhole(*bank, path);
    } else if (ftruncate(lock.fd(), static_cast<off_t>(bank->wholeLength())) != 0 || !syncFile(lock.fd())) {
        throw BankError("write", errno);
    } else {
        repair.removedBytes = bank->length() - bank->wholeLength();
    }
    return repair;
}
