#include "monitor/multimon_line.h"

#include <charconv>

namespace tarvex {
namespace {

/// A cursor over one line: each step consumes what it matched and fails without moving.
class LineReader {
public:
    explicit LineReader(std::string_view text) : m_rest(text) {}

    bool literal(std::string_view word) {
        if (!m_rest.starts_with(word))
            return false;
        m_rest.remove_prefix(word.size());
        return true;
    }
    /// At least `least` blanks.
    bool blanks(std::size_t least) {
        std::size_t n = 0;
        while (n < m_rest.size() && m_rest[n] == ' ')
            ++n;
        if (n < least)
            return false;
        m_rest.remove_prefix(n);
        return true;
    }
    /// A decimal number of 1 to `maxDigits` digits.
    bool number(uint32_t& value, std::size_t maxDigits) {
        std::size_t n = 0;
        while (n < m_rest.size() && m_rest[n] >= '0' && m_rest[n] <= '9')
            ++n;
        if (n == 0 || n > maxDigits)
            return false;
        std::from_chars(m_rest.data(), m_rest.data() + n, value);
        m_rest.remove_prefix(n);
        return true;
    }
    std::string_view rest() const { return m_rest; }

private:
    std::string_view m_rest;
};

bool validBaud(uint32_t baud) {
    return baud == 512 || baud == 1200 || baud == 2400;
}

} // namespace

std::optional<Decode> parseMultimonLine(std::string_view line) {
    if (line.size() > MaxMultimonLine)
        return std::nullopt;
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
        line.remove_suffix(1);

    // POCSAG1200: Address: 1234567  Function: 3  Alpha:   text
    LineReader in(line);
    uint32_t baud = 0;
    uint32_t ric = 0;
    uint32_t function = 0;
    if (!in.literal("POCSAG") || !in.number(baud, 4) || !validBaud(baud) || !in.literal(":") ||
        !in.blanks(1) || !in.literal("Address:") || !in.blanks(1) || !in.number(ric, 7) ||
        ric > 2097151 || !in.blanks(1) || !in.literal("Function:") || !in.blanks(1) ||
        !in.number(function, 1) || function > 3)
        return std::nullopt;

    Decode decode;
    decode.baud = static_cast<int>(baud);
    decode.ric = ric;
    decode.functionBits = static_cast<int>(function);
    // An address without a message ends after the function digit (the decoder adds a blank).
    if (in.rest().find_first_not_of(' ') == std::string_view::npos) {
        decode.kind = DecodeKind::ToneOnly;
        return decode;
    }
    if (!in.blanks(1))
        return std::nullopt;
    // The labels are padded to one width; the text begins right after the padding, so a
    // message that itself begins with blanks keeps them.
    if (in.literal("Alpha:   ")) {
        decode.kind = DecodeKind::Alpha;
    } else if (in.literal("Numeric: ")) {
        decode.kind = DecodeKind::Numeric;
    } else {
        return std::nullopt; // Skyper and anything a later decoder adds
    }
    decode.text = std::string(in.rest());
    return decode;
}

std::string describeDecode(const Decode& decode) {
    std::string out = std::to_string(decode.baud) + " RIC " + std::to_string(decode.ric) + " F" +
                      std::to_string(decode.functionBits);
    switch (decode.kind) {
    case DecodeKind::Alpha:
        return out + " alpha \"" + decode.text + "\"";
    case DecodeKind::Numeric:
        return out + " numeric \"" + decode.text + "\"";
    case DecodeKind::ToneOnly:
        break;
    }
    return out + " tone only";
}

} // namespace tarvex
