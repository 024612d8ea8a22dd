#pragma once
// National 7-bit character sets of alphanumeric pagers: text that arrives as UTF-8 is mapped
// to the bytes a pager of the chosen set shows as those characters; what the set cannot show
// is transliterated (é → e, „ → ") rather than garbled, and every change is reported.
// Standard C++ only.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarvex {

enum class Charset { UsAscii, German, Swedish, Danish, French, Slovenian };

/// "us", "de", "se", "dk", "fr", "si": the names the directory and the command line use.
std::string_view charsetCode(Charset set);
/// "US-ASCII", "German", ...: for dialogs and status lines.
std::string_view charsetCaption(Charset set);
/// The set of a code above (case does not matter); nullopt for any other text.
std::optional<Charset> parseCharset(std::string_view code);
/// multimon-ng's -C argument for the set ("DE", "SE", "DK", "FR", "SI"); empty for US-ASCII.
std::string_view multimonCharset(Charset set);

/// One character that could not be sent as it was.
struct CharChange {
    std::size_t offset = 0; ///< byte offset of the character in the UTF-8 input
    std::string from;       ///< the character as it arrived (UTF-8; for a bad sequence its bytes)
    std::string to;         ///< what is sent instead, as the pager shows it (UTF-8; may be empty)
};

struct PagerText {
    std::string bytes;               ///< 7-bit bytes for the encoder
    std::vector<CharChange> changes; ///< in input order; empty when the text went over as is
    bool invalidUtf8 = false;        ///< the input held bytes that are not UTF-8
};

/// Maps UTF-8 text to the set's bytes. Control characters other than CR/LF and anything the
/// set cannot show are transliterated or dropped, each listed in `changes`. Only 0x20..0x7E,
/// CR and LF come out. The rules, the same for every set, first that the set can show wins:
/// - a letter with a diacritic the set lacks loses it (é → e, ł → l, ü → u on a US-ASCII
///   pager: one letter for one letter, no German "ue"); ß → ss, æ → ae, œ → oe, þ → th;
///   but æ/ø become ä/ö on German and Swedish pagers and ä/ö become æ/ø on Danish ones;
/// - a letter written as base + combining mark is taken as the precomposed letter
///   (reported, even when the set shows it); full-width ASCII forms as ASCII;
/// - ASCII signs a national set gives to a letter: [ { → (, ] } → ), \ | → /, ~ → -,
///   ^ ` → ', @ → (at), $ → USD (French);
/// - quotes „“”‘’«» → " or ', dashes and minus → -, … → ..., non-breaking and other
///   spaces → space, tab → space, zero-width characters, soft hyphen and byte order mark
///   dropped; € → EUR, £ → GBP, ° → deg, § → S, µ → u, © → (c), ½ → 1/2 and similar;
/// - anything else (CJK, emoji, Greek, ...) → '?'; each bad UTF-8 sequence → '?' and
///   invalidUtf8 set.
PagerText toPagerText(std::string_view utf8, Charset set);

/// What a pager of the set shows for the bytes, as UTF-8 (the inverse of the mapping). Seven
/// bits of each byte count, as on air; control codes other than CR/LF show as U+FFFD.
std::string fromPagerText(std::string_view bytes, Charset set);

/// Appends one code point as UTF-8 (1 to 4 bytes).
void appendUtf8(std::string& out, char32_t cp);

/// "é→e, ł→l" — a short list of the changes for a reply or a log line (at most `limit` items,
/// then "…").
std::string describeChanges(const std::vector<CharChange>& changes, std::size_t limit = 8);

} // namespace tarvex
