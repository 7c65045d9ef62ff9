#ifndef WBKDECK_SAMPLE_OVERVIEW_H
#define WBKDECK_SAMPLE_OVERVIEW_H

#include <cstddef>
#include <cstdint>
#include <vector>

// What a page shows of a sample's decoded data, gathered piece by piece as
// it is decoded, never holding the data: the lowest and highest unsigned
// 8-bit value in each of up to `columnCount` columns of equal share (sample k
// of n falls in column k * columns / n), the peak distance from silence (128)
// and the number of clipped samples (0 or 255).
class SampleOverview {
public:
    struct Column {
        unsigned char low = 255;
        unsigned char high = 0;
    };

    static constexpr std::size_t defaultColumns = 800;

    // `sampleCount` is the number of samples that add() will be given; a
    // sample shorter than `columnCount` gets one column per sample.
    explicit SampleOverview(std::uint64_t sampleCount, std::size_t columnCount = defaultColumns);

    void add(const unsigned char* samples, std::size_t count);

    const std::vector<Column>& columns() const { return columnList; }
    // Highest |sample - 128| seen: 128 is full scale (sample 0), 0 silence.
    unsigned peak() const;
    std::uint64_t clipped() const { return clippedCount; }

private:
    // The first sample of column `column`.
    std::uint64_t columnStart(std::uint64_t column) const;
    void addToColumn(Column& column, const unsigned char* samples, std::size_t count);

    std::uint64_t total;
    std::uint64_t seen = 0;
    std::vector<Column> columnList;
    std::uint64_t clippedCount = 0;
};

#endif
