#include "encoder/conversions.h"

#include "encoder/errors.h"

#include <cstdio>

namespace tarvex {

std::optional<int32_t> tryStrToInt(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && text[i] == ' ')
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    if (i == text.size())
        return std::nullopt;
    int64_t value = 0;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + (c - '0');
        if (value > int64_t{2147483648})
            return std::nullopt;
    }
    if (negative)
        value = -value;
    if (value > INT32_MAX || value < INT32_MIN)
        return std::nullopt;
    return static_cast<int32_t>(value);
}

int32_t StrToInt(std::string_view text) {
    if (auto v = tryStrToInt(text))
        return *v;
    throw ConversionError(text);
}

std::optional<uint32_t> hexToCodeword(std::string_view text) {
    if (text.empty() || text.size() > 8)
        return std::nullopt;
    uint32_t value = 0;
    for (const char c : text) {
        uint32_t digit = 0;
        if (c >= '0' && c <= '9')
            digit = static_cast<uint32_t>(c - '0');
        else if (c >= 'A' && c <= 'F')
            digit = static_cast<uint32_t>(c - 'A' + 10);
        else if (c >= 'a' && c <= 'f')
            digit = static_cast<uint32_t>(c - 'a' + 10);
        else
            return std::nullopt;
        value = (value << 4) | digit;
    }
    return value;
}

std::string formatHex8(uint32_t value) {
    char text[9];
    std::snprintf(text, sizeof text, "%08X", static_cast<unsigned>(value));
    return std::string(text, 8);
}

std::string_view trimControl(std::string_view text) {
    auto isTrimmed = [](char c) { return static_cast<unsigned char>(c) <= 32; };
    while (!text.empty() && isTrimmed(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isTrimmed(text.back()))
        text.remove_suffix(1);
    return text;
}

namespace {

/// Bytes of the control character that starts at text[i]; 0 when none starts there.
std::size_t controlLength(std::string_view text, std::size_t i) {
    const auto byte = [&](std::size_t k) {
        return k < text.size() ? static_cast<unsigned char>(text[k]) : 0u;
    };
    const unsigned first = byte(i);
    if (first < 0x20 || first == 0x7F)
        return 1;
    if (first == 0xC2 && byte(i + 1) >= 0x80 && byte(i + 1) <= 0x9F)
        return 2; // C1 controls: some terminals act on them
    if (first == 0xE2 && byte(i + 1) == 0x80 && (byte(i + 2) == 0xA8 || byte(i + 2) == 0xA9))
        return 3; // line and paragraph separators: some viewers break the line there
    return 0;
}

} // namespace

std::string escapeControls(std::string_view text) {
    static constexpr char Hex[] = "0123456789abcdef";
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t n = controlLength(text, i);
        if (n == 0) {
            out += text[i++];
            continue;
        }
        for (const std::size_t end = i + n; i < end; ++i) {
            const auto c = static_cast<unsigned char>(text[i]);
            out += "\\x";
            out += Hex[c >> 4];
            out += Hex[c & 15];
        }
    }
    return out;
}

} // namespace tarvex
