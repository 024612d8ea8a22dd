// Image length, pair timing, header bytes and sample synthesis of the WAV image.
#include "sample_decoding.h"
#include "signal/wav_image.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <random>
#include <stdexcept>
#include <vector>

namespace tarvex {
namespace {

using test::decodeBits;
using test::runLengths;
using test::streamBits;

std::vector<Codeword> randomStream(std::size_t count, unsigned seed) {
    std::mt19937 rng(seed);
    std::vector<Codeword> words(count);
    for (auto& w : words)
        w = static_cast<Codeword>(rng());
    return words;
}

std::vector<uint8_t> render(std::span<const Codeword> stream, int baud, bool inverted,
                            std::size_t samples) {
    std::vector<uint8_t> out(samples, 77); // neither level, so unwritten samples show
    renderSamples(stream, baud, inverted, out);
    return out;
}

TEST(StreamDuration, TruncatesMicrosecondsPerBitThenAddsOneMillisecond) {
    struct Case {
        int baud;
        std::size_t codewords;
        uint32_t ms;
    };
    const Case cases[] = {
        {1200, 0, 100},    // only the EndMarker: 1 ms, raised to 100
        {512, 1, 100},     // 62 ms raised too
        {512, 80, 5000},   // 80 * 62496 us = 4,999,680 us
        {2400, 200, 2663}, // 416 us per bit, not 416.67
        {1200, 36, 960},      {1200, 100, 2666},    {512, 52, 3250},
        {512, 291, 18187},    {512, 292, 18249},    {800, 25, 1001},
        {1000001, 1137, 100}, {2147483647, 5, 100}, // 0 whole microseconds per bit
    };
    for (const Case& c : cases)
        EXPECT_EQ(streamDurationMs(c.baud, c.codewords), c.ms) << c.baud << " x" << c.codewords;
}

TEST(StreamDuration, RefusesRatesBelowTwo) {
    for (int baud : {1, 0, -1, -1200})
        EXPECT_THROW(streamDurationMs(baud, 10), std::invalid_argument) << baud;
    EXPECT_THROW(pairTiming(1), std::invalid_argument);
    std::vector<uint8_t> out(10);
    EXPECT_THROW(renderSamples({}, 0, false, out), std::invalid_argument);
}

TEST(PairTiming, MatchesTheRatesInUse) {
    struct Case {
        int baud;
        double s;
        uint32_t h;
    };
    for (const Case& c : {Case{512, 375, 187}, Case{1200, 160, 80}, Case{2400, 80, 40},
                          Case{800, 240, 120}, Case{1201, 160, 80}}) {
        const PairTiming t = pairTiming(c.baud);
        EXPECT_DOUBLE_EQ(t.samplesPerPair, c.s) << c.baud;
        EXPECT_EQ(t.firstBitSamples, c.h) << c.baud;
    }
}

TEST(RenderSamples, UnevenPairsKeepTheExactRateWithoutDrift) {
    // 1006 bit/s renders as 503 pairs per second: S = 190.855 samples, H = 95.
    const PairTiming t = pairTiming(1006);
    EXPECT_NEAR(t.samplesPerPair, 190.855, 0.001);
    EXPECT_EQ(t.firstBitSamples, 95u);

    // First bit of every pair a 1, second a 0: each bit is one run of samples.
    const std::vector<Codeword> stream(5, PreambleCodeword);
    const auto out = render(stream, 1006, false, 16000);
    const auto runs = runLengths(out);
    ASSERT_GE(runs.size(), 130u);
    const std::size_t pairs[] = {runs[0] + runs[1], runs[2] + runs[3], runs[4] + runs[5],
                                 runs[6] + runs[7], runs[8] + runs[9]};
    EXPECT_EQ(pairs[0], 190u);
    EXPECT_EQ(pairs[1], 191u);
    EXPECT_EQ(pairs[2], 191u);
    EXPECT_EQ(pairs[3], 191u);
    EXPECT_EQ(pairs[4], 191u);
    for (std::size_t i = 0; i < 10; i += 2)
        EXPECT_EQ(runs[i], 95u) << "first bit of pair " << i / 2 + 1;
    // 64 pairs end exactly where Trunc(64 * S) says, whatever the rounding on the way.
    std::size_t total = 0;
    for (std::size_t i = 0; i < 128; ++i)
        total += runs[i];
    EXPECT_EQ(total, static_cast<std::size_t>(64 * t.samplesPerPair));
}

TEST(RenderSamples, BitExactAtEveryRateInUse) {
    for (int baud : {512, 800, 1200, 2400}) {
        const auto stream = randomStream(36, static_cast<unsigned>(baud));
        const std::size_t samples =
            static_cast<std::size_t>(streamDurationMs(baud, stream.size())) * SamplesPerMs;
        for (bool inverted : {false, true}) {
            const auto out = render(stream, baud, inverted, samples);
            const auto bits = decodeBits(out, baud, inverted, stream.size() * 32);
            ASSERT_TRUE(bits.has_value()) << baud << (inverted ? " inverted" : "");
            EXPECT_EQ(*bits, streamBits(stream)) << baud << (inverted ? " inverted" : "");
        }
    }
}

TEST(RenderSamples, ThirtySixCodewordsAt1200FillExactly1152Bits) {
    const auto stream = randomStream(36, 7);
    ASSERT_EQ(streamDurationMs(1200, 36), 960u);
    const auto out = render(stream, 1200, true, 960 * SamplesPerMs);
    EXPECT_EQ(out.size(), 1152u * 80);
    const auto bits = decodeBits(out, 1200, true, 1152);
    ASSERT_TRUE(bits.has_value());
    EXPECT_EQ(*bits, streamBits(stream));
}

TEST(RenderSamples, StopsAfterNSamplesInsideALongStream) {
    // At 2400 bit/s 200 codewords last 2663 ms: 6391.2 bit times of the 6400 bits.
    const auto stream = randomStream(200, 11);
    const std::size_t samples = streamDurationMs(2400, 200) * SamplesPerMs;
    EXPECT_EQ(samples, 255648u);
    const auto out = render(stream, 2400, false, samples);
    const auto bits = decodeBits(out, 2400, false, 6391);
    ASSERT_TRUE(bits.has_value());
    const auto all = streamBits(stream);
    EXPECT_TRUE(std::equal(bits->begin(), bits->end(), all.begin()));
    // The 6392nd bit is cut after 8 of its 40 samples.
    EXPECT_EQ(out.size() - 6391 * 40, 8u);
}

TEST(RenderSamples, FirstBitTimesOfAlternatingStreamFollowPolarity) {
    const std::array<Codeword, 1> stream{PreambleCodeword};
    const auto normal = render(stream, 1200, false, 160);
    const auto inverted = render(stream, 1200, true, 160);
    EXPECT_EQ(normal[0], 255);
    EXPECT_EQ(normal[79], 255);
    EXPECT_EQ(normal[80], 0);
    EXPECT_EQ(inverted[0], 0);
    EXPECT_EQ(inverted[79], 0);
    EXPECT_EQ(inverted[80], 255);
}

TEST(RenderSamples, AfterTheStreamTheLevelOfAZeroBitFollows) {
    // The stream ends on 1 bits; what follows must not carry the last bit on.
    const std::array<Codeword, 1> stream{0xFFFFFFFFu};
    for (bool inverted : {false, true}) {
        const auto out = render(stream, 512, inverted, 100 * SamplesPerMs);
        const std::size_t streamEnd = 16 * 375; // 16 pairs
        const uint8_t one = inverted ? 0 : 255;
        const uint8_t zero = inverted ? 255 : 0;
        EXPECT_TRUE(
            std::all_of(out.begin(), out.begin() + streamEnd, [&](uint8_t s) { return s == one; }));
        EXPECT_TRUE(
            std::all_of(out.begin() + streamEnd, out.end(), [&](uint8_t s) { return s == zero; }));
    }
    const auto empty = render({}, 1200, true, 9600);
    EXPECT_TRUE(std::all_of(empty.begin(), empty.end(), [](uint8_t s) { return s == 255; }));
}

TEST(WavHeader, HoldsTheFormatAndBothLengths) {
    std::array<uint8_t, WavHeaderSize> header{};
    writeWavHeader(header, 9600);
    const std::array<uint8_t, WavHeaderSize> expected{
        'R', 'I', 'F', 'F', 0xA4, 0x25, 0,   0,   'W', 'A',  'V',  'E',  'f', 'm',  't',
        ' ', 16,  0,   0,   0,    1,    0,   1,   0,   0x00, 0x77, 1,    0,   0x00, 0x77,
        1,   0,   1,   0,   8,    0,    'd', 'a', 't', 'a',  0x80, 0x25, 0,   0};
    EXPECT_EQ(header, expected);

    std::vector<uint8_t> image(WavHeaderSize + 9600, 0);
    writeWavHeader(image, 9600);
    const auto samples = wavImageSamples(image);
    ASSERT_TRUE(samples.has_value());
    EXPECT_EQ(samples->size(), 9600u);
    EXPECT_EQ(samples->data(), image.data() + WavHeaderSize);

    std::array<uint8_t, 43> tooShort{};
    EXPECT_THROW(writeWavHeader(tooShort, 1), std::length_error);
}

TEST(WavHeader, ForeignOrDamagedImagesAreNotTakenForSamples) {
    std::vector<uint8_t> good(WavHeaderSize + 100, 0);
    writeWavHeader(good, 100);
    std::string why;

    auto truncated = good;
    truncated.resize(WavHeaderSize + 99);
    EXPECT_FALSE(wavImageSamples(truncated, &why).has_value());
    EXPECT_NE(why.find("shorter than its data chunk"), std::string::npos);

    auto stereo = good;
    stereo[22] = 2;
    EXPECT_FALSE(wavImageSamples(stereo, &why).has_value());

    auto slower = good;
    slower[25] = 0xAC; // 44100 in the rate's low bytes
    slower[24] = 0x44;
    slower[26] = 0;
    EXPECT_FALSE(wavImageSamples(slower, &why).has_value());

    EXPECT_FALSE(wavImageSamples(std::span(good).first(20), &why).has_value());
    EXPECT_NE(why.find("44-byte"), std::string::npos);
}

} // namespace
} // namespace tarvex
