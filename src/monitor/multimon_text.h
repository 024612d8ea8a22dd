#pragma once
// What multimon-ng prints for the message bytes a page carried on the air, so that a decode
// can be compared with what was sent: the encoder's 7-bit packing, the decoder's names for
// control codes, its national character sets (-C), its numeric digits, and the padding it
// shows after a message. Standard C++ only.
#include <string>
#include <string_view>

namespace tarvex {

/// True for the -C sets of multimon-ng 1.2.0: "US", "FR", "DE", "SE", "SI" (any case). An
/// empty code is the plain set and needs no -C.
bool decoderKnowsCharset(std::string_view code);

/// The text multimon-ng prints for an alphanumeric message sent as `bytes`, decoded with -C
/// `charset` (empty or unknown: US). Follows what reaches the air: the low 7 bits of each
/// byte, DC3 sent as CR. Like the decoder, stops writing control-code names once its
/// 1023-byte line buffer is nearly full.
std::string decoderAlphaText(std::string_view bytes, std::string_view charset);

/// The text multimon-ng prints for a numeric message sent as `bytes`: each byte becomes the
/// encoder's 4-bit digit code and is shown as one of "0123456789.U -][".
std::string decoderNumericText(std::string_view bytes);

/// A decoded alphanumeric text without the end-of-text codes that fill the message's last
/// codeword ("abc<EOT><EOT>" gives "abc").
std::string_view withoutAlphaPadding(std::string_view text);
/// A decoded numeric text without the blanks that fill the message's last codeword.
std::string_view withoutNumericPadding(std::string_view text);

} // namespace tarvex
