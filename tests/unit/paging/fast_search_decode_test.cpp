// Golden round trip of the fast search: the transmission as sent (slots 1..LastSlot) is
// rendered, resampled with sox and decoded by multimon-ng, which must report all 256 codes
// with function bits 1 at every rate. Skips only when sox or multimon-ng is not installed.
#include "paging/fast_search.h"
#include "signal/wav_image.h"

#include "shell_tools.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <unistd.h>
#include <vector>

using namespace tarvex;
namespace fs = std::filesystem;
using tarvex::testing::haveTool;
using tarvex::testing::run;

namespace {

/// Decoded (address, function) pairs of the fast-search transmission from `start`.
std::set<std::pair<int, int>> decode(int baud, int64_t start, const fs::path& dir) {
    SlotBuffer buffer;
    const auto t = BuildFastSearch(buffer, start, StockSyncCodeword, StockIdleCodeword,
                                   StockSyncText, StockIdleText);
    const auto stream = buffer.range(1, t.LastSlot); // what the transmit command sends
    const uint32_t samples = streamDurationMs(baud, stream.size()) * SamplesPerMs;
    std::vector<uint8_t> image(WavHeaderSize + samples);
    writeWavHeader(image, samples);
    // multimon-ng reads the inverted polarity as the normal one.
    renderSamples(stream, baud, true, std::span<uint8_t>(image).subspan(WavHeaderSize));
    const fs::path wav = dir / "fast.wav", raw = dir / "fast.raw";
    std::ofstream(wav, std::ios::binary)
        .write(reinterpret_cast<const char*>(image.data()),
               static_cast<std::streamsize>(image.size()));
    // Resample to the decoder's rate, then about 10 ms of silence so the decoder flushes its
    // last codeword. Longer silence is read as further codewords of the batch the decoder is
    // still in, and its error correction now and then turns those into a garbage address.
    const std::string cmd = "sox -q '" + wav.string() + "' -t raw -e signed -b 16 -r 22050 '" +
                            raw.string() + "' 2>/dev/null && head -c 442 /dev/zero >> '" +
                            raw.string() + "' && multimon-ng -q -t raw -a POCSAG" +
                            std::to_string(baud) + " '" + raw.string() + "' 2>/dev/null";
    std::set<std::pair<int, int>> found;
    const std::string out = run(cmd);
    for (std::size_t pos = 0; (pos = out.find("Address:", pos)) != std::string::npos; ++pos) {
        int address = -1, function = -1;
        std::sscanf(out.c_str() + pos, "Address: %d Function: %d", &address, &function);
        found.insert({address, function});
    }
    return found;
}

/// The (address/function) pairs of `from` that `other` lacks, as " 1757176/3 ...".
std::string notIn(const std::set<std::pair<int, int>>& from,
                  const std::set<std::pair<int, int>>& other) {
    std::string listed;
    for (const auto& [address, function] : from)
        if (!other.count({address, function}))
            listed += " " + std::to_string(address) + "/" + std::to_string(function);
    return listed;
}

TEST(FastSearchOnAir, MultimonNgDecodesAll256CodesAtEachRate) {
    if (!haveTool("sox") || !haveTool("multimon-ng"))
        GTEST_SKIP() << "sox or multimon-ng not installed";
    const fs::path dir = fs::temp_directory_path() / ("tarvex-fast-" + std::to_string(getpid()));
    fs::create_directories(dir);
    for (int baud : {512, 1200, 2400}) {
        const auto found = decode(baud, 1003, dir);
        std::set<std::pair<int, int>> expected;
        for (int code = 1000; code < 1256; ++code)
            expected.insert({code, 1});
        const std::string missing = notIn(expected, found), extra = notIn(found, expected);
        EXPECT_TRUE(missing.empty() && extra.empty())
            << baud << " bit/s: " << found.size() << " decoded; missing" << missing << "; extra"
            << extra;
    }
    fs::remove_all(dir);
}

} // namespace
