// Building the longest image the program makes (292 codewords at 512 bit/s, 18249 ms,
// 1,751,904 samples) against a plain memset of a buffer of the same size in the same run.
// Prints the ratio at the end; never fails on time.
#include "signal/null_output.h"
#include "signal/signal_gen.h"
#include "signal/wav_image.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <vector>

namespace {

using namespace tarvex;

constexpr int LongestBaud = 512;
constexpr std::size_t LongestCodewords = 292;

std::vector<Codeword> longestStream() {
    std::mt19937 rng(292);
    std::vector<Codeword> words(LongestCodewords);
    for (auto& w : words)
        w = static_cast<Codeword>(rng());
    words.push_back(EndMarker);
    return words;
}

std::size_t longestImageBytes() {
    return WavHeaderSize +
           static_cast<std::size_t>(streamDurationMs(LongestBaud, LongestCodewords)) * SamplesPerMs;
}

void BM_BuildImage(benchmark::State& state) {
    auto output = std::make_shared<NullOutput>();
    TSignalGen gen(output);
    gen.setBaud(LongestBaud);
    const auto stream = longestStream();
    for (auto _ : state) {
        gen.setData(stream);
        const bool built = gen.BuildImage();
        benchmark::DoNotOptimize(built);
        benchmark::DoNotOptimize(gen.Image().data());
        benchmark::ClobberMemory();
    }
    state.counters["duration_ms"] = gen.Duration();
    state.counters["bytes"] = static_cast<double>(gen.Image().size());
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(gen.Image().size()));
}

void BM_RenderSamplesIntoBuffer(benchmark::State& state) {
    const auto stream = longestStream();
    std::vector<uint8_t> buffer(longestImageBytes() - WavHeaderSize);
    for (auto _ : state) {
        renderSamples(std::span(stream).first(LongestCodewords), LongestBaud, true, buffer);
        benchmark::DoNotOptimize(buffer.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(buffer.size()));
}

void BM_MemsetSameSize(benchmark::State& state) {
    std::vector<uint8_t> buffer(longestImageBytes());
    int value = 0;
    for (auto _ : state) {
        std::memset(buffer.data(), (value++ & 1) ? 255 : 0, buffer.size());
        benchmark::DoNotOptimize(buffer.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(buffer.size()));
}

BENCHMARK(BM_BuildImage)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RenderSamplesIntoBuffer)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_MemsetSameSize)->Unit(benchmark::kMicrosecond);

// Console output as usual, and the mean time per iteration of each benchmark kept.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (run.run_type == Run::RT_Iteration && run.iterations > 0)
                times[run.run_name.function_name] =
                    run.real_accumulated_time / static_cast<double>(run.iterations);
        }
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> times;
};

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    const auto build = reporter.times.find("BM_BuildImage");
    const auto render = reporter.times.find("BM_RenderSamplesIntoBuffer");
    const auto memset = reporter.times.find("BM_MemsetSameSize");
    if (build != reporter.times.end() && memset != reporter.times.end() && memset->second > 0) {
        std::printf("BuildImage / memset of %zu bytes: %.2f (%.1f us vs %.1f us)\n",
                    longestImageBytes(), build->second / memset->second, build->second * 1e6,
                    memset->second * 1e6);
        if (render != reporter.times.end())
            std::printf("renderSamples into a ready buffer / memset: %.2f\n",
                        render->second / memset->second);
    }
    return 0;
}
