// Fuzz target: one entry-format line, as the message list and auto send hand it over.
// The parser never throws; a refused line gets exactly one of the seven messages, the one
// that belongs to the field where it stopped; an accepted line keeps its RIC and message
// as written, the RIC in range, and the encoder takes the RIC it passed.
#include "encoder/codeword.h"
#include "encoder/page_encoder.h"
#include "fuzz_check.h"
#include "paging/entry_format.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

using namespace tarvex;
using tarvex::fuzz::quoted;

namespace {

/// The progress at which each message may be given.
EntryProgress progressOf(const std::string& message) {
    namespace m = entry_messages;
    if (message == m::Format || message == m::FunctionBits)
        return EntryProgress::None;
    if (message == m::Coding)
        return EntryProgress::FunctionBits;
    if (message == m::Baud)
        return EntryProgress::Coding;
    if (message == m::Polarity)
        return EntryProgress::Baud;
    if (message == m::RicRange || message == m::RicNotNumber)
        return EntryProgress::Polarity;
    return EntryProgress::Complete; // not one of the seven
}

char upper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

/// The fields that passed must hold what the line says, read here position by position.
void checkFieldsPassed(std::string_view line, const EntryParse& p) {
    const auto at = [&](std::size_t i) { return upper(line[i]); };
    if (p.progress >= EntryProgress::FunctionBits)
        FUZZ_CHECK(p.entry.functionBits == (at(0) - '0') * 2 + (at(1) - '0'), quoted(line));
    if (p.progress >= EntryProgress::Coding)
        FUZZ_CHECK((p.entry.coding == Coding::Numeric) == (at(2) == 'N'), quoted(line));
    if (p.progress >= EntryProgress::Baud) {
        const int written =
            (at(3) - '0') * 1000 + (at(4) - '0') * 100 + (at(5) - '0') * 10 + (at(6) - '0');
        FUZZ_CHECK(p.entry.baud == written, quoted(line));
        FUZZ_CHECK(written == 512 || written == 1200 || written == 2400, quoted(line));
    }
    if (p.progress >= EntryProgress::Polarity)
        FUZZ_CHECK(p.entry.inverted == (at(7) == 'I'), quoted(line));
}

void checkRefusal(std::string_view line, const EntryParse& p) {
    FUZZ_CHECK(p.error.has_value(), quoted(line));
    const EntryProgress expected = progressOf(*p.error);
    FUZZ_CHECK(expected != EntryProgress::Complete, "unknown message " + quoted(*p.error));
    FUZZ_CHECK(p.progress == expected, quoted(line) + " gave " + quoted(*p.error));
    const bool short_ = line.size() < EntryMinLength;
    FUZZ_CHECK(short_ == (*p.error == std::string(entry_messages::Format)), quoted(line));
    if (p.progress == EntryProgress::Polarity) {
        const auto ric = fuzz::referenceDecimal(line.substr(8, 7));
        const bool range = *p.error == std::string(entry_messages::RicRange);
        FUZZ_CHECK(range == ric.has_value(), quoted(line) + " gave " + quoted(*p.error));
        FUZZ_CHECK(!ric || *ric < 0 || *ric > MaxRic, quoted(line));
    }
}

/// The entry written back in the canonical form of the format.
std::string canonicalLine(const PageEntry& e) {
    std::string line;
    line += static_cast<char>('0' + e.functionBits / 2);
    line += static_cast<char>('0' + e.functionBits % 2);
    line += e.coding == Coding::Alphanumeric ? 'A' : 'N';
    line += e.baud == 512 ? "0512" : std::to_string(e.baud);
    line += e.inverted ? 'I' : 'N';
    return line + e.ric + e.message;
}

void checkAccepted(std::string_view line, const EntryParse& p) {
    FUZZ_CHECK(!p.error.has_value(), quoted(line) + " accepted with " + quoted(*p.error));
    FUZZ_CHECK(line.size() >= EntryMinLength, quoted(line));
    FUZZ_CHECK(p.entry.ric.size() == 7 && p.entry.ric == line.substr(8, 7), quoted(line));
    FUZZ_CHECK(p.entry.message == line.substr(EntryMinLength), quoted(line));
    const auto ric = fuzz::referenceDecimal(p.entry.ric);
    FUZZ_CHECK(ric && *ric >= 0 && *ric <= MaxRic, quoted(line));

    const PageParams page = toPageParams(p.entry);
    FUZZ_CHECK(page.ric == p.entry.ric && page.message == p.entry.message &&
                   page.functionBits == p.entry.functionBits && page.baud == p.entry.baud &&
                   page.coding == p.entry.coding && page.inverted == p.entry.inverted,
               quoted(line));

    // The encoder reads the RIC the parser let through, to the same number.
    PageEncoder encoder;
    const Codeword address = encoder.BuildAddressCodeword(page.ric, page.functionBits);
    FUZZ_CHECK(address == addressCodeword(static_cast<uint32_t>(*ric), page.functionBits),
               quoted(line));
    FUZZ_CHECK(isValidCodeword(address) && encoder.FrameNumber == *ric % 8, quoted(line));

    const EntryParse again = parsePageEntry(canonicalLine(p.entry));
    FUZZ_CHECK(again.ok() && again.entry.ric == p.entry.ric &&
                   again.entry.message == p.entry.message &&
                   again.entry.functionBits == p.entry.functionBits &&
                   again.entry.coding == p.entry.coding && again.entry.baud == p.entry.baud &&
                   again.entry.inverted == p.entry.inverted,
               quoted(line) + " written back as " + quoted(canonicalLine(p.entry)));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const std::string_view line(reinterpret_cast<const char*>(data), size);
    EntryParse p;
    try {
        p = parsePageEntry(line);
    } catch (...) {
        fuzz::propertyFailed(__FILE__, __LINE__, "parsePageEntry threw", quoted(line));
    }
    FUZZ_CHECK(p.ok() == (p.progress == EntryProgress::Complete), quoted(line));
    checkFieldsPassed(line, p);
    if (p.ok())
        checkAccepted(line, p);
    else
        checkRefusal(line, p);
    return 0;
}
