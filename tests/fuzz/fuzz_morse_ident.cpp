// Fuzz target: the Morse ident of any callsign a damaged setting may hold. The stream has
// as many codewords as morseIdentCodewordCount says, only tone (AAAAAAAA) and silence (0),
// three EndMarkers after it, sounds the callsign's letters, digits and '/' in International
// Morse, and nothing outside slots 1001..2000 changes; a callsign too long to fit is
// refused with a message before anything is written.
#include "encoder/codeword_buffer.h"
#include "encoder/errors.h"
#include "fuzz_check.h"
#include "txcontrol/morse_ident.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

using namespace tarvex;
using tarvex::fuzz::quoted;

namespace {

/// International Morse code of A..Z, 0..9 and '/' (the portable suffix of a callsign),
/// written out here apart from the program's table.
std::string_view morseOf(char c) {
    static constexpr const char* letters[] = {".-",   "-...", "-.-.", "-..",  ".",    "..-.", "--.",
                                              "....", "..",   ".---", "-.-",  ".-..", "--",   "-.",
                                              "---",  ".--.", "--.-", ".-.",  "...",  "-",    "..-",
                                              "...-", ".--",  "-..-", "-.--", "--.."};
    static constexpr const char* digits[] = {"-----", ".----", "..---", "...--", "....-",
                                             ".....", "-....", "--...", "---..", "----."};
    if (c >= 'a' && c <= 'z')
        return letters[c - 'a'];
    if (c >= 'A' && c <= 'Z')
        return letters[c - 'A'];
    if (c >= '0' && c <= '9')
        return digits[c - '0'];
    if (c == '/')
        return "-..-.";
    return {};
}

/// The elements the callsign should sound, characters separated by blanks.
std::string expectedElements(std::string_view callsign, int& codewords) {
    std::string out;
    codewords = 0;
    for (const char c : callsign) {
        const std::string_view code = morseOf(c);
        if (code.empty())
            continue;
        for (const char e : code)
            codewords += e == '-' ? 7 : 3;
        codewords += 6;
        out += code;
        out += ' ';
    }
    return out;
}

/// Reads the stream back: tone of 2 is a dot, of 6 a dash; silence of 1 parts elements,
/// of 7 characters.
std::string soundedElements(const SlotBuffer& buffer, int count, const std::string& what) {
    std::string out;
    int slot = SlotBuffer::IdentFirstSlot;
    const int end = slot + count;
    while (slot < end) {
        int tone = 0, silence = 0;
        while (slot < end && buffer[slot] == PreambleCodeword)
            ++tone, ++slot;
        while (slot < end && buffer[slot] == 0)
            ++silence, ++slot;
        FUZZ_CHECK((tone == 2 || tone == 6) && (silence == 1 || silence == 7),
                   "tone " + std::to_string(tone) + ", silence " + std::to_string(silence) +
                       " before slot " + std::to_string(slot) + ": " + what);
        out += tone == 2 ? '.' : '-';
        if (silence == 7)
            out += ' ';
    }
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const std::string_view callsign(reinterpret_cast<const char*>(data), size);
    const std::string what = quoted(callsign.substr(0, 64));
    SlotBuffer buffer;
    for (int s = SlotBuffer::FirstSlot; s <= SlotBuffer::LastSlot; ++s)
        buffer[s] = static_cast<Codeword>(s) * 0x9E3779B1u;
    const SlotBuffer before = buffer;

    int expectedCount = 0;
    const std::string elements = expectedElements(callsign, expectedCount);
    const int count = morseIdentCodewordCount(callsign);
    FUZZ_CHECK(count == expectedCount, std::to_string(count) + " codewords for " + what);
    const bool fits =
        count + IdentEndMarkers <= SlotBuffer::LastSlot - SlotBuffer::IdentFirstSlot + 1;

    int built = -1;
    try {
        built = BuildMorseIdent(buffer, callsign);
    } catch (const Error& e) {
        FUZZ_CHECK(!fits && *e.what() != '\0', "refused: " + what);
        for (int s = SlotBuffer::FirstSlot; s <= SlotBuffer::LastSlot; ++s)
            FUZZ_CHECK(buffer[s] == before[s], "refusal wrote slot " + std::to_string(s));
        return 0;
    } catch (const std::exception& e) {
        fuzz::propertyFailed(__FILE__, __LINE__, e.what(), what);
    }
    FUZZ_CHECK(fits && built == count, "built " + std::to_string(built) + " for " + what);

    const int first = SlotBuffer::IdentFirstSlot;
    for (int s = SlotBuffer::FirstSlot; s <= SlotBuffer::LastSlot; ++s) {
        const Codeword cw = buffer[s];
        if (s < first || s >= first + count + IdentEndMarkers)
            FUZZ_CHECK(cw == before[s], "slot " + std::to_string(s) + " written: " + what);
        else if (s < first + count)
            FUZZ_CHECK(cw == PreambleCodeword || cw == 0, "slot " + std::to_string(s));
        else
            FUZZ_CHECK(cw == EndMarker, "slot " + std::to_string(s) + " not an EndMarker");
    }
    FUZZ_CHECK(soundedElements(buffer, count, what) == elements, "sounds otherwise: " + what);
    return 0;
}
