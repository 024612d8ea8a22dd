// Fuzz target: the DAPNET session fed any byte stream as the server's side of the link, in
// pieces, with pages queued or not as the input decides and the link dropped and made again
// now and then. It never crashes, every line it sends is one the server understands and at
// most 2048 bytes, a page is acknowledged '+' only after the caller queued it (or when it is
// the repeat of a page queued before), and '-' only for a page it refuses.
#include "fuzz_check.h"
#include "network/dapnet/dapnet_session.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

using namespace tarvex;
using tarvex::fuzz::quoted;

namespace {

bool isHex(char c, bool upperOnly) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (!upperOnly && c >= 'a' && c <= 'f');
}

/// "#HH x" with upper-case hex; the number, or -1.
int answerNumber(std::string_view line, char kind) {
    if (line.size() != 5 || line[0] != '#' || !isHex(line[1], true) || !isHex(line[2], true) ||
        line[3] != ' ' || line[4] != kind)
        return -1;
    return std::stoi(std::string(line.substr(1, 2)), nullptr, 16);
}

bool has(const DapnetOutput& out, DapnetEventKind kind) {
    for (const DapnetEvent& e : out.events)
        if (e.kind == kind)
            return true;
    return false;
}

class Harness {
public:
    explicit Harness(FuzzedDataProvider& input) : m_input(input) {
        DapnetIdentity id;
        id.version = "3.0.0";
        id.callsign = "fuzz";
        id.authKey = "FuzzKey1";
        m_id = id;
        FUZZ_CHECK(m_session.begin(m_id) == "[Tarvex v3.0.0 fuzz FuzzKey1]", "login line");
    }

    void line(const LineSplitter::Line& line) {
        m_now += m_input.ConsumeIntegralInRange<int64_t>(0, 120'000);
        const DapnetOutput out = line.overlong ? m_session.handleOverlong(line.text)
                                               : m_session.handleLine(line.text, m_now);
        check(out, line.text);
        if (out.page) {
            const int nn = out.page->sequence;
            FUZZ_CHECK(m_session.awaitingDecision(), "a page is waiting");
            if (m_input.ConsumeBool()) {
                const std::string ack = m_session.pageQueued(m_now);
                FUZZ_CHECK(answerNumber(ack, '+') == ((nn + 1) & 0xFF), quoted(ack));
                ++m_queuedCount;
            } else {
                const std::string ack = m_session.pageNotQueued();
                FUZZ_CHECK(answerNumber(ack, '%') == nn, quoted(ack));
            }
            FUZZ_CHECK(!m_session.awaitingDecision(), "answered");
        }
        if (m_input.ConsumeIntegralInRange(0, 15) == 0)
            reconnect("");
    }

    void reconnect(std::string_view unfinished) {
        const DapnetOutput out = m_session.end(unfinished);
        FUZZ_CHECK(out.send.empty() && !out.page, "nothing is sent or queued at the end");
        FUZZ_CHECK(m_session.pageQueued(m_now).empty(), "no page waits after the end");
        m_session.begin(m_id);
    }

private:
    void check(const DapnetOutput& out, std::string_view in) {
        FUZZ_CHECK(!(out.page && !out.send.empty()), "a page is answered only by the caller");
        for (const DapnetEvent& e : out.events)
            FUZZ_CHECK(e.text.size() <= 700, "event text of " + std::to_string(e.text.size()));
        for (const std::string& sent : out.send) {
            FUZZ_CHECK(sent.size() <= DapnetMaxLine, "line of " + std::to_string(sent.size()));
            for (const char c : sent)
                FUZZ_CHECK(c >= 32 && c < 127, quoted(sent));
            if (sent == "+")
                continue;
            if (sent.size() == 11 && sent.starts_with("2:") && sent.ends_with(":0000") &&
                isHex(sent[2], false) && isHex(sent[3], false) && isHex(sent[4], false) &&
                isHex(sent[5], false)) {
                FUZZ_CHECK(in.find(sent.substr(0, 6)) != std::string_view::npos, quoted(sent));
                continue;
            }
            if (answerNumber(sent, '-') >= 0) {
                FUZZ_CHECK(has(out, DapnetEventKind::PageRefused), quoted(sent));
                continue;
            }
            // A '+' here (not from pageQueued) answers a repeat of a page queued before.
            FUZZ_CHECK(answerNumber(sent, '+') >= 0,
                       "not a line the server knows: " + quoted(sent));
            FUZZ_CHECK(has(out, DapnetEventKind::Duplicate), quoted(sent));
            FUZZ_CHECK(m_queuedCount > 0, "acknowledged a repeat with nothing queued");
            const int nn =
                in.size() >= 3 ? std::stoi(std::string(in.substr(1, 2)), nullptr, 16) : -1;
            FUZZ_CHECK(answerNumber(sent, '+') == ((nn + 1) & 0xFF),
                       quoted(sent) + " for " + quoted(in));
        }
    }

    FuzzedDataProvider& m_input;
    DapnetSession m_session;
    DapnetIdentity m_id;
    int m_queuedCount = 0;
    int64_t m_now = 1'700'000'000'000;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider input(data, size);
    Harness harness(input);
    LineSplitter splitter;
    std::vector<LineSplitter::Line> lines;
    while (input.remaining_bytes() > 0) {
        const std::string piece =
            input.ConsumeRandomLengthString(input.ConsumeIntegralInRange<size_t>(1, 3000));
        lines.clear();
        splitter.feed(piece, lines);
        FUZZ_CHECK(splitter.pending().size() <= DapnetMaxLine + 1, "pending bytes bounded");
        for (const LineSplitter::Line& line : lines) {
            FUZZ_CHECK(line.text.size() <= DapnetMaxLine,
                       "line of " + std::to_string(line.text.size()));
            FUZZ_CHECK(line.text.find('\n') == std::string::npos, quoted(line.text));
            harness.line(line);
        }
    }
    harness.reconnect(splitter.pending());
    return 0;
}
