// Transliteration data. Letters with diacritics fall back to the letter without them; a
// Scandinavian or German letter first tries its twin from the neighbouring language (æ ↔ ä,
// ø ↔ ö), which the German, Swedish and Danish sets show; typographic punctuation becomes
// its ASCII form; ASCII punctuation that a national set has given to a letter gets a look-
// alike ('[' → '(', '@' → "(at)").
#include "network/charset_tables.h"

#include <array>

namespace tarvex::charset_tables {
namespace {

// U+00C0..U+017F: the base letter and the mark of each letter that decomposes into one
// ASCII letter and one mark ('*' and ' ' where it does not). Marks: ` grave, ' acute,
// ^ circumflex, ~ tilde, - macron, u breve, . dot above, : diaeresis, o ring, " double
// acute, v caron, , cedilla, k ogonek.
constexpr std::string_view LatinBase = "AAAAAA*CEEEEIIII*NOOOOO**UUUUY**aaaaaa*ceeeeiiii"
                                       "*nooooo**uuuuy*yAaAaAaCcCcCcCcDd**EeEeEeEeEeGgGg"
                                       "GgGgHh**IiIiIiIiI***JjKk*LlLlLl****NnNnNn***OoOo"
                                       "Oo**RrRrRrSsSsSsSsTtTt**UuUuUuUuUuUuWwYyYZzZzZz*";
constexpr std::string_view LatinMark = "`'^~:o ,`'^:`'^: ~`'^~:  `'^:'  `'^~:o ,`'^:`'^:"
                                       " ~`'^~:  `'^:' :--uukk''^^..vvvv  --uu..kkvv^^uu"
                                       "..,,^^  ~~--uukk.   ^^,, '',,vv    '',,vv   --uu"
                                       "\"\"  '',,vv''^^,,vv,,vv  ~~--uuoo\"\"kk^^^^:''..vv ";
static_assert(LatinBase.size() == 0x180 - 0xC0 && LatinMark.size() == 0x180 - 0xC0);

struct Entry {
    char32_t first;
    char32_t last;
    std::array<std::string_view, 2> options;
    std::size_t count;
};

// Letters of the range above that are not a base letter with a mark, and the twins.
constexpr Entry Letters[] = {
    {U'Ä', U'Ä', {"Æ", "A"}, 2},  {U'Æ', U'Æ', {"Ä", "AE"}, 2}, {U'Ð', U'Ð', {"D"}, 1},
    {U'Ö', U'Ö', {"Ø", "O"}, 2},  {U'×', U'×', {"x"}, 1},       {U'Ø', U'Ø', {"Ö", "O"}, 2},
    {U'Þ', U'Þ', {"TH"}, 1},      {U'ß', U'ß', {"ss"}, 1},      {U'ä', U'ä', {"æ", "a"}, 2},
    {U'æ', U'æ', {"ä", "ae"}, 2}, {U'ð', U'ð', {"d"}, 1},       {U'ö', U'ö', {"ø", "o"}, 2},
    {U'÷', U'÷', {"/"}, 1},       {U'ø', U'ø', {"ö", "o"}, 2},  {U'þ', U'þ', {"th"}, 1},
    {U'Đ', U'Đ', {"D"}, 1},       {U'đ', U'đ', {"d"}, 1},       {U'Ħ', U'Ħ', {"H"}, 1},
    {U'ħ', U'ħ', {"h"}, 1},       {U'ı', U'ı', {"i"}, 1},       {U'Ĳ', U'Ĳ', {"IJ"}, 1},
    {U'ĳ', U'ĳ', {"ij"}, 1},      {U'ĸ', U'ĸ', {"k"}, 1},       {U'Ŀ', U'Ŀ', {"L"}, 1},
    {U'ŀ', U'ŀ', {"l"}, 1},       {U'Ł', U'Ł', {"L"}, 1},       {U'ł', U'ł', {"l"}, 1},
    {U'ŉ', U'ŉ', {"'n"}, 1},      {U'Ŋ', U'Ŋ', {"N"}, 1},       {U'ŋ', U'ŋ', {"n"}, 1},
    {U'Œ', U'Œ', {"OE"}, 1},      {U'œ', U'œ', {"oe"}, 1},      {U'Ŧ', U'Ŧ', {"T"}, 1},
    {U'ŧ', U'ŧ', {"t"}, 1},       {U'ſ', U'ſ', {"s"}, 1},       {U'Ș', U'Ș', {"S"}, 1},
    {U'ș', U'ș', {"s"}, 1},       {U'Ț', U'Ț', {"T"}, 1},       {U'ț', U'ț', {"t"}, 1},
};

// Everything else with a readable ASCII form, in code point order.
constexpr Entry Others[] = {
    {0x00, 0x08, {""}, 1},       {'\t', '\t', {" "}, 1},      {0x0B, 0x0C, {""}, 1},
    {0x0E, 0x1F, {""}, 1},       {'$', '$', {"USD"}, 1},      {'@', '@', {"(at)"}, 1},
    {'[', '[', {"("}, 1},        {'\\', '\\', {"/"}, 1},      {']', ']', {")"}, 1},
    {'^', '^', {"'"}, 1},        {'`', '`', {"'"}, 1},        {'{', '{', {"("}, 1},
    {'|', '|', {"/"}, 1},        {'}', '}', {")"}, 1},        {'~', '~', {"-"}, 1},
    {0x7F, 0x9F, {""}, 1},       {0xA0, 0xA0, {" "}, 1},      {U'¡', U'¡', {"!"}, 1},
    {U'¢', U'¢', {"c"}, 1},      {U'£', U'£', {"GBP"}, 1},    {U'¥', U'¥', {"Y"}, 1},
    {U'¦', U'¦', {"|", "/"}, 2}, {U'§', U'§', {"S"}, 1},      {U'¨', U'¨', {"\""}, 1},
    {U'©', U'©', {"(c)"}, 1},    {U'ª', U'ª', {"a"}, 1},      {U'«', U'«', {"\""}, 1},
    {U'¬', U'¬', {"-"}, 1},      {0xAD, 0xAD, {""}, 1},       {U'®', U'®', {"(R)"}, 1},
    {U'¯', U'¯', {"-"}, 1},      {U'°', U'°', {"deg"}, 1},    {U'±', U'±', {"+/-"}, 1},
    {U'²', U'²', {"2"}, 1},      {U'³', U'³', {"3"}, 1},      {U'´', U'´', {"'"}, 1},
    {U'µ', U'µ', {"u"}, 1},      {U'·', U'·', {"."}, 1},      {U'¸', U'¸', {","}, 1},
    {U'¹', U'¹', {"1"}, 1},      {U'º', U'º', {"o"}, 1},      {U'»', U'»', {"\""}, 1},
    {U'¼', U'¼', {"1/4"}, 1},    {U'½', U'½', {"1/2"}, 1},    {U'¾', U'¾', {"3/4"}, 1},
    {U'¿', U'¿', {"?"}, 1},      {0x02BC, 0x02BC, {"'"}, 1},  {0x0300, 0x036F, {""}, 1},
    {0x2000, 0x200A, {" "}, 1},  {0x200B, 0x200F, {""}, 1},   {0x2010, 0x2015, {"-"}, 1},
    {0x2018, 0x201B, {"'"}, 1},  {0x201C, 0x201F, {"\""}, 1}, {U'†', U'†', {"+"}, 1},
    {U'•', U'•', {"*"}, 1},      {U'…', U'…', {"..."}, 1},    {0x202F, 0x202F, {" "}, 1},
    {U'′', U'′', {"'"}, 1},      {U'″', U'″', {"\""}, 1},     {U'‹', U'›', {"'"}, 1},
    {U'⁄', U'⁄', {"/"}, 1},      {0x205F, 0x205F, {" "}, 1},  {0x2060, 0x2060, {""}, 1},
    {U'€', U'€', {"EUR"}, 1},    {U'™', U'™', {"TM"}, 1},     {U'←', U'←', {"<-"}, 1},
    {U'→', U'→', {"->"}, 1},     {U'−', U'−', {"-"}, 1},      {U'∕', U'∕', {"/"}, 1},
    {U'≠', U'≠', {"!="}, 1},     {U'≤', U'≤', {"<="}, 1},     {U'≥', U'≥', {">="}, 1},
    {0x3000, 0x3000, {" "}, 1},  {0xFEFF, 0xFEFF, {""}, 1},
};

constexpr bool sorted(std::span<const Entry> table) {
    for (std::size_t i = 1; i < table.size(); ++i)
        if (table[i].first <= table[i - 1].last || table[i].last < table[i].first)
            return false;
    return true;
}
static_assert(sorted(Letters) && sorted(Others));

// Each base letter of the range as a one-letter alternative.
constexpr auto BaseLetters = [] {
    std::array<std::string_view, LatinBase.size()> letters{};
    for (std::size_t i = 0; i < letters.size(); ++i)
        letters[i] = LatinBase.substr(i, 1);
    return letters;
}();

std::span<const std::string_view> find(std::span<const Entry> table, char32_t cp) {
    for (const Entry& e : table) {
        if (cp < e.first)
            break;
        if (cp <= e.last)
            return std::span(e.options).first(e.count);
    }
    return {};
}

char markSymbol(char32_t mark) {
    switch (mark) {
    case 0x300:
        return '`';
    case 0x301:
        return '\'';
    case 0x302:
        return '^';
    case 0x303:
        return '~';
    case 0x304:
        return '-';
    case 0x306:
        return 'u';
    case 0x307:
        return '.';
    case 0x308:
        return ':';
    case 0x30A:
        return 'o';
    case 0x30B:
        return '"';
    case 0x30C:
        return 'v';
    case 0x327:
        return ',';
    case 0x328:
        return 'k';
    default:
        return ' ';
    }
}

} // namespace

std::span<const std::string_view> transliterations(char32_t cp) {
    if (auto letter = find(Letters, cp); !letter.empty())
        return letter;
    if (cp >= 0xC0 && cp < 0x180 && LatinBase[cp - 0xC0] != '*')
        return std::span(&BaseLetters[cp - 0xC0], 1);
    return find(Others, cp);
}

char32_t compose(char32_t base, char32_t mark) {
    const char symbol = markSymbol(mark);
    if (symbol == ' ' || base >= 0x80)
        return 0;
    for (std::size_t i = 0; i < LatinBase.size(); ++i)
        if (LatinBase[i] == static_cast<char>(base) && LatinMark[i] == symbol)
            return static_cast<char32_t>(0xC0 + i);
    return 0;
}

Decoded decodeAt(std::string_view s, std::size_t at) {
    const auto b = static_cast<unsigned char>(s[at]);
    if (b < 0x80)
        return {b, 1, true};
    std::size_t need = 0;
    char32_t cp = 0;
    unsigned char low = 0x80, high = 0xBF; // allowed range of the second byte
    if (b >= 0xC2 && b <= 0xDF) {
        need = 1, cp = b & 0x1F;
    } else if (b >= 0xE0 && b <= 0xEF) {
        need = 2, cp = b & 0x0F;
        low = b == 0xE0 ? 0xA0 : 0x80;
        high = b == 0xED ? 0x9F : 0xBF;
    } else if (b >= 0xF0 && b <= 0xF4) {
        need = 3, cp = b & 0x07;
        low = b == 0xF0 ? 0x90 : 0x80;
        high = b == 0xF4 ? 0x8F : 0xBF;
    } else {
        return {};
    }
    std::size_t i = 1;
    for (; i <= need && at + i < s.size(); ++i) {
        const auto c = static_cast<unsigned char>(s[at + i]);
        if (c < (i == 1 ? low : 0x80) || c > (i == 1 ? high : 0xBF))
            break;
        cp = (cp << 6) | (c & 0x3F);
    }
    if (i <= need)
        return {0, i, false};
    return {cp, need + 1, true};
}

bool isValidUtf8(std::string_view text) {
    for (std::size_t i = 0; i < text.size();) {
        const Decoded d = decodeAt(text, i);
        if (!d.valid)
            return false;
        i += d.length;
    }
    return true;
}

char32_t foldWidth(char32_t cp) {
    return cp >= 0xFF01 && cp <= 0xFF5E ? cp - 0xFEE0 : cp;
}

} // namespace tarvex::charset_tables
