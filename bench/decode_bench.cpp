// Decoding speed of ADPCM entries: the plain loop, the data-parallel decoder
// and a memcpy of the same decoded size, on an entry that fits the caches
// (4 MiB stored) and one that does not (64 MiB stored); then both decoders
// on short runs, which set where SampleDecoder::decodeAdpcm switches between them.
#include "Adpcm.h"
#include "AdpcmParallel.h"
#include "Pcm.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <vector>

namespace {

constexpr std::int64_t inCache = 4 << 20;
constexpr std::int64_t outOfCache = 64 << 20;

// Neither decoder has a branch that depends on the codes, so random bytes
// time them as well as real sound does.
std::vector<unsigned char> randomBytes(std::size_t size)
{
    std::mt19937 random(1);
    std::vector<unsigned char> bytes(size);
    for (auto& byte : bytes)
        byte = static_cast<unsigned char>(random());
    return bytes;
}

void countOutputs(benchmark::State& state, std::int64_t outputs)
{
    state.SetBytesProcessed(state.iterations() * outputs);
    state.SetItemsProcessed(state.iterations() * outputs);
}

template <class Decode>
void decodeAdpcm(benchmark::State& state, Decode decode)
{
    const std::vector<unsigned char> stored = randomBytes(state.range(0));
    std::vector<unsigned char> out(2 * stored.size());
    for (auto _ : state) {
        Adpcm decoder;
        decode(decoder, stored.data(), stored.size(), out.data());
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    countOutputs(state, static_cast<std::int64_t>(out.size()));
}

void BM_AdpcmSerial(benchmark::State& state)
{
    decodeAdpcm(state, [](Adpcm& decoder, auto... args) { decoder.decodeBytesSerially(args...); });
}

void BM_AdpcmParallel(benchmark::State& state)
{
    decodeAdpcm(state, [](Adpcm& decoder, auto... args) { AdpcmParallel::decodeBytes(decoder, args...); });
}

// Copies as many bytes as the ADPCM entry decodes to.
void BM_MemcpyAdpcmOutput(benchmark::State& state)
{
    const std::vector<unsigned char> source = randomBytes(2 * state.range(0));
    std::vector<unsigned char> target(source.size());
    for (auto _ : state) {
        std::memcpy(target.data(), source.data(), source.size());
        benchmark::ClobberMemory();
    }
    countOutputs(state, static_cast<std::int64_t>(source.size()));
}

// A whole entry loaded as Pcm: copy in, allocation, decode.
void decodeEntry(benchmark::State& state, unsigned char type)
{
    const std::vector<unsigned char> stored = randomBytes(inCache);
    for (auto _ : state) {
        const Pcm pcm(type, stored.data(), static_cast<int>(stored.size()));
        benchmark::DoNotOptimize(pcm.getU8Data());
    }
    countOutputs(state, (type == 1 ? 2 : 1) * inCache);
}

void BM_PcmAdpcm(benchmark::State& state)
{
    decodeEntry(state, 1);
}

void BM_Pcm8Bit(benchmark::State& state)
{
    decodeEntry(state, 0);
}

} // namespace

BENCHMARK(BM_AdpcmSerial)->Arg(inCache)->Arg(outOfCache)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AdpcmParallel)->Arg(inCache)->Arg(outOfCache)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MemcpyAdpcmOutput)->Arg(inCache)->Arg(outOfCache)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PcmAdpcm)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Pcm8Bit)->Unit(benchmark::kMillisecond);
// Short runs, for the crossover.
BENCHMARK(BM_AdpcmSerial)->RangeMultiplier(2)->Range(256, 16384);
BENCHMARK(BM_AdpcmParallel)->RangeMultiplier(2)->Range(256, 16384);

BENCHMARK_MAIN();
