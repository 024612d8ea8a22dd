#pragma once
// The DAPNET transmitter protocol as a session that reads the server's lines and says what to
// answer: login, time sync, time corrections, slot assignments, pages and their
// acknowledgements, refusals. It holds no socket and reads no clock: the link feeds it lines
// and the time, and tells it whether each page reached the durable queue. Standard C++ only.
#include "encoder/page_encoder.h"
#include "network/dapnet/time_slots.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarvex {

/// Longest line either side sends, without its line end.
inline constexpr std::size_t DapnetMaxLine = 2048;
inline constexpr uint16_t DapnetDefaultPort = 43434;

/// Splits the server's byte stream into lines: LF ends a line, a CR before it is dropped. A
/// line longer than DapnetMaxLine is not kept: only its first bytes are, and it comes out
/// marked over-long when its end arrives. Memory stays bounded whatever arrives.
class LineSplitter {
public:
    static constexpr std::size_t OverlongPrefix = 16;
    struct Line {
        std::string text; ///< the line; for an over-long one, its first OverlongPrefix bytes
        bool overlong = false;
    };
    void feed(std::string_view bytes, std::vector<Line>& out);
    /// Bytes received after the last line end (at most DapnetMaxLine + 1 of them).
    const std::string& pending() const { return m_buffer; }
    bool pendingOverlong() const { return m_overlong; }
    void clear();

private:
    std::string m_buffer;
    bool m_overlong = false;
};

/// Who logs in: "[name vVERSION CALLSIGN KEY]".
struct DapnetIdentity {
    std::string name = "Tarvex";
    std::string version;
    std::string callsign;
    std::string authKey;
};

/// Why the server would refuse this login line's form (empty when it is fine). Never quotes
/// the key.
std::string dapnetIdentityProblem(const DapnetIdentity& id);

/// The login line, without line end. Holds the key: never log it.
std::string dapnetLoginLine(const DapnetIdentity& id);

/// A page as the server sent it, ready for the queue.
struct DapnetPage {
    int sequence = 0; ///< NN, 0..255
    uint32_t ric = 0;
    PageParams page;  ///< RIC in decimal, coding, speed, function bits, the text
    int replaced = 0; ///< characters outside 7-bit ASCII that were replaced
    std::string key;  ///< the page's fields and text, for recognising it when sent again
};

/// Pager text from a page's bytes. The DAPNET core sends pager-ready 7-bit bytes (its German
/// set puts Ä Ö Ü ä ö ü ß on [ \ ] { | } ~), so 7-bit bytes go through as they are; UTF-8 Ä Ö
/// Ü ä ö ü ß take the same places and any other character above 127 becomes '?', counted in
/// *replaced.
std::string dapnetPagerText(std::string_view raw, int* replaced);

enum class DapnetEventKind {
    TimeSync,       ///< value: the server's time in tenths of a second, modulo 65536
    TimeCorrection, ///< value: the correction in tenths of a second (logged, not applied)
    Slots,          ///< allowed: the allowed slots now
    Online,         ///< the first slot assignment of this connection arrived
    Page,           ///< a page to queue (DapnetOutput::page)
    Duplicate,      ///< a page already queued came again: acknowledged, not queued again
    SequenceGap,    ///< a page's number was not the one expected (it is taken all the same)
    PageRefused,    ///< a page that cannot be read or is too long: answered '-'
    Refusal,        ///< "7 ...": text is the server's reason
    Garbage,        ///< a line that means nothing here: ignored, unanswered
    Overlong        ///< a line longer than DapnetMaxLine: ignored (a page is answered '-')
};

struct DapnetEvent {
    DapnetEventKind kind = DapnetEventKind::Garbage;
    std::string text; ///< for the log: printable, at most a few hundred bytes, never the key
    int64_t value = 0;
    TimeSlots allowed;
};

struct DapnetOutput {
    std::vector<std::string> send; ///< lines to send, without line end
    std::vector<DapnetEvent> events;
    std::optional<DapnetPage> page; ///< answer with pageQueued() or pageNotQueued()
};

/// Answers, as the server's transmitter handler reads them: "#MM +" (MM = NN + 1) takes the
/// page; "#NN %" makes it send the same page again with the same number (five tries in all);
/// "#NN -" drops it. Lines that mean nothing here get no answer at all: the server closes a
/// link on an answer it does not expect, and it is waiting for nothing then.
///
/// Sequence numbers: the server numbers its pages from 00 on each connection, one more per
/// page, and wraps after FF. A page whose number is not the one expected is reported and
/// still taken (losing a page is worse than a note in the log). The only page taken for a
/// repeat is the last one acknowledged, while no later page has proved that its
/// acknowledgement arrived, when it comes again unchanged: with the same number on the same
/// connection, or as the first page of the next one (within the repeat window). It is
/// acknowledged again and not handed out.
class DapnetSession {
public:
    enum class State { Idle, LoggingIn, Online, Refused };

    /// repeatWindowMs: how long after its acknowledgement a page that came again as the first
    /// page of the next connection is taken for the same page (see pageQueued).
    explicit DapnetSession(int64_t repeatWindowMs = 10 * 60 * 1000);

    /// A new connection: forgets the last one's sequence numbers and returns the login line
    /// (holds the key: never log it).
    std::string begin(const DapnetIdentity& id);
    /// One line from the server, without its line end.
    DapnetOutput handleLine(std::string_view line, int64_t nowMs);
    /// A line that was longer than DapnetMaxLine; prefix holds its first bytes.
    DapnetOutput handleOverlong(std::string_view prefix);
    /// The connection ended. A refusal the server sent without a line end is still reported;
    /// any other unfinished line (such as half a page) is dropped.
    DapnetOutput end(std::string_view unfinished);

    /// The page handed out is in the durable queue: its acknowledgement "#MM +", MM = NN + 1.
    /// Until the server sends another page, the page stays "unconfirmed": should the link
    /// drop, the same page arriving first on the next connection within the repeat window is
    /// acknowledged again without being queued twice.
    std::string pageQueued(int64_t nowMs);
    /// The page could not be queued: "#NN %", on which the server sends it again (a few
    /// times, then gives it up).
    std::string pageNotQueued();
    bool awaitingDecision() const { return m_pending.has_value(); }

    State state() const { return m_state; }
    bool slotsAssigned() const { return m_slotsAssigned; }
    /// The last slots assigned (kept across connections); all slots before the first.
    TimeSlots allowedSlots() const { return m_slots; }

private:
    struct Accepted {
        int sequence = 0;
        std::string key;
        int64_t ackedAtMs = 0;
        bool sameConnection = true;
    };
    void handleTimeSync(std::string_view digits, DapnetOutput& out);
    void handleCorrection(std::string_view body, std::string_view line, DapnetOutput& out);
    void handleSlots(std::string_view digits, std::string_view line, DapnetOutput& out);
    void handleRefusal(std::string_view reason, DapnetOutput& out);
    void handlePage(std::string_view line, int64_t nowMs, DapnetOutput& out);
    bool isRepeat(int sequence, const std::string& key, int64_t nowMs, bool firstPage) const;

    int64_t m_repeatWindowMs;
    State m_state = State::Idle;
    TimeSlots m_slots;
    bool m_slotsAssigned = false;
    std::optional<int> m_expected;
    std::optional<DapnetPage> m_pending;
    std::optional<Accepted> m_unconfirmed;
    bool m_firstPage = true;
};

/// Text for the log: bytes outside printable ASCII as \xNN, cut to `limit` bytes with "…".
std::string dapnetPrintable(std::string_view text, std::size_t limit = 120);

} // namespace tarvex
