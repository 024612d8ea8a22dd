// BuildTransmission of the longest page the message field takes: 256 characters.
#include "encoder/page_encoder.h"

#include <benchmark/benchmark.h>

namespace {

void BM_BuildTransmission256(benchmark::State& state) {
    tarvex::PageEncoder encoder;
    tarvex::PageParams page;
    page.ric = "1234567";
    page.functionBits = 0;
    page.coding = state.range(0) == 0 ? tarvex::Coding::Alphanumeric : tarvex::Coding::Numeric;
    page.message.assign(256, 'x');
    if (page.coding == tarvex::Coding::Numeric)
        page.message.assign(256, '7');
    for (auto _ : state) {
        std::string listing = encoder.BuildTransmission(page);
        benchmark::DoNotOptimize(listing.data());
        benchmark::ClobberMemory();
    }
    state.SetLabel(page.coding == tarvex::Coding::Alphanumeric ? "alphanumeric" : "numeric");
    state.counters["codewords"] = encoder.LastSlot;
}
BENCHMARK(BM_BuildTransmission256)->Arg(0)->Arg(1);

} // namespace

BENCHMARK_MAIN();
