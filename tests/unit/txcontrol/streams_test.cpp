// Tune-up and Morse ident streams: counts, exact layout, the slots they may use.
#include "encoder/errors.h"
#include "txcontrol/morse_ident.h"
#include "txcontrol/tune_up.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace tarvex;

namespace {

constexpr Codeword Tone = PreambleCodeword;

TEST(TuneUp, CodewordCountsByRate) {
    EXPECT_EQ(tuneUpCodewordCount(3, 512), 48);
    EXPECT_EQ(tuneUpCodewordCount(3, 1200), 114);
    EXPECT_EQ(tuneUpCodewordCount(3, 2400), 225);
    EXPECT_EQ(tuneUpCodewordCount(15, 2400), 1125);
    EXPECT_EQ(tuneUpCodewordCount(1, 512), 16);
}

TEST(TuneUp, FillsExactlyTheToneAndEndsWithTheMarker) {
    SlotBuffer buffer;
    buffer.fill(1, 2000, 0x12345678);
    ASSERT_EQ(BuildTuneUp(buffer, 15, 2400), 1125);
    for (int s = 1; s <= 1125; ++s)
        ASSERT_EQ(buffer[s], Tone) << s;
    EXPECT_EQ(buffer[1126], EndMarker);
    EXPECT_EQ(buffer[1127], 0x12345678u);
}

TEST(TuneUp, RefusesTimesAndRatesItCannotSendWithoutWriting) {
    SlotBuffer buffer;
    EXPECT_THROW(BuildTuneUp(buffer, 0, 1200), Error);
    EXPECT_THROW(BuildTuneUp(buffer, 16, 1200), Error); // 608 codewords, but no such setting
    EXPECT_THROW(BuildTuneUp(buffer, 100, 2400), Error);
    try {
        BuildTuneUp(buffer, 5, 9600);
        FAIL();
    } catch (const Error& e) {
        EXPECT_STREQ(e.what(), "Tune-up: the bit rate 9600 is not 512, 1200 or 2400.");
    }
    EXPECT_EQ(buffer[1], 0u);
}

TEST(MorseTable, ByteForm) {
    EXPECT_EQ(morseCode('E'), 0x40);
    EXPECT_EQ(morseCode('T'), 0xC0);
    EXPECT_EQ(morseCode('A'), 0xA0);
    EXPECT_EQ(morseCode('0'), 0xFC);
    EXPECT_EQ(morseCode('5'), 0x04);
    EXPECT_EQ(morseCode('Q'), 0xB8); // --.- : dash dash dot dash, marker at bit 3
    EXPECT_EQ(morseCode('q'), morseCode('Q'));
    EXPECT_EQ(morseCode('/'), 0x4C); // -..-. : the fraction bar of M0XYZ/P
    for (char c : std::string(" -?.\x80"))
        EXPECT_EQ(morseCode(c), 0) << int(c);
}

/// The stream from slot 1001 up to the first EndMarker, as text: '-' tone, '.' silence.
std::string streamText(const SlotBuffer& b) {
    std::string text;
    for (int s = SlotBuffer::IdentFirstSlot; b[s] != EndMarker; ++s)
        text += b[s] == Tone ? '-' : (b[s] == 0 ? '.' : '?');
    return text;
}

TEST(MorseIdent, ElementLayoutAndThreeEndMarkers) {
    SlotBuffer b;
    ASSERT_EQ(BuildMorseIdent(b, "E"), 9);
    EXPECT_EQ(streamText(b), "--."
                             "......");
    for (int s = 1010; s <= 1012; ++s)
        EXPECT_EQ(b[s], EndMarker);

    ASSERT_EQ(BuildMorseIdent(b, "K"), 23); // dash dot dash
    EXPECT_EQ(streamText(b), "------."
                             "--."
                             "------."
                             "......");

    ASSERT_EQ(BuildMorseIdent(b, "0"), 41); // five dashes
    std::string fiveDashes;
    for (int i = 0; i < 5; ++i)
        fiveDashes += "------.";
    EXPECT_EQ(streamText(b), fiveDashes + "......");
}

TEST(MorseIdent, CallsignCounts) {
    SlotBuffer b;
    EXPECT_EQ(BuildMorseIdent(b, "SOS"), 57);
    EXPECT_EQ(BuildMorseIdent(b, "GXZYX"), 131);
    EXPECT_EQ(b[1001 + 131], EndMarker);
    EXPECT_EQ(b[1001 + 133], EndMarker);
    EXPECT_EQ(morseIdentCodewordCount("GXZYX"), 131);
}

TEST(MorseIdent, LowerCaseSentAsCapitalsAndUnknownCharactersSkipped) {
    SlotBuffer upper, mixed;
    BuildMorseIdent(upper, "GXZYX");
    EXPECT_EQ(BuildMorseIdent(mixed, "g?x z-y.X"), 131);
    EXPECT_EQ(streamText(mixed), streamText(upper));

    SlotBuffer none;
    EXPECT_EQ(BuildMorseIdent(none, "?-"), 0);
    EXPECT_EQ(none[1001], EndMarker);
}

TEST(MorseIdent, NeverWritesPastSlot2000) {
    SlotBuffer b;
    // Ten five-dash digits, the longest the dialog lets through, fit easily.
    EXPECT_EQ(BuildMorseIdent(b, "0000000000"), 410);

    // A stored callsign of 25 zeros needs 1025 slots: refused before anything is written.
    SlotBuffer fresh;
    EXPECT_THROW(BuildMorseIdent(fresh, std::string(25, '0')), Error);
    EXPECT_EQ(fresh[1001], 0u);
    // 24 zeros (984 codewords) + 3 markers fill up to slot 1987.
    EXPECT_EQ(BuildMorseIdent(fresh, std::string(24, '0')), 984);
    EXPECT_EQ(fresh[1987], EndMarker);
}

} // namespace
