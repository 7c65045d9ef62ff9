#ifndef WBK_KOVA_INPUT_STREAM_H
#define WBK_KOVA_INPUT_STREAM_H

#include <cstdint>
#include <fstream>

// A binary input file with little-endian readers and a byte budget: any read
// beyond the end of the file ends the process with "Unexpected end of file.".
class KovaInputStream : public std::ifstream {
public:
    KovaInputStream(const char* name, std::ios::openmode mode = std::ios::in | std::ios::binary);

    int get8();
    int get16();
    int get32();

    std::istream& read(char* ptr, std::int64_t n);
    std::istream& read(signed char* ptr, std::int64_t n) { return read(reinterpret_cast<char*>(ptr), n); }
    std::istream& read(unsigned char* ptr, std::int64_t n) { return read(reinterpret_cast<char*>(ptr), n); }
    // Passes over `n` bytes as a read of them would, without reading them.
    void skip(std::int64_t n);

    // The remaining budget: the file size right after construction.
    std::int64_t getFileSize() const { return kovaFileSize; }

    // Bytes really left between the read position and the end of the file.
    std::int64_t remaining();

    // Checks a size field read from the file before anything of that size is
    // allocated: it must fit a signed 32-bit count and what is really left.
    void requireRemaining(std::uint32_t size);

    // Called, once the file is closed, when a read runs past the end, before
    // the message and the exit. Programs set none; a fuzzer sets one that
    // throws, so that it goes on with the next input in the same process.
    using UnexpectedEndHandler = void (*)();
    static void setUnexpectedEndHandler(UnexpectedEndHandler handler);

private:
    [[noreturn]] void failUnexpectedEnd();

    std::int64_t kovaFileSize = 0;
    std::int64_t fileSize = 0;
};

#endif
