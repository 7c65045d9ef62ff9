#include "BankWriter.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <memory>
#include <vector>

namespace {

constexpr std::size_t copyPiece = 1 << 20;

// The file a symbolic link at `path` leads to, so that an edit replaces the
// bank, not the link; `path` itself when nothing is there yet.
std::string resolved(const std::string& path)
{
    const std::unique_ptr<char, decltype(&std::free)> real(realpath(path.c_str(), nullptr), &std::free);
    return real ? real.get() : path;
}

std::string directoryOf(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

// Devices and file systems that cannot sync answer EINVAL: nothing to wait for.
bool synced(int fd)
{
    return fsync(fd) == 0 || errno == EINVAL;
}

} // namespace

BankWriter::BankWriter(const std::string& path, mode_t mode) : staged(AT_FDCWD, resolved(path), 0600)
{
    if (!staged.isOpen())
        fail("can not create the new bank");
    if (fchmod(staged.descriptor(), mode) != 0)
        fail("can not set the new bank's permissions");
}

void BankWriter::fail(const char* what) const
{
    throw BankError(what, errno);
}

void BankWriter::write(const unsigned char* bytes, std::size_t count)
{
    while (count > 0) {
        const ssize_t n = ::write(staged.descriptor(), bytes, count);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            fail("can not write the new bank");
        bytes += n;
        count -= static_cast<std::size_t>(n);
        length += static_cast<std::uint64_t>(n);
    }
}

void BankWriter::writeHeader(const Bank::Magic& magic, const Bank::Author& author)
{
    const auto header = Bank::encodeHeader(magic, author);
    write(header.data(), header.size());
}

void BankWriter::writeEntry(const EntryHead& head, const unsigned char* data)
{
    const auto bytes = Bank::encodeEntryHead(head);
    write(bytes.data(), bytes.size());
    write(data, head.size);
}

void BankWriter::writeEntry(const EntryHead& head, int from, std::uint64_t offset)
{
    const auto bytes = Bank::encodeEntryHead(head);
    write(bytes.data(), bytes.size());
    copyRange(from, offset, head.size);
}

void BankWriter::copyEntry(const Bank& from, const BankEntry& entry)
{
    writeEntry(entry, from.fd(), entry.dataOffset());
}

// In the kernel where it can; by reading and writing where it cannot (across
// file systems on older kernels, from pipes or special files).
void BankWriter::copyRange(int from, std::uint64_t offset, std::uint64_t count)
{
    loff_t in = static_cast<loff_t>(offset);
    while (count > 0) {
        const ssize_t n = copy_file_range(from, &in, staged.descriptor(), nullptr, std::min<std::uint64_t>(count, SSIZE_MAX), 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        count -= static_cast<std::uint64_t>(n);
        length += static_cast<std::uint64_t>(n);
    }
    std::vector<unsigned char> piece(static_cast<std::size_t>(std::min<std::uint64_t>(count, copyPiece)));
    while (count > 0) {
        const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(count, piece.size()));
        const ssize_t n = pread(from, piece.data(), want, in);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (n == 0)
                errno = EIO;  // the source has become shorter
            fail("can not read a source of the new bank");
        }
        write(piece.data(), static_cast<std::size_t>(n));
        in += n;
        count -= static_cast<std::uint64_t>(n);
    }
}

void BankWriter::commit()
{
    if (!staged.commit(true))
        fail("can not put the new bank in place");
    const int directory = open(directoryOf(staged.finalName()).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    const bool directorySynced = directory >= 0 && synced(directory);
    if (directory >= 0)
        close(directory);
    if (!directorySynced)
        fail("can not sync the bank's directory");
}
