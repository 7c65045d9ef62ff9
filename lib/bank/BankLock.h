#ifndef WBK_BANK_LOCK_H
#define WBK_BANK_LOCK_H

#include <string>

// An exclusive lock (flock) on the file at a bank's path. While a run waits
// for the lock, the bank may be replaced (an edit renames a new bank over
// it) or removed: once the lock is held, the file is checked to still be the
// one at the path, and opened again otherwise. Whatever is decided under the
// lock holds until it is released. Failing system calls throw BankError.
class BankLock {
public:
    // With `create`, a missing bank is created empty (permission 0664 less
    // the umask); created() tells.
    BankLock(const std::string& path, bool create);
    ~BankLock();
    BankLock(const BankLock&) = delete;
    BankLock& operator=(const BankLock&) = delete;

    int fd() const { return file; }
    bool created() const { return createdFile; }

    // Takes the exclusive lock on the file open on `fd`, waiting for it; true
    // when that file is still the one at `path`, false when it was replaced
    // or removed meanwhile (then open it again and try again).
    static bool lockFileAt(int fd, const std::string& path);

    // A shared lock on the file open on `fd` while it lives: what is read
    // under it is not half written by an append.
    class Shared {
    public:
        explicit Shared(int fd);
        ~Shared();
        Shared(const Shared&) = delete;
        Shared& operator=(const Shared&) = delete;

    private:
        int file;
    };

private:
    void openBank(const std::string& path, bool create);

    int file = -1;
    bool createdFile = false;
};

#endif
