#include "BankAppend.h"

#include "BankLock.h"
#include "BankTransaction.h"
#include "filePath.h"
#include "syncFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

BankAppend::BankAppend(const std::string& path) : path(path)
{
    open();
}

BankAppend::~BankAppend()
{
    wbk.reset();
    CleanupRegistry::undo(created);
    CleanupRegistry::undo(cutBack);
    if (undoFd >= 0)
        close(undoFd);
}

// The signals are held back until the registry knows a file created here, so
// that an interrupted run never leaves a new empty bank.
void BankAppend::open()
{
    const SignalHold hold;
    CleanupRegistry::release(created);
    if (undoFd >= 0)
        close(undoFd);
    wbk = std::make_unique<KovaOutputStream>(path.c_str(),
                                             std::ios::in | std::ios::out | std::ios::app | std::ios::binary);
    if (!wbk->good())
        throw BankError("open", errno);
    undoFd = fcntl(wbk->fd(), F_DUPFD_CLOEXEC, 0);
    if (wbk->createdFile())
        created = CleanupRegistry::removeCreated(undoFd, resolvedPath(path));
}

void BankAppend::precheck() const
{
    precheckBank(wbk->fd(), path, false);
}

const Bank& BankAppend::lock()
{
    while (!BankLock::lockFileAt(wbk->fd(), path))
        open();
    index = readBank(wbk->fd());
    requireWhole(*index, path);
    const SignalHold hold;
    cutBack = CleanupRegistry::cutBack(undoFd, static_cast<off_t>(index->wholeLength()),
                                       created != CleanupRegistry::none ? resolvedPath(path) : "");
    CleanupRegistry::release(created);
    return *index;
}

void BankAppend::commit()
{
    wbk->flush();
    if (wbk->fail() || !syncFile(wbk->fd()) || (!index->hasHeader() && !syncDirectoryOf(path)))
        throw BankError("write", errno);
    SignalHold hold;
    CleanupRegistry::release(cutBack);
    hold.keepUntilExit();
}
