#include "txcontrol/morse_ident.h"

#include "encoder/errors.h"

#include <array>
#include <string>

namespace tarvex {

namespace {

/// Packs ".-" style text into the table byte.
constexpr uint8_t pack(std::string_view elements) {
    const int n = static_cast<int>(elements.size());
    unsigned byte = 1u << (7 - n);
    for (int i = 0; i < n; ++i)
        if (elements[static_cast<std::size_t>(i)] == '-')
            byte |= 1u << (8 - n + i);
    return static_cast<uint8_t>(byte);
}

// International Morse code (ITU-R M.1677-1).
constexpr std::array<uint8_t, 26> Letters = {
    pack(".-"),   pack("-..."), pack("-.-."), pack("-.."),  pack("."),    pack("..-."), pack("--."),
    pack("...."), pack(".."),   pack(".---"), pack("-.-"),  pack(".-.."), pack("--"),   pack("-."),
    pack("---"),  pack(".--."), pack("--.-"), pack(".-."),  pack("..."),  pack("-"),    pack("..-"),
    pack("...-"), pack(".--"),  pack("-..-"), pack("-.--"), pack("--.."),
};
constexpr std::array<uint8_t, 10> Digits = {
    pack("-----"), pack(".----"), pack("..---"), pack("...--"), pack("....-"),
    pack("....."), pack("-...."), pack("--..."), pack("---.."), pack("----."),
};

static_assert(pack(".") == 0x40 && pack("-") == 0xC0 && pack(".-") == 0xA0);
static_assert(pack("-----") == 0xFC && pack(".....") == 0x04);
/// The fraction bar, for portable and mobile callsigns (M0XYZ/P).
constexpr uint8_t Slash = pack("-..-.");
static_assert(Slash == 0x4C);

/// Calls element(isDash) for each element of a table byte in sending order.
template <typename F> void forEachElement(uint8_t code, F element) {
    int marker = 0;
    while (marker < 8 && (code & (1u << marker)) == 0)
        ++marker;
    for (int bit = marker + 1; bit <= 7; ++bit)
        element((code & (1u << bit)) != 0);
}

constexpr int IdentCapacity = SlotBuffer::LastSlot - SlotBuffer::IdentFirstSlot + 1;

} // namespace

uint8_t morseCode(char c) {
    if (c >= 'a' && c <= 'z')
        c = static_cast<char>(c - 'a' + 'A');
    if (c >= 'A' && c <= 'Z')
        return Letters[static_cast<std::size_t>(c - 'A')];
    if (c >= '0' && c <= '9')
        return Digits[static_cast<std::size_t>(c - '0')];
    if (c == '/')
        return Slash;
    return 0;
}

int morseIdentCodewordCount(std::string_view callsign) {
    int count = 0;
    for (const char c : callsign) {
        const uint8_t code = morseCode(c);
        if (code == 0)
            continue;
        forEachElement(code, [&](bool dash) { count += dash ? DashCodewords : DotCodewords; });
        count += CharacterGapCodewords;
    }
    return count;
}

int BuildMorseIdent(SlotBuffer& buffer, std::string_view callsign) {
    const int count = morseIdentCodewordCount(callsign);
    if (count + IdentEndMarkers > IdentCapacity)
        throw Error("The station ident \"" + std::string(callsign) +
                    "\" is too long to send: " + std::to_string(count) + " codewords, at most " +
                    std::to_string(IdentCapacity - IdentEndMarkers) + ".");
    int slot = SlotBuffer::IdentFirstSlot;
    auto put = [&](Codeword value, int times) {
        for (int i = 0; i < times; ++i)
            buffer[slot++] = value;
    };
    for (const char c : callsign) {
        const uint8_t code = morseCode(c);
        if (code == 0)
            continue;
        forEachElement(code, [&](bool dash) {
            put(PreambleCodeword, dash ? 6 : 2);
            put(0, 1);
        });
        put(0, CharacterGapCodewords);
    }
    put(EndMarker, IdentEndMarkers);
    return count;
}

} // namespace tarvex
