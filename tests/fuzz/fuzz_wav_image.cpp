// Fuzz target: the WAV image of any codeword stream at any bit rate. TSignalGen (on the
// null output) either refuses the stream with a reason and keeps no image, or builds an
// image whose header states its true size, of Duration * 96 samples that are all 0 or 255
// and equal a plain pair-by-pair rendering; renderSamples, streamDurationMs and the reading
// of a WAV header from arbitrary bytes are checked on their own as well.
#include "fuzz_check.h"
#include "signal/null_output.h"
#include "signal/signal_gen.h"
#include "signal/wav_image.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

using namespace tarvex;

namespace {

/// Largest image the target renders (2 MiB): the longest stream fits at 2400 bit/s.
constexpr std::size_t MaxImageBytes = std::size_t{2} << 20;

uint32_t le32(const uint8_t* at) {
    return at[0] | uint32_t{at[1]} << 8 | uint32_t{at[2]} << 16 | uint32_t{at[3]} << 24;
}
uint16_t le16(const uint8_t* at) {
    return static_cast<uint16_t>(at[0] | at[1] << 8);
}

uint32_t referenceDuration(int baud, std::size_t codewords) {
    const unsigned __int128 ms =
        static_cast<unsigned __int128>(1000000 / baud) * 32 * codewords / 1000 + 1;
    if (ms > std::numeric_limits<uint32_t>::max())
        return std::numeric_limits<uint32_t>::max();
    return std::max(static_cast<uint32_t>(ms), MinDurationMs);
}

/// Pair by pair, each bit filled on its own: pair p ends at Trunc((p + 1) * S); its first bit
/// takes H samples of it; after the stream the level of a 0 bit.
std::vector<uint8_t> referenceSamples(const std::vector<Codeword>& stream, int baud, bool inverted,
                                      std::size_t total) {
    const double perPair = 96000.0 / (baud / 2);
    const auto first = static_cast<std::size_t>(static_cast<uint32_t>(perPair + 0.5) / 2);
    const uint8_t one = inverted ? 0 : 255;
    const uint8_t zero = inverted ? 255 : 0;
    std::vector<uint8_t> out(total, zero);
    const std::size_t bits = stream.size() * 32;
    const auto bitAt = [&](std::size_t bit) { return (stream[bit / 32] >> (31 - bit % 32)) & 1u; };
    std::size_t start = 0;
    for (std::size_t p = 0; 2 * p < bits && start < total; ++p) {
        const std::size_t end =
            std::min(total, static_cast<std::size_t>(static_cast<double>(p + 1) * perPair));
        const std::size_t split = std::min(end, start + first);
        std::fill(out.begin() + start, out.begin() + split, bitAt(2 * p) ? one : zero);
        std::fill(out.begin() + split, out.begin() + end, bitAt(2 * p + 1) ? one : zero);
        start = end;
    }
    return out;
}

void checkHeader(std::span<const uint8_t> image, uint32_t samples) {
    FUZZ_CHECK(image.size() == WavHeaderSize + samples, std::to_string(image.size()));
    const uint8_t* h = image.data();
    FUZZ_CHECK(std::memcmp(h, "RIFF", 4) == 0 && std::memcmp(h + 8, "WAVE", 4) == 0 &&
                   std::memcmp(h + 12, "fmt ", 4) == 0 && std::memcmp(h + 36, "data", 4) == 0,
               "chunk names");
    FUZZ_CHECK(le32(h + 4) == samples + 36 && le32(h + 40) == samples, "sizes in the header");
    FUZZ_CHECK(le32(h + 16) == 16 && le16(h + 20) == 1 && le16(h + 22) == 1 &&
                   le32(h + 24) == 96000 && le32(h + 28) == 96000 && le16(h + 32) == 1 &&
                   le16(h + 34) == 8,
               "format fields");
    const auto view = wavImageSamples(image);
    FUZZ_CHECK(view && view->data() == h + WavHeaderSize && view->size() == samples,
               "own image not read back");
}

std::vector<Codeword> codewords(FuzzedDataProvider& in, std::size_t count) {
    const std::vector<uint8_t> bytes =
        in.ConsumeBytes<uint8_t>(4 * std::min<std::size_t>(count, 64));
    std::vector<Codeword> out(count, PreambleCodeword);
    const std::size_t given = std::min(count, bytes.size() / 4);
    for (std::size_t i = 0; i < given; ++i)
        std::memcpy(&out[i], bytes.data() + 4 * i, 4);
    for (std::size_t i = given; given > 0 && i < count; ++i)
        out[i] = out[i % given]; // the given codewords again, to any length
    return out;
}

void fuzzGenerator(FuzzedDataProvider& in) {
    const int16_t baud =
        in.ConsumeBool()
            ? in.ConsumeIntegral<int16_t>()
            : static_cast<int16_t>(in.PickValueInArray({512, 1200, 2400, 800, 2, 3, 1, 0}));
    const bool inverted = in.ConsumeBool();
    const bool marker = in.ConsumeBool();
    const std::size_t count = in.ConsumeIntegralInRange<std::size_t>(0, 1300);
    std::vector<Codeword> memory = codewords(in, count);
    if (marker)
        memory.push_back(EndMarker);
    for (std::size_t tail = in.ConsumeIntegralInRange(0, 3); tail > 0; --tail)
        memory.push_back(in.ConsumeIntegral<uint32_t>());

    const auto end = std::find(memory.begin(), memory.end(), EndMarker);
    const auto streamed = static_cast<std::size_t>(end - memory.begin());
    const bool refuse = end == memory.end() || streamed > MaxStreamCodewords || baud < 2;
    if (!refuse && std::size_t{referenceDuration(baud, streamed)} * 96 > MaxImageBytes)
        return; // a valid stream, but too slow to render and compare by the million

    auto output = std::make_shared<NullOutput>();
    TSignalGen gen(output);
    gen.setInverted(inverted);
    const Codeword earlier[] = {PreambleCodeword, EndMarker};
    gen.setData(earlier);
    FUZZ_CHECK(gen.BuildImage() && !gen.Image().empty(), "the earlier image");

    gen.setBaud(baud);
    gen.setData(memory);
    const std::string what = std::to_string(streamed) + " codewords at " + std::to_string(baud);
    const bool built = gen.BuildImage();
    FUZZ_CHECK(gen.Data().size() == memory.size() - streamed, "Data not left at the marker");
    if (!built) {
        FUZZ_CHECK(refuse && gen.Image().empty() && !gen.lastError().empty(), what);
        return;
    }
    FUZZ_CHECK(!refuse && gen.lastError().empty(), what);
    FUZZ_CHECK(gen.Duration() == referenceDuration(baud, streamed), what);
    const uint32_t samples = gen.Duration() * SamplesPerMs;
    checkHeader(gen.Image(), samples);
    const std::vector<Codeword> stream(memory.begin(), end);
    const auto want = referenceSamples(stream, baud, inverted, samples);
    FUZZ_CHECK(std::equal(want.begin(), want.end(), gen.Image().begin() + WavHeaderSize),
               "samples differ: " + what);
}

void fuzzRenderer(FuzzedDataProvider& in) {
    const int baud =
        in.ConsumeBool() ? in.ConsumeIntegralInRange(-2, 200000) : in.ConsumeIntegral<int>();
    const std::size_t durationCodewords = in.ConsumeIntegral<std::size_t>();
    const bool inverted = in.ConsumeBool();
    const std::size_t total = in.ConsumeIntegralInRange<std::size_t>(0, 100000);
    const std::vector<Codeword> stream = codewords(in, in.ConsumeIntegralInRange(0, 64));
    std::vector<uint8_t> out(total, 77);
    if (baud < 2) {
        bool threw = false;
        try {
            renderSamples(stream, baud, inverted, out);
        } catch (const std::invalid_argument&) {
            threw = true;
        }
        FUZZ_CHECK(threw && std::all_of(out.begin(), out.end(), [](uint8_t b) { return b == 77; }),
                   "bit rate below 2 rendered");
        return;
    }
    FUZZ_CHECK(streamDurationMs(baud, durationCodewords) ==
                   referenceDuration(baud, durationCodewords),
               std::to_string(durationCodewords) + " codewords at " + std::to_string(baud));
    if (baud % 2 == 1) {
        const PairTiming odd = pairTiming(baud), even = pairTiming(baud - 1);
        FUZZ_CHECK(odd.samplesPerPair == even.samplesPerPair &&
                       odd.firstBitSamples == even.firstBitSamples,
                   "odd rate " + std::to_string(baud));
    }
    renderSamples(stream, baud, inverted, out);
    FUZZ_CHECK(out == referenceSamples(stream, baud, inverted, total),
               std::to_string(stream.size()) + " codewords into " + std::to_string(total) +
                   " samples at " + std::to_string(baud));
}

void fuzzHeaderReading(FuzzedDataProvider& in) {
    std::vector<uint8_t> image = in.ConsumeRemainingBytes<uint8_t>();
    if (image.size() >= WavHeaderSize && (image[0] & 1)) // a true header, a size of any kind
        writeWavHeader(image, le32(image.data() + 40) & 0x0FFFFFFFu);
    std::string error;
    const auto view = wavImageSamples(image, &error);
    const uint8_t* h = image.data();
    const bool valid = image.size() >= WavHeaderSize && std::memcmp(h, "RIFF", 4) == 0 &&
                       std::memcmp(h + 8, "WAVE", 4) == 0 && std::memcmp(h + 12, "fmt ", 4) == 0 &&
                       std::memcmp(h + 36, "data", 4) == 0 && le32(h + 16) == 16 &&
                       le16(h + 20) == 1 && le16(h + 22) == 1 && le32(h + 24) == 96000 &&
                       le16(h + 34) == 8 && le32(h + 40) <= image.size() - WavHeaderSize;
    FUZZ_CHECK(view.has_value() == valid, std::to_string(image.size()) + " bytes");
    FUZZ_CHECK(view ? error.empty() : !error.empty(), error);
    if (view)
        FUZZ_CHECK(view->data() == h + WavHeaderSize && view->size() == le32(h + 40),
                   "samples outside the image");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    switch (in.ConsumeIntegralInRange(0, 2)) {
    case 0:
        fuzzGenerator(in);
        break;
    case 1:
        fuzzRenderer(in);
        break;
    default:
        fuzzHeaderReading(in);
    }
    return 0;
}
