// Character sets: what each set sends for typical text, what it transliterates and reports,
// bad UTF-8, and that every character a set shows maps back to its own code.
#include "network/charset.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

using namespace tarvex;

namespace {

constexpr Charset AllSets[] = {Charset::UsAscii, Charset::German, Charset::Swedish,
                               Charset::Danish,  Charset::French, Charset::Slovenian};

struct Mapping {
    Charset set;
    std::string in;
    std::string bytes;
    std::string changes; ///< describeChanges of the result
};

TEST(Charset, MapsTransliteratesAndReports) {
    const Mapping cases[] = {
        {Charset::German, "Grüße aus Köln", "Gr}~e aus K|ln", ""},
        {Charset::German, "ÄÖÜäöüß §", "[\\]{|}~ @", ""},
        {Charset::German, "[x] {y} a|b ~ @home 5$", "(x) (y) a/b - (at)home 5$",
         "[→(, ]→), {→(, }→), |→/, ~→-, @→(at)"},
        {Charset::German, "café Łódź Søren Æble", "cafe Lodz S|ren [ble",
         "é→e, Ł→L, ó→o, ź→z, ø→ö, Æ→Ä"},
        {Charset::UsAscii, "Grüße, Smørrebrød", "Grusse, Smorrebrod", "ü→u, ß→ss, ø→o"},
        {Charset::UsAscii, "ÆØÅ æøå", "AEOA aeoa", "Æ→AE, Ø→O, Å→A, æ→ae, ø→o, å→a"},
        {Charset::Swedish, "Åsa, Ærø, Müller", "]sa, [r|, Muller", "Æ→Ä, ø→ö, ü→u"},
        {Charset::Danish, "Æblegrød, Kärlek, Öl", "[blegr|d, K{rlek, \\l", "ä→æ, Ö→Ø"},
        {Charset::Danish, "@ ~ ^", "@ ~ ^", ""},
        {Charset::French, "Élève à 20°C, 5$ £3 ~", "El}ve @ 20[C, 5USD $3 -", "É→E, $→USD, ~→-"},
        {Charset::French, "ça où ç µs §2 `x`", "\\a o| \\ `s ]2 'x'", "`→'"},
        {Charset::Slovenian, "Čas šola žaba Đak ćup", "^as {ola `aba \\ak }up", ""},
        {Charset::Slovenian, "a^b @x ~", "a'b (at)x -", "^→', @→(at), ~→-"},
        {Charset::UsAscii, "„Hallo“ – ‘so’ … end", "\"Hallo\" - 'so' ... end",
         "„→\", “→\", –→-, ‘→', ’→', …→..."},
        {Charset::UsAscii, "a\u00A0b\u2009c\u200Bd\uFEFF", "a b cd",
         "\u00A0→ , \u2009→ , \u200B→(dropped), \uFEFF→(dropped)"},
        {Charset::UsAscii, "25€ 3×4 ½ ©", "25EUR 3x4 1/2 (c)", "€→EUR, ×→x, ½→1/2, ©→(c)"},
        {Charset::UsAscii, "日本 😀 Ωmega", "?? ? ?mega", "日→?, 本→?, 😀→?, Ω→?"},
        {Charset::UsAscii,
         "a\tb\x01"
         "c\x7F\r\nd",
         "a bc\r\nd", "U+0009→ , U+0001→(dropped), U+007F→(dropped)"},
        // text in decomposed form: the letter and its mark make one letter again
        {Charset::German, "Ko\u0308ln", "K|ln", "o\u0308→ö"},
        {Charset::UsAscii, "Ko\u0308ln e\u0301\u0301", "Koln e",
         "o\u0308→o, e\u0301→e, U+0301→(dropped)"},
        {Charset::UsAscii, "ＡＢ１", "AB1", "Ａ→A, Ｂ→B, １→1"},
        {Charset::UsAscii, "", "", ""},
    };
    for (const Mapping& c : cases) {
        SCOPED_TRACE(std::string(charsetCode(c.set)) + ": " + c.in);
        const PagerText out = toPagerText(c.in, c.set);
        EXPECT_EQ(out.bytes, c.bytes);
        EXPECT_EQ(describeChanges(out.changes, 100), c.changes);
        EXPECT_FALSE(out.invalidUtf8);
    }
}

TEST(Charset, BadUtf8IsReplacedAndReportedNeverPassedRaw) {
    const std::pair<std::string, std::string> cases[] = {
        {"a\xC3(b\xFF", "a?(b?"},     {"end\xE2\x82", "end?"}, // cut short: one character
        {"\xC0\xAF", "??"},                                    // overlong '/'
        {"\xED\xA0\x80", "???"},                               // a surrogate
        {"\xF4\x90\x80\x80", "????"},                          // above U+10FFFF
        {"\xF0\x9F\x98", "?"},                                 // three of four bytes
        {"\x80\xBF ok", "?? ok"},
    };
    for (const auto& [in, bytes] : cases) {
        const PagerText out = toPagerText(in, Charset::German);
        EXPECT_EQ(out.bytes, bytes) << in;
        EXPECT_TRUE(out.invalidUtf8) << in;
        EXPECT_EQ(out.changes.size(),
                  static_cast<std::size_t>(std::count(bytes.begin(), bytes.end(), '?')));
    }
    const PagerText cut = toPagerText("ab\xE2\x82", Charset::UsAscii);
    ASSERT_EQ(cut.changes.size(), 1u);
    EXPECT_EQ(cut.changes[0].offset, 2u);
    EXPECT_EQ(cut.changes[0].from, "\xE2\x82");
    EXPECT_EQ(describeChanges(cut.changes), "0xE2 0x82→?");
}

TEST(Charset, ChangesCarryOffsetsAndTheTextShown) {
    const PagerText out = toPagerText("é[x]", Charset::German);
    ASSERT_EQ(out.changes.size(), 3u);
    EXPECT_EQ(out.changes[0].offset, 0u);
    EXPECT_EQ(out.changes[1].offset, 2u);
    EXPECT_EQ(out.changes[1].from, "[");
    EXPECT_EQ(out.changes[1].to, "(");
    EXPECT_EQ(out.changes[2].offset, 4u);
}

TEST(Charset, DescribeChangesListsEachChangeOnceUpToTheLimit) {
    const PagerText out = toPagerText("éééłłłabcàèìòù", Charset::UsAscii);
    EXPECT_EQ(describeChanges(out.changes), "é→e, ł→l, à→a, è→e, ì→i, ò→o, ù→u");
    EXPECT_EQ(describeChanges(out.changes, 2), "é→e, ł→l, …");
    EXPECT_EQ(describeChanges(out.changes, 0), "…");
    EXPECT_EQ(describeChanges({}), "");
}

// The characters each set puts on the codes that national sets change, as a pager shows them.
TEST(Charset, EveryCodeShowsItsCharacterAndMapsBack) {
    const std::string codes = "#$@[\\]^`{|}~";
    const std::pair<Charset, std::string> shown[] = {
        {Charset::UsAscii, "#$@[\\]^`{|}~"}, {Charset::German, "#$§ÄÖÜ^`äöüß"},
        {Charset::Swedish, "#$@ÄÖÅ^`äöå~"},  {Charset::Danish, "#$@ÆØÅ^`æøå~"},
        {Charset::French, "#£à°ç§^µéùè¨"},   {Charset::Slovenian, "#$ŽŠĐĆČžšđćč"}};
    for (const auto& [set, text] : shown)
        EXPECT_EQ(fromPagerText(codes, set), text) << charsetCode(set);

    for (const Charset set : AllSets) {
        std::set<std::string> distinct;
        for (int code = 0x20; code <= 0x7E; ++code) {
            const std::string byte(1, static_cast<char>(code));
            const std::string text = fromPagerText(byte, set);
            distinct.insert(text);
            const PagerText back = toPagerText(text, set);
            EXPECT_EQ(back.bytes, byte) << charsetCode(set) << " " << text;
            EXPECT_TRUE(back.changes.empty()) << charsetCode(set) << " " << text;
        }
        EXPECT_EQ(distinct.size(), 95u) << charsetCode(set);
        EXPECT_EQ(fromPagerText("a\r\nb", set), "a\r\nb");
        EXPECT_EQ(fromPagerText("\x01\xC1", set), "\uFFFD"
                                                  "A"); // control code; 7 bits sent
    }
}

TEST(Charset, NamesAndCodes) {
    for (const Charset set : AllSets) {
        EXPECT_EQ(parseCharset(charsetCode(set)), set);
        EXPECT_FALSE(charsetCaption(set).empty());
    }
    EXPECT_EQ(parseCharset("DE"), Charset::German);
    EXPECT_FALSE(parseCharset("ru"));
    EXPECT_FALSE(parseCharset("d"));
    EXPECT_FALSE(parseCharset(""));
    EXPECT_EQ(multimonCharset(Charset::UsAscii), "");
    EXPECT_EQ(multimonCharset(Charset::Slovenian), "SI");
}

} // namespace
