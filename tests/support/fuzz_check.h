#pragma once
// Shared by the fuzz targets: a property that does not hold prints what was expected and
// aborts, so that libFuzzer keeps the input; and the reference readings the targets compare
// the program's conversions with.
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

namespace tarvex::fuzz {

[[noreturn]] inline void propertyFailed(const char* file, int line, const char* condition,
                                        const std::string& detail) {
    std::fprintf(stderr, "%s:%d: property does not hold: %s\n", file, line, condition);
    if (!detail.empty())
        std::fprintf(stderr, "  %s\n", detail.c_str());
    std::abort();
}

/// Text with every byte outside printable ASCII written as \xNN, for failure reports.
inline std::string quoted(std::string_view text) {
    std::string out = "\"";
    for (const char c : text) {
        const auto b = static_cast<unsigned char>(c);
        if (b >= 32 && b < 127 && b != '\\' && b != '"') {
            out += c;
        } else {
            char hex[5];
            std::snprintf(hex, sizeof hex, "\\x%02X", b);
            out += hex;
        }
    }
    return out + "\"";
}

/// A decimal reading written apart from the program's: blanks (spaces) first, then at most
/// one sign, then one or more digits and nothing else; the value must fit in 32 bits signed.
inline std::optional<int32_t> referenceDecimal(std::string_view text) {
    const auto first = text.find_first_not_of(' ');
    if (first == std::string_view::npos)
        return std::nullopt;
    text.remove_prefix(first);
    bool negative = false;
    if (text.front() == '+' || text.front() == '-') {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    if (text.empty() || text.find_first_not_of("0123456789") != std::string_view::npos)
        return std::nullopt;
    uint64_t magnitude = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), magnitude);
    if (ec != std::errc() || end != text.data() + text.size())
        return std::nullopt; // too many digits for 64 bits: far outside 32 bits as well
    const int64_t limit = negative ? int64_t{2147483648} : int64_t{2147483647};
    if (magnitude > static_cast<uint64_t>(limit))
        return std::nullopt;
    const auto value = static_cast<int64_t>(magnitude);
    return static_cast<int32_t>(negative ? -value : value);
}

} // namespace tarvex::fuzz

#define FUZZ_CHECK(condition, detail)                                                              \
    do {                                                                                           \
        if (!(condition))                                                                          \
            ::tarvex::fuzz::propertyFailed(__FILE__, __LINE__, #condition, (detail));              \
    } while (0)
