#include "BankEdit.h"

#include "BankWriter.h"
#include "failures.h"
#include "rollback.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <optional>
#include <string>

using namespace std::string_literals;

PlannedEntry keptEntry(const Bank& bank, std::size_t index)
{
    const BankEntry& entry = bank.entries()[index];
    PlannedEntry kept;
    kept.head = entry;
    kept.fd = bank.fd();
    kept.offset = entry.dataOffset();
    kept.movedFrom = index;
    return kept;
}

Bank::Author newBankAuthor()
{
    const char* logname = std::getenv("LOGNAME");
    return Bank::newAuthor(logname ? logname : "");
}

BankEdit::BankEdit(const char* path, bool create) : path(path)
{
    lockBank(create);
    struct stat info;
    if (fstat(lock->fd(), &info) != 0)
        failOn("read", path);
    if (!S_ISREG(info.st_mode))
        refuse(path + " is not a regular file: a bank is edited by writing a new file beside it"s);
    index = readBank(lock->fd(), path);
    requireWhole(*index, path);
}

// A bank that this run creates is known to the undoing before any signal
// can end the run; waiting for the lock on an existing bank can be ended.
void BankEdit::lockBank(bool create)
{
    struct stat info;
    const bool creating = create && stat(path, &info) != 0;
    try {
        std::optional<SignalBlock> block;
        if (creating)
            block.emplace();
        lock = std::make_unique<BankLock>(path, creating);
        watchBank(lock->fd(), lock->created());
    } catch (const BankError& error) {
        errno = error.errorNumber();
        failOpen(path);
    }
}

Bank::Magic BankEdit::magic() const
{
    return index->hasHeader() ? index->magic() : Bank::newMagic();
}

Bank::Author BankEdit::author() const
{
    return index->hasHeader() ? index->authorBytes() : newBankAuthor();
}

mode_t BankEdit::mode() const
{
    struct stat info;
    if (fstat(lock->fd(), &info) != 0)
        failOn("read", path);
    return info.st_mode & 07777;
}

void BankEdit::write(const Bank::Magic& magic, const Bank::Author& author, const std::vector<PlannedEntry>& entries)
{
    std::unique_ptr<BankWriter> writer;
    try {
        {
            const SignalBlock block;
            writer = std::make_unique<BankWriter>(path, mode());
            watchTemporary(writer->temporaryPath());
        }
        writer->writeHeader(magic, author);
        for (const PlannedEntry& entry : entries) {
            if (entry.bytes)
                writer->writeEntry(entry.head, entry.bytes->data());
            else
                writer->writeEntry(entry.head, entry.fd, entry.offset);
        }
        commitWith([&] { writer->commit(); });
    } catch (const BankError& error) {
        failOn("write to", path, error);
    }
}
