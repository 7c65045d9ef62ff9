#ifndef WBK_TESTS_BANK_BYTES_H
#define WBK_TESTS_BANK_BYTES_H

#include <cstdint>
#include <string>

// Sound bank bytes composed in memory: a header, then sample entries.

inline std::string littleEndian(std::uint32_t value, int byteCount)
{
    std::string bytes;
    for (int i = 0; i < byteCount; ++i)
        bytes += static_cast<char>((value >> (8 * i)) & 0xFF);
    return bytes;
}

// `author` is cut or zero-filled to 32 bytes.
inline std::string bankHeader(const std::string& author = "wbkpack:tester",
                              const std::string& magic = std::string("WBK\0\0\0\0\0", 8))
{
    std::string field = author;
    field.resize(32, '\0');
    return magic + field;
}

// `name` is cut or zero-filled to 16 bytes; the size field holds
// `declaredSize`, which may differ from the data really appended.
inline std::string sampleEntry(unsigned char type, const std::string& name, int rate, const std::string& data,
                               std::uint32_t declaredSize)
{
    std::string field = name;
    field.resize(16, '\0');
    return static_cast<char>(type) + field + littleEndian(rate, 2) + littleEndian(declaredSize, 4) + data;
}

inline std::string sampleEntry(unsigned char type, const std::string& name, int rate, const std::string& data)
{
    return sampleEntry(type, name, rate, data, data.size());
}

#endif
