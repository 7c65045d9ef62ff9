#include "SampleOverview.h"

#include <algorithm>

SampleOverview::SampleOverview(std::uint64_t sampleCount, std::size_t columnCount)
    : total(sampleCount), columnList(static_cast<std::size_t>(std::min<std::uint64_t>(sampleCount, columnCount)))
{
}

// Sample k belongs to column k * columns / total, so column c starts at the
// first k with k * columns >= c * total. With c <= 800 and total < 2^33 the
// products fit in 64 bits.
std::uint64_t SampleOverview::columnStart(std::uint64_t column) const
{
    const std::uint64_t columnCount = columnList.size();
    return (column * total + columnCount - 1) / columnCount;
}

// The plain loop over one column's run of samples, written for the compiler
// to vectorise (one width of counters, no division, no branch): a sample is
// clipped when sample - 1, wrapped to a byte, is 254 (255) or 255 (0).
void SampleOverview::addToColumn(Column& column, const unsigned char* samples, std::size_t count)
{
    constexpr std::size_t block = 1 << 16;  // counted in 32 bits
    for (std::size_t start = 0; start < count; start += block) {
        const std::size_t end = std::min(count, start + block);
        unsigned char low = column.low;
        unsigned char high = column.high;
        std::uint32_t clippedHere = 0;
        for (std::size_t k = start; k < end; ++k) {
            const unsigned char sample = samples[k];
            low = std::min(low, sample);
            high = std::max(high, sample);
            clippedHere += static_cast<unsigned char>(sample - 1) >= 254;
        }
        column.low = low;
        column.high = high;
        clippedCount += clippedHere;
    }
}

void SampleOverview::add(const unsigned char* samples, std::size_t count)
{
    std::uint64_t left = std::min<std::uint64_t>(count, total - seen);
    while (left > 0) {
        const std::uint64_t column = seen * columnList.size() / total;
        const std::uint64_t run = std::min(left, columnStart(column + 1) - seen);
        addToColumn(columnList[static_cast<std::size_t>(column)], samples, static_cast<std::size_t>(run));
        samples += run;
        seen += run;
        left -= run;
    }
}

unsigned SampleOverview::peak() const
{
    unsigned distance = 0;
    for (const Column& column : columnList) {
        if (column.low > column.high)
            continue;  // no sample yet
        if (column.high >= 128)
            distance = std::max(distance, column.high - 128u);
        if (column.low < 128)
            distance = std::max(distance, 128u - column.low);
    }
    return distance;
}
