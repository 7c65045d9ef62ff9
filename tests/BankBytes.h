#ifndef WBK_TESTS_BANK_BYTES_H
#define WBK_TESTS_BANK_BYTES_H

#include <cstdint>
#include <string>

#include "Bank.h"

#include <algorithm>

// Sound bank bytes composed in memory through the bank's own encoding: a
// header, then sample entries, possibly inconsistent on purpose.

// `author` is cut or zero-filled to 32 bytes.
inline std::string bankHeader(const std::string& author = "wbkpack:tester",
                              const std::string& magic = std::string("WBK\0\0\0\0\0", 8))
{
    Bank::Magic magicField = {};
    Bank::Author authorField = {};
    std::copy_n(magic.begin(), std::min(magic.size(), magicField.size()), magicField.begin());
    std::copy_n(author.begin(), std::min(author.size(), authorField.size()), authorField.begin());
    const auto bytes = Bank::encodeHeader(magicField, authorField);
    return std::string(bytes.begin(), bytes.end());
}

// `name` is cut or zero-filled to 16 bytes; the size field holds
// `declaredSize`, which may differ from the data really appended.
inline std::string sampleEntry(unsigned char type, const std::string& name, int rate, const std::string& data,
                               std::uint32_t declaredSize)
{
    EntryHead head;
    head.type = type;
    std::copy_n(name.begin(), std::min(name.size(), head.name.size()), head.name.begin());
    head.rate = static_cast<std::uint16_t>(rate);
    head.size = declaredSize;
    const auto bytes = Bank::encodeEntryHead(head);
    return std::string(bytes.begin(), bytes.end()) + data;
}

inline std::string sampleEntry(unsigned char type, const std::string& name, int rate, const std::string& data)
{
    return sampleEntry(type, name, rate, data, data.size());
}

#endif
