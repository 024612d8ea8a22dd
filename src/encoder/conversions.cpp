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

} // namespace tarvex
