#pragma once
// Text conversions shared by every layer: the integer conversion whose failure text the
// operator sees, the hexadecimal codeword conversion, the message trim of SEND and the
// escape that keeps text from outside to one line in a log.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tarvex {

/// Decimal text to a signed 32-bit integer: leading blanks and one sign are accepted,
/// nothing after the digits. Empty if the text does not convert.
std::optional<int32_t> tryStrToInt(std::string_view text);

/// As tryStrToInt, but throws ConversionError("'text' is not a valid integer value").
int32_t StrToInt(std::string_view text);

/// Hexadecimal text of 1 to 8 digits (0-9, A-F, a-f; no prefix, no blanks) to its
/// 32-bit pattern. Empty for any other text, the empty text included.
std::optional<uint32_t> hexToCodeword(std::string_view text);

/// A codeword as exactly 8 upper-case hexadecimal digits.
std::string formatHex8(uint32_t value);

/// The text without leading and trailing characters 0 to 32 (blanks and control codes).
std::string_view trimControl(std::string_view text);

/// The text as a log or a status shows it: every control character (bytes 0 to 31 and 127,
/// the UTF-8 forms of U+0080 to U+009F and the line and paragraph separators U+2028 and
/// U+2029) becomes "\\xHH" for each of its bytes, so one event stays one line and no terminal
/// escape gets through. Other text, a backslash included, is unchanged.
std::string escapeControls(std::string_view text);

} // namespace tarvex
