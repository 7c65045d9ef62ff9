// Decoding speed of large sample entries, next to a memcpy of the same
// decoded size as the reference.
#include "Pcm.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <vector>

namespace {

constexpr int storedSize = 4 << 20;

// The ADPCM loop has no branch that depends on the codes, so random bytes
// time it as well as real sound does.
std::vector<unsigned char> randomBytes(int size)
{
    std::mt19937 random(1);
    std::vector<unsigned char> bytes(size);
    for (auto& byte : bytes)
        byte = static_cast<unsigned char>(random());
    return bytes;
}

void decode(benchmark::State& state, unsigned char type)
{
    const std::vector<unsigned char> stored = randomBytes(storedSize);
    std::int64_t decoded = 0;
    for (auto _ : state) {
        const Pcm pcm(type, stored.data(), storedSize);
        benchmark::DoNotOptimize(pcm.getU8Data());
        decoded += pcm.getU8Size();
    }
    state.SetBytesProcessed(decoded);
    state.SetItemsProcessed(decoded);
}

void BM_DecodeAdpcm(benchmark::State& state)
{
    decode(state, 1);
}

void BM_Decode8Bit(benchmark::State& state)
{
    decode(state, 0);
}

// Copies as many bytes as the ADPCM entry decodes to.
void BM_MemcpyAdpcmOutput(benchmark::State& state)
{
    const std::vector<unsigned char> source = randomBytes(2 * storedSize);
    std::vector<unsigned char> target(source.size());
    for (auto _ : state) {
        std::memcpy(target.data(), source.data(), source.size());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(source.size()));
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(source.size()));
}

} // namespace

BENCHMARK(BM_DecodeAdpcm)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Decode8Bit)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MemcpyAdpcmOutput)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
