// ADPCM encoding speed, and the SNR (mean error removed) of the decoded
// 8-bit result against the input, at the greedy and the default search
// width (on speech also at every quality level's width), on a speech-like and a plucked-chord signal synthesised at
// 16540 Hz and normalised to -1 dBFS; on speech also with the plain search,
// the reference the search in lanes chooses as.
#include "AdpcmEncoder.h"
#include "Signals.h"
#include "SnrMeter.h"

#include <benchmark/benchmark.h>

#include <vector>

namespace {

constexpr int rate = 16540;
constexpr double seconds = 10;

const std::vector<std::int16_t>& speech()
{
    static const std::vector<std::int16_t> signal = speechLike(rate, seconds);
    return signal;
}

const std::vector<std::int16_t>& chord()
{
    static const std::vector<std::int16_t> signal = pluckedChord(rate, seconds);
    return signal;
}

void encode(benchmark::State& state, const std::vector<std::int16_t>& signal, int width,
            AdpcmEncoder::Search search = AdpcmEncoder::Search::best)
{
    std::vector<unsigned char> bytes, outputs;
    for (auto _ : state) {
        bytes.clear();
        outputs.clear();
        AdpcmEncoder encoder(width, search);
        encoder.encode(signal.data(), signal.size(), bytes, &outputs);
        encoder.finish(bytes, &outputs);
        benchmark::DoNotOptimize(bytes.data());
    }
    SnrMeter meter;
    for (std::size_t i = 0; i < signal.size(); ++i)
        meter.add(signal[i], outputs[i]);
    state.counters["snr_db"] = meter.decibels();
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(signal.size()));
}

void BM_EncodeSpeechGreedy(benchmark::State& state) { encode(state, speech(), AdpcmEncoder::greedyWidth); }
void BM_EncodeSpeechDefault(benchmark::State& state) { encode(state, speech(), AdpcmEncoder::defaultWidth); }
// The plain search, the reference the search in lanes chooses as.
void BM_EncodeSpeechGreedyPlain(benchmark::State& state)
{
    encode(state, speech(), AdpcmEncoder::greedyWidth, AdpcmEncoder::Search::plain);
}
void BM_EncodeSpeechDefaultPlain(benchmark::State& state)
{
    encode(state, speech(), AdpcmEncoder::defaultWidth, AdpcmEncoder::Search::plain);
}
// The search widths of wbkenc's quality levels 2 to 5, and the widest.
void BM_EncodeSpeechWidth(benchmark::State& state) { encode(state, speech(), static_cast<int>(state.range(0))); }
void BM_EncodeChordGreedy(benchmark::State& state) { encode(state, chord(), AdpcmEncoder::greedyWidth); }
void BM_EncodeChordDefault(benchmark::State& state) { encode(state, chord(), AdpcmEncoder::defaultWidth); }

} // namespace

BENCHMARK(BM_EncodeSpeechGreedy)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EncodeSpeechDefault)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EncodeSpeechWidth)->Arg(4)->Arg(8)->Arg(13)->Arg(32)->Arg(64)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EncodeSpeechGreedyPlain)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EncodeSpeechDefaultPlain)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EncodeChordGreedy)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EncodeChordDefault)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
