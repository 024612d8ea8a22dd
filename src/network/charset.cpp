// The national sets as substitution lists over 7-bit ASCII, a strict UTF-8 reader, and the
// transliteration tables that say what a character the set lacks becomes.
#include "network/charset.h"

#include "network/charset_tables.h"

#include <array>
#include <cstdint>
#include <cstdio>
#include <span>

namespace tarvex {
namespace {

using charset_tables::decodeAt;
using charset_tables::Decoded;
using charset_tables::Substitution;

constexpr Substitution GermanSet[] = {{'@', U'§'}, {'[', U'Ä'}, {'\\', U'Ö'}, {']', U'Ü'},
                                      {'{', U'ä'}, {'|', U'ö'}, {'}', U'ü'},  {'~', U'ß'}};
constexpr Substitution SwedishSet[] = {{'[', U'Ä'}, {'\\', U'Ö'}, {']', U'Å'},
                                       {'{', U'ä'}, {'|', U'ö'},  {'}', U'å'}};
constexpr Substitution DanishSet[] = {{'[', U'Æ'}, {'\\', U'Ø'}, {']', U'Å'},
                                      {'{', U'æ'}, {'|', U'ø'},  {'}', U'å'}};
constexpr Substitution FrenchSet[] = {{'$', U'£'}, {'@', U'à'}, {'[', U'°'}, {'\\', U'ç'},
                                      {']', U'§'}, {'`', U'µ'}, {'{', U'é'}, {'|', U'ù'},
                                      {'}', U'è'}, {'~', U'¨'}};
constexpr Substitution SlovenianSet[] = {{'@', U'Ž'}, {'[', U'Š'}, {'\\', U'Đ'}, {']', U'Ć'},
                                         {'^', U'Č'}, {'`', U'ž'}, {'{', U'š'},  {'|', U'đ'},
                                         {'}', U'ć'}, {'~', U'č'}};

constexpr std::span<const Substitution> substitutions(Charset set) {
    switch (set) {
    case Charset::German:
        return GermanSet;
    case Charset::Swedish:
        return SwedishSet;
    case Charset::Danish:
        return DanishSet;
    case Charset::French:
        return FrenchSet;
    case Charset::Slovenian:
        return SlovenianSet;
    case Charset::UsAscii:
        break;
    }
    return {};
}

constexpr std::size_t SetCount = 6;
constexpr std::array<Charset, SetCount> Sets = {Charset::UsAscii, Charset::German,
                                                Charset::Swedish, Charset::Danish,
                                                Charset::French,  Charset::Slovenian};

// What each set shows for the printable codes 0x20..0x7E, looked up for every character.
constexpr auto Shown = [] {
    std::array<std::array<char32_t, 95>, SetCount> table{};
    for (std::size_t set = 0; set < SetCount; ++set) {
        for (std::size_t code = 0; code < 95; ++code)
            table[set][code] = static_cast<char32_t>(code + 0x20);
        for (const auto& s : substitutions(Sets[set]))
            table[set][static_cast<std::size_t>(s.code - 0x20)] = s.shown;
    }
    return table;
}();

/// What the pager shows for a printable code (0x20..0x7E).
char32_t shownAs(Charset set, char code) {
    return Shown[static_cast<std::size_t>(set)][static_cast<std::size_t>(code - 0x20)];
}

/// The code that shows the character in the set; nullopt when the set cannot show it.
std::optional<char> codeFor(Charset set, char32_t cp) {
    if (cp >= 0x20 && cp <= 0x7E) {
        const char code = static_cast<char>(cp);
        return shownAs(set, code) == cp ? std::optional<char>(code) : std::nullopt;
    }
    for (const auto& s : substitutions(set))
        if (s.shown == cp)
            return s.code;
    return std::nullopt;
}

bool isCombiningMark(char32_t cp) {
    return cp >= 0x300 && cp <= 0x36F;
}

/// True when every character of the (valid UTF-8) text has a code in the set.
bool representable(std::string_view text, Charset set) {
    for (std::size_t i = 0; i < text.size();) {
        const Decoded d = decodeAt(text, i);
        if (!d.valid || !codeFor(set, d.cp))
            return false;
        i += d.length;
    }
    return true;
}

void appendCodes(std::string& out, std::string_view text, Charset set) {
    for (std::size_t i = 0; i < text.size();) {
        const Decoded d = decodeAt(text, i);
        out += *codeFor(set, d.cp);
        i += d.length;
    }
}

class Mapper {
public:
    Mapper(std::string_view input, Charset set) : m_in(input), m_set(set) {
        m_result.bytes.reserve(input.size());
    }

    PagerText run() {
        for (std::size_t at = 0; at < m_in.size();) {
            Decoded d = decodeAt(m_in, at);
            if (!d.valid) {
                m_result.invalidUtf8 = true;
                m_result.bytes += '?';
                report(at, d.length, "?");
                at += d.length;
                continue;
            }
            bool changed = false;
            // A letter followed by a combining mark (text in decomposed form) is taken as the
            // precomposed letter: "u" + U+0308 is ü, which the German set shows.
            if (d.cp < 0x80 && at + d.length < m_in.size()) {
                const Decoded next = decodeAt(m_in, at + d.length);
                if (next.valid && isCombiningMark(next.cp)) {
                    if (const char32_t c = charset_tables::compose(d.cp, next.cp)) {
                        d.cp = c;
                        d.length += next.length;
                        changed = true;
                    }
                }
            }
            if (const char32_t folded = charset_tables::foldWidth(d.cp); folded != d.cp) {
                d.cp = folded;
                changed = true;
            }
            map(d.cp, at, d.length, changed);
            at += d.length;
        }
        return std::move(m_result);
    }

private:
    void map(char32_t cp, std::size_t at, std::size_t length, bool changed) {
        if (cp == '\r' || cp == '\n') {
            m_result.bytes += static_cast<char>(cp);
            return;
        }
        if (const auto code = codeFor(m_set, cp)) {
            m_result.bytes += *code;
            if (changed)
                report(at, length, fromPagerText(std::string_view(&*code, 1), m_set));
            return;
        }
        for (const std::string_view option : charset_tables::transliterations(cp)) {
            if (representable(option, m_set)) {
                const std::size_t start = m_result.bytes.size();
                appendCodes(m_result.bytes, option, m_set);
                report(at, length,
                       fromPagerText(std::string_view(m_result.bytes).substr(start), m_set));
                return;
            }
        }
        m_result.bytes += '?';
        report(at, length, "?");
    }

    void report(std::size_t at, std::size_t length, std::string to) {
        m_result.changes.push_back({at, std::string(m_in.substr(at, length)), std::move(to)});
    }

    std::string_view m_in;
    Charset m_set;
    PagerText m_result;
};

/// The character as a sender can read it in a reply: itself when it is printable UTF-8,
/// else U+XXXX for a control character and 0xNN for each byte of a bad sequence.
std::string printable(std::string_view from) {
    const Decoded d = from.empty() ? Decoded{} : decodeAt(from, 0);
    char buffer[16];
    if (d.valid && d.length == from.size()) {
        if (d.cp >= 0x20 && (d.cp < 0x7F || d.cp > 0x9F) && !isCombiningMark(d.cp))
            return std::string(from);
        std::snprintf(buffer, sizeof buffer, "U+%04X", static_cast<unsigned>(d.cp));
        return buffer;
    }
    if (d.valid) // a letter with its combining mark
        return std::string(from);
    std::string out;
    for (const char c : from) {
        std::snprintf(buffer, sizeof buffer, "%s0x%02X", out.empty() ? "" : " ",
                      static_cast<unsigned>(static_cast<unsigned char>(c)));
        out += buffer;
    }
    return out;
}

} // namespace

void appendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

std::string_view charsetCode(Charset set) {
    constexpr std::array<std::string_view, 6> codes = {"us", "de", "se", "dk", "fr", "si"};
    return codes.at(static_cast<std::size_t>(set));
}

std::string_view charsetCaption(Charset set) {
    constexpr std::array<std::string_view, 6> captions = {
        "US-ASCII", "German", "Swedish", "Danish/Norwegian", "French", "Slovenian"};
    return captions.at(static_cast<std::size_t>(set));
}

std::optional<Charset> parseCharset(std::string_view code) {
    if (code.size() != 2)
        return std::nullopt;
    std::string lower;
    for (const char c : code)
        lower += (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    for (const Charset set : {Charset::UsAscii, Charset::German, Charset::Swedish, Charset::Danish,
                              Charset::French, Charset::Slovenian})
        if (charsetCode(set) == lower)
            return set;
    return std::nullopt;
}

std::string_view multimonCharset(Charset set) {
    constexpr std::array<std::string_view, 6> names = {"", "DE", "SE", "DK", "FR", "SI"};
    return names.at(static_cast<std::size_t>(set));
}

PagerText toPagerText(std::string_view utf8, Charset set) {
    return Mapper(utf8, set).run();
}

std::string fromPagerText(std::string_view bytes, Charset set) {
    std::string out;
    out.reserve(bytes.size());
    for (const char byte : bytes) {
        // The encoder sends seven bits of each byte.
        const char code = static_cast<char>(byte & 0x7F);
        if (code == '\r' || code == '\n')
            out += code;
        else if (code < 0x20 || code == 0x7F)
            appendUtf8(out, U'\uFFFD'); // a control code: pagers show nothing useful for it
        else
            appendUtf8(out, shownAs(set, code));
    }
    return out;
}

std::string describeChanges(const std::vector<CharChange>& changes, std::size_t limit) {
    std::vector<const CharChange*> shown;
    std::string out;
    for (const CharChange& change : changes) {
        bool seen = false;
        for (const CharChange* s : shown)
            seen = seen || (s->from == change.from && s->to == change.to);
        if (seen)
            continue;
        if (shown.size() >= limit) {
            out += out.empty() ? "…" : ", …";
            break;
        }
        shown.push_back(&change);
        if (!out.empty())
            out += ", ";
        out += printable(change.from) + "→" + (change.to.empty() ? "(dropped)" : change.to);
    }
    return out;
}

} // namespace tarvex
