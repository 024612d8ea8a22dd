#include "network/dapnet/dapnet_session.h"

#include "encoder/codeword.h"
#include "encoder/page_encoder.h"

#include <cstdio>
#include <exception>
#include <utility>

namespace tarvex {

namespace {

/// 1..maxDigits hex digits and nothing else.
std::optional<uint32_t> hexNumber(std::string_view text, std::size_t maxDigits) {
    if (text.empty() || text.size() > maxDigits)
        return std::nullopt;
    uint32_t value = 0;
    for (const char c : text) {
        const int d = hexDigitValue(c);
        if (d < 0)
            return std::nullopt;
        value = value * 16 + static_cast<uint32_t>(d);
    }
    return value;
}

std::string hex2(int value) {
    char text[3];
    std::snprintf(text, sizeof text, "%02X", value & 0xFF);
    return text;
}

std::string_view trimmed(std::string_view text) {
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string_view::npos)
        return {};
    const auto last = text.find_last_not_of(" \t\r");
    return text.substr(first, last - first + 1);
}

/// The sequence number of a line that starts "#NN ".
std::optional<int> pageSequence(std::string_view line) {
    if (line.size() < 4 || line[0] != '#' || line[3] != ' ')
        return std::nullopt;
    const auto value = hexNumber(line.substr(1, 2), 2);
    return value ? std::optional<int>(static_cast<int>(*value)) : std::nullopt;
}

/// Splits off the text up to the next ':' (all of it when there is none).
std::string_view field(std::string_view& rest) {
    const auto colon = rest.find(':');
    const std::string_view head = rest.substr(0, colon);
    rest = colon == std::string_view::npos ? std::string_view{} : rest.substr(colon + 1);
    return head;
}

/// Reads "T:S:RRRRRR:F:TEXT"; the reason it cannot be read otherwise.
std::string readPageBody(std::string_view body, DapnetPage& page) {
    const std::string_view type = field(body);
    const std::string_view speed = field(body);
    const std::string_view ric = field(body);
    const std::string_view function = field(body);
    if (type != "5" && type != "6")
        return "type is not 5 (numeric) or 6 (alphanumeric)";
    const auto speedCode = hexNumber(speed, 2);
    if (!speedCode || *speedCode > 2)
        return "speed is not 0, 1 or 2";
    const auto ricValue = hexNumber(ric, 8);
    if (!ricValue || *ricValue > static_cast<uint32_t>(MaxRic))
        return "RIC is not hexadecimal 0 to 1FFFFF";
    if (function.size() != 1 || function[0] < '0' || function[0] > '3')
        return "function bits are not 0 to 3";
    static constexpr int bauds[] = {512, 1200, 2400};
    page.ric = *ricValue;
    page.page.ric = std::to_string(*ricValue);
    page.page.coding = type == "5" ? Coding::Numeric : Coding::Alphanumeric;
    page.page.baud = bauds[*speedCode];
    page.page.functionBits = function[0] - '0';
    page.page.message = dapnetPagerText(body, &page.replaced);
    page.key = std::string(type) + ':' + std::to_string(*speedCode) + ':' +
               std::to_string(*ricValue) + ':' + std::string(function) + ':' + std::string(body);
    return {};
}

DapnetEvent event(DapnetEventKind kind, std::string text, int64_t value = 0,
                  TimeSlots allowed = {}) {
    DapnetEvent e;
    e.kind = kind;
    e.text = std::move(text);
    e.value = value;
    e.allowed = allowed;
    return e;
}

std::string describePage(const DapnetPage& p) {
    std::string text = "page #" + hex2(p.sequence) + " for RIC " + p.page.ric + " (" +
                       (p.page.coding == Coding::Numeric ? "numeric" : "alphanumeric") + ", " +
                       std::to_string(p.page.baud) + " bit/s, function " +
                       std::to_string(p.page.functionBits) + ", " +
                       std::to_string(p.page.message.size()) + " characters";
    if (p.replaced > 0)
        text += ", " + std::to_string(p.replaced) + " outside 7-bit ASCII replaced by '?'";
    return text + ")";
}

} // namespace

// ---- DapnetSession ------------------------------------------------------------------------

DapnetSession::DapnetSession(int64_t repeatWindowMs) : m_repeatWindowMs(repeatWindowMs) {}

std::string DapnetSession::begin(const DapnetIdentity& id) {
    m_state = State::LoggingIn;
    m_expected.reset();
    m_pending.reset();
    m_firstPage = true;
    if (m_unconfirmed)
        m_unconfirmed->sameConnection = false;
    return dapnetLoginLine(id);
}

DapnetOutput DapnetSession::handleLine(std::string_view line, int64_t nowMs) {
    DapnetOutput out;
    if (!line.empty() && line[0] == '#') {
        handlePage(line, nowMs, out);
        return out;
    }
    const std::string_view text = trimmed(line);
    if (text.empty())
        return out;
    if (text.starts_with("2:"))
        handleTimeSync(text.substr(2), out);
    else if (text.starts_with("3:"))
        handleCorrection(text.substr(2), text, out);
    else if (text.starts_with("4:"))
        handleSlots(text.substr(2), text, out);
    else if (text == "7" || text.starts_with("7 ") || text.starts_with("07 "))
        handleRefusal(text.substr(text.find(' ') == std::string_view::npos ? 1 : text.find(' ')),
                      out);
    else
        out.events.push_back(
            event(DapnetEventKind::Garbage,
                  "unexpected line from the server ignored: " + dapnetPrintable(text)));
    return out;
}

void DapnetSession::handleTimeSync(std::string_view digits, DapnetOutput& out) {
    const auto time = digits.size() == 4 ? hexNumber(digits, 4) : std::nullopt;
    if (!time) {
        out.events.push_back(event(DapnetEventKind::Garbage,
                                   "time sync line not understood: 2:" + dapnetPrintable(digits)));
        return;
    }
    // The server compares the echo with what it sent, so its digits go back unchanged.
    out.send.push_back("2:" + std::string(digits) + ":0000");
    out.send.push_back("+");
    out.events.push_back(
        event(DapnetEventKind::TimeSync, "time sync " + std::string(digits), *time));
}

void DapnetSession::handleCorrection(std::string_view body, std::string_view line,
                                     DapnetOutput& out) {
    // "+HHHH" / "-HHHH"; older servers put a ':' after the sign.
    std::optional<uint32_t> tenths;
    if (!body.empty() && (body[0] == '+' || body[0] == '-')) {
        std::string_view digits = body.substr(1);
        if (digits.starts_with(':'))
            digits.remove_prefix(1);
        tenths = hexNumber(digits, 4);
    }
    if (!tenths) {
        out.events.push_back(event(DapnetEventKind::Garbage,
                                   "time correction not understood: " + dapnetPrintable(line)));
        return;
    }
    const int64_t value = body[0] == '-' ? -static_cast<int64_t>(*tenths) : *tenths;
    char text[96];
    std::snprintf(text, sizeof text, "time correction %+.1f s from the server (logged only)",
                  static_cast<double>(value) / 10.0);
    out.send.push_back("+");
    out.events.push_back(event(DapnetEventKind::TimeCorrection, text, value));
}

void DapnetSession::handleSlots(std::string_view digits, std::string_view line, DapnetOutput& out) {
    const std::optional<TimeSlots> slots = TimeSlots::parse(digits);
    if (!slots) {
        out.events.push_back(event(DapnetEventKind::Garbage,
                                   "slot assignment not understood: " + dapnetPrintable(line)));
        return;
    }
    m_slots = *slots;
    m_slotsAssigned = true;
    out.send.push_back("+");
    const std::string list = slots->none() ? "none" : slots->text();
    out.events.push_back(event(DapnetEventKind::Slots, "allowed slots " + list, 0, *slots));
    if (m_state != State::Online) {
        m_state = State::Online;
        out.events.push_back(
            event(DapnetEventKind::Online, "online, allowed slots " + list, 0, *slots));
    }
}

void DapnetSession::handleRefusal(std::string_view reason, DapnetOutput& out) {
    m_state = State::Refused;
    const std::string text = dapnetPrintable(trimmed(reason), 240);
    out.events.push_back(
        event(DapnetEventKind::Refusal, text.empty() ? "(no reason given)" : text));
}

bool DapnetSession::isRepeat(int sequence, const std::string& key, int64_t nowMs,
                             bool firstPage) const {
    if (!m_unconfirmed || m_unconfirmed->key != key ||
        nowMs - m_unconfirmed->ackedAtMs > m_repeatWindowMs)
        return false;
    return m_unconfirmed->sameConnection ? sequence == m_unconfirmed->sequence : firstPage;
}

namespace {

/// Why the page could never be sent (too long for its RIC and coding, an address that is a
/// sync or idle codeword), checked as the transmitter will check it; empty when it can be.
/// The acknowledgement promises the page will go out, so such a page is refused at once.
std::string unsendable(const PageParams& page) {
    static const PageEncoder encoder;
    try {
        encoder.checkPage(page);
    } catch (const std::exception& e) {
        return e.what();
    }
    return {};
}

} // namespace

void DapnetSession::handlePage(std::string_view line, int64_t nowMs, DapnetOutput& out) {
    const std::optional<int> sequence = pageSequence(line);
    if (!sequence) {
        out.events.push_back(
            event(DapnetEventKind::Garbage,
                  "page line without a sequence number ignored: " + dapnetPrintable(line)));
        return;
    }
    const int nn = *sequence;
    const std::optional<int> expected = m_expected;
    if (m_pending) {
        out.events.push_back(event(DapnetEventKind::Garbage,
                                   "page #" + hex2(nn) + " came before #" +
                                       hex2(m_pending->sequence) + " was answered; ignored"));
        return;
    }
    DapnetPage page;
    page.sequence = nn;
    std::string problem = readPageBody(line.substr(4), page);
    if (problem.empty())
        problem = unsendable(page.page);
    const bool first = std::exchange(m_firstPage, false);
    m_expected = (nn + 1) & 0xFF;
    if (!problem.empty()) {
        m_unconfirmed.reset(); // a new page line: the last acknowledgement arrived
        out.send.push_back("#" + hex2(nn) + " -");
        out.events.push_back(
            event(DapnetEventKind::PageRefused, "page #" + hex2(nn) + " refused: " + problem));
        return;
    }
    if (isRepeat(nn, page.key, nowMs, first)) {
        // Its acknowledgement may not have arrived; the new one may be lost as well.
        m_unconfirmed = Accepted{nn, page.key, nowMs, true};
        out.send.push_back("#" + hex2(nn + 1) + " +");
        out.events.push_back(event(DapnetEventKind::Duplicate,
                                   describePage(page) + " is already queued; acknowledged again"));
        return;
    }
    m_unconfirmed.reset();
    if (expected && *expected != nn)
        out.events.push_back(
            event(DapnetEventKind::SequenceGap,
                  "page #" + hex2(nn) + " where #" + hex2(*expected) + " was expected; taken"));
    out.events.push_back(event(DapnetEventKind::Page, describePage(page)));
    m_pending = page;
    out.page = std::move(page);
}

DapnetOutput DapnetSession::handleOverlong(std::string_view prefix) {
    DapnetOutput out;
    const std::string what = "line longer than " + std::to_string(DapnetMaxLine) + " bytes";
    if (const std::optional<int> nn = pageSequence(prefix); nn && !m_pending) {
        // The server waits for an answer before its next page: refuse this one.
        m_unconfirmed.reset();
        m_firstPage = false;
        m_expected = (*nn + 1) & 0xFF;
        out.send.push_back("#" + hex2(*nn) + " -");
        out.events.push_back(event(DapnetEventKind::Overlong, what + " (page #" + hex2(*nn) + ")"));
        out.events.push_back(
            event(DapnetEventKind::PageRefused, "page #" + hex2(*nn) + " refused: " + what));
        return out;
    }
    out.events.push_back(
        event(DapnetEventKind::Overlong, what + " ignored: " + dapnetPrintable(prefix) + "…"));
    return out;
}

DapnetOutput DapnetSession::end(std::string_view unfinished) {
    DapnetOutput out;
    const std::string_view text = trimmed(unfinished);
    if (text.starts_with("7 ") || text.starts_with("07 ")) {
        handleRefusal(text.substr(text.find(' ')), out);
    } else if (!text.empty()) {
        out.events.push_back(
            event(DapnetEventKind::Garbage,
                  "unfinished line dropped when the link ended: " + dapnetPrintable(text, 40)));
    }
    m_pending.reset();
    if (m_state != State::Refused)
        m_state = State::Idle;
    return out;
}

std::string DapnetSession::pageQueued(int64_t nowMs) {
    if (!m_pending)
        return {};
    const int nn = m_pending->sequence;
    m_unconfirmed = Accepted{nn, m_pending->key, nowMs, true};
    m_expected = (nn + 1) & 0xFF;
    m_pending.reset();
    return "#" + hex2(nn + 1) + " +";
}

std::string DapnetSession::pageNotQueued() {
    if (!m_pending)
        return {};
    const int nn = m_pending->sequence;
    m_expected = nn; // the server sends the same page again with the same number
    m_pending.reset();
    return "#" + hex2(nn) + " %";
}

} // namespace tarvex
