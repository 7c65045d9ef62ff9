// The bank transaction in process, with failures injected at each step: the
// library's calls to fsync, renameat and fchown resolve to the versions
// below, which fail or raise a signal when a test asks them to.
#include "BankBytes.h"
#include "BankTransaction.h"
#include "ProgramRunner.h"
#include "TestFiles.h"

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <string>

namespace {

enum class Step { none, firstSync, rename, directorySync, identity };
Step failing = Step::none;
int failure = 0;  // errno to fail with, or -signal to raise
int syncs = 0;

// True when the call at `step` is to fail now (or a signal was raised).
bool inject(Step step)
{
    if (step != failing)
        return false;
    if (failure < 0) {
        raise(-failure);
        return false;
    }
    errno = failure;
    return true;
}

template <typename Function>
Function* real(const char* name)
{
    return reinterpret_cast<Function*>(dlsym(RTLD_NEXT, name));
}

} // namespace

extern "C" int fsync(int fd)
{
    ++syncs;
    if (inject(syncs == 1 ? Step::firstSync : Step::directorySync))
        return -1;
    return real<int(int)>("fsync")(fd);
}

extern "C" int renameat(int fromDir, const char* from, int toDir, const char* to)
{
    if (inject(Step::rename))
        return -1;
    return real<int(int, const char*, int, const char*)>("renameat")(fromDir, from, toDir, to);
}

extern "C" int fchown(int fd, uid_t owner, gid_t group)
{
    if (inject(Step::identity))
        return -1;
    return real<int(int, uid_t, gid_t)>("fchown")(fd, owner, group);
}

namespace {

const std::string oldBank = bankHeader() + sampleEntry(0, "a", 8000, "AA") + sampleEntry(1, "b", 8000, "BBB");
const std::string newBank = bankHeader() + sampleEntry(1, "b", 8000, "BBB");

// Removes entry 0 of the bank at `path`.
void removeFirstEntry(const std::string& path)
{
    BankTransaction edit(path, false);
    std::vector<PlannedEntry> entries = edit.keptEntries();
    entries.erase(entries.begin());
    edit.write(edit.magic(), edit.author({}), entries);
}

// The edit in a child process: its exit status, or 128 + the signal that ended it.
int removeFirstEntryInAChild(const std::string& path)
{
    const pid_t child = fork();
    if (child == 0) {
        try {
            removeFirstEntry(path);
        } catch (const std::exception&) {
            _exit(1);
        }
        std::exit(0);
    }
    int status = 0;
    waitpid(child, &status, 0);
    return exitStatus(status);
}

TEST(BankTransaction, AFailureAtAnyStepLeavesTheOldBankOrTheNewOne)
{
    const struct {
        Step step;
        int failure;
        int status;  // of the child
        const std::string& bank;
    } cases[] = {
        {Step::none, 0, 0, newBank},
        {Step::identity, EPERM, 1, oldBank},
        {Step::firstSync, EIO, 1, oldBank},
        {Step::rename, EXDEV, 1, oldBank},
        {Step::directorySync, EIO, 1, newBank},  // in place already: only its directory entry may not be on disk
        // A signal while the new bank is written ends the run, which leaves
        // nothing; once it is being put in place, the signal waits for the end.
        {Step::identity, -SIGTERM, 128 + SIGTERM, oldBank},
        {Step::firstSync, -SIGTERM, 0, newBank},
        {Step::rename, -SIGINT, 0, newBank},
    };
    for (const auto& c : cases) {
        TempDir dir;
        const std::string path = dir.write("bank.wbk", oldBank);
        failing = c.step;
        failure = c.failure;
        syncs = 0;
        const int status = removeFirstEntryInAChild(path);
        failing = Step::none;
        const std::string label = std::to_string(static_cast<int>(c.step)) + " " + std::to_string(c.failure);
        EXPECT_EQ(status, c.status) << label;
        EXPECT_EQ(readBytes(path), c.bank) << label;
        EXPECT_EQ(filesIn(dir.path()).size(), 1u) << label << ": a staged file is left";
    }
}

TEST(BankTransaction, AWriteBeyondTheFileSizeLimitLeavesTheOldBank)
{
    TempDir dir;
    const std::string path = dir.write("bank.wbk", oldBank);
    int error = 0;
    try {
        const FileSizeLimit limit(50);
        removeFirstEntry(path);
    } catch (const BankError& e) {
        error = e.errorNumber();
    }
    EXPECT_EQ(error, EFBIG);
    EXPECT_EQ(readBytes(path), oldBank);
    EXPECT_EQ(filesIn(dir.path()).size(), 1u);
}

// A bank created for an edit that does not happen is removed again.
TEST(BankTransaction, ABankCreatedForAnEditThatFailsIsRemoved)
{
    TempDir dir;
    const std::string path = dir / "new.wbk";
    {
        BankTransaction edit(path, true);
        EXPECT_TRUE(fileExists(path));
    }
    EXPECT_FALSE(fileExists(path));
}

} // namespace
