// Fuzzes the Shift-JIS to EUC-JP conversion: the input, in a buffer of its
// own size, is converted into a buffer of exactly twice that size, both on
// the heap so that the sanitizers see a read or write past either end; then
// it is written both ways to a stream that only counts.
#include "Discard.h"
#include "Scenario.h"

#include <algorithm>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <ostream>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size > INT_MAX / 2)
        return 0;
    const int length = static_cast<int>(size);
    const auto text = std::make_unique<unsigned char[]>(size);
    std::copy_n(data, size, text.get());
    const auto euc = std::make_unique<unsigned char[]>(2 * size);

    const int converted = Scenario::convertSjis2Euc(text.get(), length, euc.get());
    // One or two bytes out for each byte in.
    check(converted >= length && converted <= 2 * length);

    const char* sjis = reinterpret_cast<const char*>(text.get());
    CountingBuffer raw;
    std::ostream rawStream(&raw);
    check(Scenario::writeSjis(rawStream, sjis, length, 1).good() && raw.count == length);

    CountingBuffer eucOutput;
    std::ostream eucStream(&eucOutput);
    check(Scenario::writeSjis(eucStream, sjis, length, 0).good() && eucOutput.count == converted);
    return 0;
}
