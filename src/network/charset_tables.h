#pragma once
// The tables behind the character sets: what a character that a set cannot show becomes
// (its alternatives, tried in order until one the set shows completely), and how a letter
// written in decomposed form (base letter + combining mark) is put back together.
// Internal to the network core.
#include <cstddef>
#include <span>
#include <string_view>

namespace tarvex::charset_tables {

struct Substitution {
    char code;      ///< the 7-bit code (0x20..0x7E)
    char32_t shown; ///< what a pager of the set shows for it
};

struct Decoded {
    char32_t cp = 0;
    std::size_t length = 1; ///< bytes taken (for a bad sequence: its maximal valid prefix)
    bool valid = false;
};

/// One code point at `at`, strictly: no overlong forms, surrogates or values past U+10FFFF.
/// A bad sequence is as long as the prefix that could still have become valid, at least 1.
Decoded decodeAt(std::string_view text, std::size_t at);
bool isValidUtf8(std::string_view text);

/// Alternatives for a character, best first; empty when there is none (the caller then
/// sends '?'). An empty string_view as an alternative means "drop the character".
std::span<const std::string_view> transliterations(char32_t cp);

/// The precomposed Latin letter for base + combining mark (U+0300..U+036F); 0 when there is
/// none in Latin-1 Supplement or Latin Extended-A.
char32_t compose(char32_t base, char32_t mark);

/// Full-width ASCII forms (U+FF01..U+FF5E) as plain ASCII; any other character unchanged.
char32_t foldWidth(char32_t cp);

} // namespace tarvex::charset_tables
