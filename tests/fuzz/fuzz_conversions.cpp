// Fuzz target: the text conversions every field goes through. The hexadecimal reading
// takes exactly 1 to 8 hex digits and comes back through formatHex8 to the same value;
// the integer reading agrees with a reference reading, and StrToInt refuses with the
// operator's text exactly where it does not convert; the trim only takes characters 0..32.
#include "encoder/conversions.h"
#include "encoder/errors.h"
#include "fuzz_check.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

using namespace tarvex;
using tarvex::fuzz::quoted;

namespace {

bool isHexDigit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

void checkFormat(uint32_t value) {
    const std::string text = formatHex8(value);
    FUZZ_CHECK(text.size() == 8, quoted(text));
    for (const char c : text)
        FUZZ_CHECK((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'), quoted(text));
    const auto back = hexToCodeword(text);
    FUZZ_CHECK(back && *back == value, quoted(text));
}

void checkHex(std::string_view text) {
    bool digitsOnly = !text.empty() && text.size() <= 8;
    for (const char c : text)
        digitsOnly = digitsOnly && isHexDigit(c);
    const auto value = hexToCodeword(text);
    FUZZ_CHECK(value.has_value() == digitsOnly, quoted(text));
    if (!value)
        return;

    uint32_t expected = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), expected, 16);
    FUZZ_CHECK(ec == std::errc() && end == text.data() + text.size() && *value == expected,
               quoted(text));
    // The listing form: upper case, zeros in front, numerically the same.
    std::string padded(8 - text.size(), '0');
    for (const char c : text)
        padded += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    FUZZ_CHECK(formatHex8(*value) == padded, quoted(text) + " -> " + formatHex8(*value));
    checkFormat(*value);
}

void checkInteger(std::string_view text) {
    const auto value = tryStrToInt(text);
    const auto expected = fuzz::referenceDecimal(text);
    FUZZ_CHECK(value == expected, quoted(text));
    try {
        const int32_t converted = StrToInt(text);
        FUZZ_CHECK(expected && converted == *expected, quoted(text));
    } catch (const ConversionError& e) {
        FUZZ_CHECK(!expected, quoted(text) + " refused");
        // what() is a C string: a NUL in the text ends the message there.
        std::string message = "'" + std::string(text) + "' is not a valid integer value";
        message.resize(std::min(message.size(), message.find('\0')));
        FUZZ_CHECK(e.what() == message, quoted(e.what()));
    }
}

void checkTrim(std::string_view text) {
    const std::string_view trimmed = trimControl(text);
    const auto control = [](char c) { return static_cast<unsigned char>(c) <= 32; };
    FUZZ_CHECK(trimmed.empty() || (trimmed.data() >= text.data() &&
                                   trimmed.data() + trimmed.size() <= text.data() + text.size()),
               quoted(text));
    FUZZ_CHECK(trimmed.empty() || (!control(trimmed.front()) && !control(trimmed.back())),
               quoted(text));
    const std::size_t front = trimmed.empty() ? text.size() : trimmed.data() - text.data();
    for (std::size_t i = 0; i < text.size(); ++i) {
        const bool inside = i >= front && i < front + trimmed.size();
        FUZZ_CHECK(inside || control(text[i]), quoted(text) + " lost a character");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    checkHex(text);
    checkInteger(text);
    checkTrim(text);
    if (size >= 4) {
        uint32_t value = 0;
        std::memcpy(&value, data, 4);
        checkFormat(value);
    }
    return 0;
}
