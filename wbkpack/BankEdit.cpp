#include "BankEdit.h"

#include "BankWriter.h"
#include "SourceFile.h"
#include "StagedFile.h"
#include "copyFileIdentity.h"
#include "filePath.h"
#include "failures.h"
#include "rollback.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <iostream>
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

void requireEditable(int fd, const char* path)
{
    struct stat info;
    if (fstat(fd, &info) != 0)
        failOn("read", path);
    if (!S_ISREG(info.st_mode))
        refuse(path + " is not a regular file: a bank is edited by writing a new file beside it"s);
    if (info.st_nlink > 1)
        refuse(path + " has "s + std::to_string(info.st_nlink) + " hard links; an edit would split them");
}

BankEdit::BankEdit(const char* path, bool create) : path(path)
{
    lockBank(create);
    requireEditable(lock->fd(), path);
    index = readBank(lock->fd(), path);
    requireWhole(*index, path);
    removeLeftovers();
}

// The new banks of edits that were killed before they could remove them:
// under the bank's lock, any that no writer holds.
void BankEdit::removeLeftovers() const
{
    const StagedFile::Leftovers removed = StagedFile::removeLeftovers(AT_FDCWD, resolvedPath(path));
    if (removed.files > 0)
        std::cout << "removed " << removed.files << (removed.files == 1 ? " file" : " files")
                  << " left beside " << path << " by killed runs (" << removed.bytes << " bytes)" << std::endl;
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

// The new bank is the old one's: its owner, group, mode and attributes,
// or the edit is refused.
void BankEdit::keepIdentity(const BankWriter& writer) const
{
    const std::string lost = copyFileIdentity(lock->fd(), writer.descriptor());
    if (!lost.empty())
        refuse("can not keep "s + lost + " of " + path + " (" + std::strerror(errno) + "): the bank is unchanged");
}

std::unique_ptr<BankWriter> BankEdit::createWriter() const
{
    try {
        const SignalBlock block;
        auto writer = std::make_unique<BankWriter>(path);
        watchTemporary(writer->temporaryPath());
        return writer;
    } catch (const BankError& error) {
        const std::string folder = directoryOf(resolvedPath(path));
        refuse("can not create a file in " + folder + ", the folder of " + path + " (" +
               std::strerror(error.errorNumber()) + "): an edit writes the new bank beside the old");
    }
}

// The file as it was when the edit was planned.
void BankEdit::writeFileEntry(BankWriter& writer, const PlannedEntry& entry) const
{
    const SourceFile file(entry.path);
    if (!file.problem().empty())
        refuse("can not open " + entry.path + " (" + file.problem() + "): " + path + " is unchanged");
    if (file.size() != entry.head.size)
        refuse(entry.path + " has changed while " + path + " was written: " + path + " is unchanged");
    writer.writeEntry(entry.head, file.fd(), 0);
}

void BankEdit::write(const Bank::Magic& magic, const Bank::Author& author, const std::vector<PlannedEntry>& entries)
{
    const std::unique_ptr<BankWriter> writer = createWriter();
    keepIdentity(*writer);
    try {
        writer->writeHeader(magic, author);
        for (const PlannedEntry& entry : entries) {
            if (entry.bytes)
                writer->writeEntry(entry.head, entry.bytes->data());
            else if (!entry.path.empty())
                writeFileEntry(*writer, entry);
            else
                writer->writeEntry(entry.head, entry.fd, entry.offset);
        }
        keepIdentity(*writer);  // again: writing clears the set-ID bits and capabilities
        commitWith([&] { writer->commit(); });
    } catch (const BankError& error) {
        failOn("write to", path, error);
    }
}
