#include "paging/entry_format.h"

#include "encoder/codeword.h"
#include "encoder/conversions.h"

#include <cstdio>

namespace tarvex {

namespace {

std::string upper(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return out;
}

EntryParse failAt(EntryParse parse, const char* message) {
    parse.error = message;
    return parse;
}

} // namespace

EntryParse parsePageEntry(std::string_view line) {
    EntryParse p;
    if (line.size() < EntryMinLength)
        return failAt(p, entry_messages::Format);

    const std::string fb = upper(line.substr(0, 2));
    const std::string coding = upper(line.substr(2, 1));
    const std::string baud = upper(line.substr(3, 4));
    const std::string polarity = upper(line.substr(7, 1));
    const std::string_view ric = line.substr(8, 7);

    if (fb == "00" || fb == "01" || fb == "10" || fb == "11")
        p.entry.functionBits = (fb[0] - '0') * 2 + (fb[1] - '0');
    else
        return failAt(p, entry_messages::FunctionBits);
    p.progress = EntryProgress::FunctionBits;

    if (coding == "A" || coding == "N")
        p.entry.coding = coding == "A" ? Coding::Alphanumeric : Coding::Numeric;
    else
        return failAt(p, entry_messages::Coding);
    p.progress = EntryProgress::Coding;

    if (baud == "0512" || baud == "1200" || baud == "2400")
        p.entry.baud = baud == "0512" ? 512 : (baud == "1200" ? 1200 : 2400);
    else
        return failAt(p, entry_messages::Baud);
    p.progress = EntryProgress::Baud;

    if (polarity == "N" || polarity == "I")
        p.entry.inverted = polarity == "I";
    else
        return failAt(p, entry_messages::Polarity);
    p.progress = EntryProgress::Polarity;

    const auto code = tryStrToInt(ric);
    if (!code)
        return failAt(p, entry_messages::RicNotNumber);
    if (*code < 0 || *code > MaxRic)
        return failAt(p, entry_messages::RicRange);
    p.entry.ric = std::string(ric);
    p.entry.message = std::string(line.substr(EntryMinLength));
    p.progress = EntryProgress::Complete;
    return p;
}

PageParams toPageParams(const PageEntry& entry) {
    PageParams page;
    page.ric = entry.ric;
    page.functionBits = entry.functionBits;
    page.coding = entry.coding;
    page.baud = entry.baud;
    page.inverted = entry.inverted;
    page.message = entry.message;
    return page;
}

std::optional<std::string> entryLine(const PageParams& page) {
    const auto ric = tryStrToInt(page.ric);
    if (!ric || *ric < 0 || *ric > MaxRic || page.functionBits < 0 || page.functionBits > 3)
        return std::nullopt;
    if (page.message.find_first_of("\r\n") != std::string::npos)
        return std::nullopt;
    char head[32];
    std::snprintf(head, sizeof head, "%d%d%c%04d%c%07d", page.functionBits >> 1,
                  page.functionBits & 1, page.coding == Coding::Numeric ? 'N' : 'A', page.baud,
                  page.inverted ? 'I' : 'N', static_cast<int>(*ric));
    return std::string(head) + page.message;
}

} // namespace tarvex
