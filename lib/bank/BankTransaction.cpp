#include "BankTransaction.h"

#include "SourceFile.h"
#include "copyFileIdentity.h"
#include "filePath.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <optional>

void requireWhole(const Bank& bank, const std::string& path)
{
    switch (bank.state()) {
    case Bank::State::empty:
    case Bank::State::whole:
        return;
    case Bank::State::notBank:
        throw BankRefused(path + " is not a sound bank: it does not start with WBK (the bank comes first: " +
                          "wbkpack BANK SAMPLE)");
    case Bank::State::damaged:
        throw BankRefused(path + " is damaged: " + bank.damage()->text() + "; wbkpack --repair " + path +
                          " cuts it back to its last whole entry");
    }
}

void requireEditable(int fd, const std::string& path)
{
    struct stat info;
    if (fstat(fd, &info) != 0)
        throw BankError("read", errno);
    if (!S_ISREG(info.st_mode))
        throw BankRefused(path + " is not a regular file: a bank is edited by writing a new file beside it");
    if (info.st_nlink > 1)
        throw BankRefused(path + " has " + std::to_string(info.st_nlink) + " hard links; an edit would split them");
}

std::unique_ptr<Bank> readBank(int fd)
{
    try {
        return std::make_unique<Bank>(fd);
    } catch (const BankError& error) {
        throw BankError("read", error.errorNumber());
    }
}

std::unique_ptr<Bank> precheckBank(int fd, const std::string& path, bool edit)
{
    const BankLock::Shared shared(fd);
    if (edit)
        requireEditable(fd, path);
    auto bank = readBank(fd);
    requireWhole(*bank, path);
    return bank;
}

BankTransaction::BankTransaction(const std::string& path, bool create) : path(path)
{
    try {
        // A bank created here is known to the registry before any signal can
        // end the run; waiting for the lock on an existing bank can be ended.
        struct stat info;
        const bool creating = create && stat(path.c_str(), &info) != 0;
        std::optional<SignalHold> hold;
        if (creating)
            hold.emplace();
        lock = std::make_unique<BankLock>(path, creating);
        if (lock->created())
            created = CleanupRegistry::removeCreated(lock->fd(), resolvedPath(path));
    } catch (const BankError& error) {
        throw BankError("open", error.errorNumber());
    }
    requireEditable(lock->fd(), path);
    index = readBank(lock->fd());
    requireWhole(*index, path);
    removed = StagedFile::removeLeftovers(AT_FDCWD, resolvedPath(path));
}

// A bank created empty goes again when the edit did not happen.
BankTransaction::~BankTransaction()
{
    CleanupRegistry::undo(created);
}

std::vector<PlannedEntry> BankTransaction::keptEntriesOf(const Bank& bank)
{
    std::vector<PlannedEntry> entries;
    for (std::size_t k = 0; k < bank.entries().size(); ++k) {
        const BankEntry& entry = bank.entries()[k];
        PlannedEntry kept;
        kept.head = entry;
        kept.fd = bank.fd();
        kept.offset = entry.dataOffset();
        kept.movedFrom = k;
        entries.push_back(kept);
    }
    return entries;
}

Bank::Magic BankTransaction::magic() const
{
    return index->hasHeader() ? index->magic() : Bank::newMagic();
}

Bank::Author BankTransaction::author(const Bank::Author& newAuthor) const
{
    return index->hasHeader() ? index->authorBytes() : newAuthor;
}

std::unique_ptr<BankWriter> BankTransaction::createWriter() const
{
    try {
        return std::make_unique<BankWriter>(path);
    } catch (const BankError& error) {
        throw BankRefused("can not create a file in " + directoryOf(resolvedPath(path)) + ", the folder of " + path +
                          " (" + std::strerror(error.errorNumber()) + "): an edit writes the new bank beside the old");
    }
}

// The new bank is the old one's: its owner, group, mode and attributes.
void BankTransaction::keepIdentity(const BankWriter& writer) const
{
    const std::string lost = copyFileIdentity(lock->fd(), writer.descriptor());
    if (!lost.empty())
        throw BankRefused("can not keep " + lost + " of " + path + " (" + std::strerror(errno) +
                          "): the bank is unchanged");
}

// Data from a file named in the plan, as it was when the edit was planned.
void BankTransaction::writeEntry(BankWriter& writer, const PlannedEntry& entry) const
{
    if (entry.produce) {
        const std::vector<unsigned char> bytes = entry.produce();
        if (bytes.size() > static_cast<std::uint64_t>(Bank::maxSampleSize))
            throw BankRefused("an entry of " + std::to_string(bytes.size()) + " bytes is too large for " + path);
        EntryHead head = entry.head;
        head.size = static_cast<std::uint32_t>(bytes.size());
        return writer.writeEntry(head, bytes.data());
    }
    if (entry.path.empty())
        return writer.writeEntry(entry.head, entry.fd, entry.offset);
    const SourceFile file(entry.path);
    if (!file.problem().empty())
        throw BankRefused("can not open " + entry.path + " (" + file.problem() + "): " + path + " is unchanged");
    if (file.size() != entry.head.size)
        throw BankRefused(entry.path + " has changed while " + path + " was written: " + path + " is unchanged");
    writer.writeEntry(entry.head, file.fd(), 0);
}

void BankTransaction::write(const Bank::Magic& magic, const Bank::Author& author,
                            const std::vector<PlannedEntry>& entries)
{
    const std::unique_ptr<BankWriter> writer = createWriter();
    keepIdentity(*writer);
    try {
        writer->writeHeader(magic, author);
        for (const PlannedEntry& entry : entries)
            writeEntry(*writer, entry);
        keepIdentity(*writer);  // again: writing clears the set-ID bits and capabilities
        SignalHold hold;
        writer->commit();
        CleanupRegistry::release(created);
        hold.keepUntilExit();
    } catch (const BankError& error) {
        throw BankError("write to", error.errorNumber());
    }
}
