#include "repairBank.h"

#include "BankTransaction.h"
#include "syncFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace {

// The bank open and locked; it may have been replaced while this run waited.
int openLocked(const std::string& path)
{
    for (;;) {
        const int fd = open(path.c_str(), O_RDWR | O_CLOEXEC);
        if (fd < 0)
            throw BankError("open", errno);
        try {
            if (BankLock::lockFileAt(fd, path))
                return fd;
        } catch (...) {
            close(fd);
            throw;
        }
        close(fd);
    }
}

} // namespace

BankRepair repairBank(const std::string& path)
{
    const int fd = openLocked(path);
    try {
        const std::unique_ptr<Bank> bank = readBank(fd);
        BankRepair repair;
        repair.keptEntries = bank->entries().size();
        if (bank->state() != Bank::State::damaged) {
            requireWhole(*bank, path);
        } else if (ftruncate(fd, static_cast<off_t>(bank->wholeLength())) != 0 || !syncFile(fd)) {
            throw BankError("write", errno);
        } else {
            repair.removedBytes = bank->length() - bank->wholeLength();
        }
        close(fd);
        return repair;
    } catch (...) {
        close(fd);
        throw;
    }
}
