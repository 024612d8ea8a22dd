#include "station/settings_values.h"

#include <algorithm>
#include <charconv>

namespace tarvex {

std::optional<int32_t> parseDecimal(std::string_view text) {
    std::string_view digits = text;
    if (!digits.empty() && (digits.front() == '+' || digits.front() == '-'))
        digits.remove_prefix(1);
    if (digits.empty())
        return std::nullopt;
    for (const char c : digits) {
        if (c < '0' || c > '9')
            return std::nullopt;
    }
    // from_chars takes a minus sign but no plus sign; the digits were checked above.
    const std::string_view parsed = text.front() == '+' ? text.substr(1) : text;
    int32_t value = 0;
    const auto [end, error] = std::from_chars(parsed.data(), parsed.data() + parsed.size(), value);
    if (error != std::errc() || end != parsed.data() + parsed.size())
        return std::nullopt; // out of 32 bits
    return value;
}

int32_t readInteger(StoredText stored, int32_t fallback) {
    if (!stored)
        return fallback;
    return parseDecimal(*stored).value_or(fallback);
}

bool readFlag(StoredText stored, bool fallback) {
    return readInteger(stored, fallback ? 1 : 0) != 0;
}

std::string readText(StoredText stored, std::string_view fallback) {
    return std::string(stored ? *stored : fallback);
}

std::string integerText(int32_t value) {
    return std::to_string(value);
}

int32_t StoredReader::clamped(std::string_view name, int32_t fallback, int32_t lo,
                              int32_t hi) const {
    return std::clamp(integer(name, fallback), lo, hi);
}

} // namespace tarvex
