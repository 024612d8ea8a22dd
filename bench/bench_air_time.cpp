// Air time of a burst of pages: 50 twenty-character alphanumeric pages at 1200 bit/s sent one
// page per key-up, against the same pages packed into as few multi-page transmissions as a
// 240-codeword budget (one 6.4 s DAPNET time slot at 1200 bit/s) allows. Every key-up costs
// the key delay, the page's Duration (the generator's own rule) and the release wait; the
// wall time adds the settle before keying. Prints the table, then times the packing itself.
#include "encoder/multi_page.h"
#include "encoder/page_encoder.h"
#include "signal/wav_image.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <span>
#include <string>
#include <vector>

namespace {

using namespace tarvex;

constexpr int Baud = 1200;
constexpr int PageCount = 50;
constexpr int SlotBudget = 240;
constexpr double KeyDelayMs = 200, ReleaseMs = 100, SettleMs = 250;

/// The queue: codes spread over every frame (RIC steps of 37 cycle through all eight), or
/// all on one frame, which packs worst.
std::vector<PageParams> burst(int ricStep) {
    std::vector<PageParams> pages(PageCount);
    for (int i = 0; i < PageCount; ++i) {
        pages[i].ric = std::to_string(100000 + ricStep * i);
        pages[i].functionBits = 3;
        pages[i].coding = Coding::Alphanumeric;
        pages[i].baud = Baud;
        pages[i].message = "Alarm " + std::to_string(1000 + i) + " Station 12345";
        pages[i].message.resize(20, '.');
    }
    return pages;
}

struct AirTime {
    int keyUps = 0;
    double keyedMs = 0; ///< key delay + Duration + release, summed over the key-ups
    double wallMs() const { return keyedMs + keyUps * SettleMs; }
    void keyUp(int codewords) {
        ++keyUps;
        keyedMs +=
            KeyDelayMs + streamDurationMs(Baud, static_cast<std::size_t>(codewords)) + ReleaseMs;
    }
};

AirTime onePerKeyUp(const std::vector<PageParams>& pages) {
    PageEncoder encoder;
    AirTime air;
    for (const auto& page : pages) {
        encoder.BuildTransmission(page);
        air.keyUp(encoder.LastSlot);
    }
    return air;
}

AirTime packed(const std::vector<PageParams>& pages, int budget) {
    const PageEncoder encoder;
    AirTime air;
    std::span<const PageParams> rest(pages);
    while (!rest.empty()) {
        const auto t = buildMultiPageTransmission(rest, budget, encoder);
        if (t.consumed == 0)
            break; // cannot happen: the first page is always taken or refused
        if (!t.pages.empty())
            air.keyUp(t.lastSlot);
        rest = rest.subspan(t.consumed);
    }
    return air;
}

void printRow(std::FILE* out, const char* name, const AirTime& air, const AirTime& base) {
    std::fprintf(out, "  %-26s %7d %11.1f %11.1f %9.3f %9.3f %12.1f\n", name, air.keyUps,
                 air.keyedMs / 1000, air.wallMs() / 1000, air.keyedMs / base.keyedMs,
                 air.wallMs() / base.wallMs(), PageCount / (air.keyedMs / 60000));
}

void printTable(std::FILE* out) {
    std::fprintf(out,
                 "%d alphanumeric pages of 20 characters at %d bit/s; per key-up %.0f ms key "
                 "delay + Duration + %.0f ms release (keyed), + %.0f ms settle (wall)\n",
                 PageCount, Baud, KeyDelayMs, ReleaseMs, SettleMs);
    std::fprintf(out, "  %-26s %7s %11s %11s %9s %9s %12s\n", "", "key-ups", "keyed s", "wall s",
                 "keyed/a", "wall/a", "pages/min");
    for (const auto& [label, step] :
         {std::pair{"codes on every frame", 37}, std::pair{"codes all on one frame", 8}}) {
        const auto pages = burst(step);
        const AirTime a = onePerKeyUp(pages);
        const AirTime b = packed(pages, SlotBudget);
        std::fprintf(out, "%s:\n", label);
        printRow(out, "(a) one page per key-up", a, a);
        printRow(out, "(b) packed, 240 codewords", b, a);
    }
    std::fprintf(out, "pages/min: pages per minute of keyed (slot) time.\n\n");
}

void BM_PackFiftyPages(benchmark::State& state) {
    const auto pages = burst(37);
    const PageEncoder encoder;
    for (auto _ : state) {
        auto t = buildMultiPageTransmission(pages, SlotBudget, encoder);
        benchmark::DoNotOptimize(t.stream.data());
    }
}
BENCHMARK(BM_PackFiftyPages);

} // namespace

int main(int argc, char** argv) {
    // The table goes to stdout unless stdout carries a machine-readable benchmark format.
    bool machineFormat = false;
    for (int i = 1; i < argc; ++i)
        if (std::strncmp(argv[i], "--benchmark_format=", 19) == 0 &&
            std::strcmp(argv[i] + 19, "console") != 0)
            machineFormat = true;
    printTable(machineFormat ? stderr : stdout);
    std::fflush(stdout);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
