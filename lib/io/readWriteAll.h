#ifndef WBK_READ_WRITE_ALL_H
#define WBK_READ_WRITE_ALL_H

#include <cstddef>
#include <cstdint>

// Reads and writes that go on after short counts and signals until all is
// done or the file says no.

// Reads `count` bytes at `offset` of the file open on `fd`, leaving its
// position alone; the count read. Fewer when the file ends first (errno is
// then 0) or a read fails (errno tells why).
std::size_t readAt(int fd, void* bytes, std::size_t count, std::uint64_t offset);

// Writes `count` bytes at the position of `fd`; the count written. Fewer when
// a write fails: errno tells why, ENOSPC when the file takes nothing more.
std::size_t writeAll(int fd, const void* bytes, std::size_t count);

#endif
