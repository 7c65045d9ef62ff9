#include "KovaInputStream.h"

#include "printError.h"

#include <sys/stat.h>

#include <cstdint>
#include <cstdlib>
#include <iostream>

namespace {

KovaInputStream::UnexpectedEndHandler unexpectedEndHandler = nullptr;

// Size of a regular file, or -1 when it cannot be opened or sized (missing
// file, directory, pipe).
std::int64_t sizeOf(std::ifstream& file, const char* name)
{
    struct stat info;
    if (!file.is_open() || stat(name, &info) != 0 || !S_ISREG(info.st_mode))
        return -1;
    file.seekg(0, std::ios::end);
    const std::int64_t size = file.tellg();
    file.seekg(0, std::ios::beg);
    return size;
}

} // namespace

KovaInputStream::KovaInputStream(const char* name, std::ios::openmode mode)
    : std::ifstream(name, mode | std::ios::in | std::ios::binary)
{
    fileSize = sizeOf(*this, name);
    if (fileSize < 0) {
        printCantOpen(name);
        std::exit(-1);
    }
    kovaFileSize = fileSize;
}

void KovaInputStream::setUnexpectedEndHandler(UnexpectedEndHandler handler)
{
    unexpectedEndHandler = handler;
}

void KovaInputStream::failUnexpectedEnd()
{
    close();
    if (unexpectedEndHandler)
        unexpectedEndHandler();
    std::cerr << "Unexpected end of file." << std::endl;
    std::exit(-1);
}

int KovaInputStream::get8()
{
    if (--kovaFileSize < 0)
        failUnexpectedEnd();
    const int byte = get();
    return byte == traits_type::eof() ? -1 : byte;
}

int KovaInputStream::get16()
{
    const int low = get8();
    const int high = get8();
    return (low & 0xFF) | (high & 0xFF) << 8;
}

int KovaInputStream::get32()
{
    std::uint32_t value = 0;
    for (int shift = 0; shift < 32; shift += 8)
        value |= static_cast<std::uint32_t>(get8() & 0xFF) << shift;
    return static_cast<std::int32_t>(value);
}

std::istream& KovaInputStream::read(char* ptr, std::int64_t n)
{
    kovaFileSize -= n;
    if (kovaFileSize < 0 || n < 0)
        failUnexpectedEnd();
    std::ifstream::read(ptr, n);
    if (gcount() != n)
        failUnexpectedEnd();
    return *this;
}

void KovaInputStream::skip(std::int64_t n)
{
    kovaFileSize -= n;
    if (kovaFileSize < 0 || n < 0 || n > remaining())
        failUnexpectedEnd();
    seekg(n, std::ios::cur);
}

std::int64_t KovaInputStream::remaining()
{
    const std::int64_t position = tellg();
    return position < 0 ? 0 : fileSize - position;
}

void KovaInputStream::requireRemaining(std::uint32_t size)
{
    if (size > INT32_MAX || size > remaining())
        failUnexpectedEnd();
}
