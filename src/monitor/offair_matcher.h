#pragma once
// The off-air monitor's judgement, free of any process or clock: each transmission the
// station keys opens a window from key-up to release plus a margin; a decode inside it with a
// page's RIC, function bits and text confirms that page, and a page still unconfirmed when
// the window closes was not heard. Decodes that belong to no window are pages of another
// station. Pages in a row not heard raise an alarm that the next confirmed page clears.
// Time comes in with every call, so tests need no real waiting. Standard C++ only.
#include "monitor/offair_events.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace tarvex {

struct MatcherSettings {
    int marginMs = 1500;         ///< how long after release a decode still counts
    int inputLatencyMs = 0;      ///< the receive path's own delay, added to the margin
    int alarmCount = 3;          ///< pages in a row not heard that raise the alarm (at least 1)
    std::string decoderCharset;  ///< the decoder's -C set ("DE", ...; empty: plain)
    int mergeMs = 500;           ///< a foreign page's other rendering joins it within this
    int64_t maxKeyedMs = 600000; ///< a transmission never released closes this long after key-up
};

/// True when the decode shows the page as it was sent: same RIC and function bits, and the
/// text the decoder prints for the page's bytes (alphanumeric with the decoder's set, numeric
/// digits, or no message for a numeric page without text), apart from the padding the
/// decoder shows after the message (trailing "<EOT>" codes, trailing numeric blanks).
bool decodeMatchesPage(const Decode& decode, const PageRecord& page,
                       std::string_view decoderCharset);

/// The decoder, still in step after a transmission, reads digital silence (a sound card or
/// receiver with its squelch shut) as the all-zero codeword: address 0..7 (its frame),
/// function 0, no message, many times a second. No station pages those addresses tone only.
bool isIdleArtifact(const Decode& decode);

class OffAirMatcher {
public:
    static constexpr std::size_t MaxOpenTransmissions = 256;
    static constexpr std::size_t MaxPagesPerTransmission = 256;
    static constexpr std::size_t MaxPendingElsewhere = 64;
    /// How long after the air a decoder prints what it read (measured: up to about 170 ms
    /// after a page's last codeword, which is at least 100 ms before the release).
    static constexpr int64_t DecoderLagMs = 150;

    struct Counts {
        uint64_t confirmed = 0;
        uint64_t notHeard = 0;
        uint64_t elsewhere = 0;
        uint64_t ignored = 0; ///< artifacts, other renderings and late decodes of own pages
    };

    explicit OffAirMatcher(OffAirListener& listener, MatcherSettings settings = {});

    /// New settings apply to windows that close from now on.
    void setSettings(MatcherSettings settings);
    const MatcherSettings& settings() const { return m_settings; }

    /// The station keyed a transmission. Refused (false, *error) for an id already open or
    /// more than MaxPagesPerTransmission pages. With MaxOpenTransmissions open, the oldest is
    /// decided at once to make room.
    bool expect(TransmissionRecord record, std::string* error = nullptr);
    /// The transmission was released at timeMs; false for an id that is not open. Pages
    /// decoded while it was keyed are reported now, so every verdict knows its release.
    bool released(uint64_t id, int64_t timeMs);
    /// A page the decoder printed, arriving at timeMs.
    void decoded(const Decode& decode, int64_t timeMs);
    /// Decides every window closed by nowMs and reports foreign pages whose merge time passed.
    void poll(int64_t nowMs);
    /// The earliest time at which poll() has something to decide; nullopt when nothing waits.
    std::optional<int64_t> nextDeadline() const;

    Counts counts() const { return m_counts; }
    bool alarmRaised() const { return m_alarmRaised; }
    int consecutiveNotHeard() const { return m_consecutive; }
    std::size_t openTransmissions() const { return m_open.size(); }

private:
    struct PageState {
        bool decided = false;
        bool reported = false;    ///< its verdict went out
        int64_t confirmedMs = -1; ///< when the matching decode came
        std::string heardText;    ///< the matching decode, or the last garbled one
        bool garbled = false;
    };
    struct Open {
        TransmissionRecord record;
        std::vector<PageState> pages;
        bool closed = false; ///< verdicts given; kept a little longer to absorb late renderings
    };
    using Event = std::variant<PageVerdict, HeardElsewhere, AlarmEvent>;

    int64_t windowEnd(const Open& open) const;
    bool claimedByOwnPage(const Decode& decode, int64_t timeMs);
    bool ownSignalMisread(const Decode& decode, int64_t timeMs) const;
    void addElsewhere(const Decode& decode, int64_t timeMs);
    void closeWindow(Open& open, int64_t nowMs);
    void confirm(Open& open, std::size_t index, int64_t timeMs, const std::string& text);
    void report(Open& open, std::size_t index, Verdict verdict, int64_t timeMs);
    void countForAlarm(const PageVerdict& verdict);
    void flush();

    OffAirListener& m_listener;
    MatcherSettings m_settings;
    std::vector<Open> m_open;
    std::vector<HeardElsewhere> m_pending;
    std::vector<Event> m_events;
    std::vector<PageVerdict> m_missed;
    Counts m_counts;
    int m_consecutive = 0;
    bool m_alarmRaised = false;
    bool m_flushing = false;
};

} // namespace tarvex
