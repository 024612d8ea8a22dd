#include "monitor/multimon_text.h"

#include "encoder/message_packing.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace tarvex {
namespace {

/// multimon-ng's names of the 32 control codes (127 is "<DEL>").
constexpr std::array<std::string_view, 32> ControlNames{
    "<NUL>", "<SOH>", "<STX>", "<ETX>", "<EOT>", "<ENQ>", "<ACK>", "<BEL>",
    "<BS>",  "<HT>",  "<LF>",  "<VT>",  "<FF>",  "<CR>",  "<SO>",  "<SI>",
    "<DLE>", "<DC1>", "<DC2>", "<DC3>", "<DC4>", "<NAK>", "<SYN>", "<ETB>",
    "<CAN>", "<EM>",  "<SUB>", "<ESC>", "<FS>",  "<GS>",  "<RS>",  "<US>"};

struct Substitution {
    char code;
    std::string_view shown;
};

/// The decoder's -C tables as multimon-ng 1.2.0 prints them (read off its output for every
/// printable code). They differ in places from what real pagers of those countries show
/// (its German set keeps '@', its Slovenian set keeps '\' and '|'); comparing in the
/// decoder's own rendering keeps that difference out of the verdict.
constexpr std::array<Substitution, 7> German{
    {{'[', "Ä"}, {'\\', "Ö"}, {']', "Ü"}, {'{', "ä"}, {'|', "ö"}, {'}', "ü"}, {'~', "ß"}}};
constexpr std::array<Substitution, 6> Swedish{
    {{'[', "Ä"}, {'\\', "Ö"}, {']', "Å"}, {'{', "ä"}, {'|', "ö"}, {'}', "å"}}};
constexpr std::array<Substitution, 10> French{{{'$', "£"},
                                               {'@', "à"},
                                               {'[', "°"},
                                               {'\\', "ç"},
                                               {']', "§"},
                                               {'`', "µ"},
                                               {'{', "é"},
                                               {'|', "ù"},
                                               {'}', "è"},
                                               {'~', "¨"}}};
constexpr std::array<Substitution, 8> Slovenian{{{'@', "Ž"},
                                                 {'[', "Š"},
                                                 {']', "Ć"},
                                                 {'^', "Č"},
                                                 {'`', "ž"},
                                                 {'{', "š"},
                                                 {'}', "ć"},
                                                 {'~', "č"}}};

char upper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

bool sameCode(std::string_view a, std::string_view b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return upper(x) == y; });
}

std::span<const Substitution> tableOf(std::string_view charset) {
    if (sameCode(charset, "DE"))
        return German;
    if (sameCode(charset, "SE"))
        return Swedish;
    if (sameCode(charset, "FR"))
        return French;
    if (sameCode(charset, "SI"))
        return Slovenian;
    return {};
}

/// The byte as the encoder puts it on the air: seven bits, DC3 replaced by CR.
uint8_t airByte(char c) {
    const auto b = static_cast<uint8_t>(static_cast<uint8_t>(c) & 0x7F);
    return b == 19 ? uint8_t{13} : b;
}

/// The decoder's alphanumeric line buffer, less its terminating NUL.
constexpr std::size_t DecoderTextRoom = 1023;

} // namespace

bool decoderKnowsCharset(std::string_view code) {
    return sameCode(code, "US") || !tableOf(code).empty();
}

std::string decoderAlphaText(std::string_view bytes, std::string_view charset) {
    const auto table = tableOf(charset);
    std::string out;
    for (const char c : bytes) {
        const uint8_t b = airByte(c);
        std::string_view shown;
        if (b < ControlNames.size())
            shown = ControlNames[b];
        else if (b == 127)
            shown = "<DEL>";
        const auto sub = std::find_if(table.begin(), table.end(), [&](const Substitution& s) {
            return s.code == static_cast<char>(b);
        });
        if (sub != table.end())
            shown = sub->shown;
        // The decoder writes a name only when all of it fits, a plain character while any
        // room is left.
        if (!shown.empty()) {
            if (DecoderTextRoom - out.size() >= shown.size())
                out += shown;
        } else if (out.size() < DecoderTextRoom) {
            out += static_cast<char>(b);
        }
    }
    return out;
}

std::string decoderNumericText(std::string_view bytes) {
    static constexpr std::string_view Digits = "0123456789.U -][";
    std::string out;
    out.reserve(bytes.size());
    for (const char c : bytes)
        out += Digits[numericCode(static_cast<unsigned char>(c))];
    return out;
}

std::string_view withoutAlphaPadding(std::string_view text) {
    while (text.ends_with("<EOT>"))
        text.remove_suffix(5);
    return text;
}

std::string_view withoutNumericPadding(std::string_view text) {
    while (text.ends_with(' '))
        text.remove_suffix(1);
    return text;
}

} // namespace tarvex
