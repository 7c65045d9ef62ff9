#include "BankWriter.h"

#include "filePath.h"
#include "readWriteAll.h"
#include "syncFile.h"

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

// Where the next data of `fd` at or after `offset` start: `end` when only a
// hole follows, `offset` itself where holes cannot be told (pipes, special
// files, older file systems).
std::uint64_t nextData(int fd, std::uint64_t offset, std::uint64_t end)
{
    const off_t data = lseek(fd, static_cast<off_t>(offset), SEEK_DATA);
    if (data < 0)
        return errno == ENXIO ? end : offset;
    return std::min(static_cast<std::uint64_t>(data), end);
}

std::uint64_t nextHole(int fd, std::uint64_t offset, std::uint64_t end)
{
    const off_t hole = lseek(fd, static_cast<off_t>(offset), SEEK_HOLE);
    return hole < 0 ? end : std::min(static_cast<std::uint64_t>(hole), end);
}

} // namespace

// Behind a symbolic link, the file it leads to is replaced, not the link.
BankWriter::BankWriter(const std::string& path) : staged(AT_FDCWD, resolvedPath(path), 0600)
{
    if (!staged.isOpen())
        fail("can not create the new bank");
}

void BankWriter::fail(const char* what) const
{
    throw BankError(what, errno);
}

void BankWriter::write(const unsigned char* bytes, std::size_t count)
{
    const std::size_t written = writeAll(staged.descriptor(), bytes, count);
    length += written;
    if (written != count)
        fail("can not write the new bank");
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

// The data ranges only: a hole of the source is a hole of the new bank.
void BankWriter::copyRange(int from, std::uint64_t offset, std::uint64_t count)
{
    const std::uint64_t end = offset + count;
    for (std::uint64_t at = offset; at < end;) {
        const std::uint64_t data = nextData(from, at, end);
        if (data == end) {
            requireLength(from, end);
            skip(end - at);
            break;
        }
        skip(data - at);
        const std::uint64_t dataEnd = std::max(nextHole(from, data, end), data + 1);
        copyData(from, data, std::min(dataEnd, end) - data);
        at = std::min(dataEnd, end);
    }
}

// A hole up to the end, not a source that has become shorter.
void BankWriter::requireLength(int fd, std::uint64_t end) const
{
    struct stat info;
    if (fstat(fd, &info) != 0)
        fail("can not read a source of the new bank");
    if (static_cast<std::uint64_t>(info.st_size) < end) {
        errno = EIO;
        fail("can not read a source of the new bank");
    }
}

void BankWriter::skip(std::uint64_t count)
{
    if (count == 0)
        return;
    if (lseek(staged.descriptor(), static_cast<off_t>(count), SEEK_CUR) < 0)
        fail("can not write the new bank");
    length += count;
}

// In the kernel where it can; by reading and writing where it cannot (across
// file systems on older kernels, from pipes or special files).
void BankWriter::copyData(int from, std::uint64_t offset, std::uint64_t count)
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
    // A hole at the end is a length the file does not have yet.
    if (ftruncate(staged.descriptor(), static_cast<off_t>(length)) != 0)
        fail("can not write the new bank");
    if (!staged.commit(true))
        fail("can not put the new bank in place");
    if (!syncDirectoryOf(staged.finalName()))
        fail("can not sync the bank's directory");
}
