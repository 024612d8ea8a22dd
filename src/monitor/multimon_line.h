#pragma once
// Reading multimon-ng's POCSAG output: one line per page it decoded, turned into the page's
// rate, address, function bits and text exactly as the decoder printed it. Lines of any other
// form (statistics, warnings, partial decodes) are not pages. Standard C++ only.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tarvex {

/// How the decoder rendered a page: its message as alphanumeric or numeric text, or no
/// message at all (an address codeword alone: a tone-only page).
enum class DecodeKind { Alpha, Numeric, ToneOnly };

struct Decode {
    int baud = 0; ///< 512, 1200 or 2400: the demodulator that decoded it
    uint32_t ric = 0;
    int functionBits = 0;
    DecodeKind kind = DecodeKind::ToneOnly;
    std::string text; ///< as printed: UTF-8, control codes as "<EOT>" etc.; empty for tone only
};

/// Longest line accepted; the decoder's own buffer keeps its lines well below this.
inline constexpr std::size_t MaxMultimonLine = 4096;

/// The page on one output line (a trailing CR/LF is ignored); nullopt for any line that is not
/// a complete page decode: another demodulator's output, a rate, address or function outside
/// POCSAG's range, or a line longer than MaxMultimonLine.
std::optional<Decode> parseMultimonLine(std::string_view line);

/// "1200 RIC 1234567 F3 alpha "text"" for logs and test output.
std::string describeDecode(const Decode& decode);

} // namespace tarvex
