#pragma once
// What the off-air monitor is told and what it tells back: the record of each transmission
// the station keys (its pages as they were handed to the encoder), the verdict on each page,
// decodes of pages the station did not send, and the alarm after pages in a row not heard.
// Times are milliseconds on the monotonic clock of monotonicMs(). Standard C++ only.
#include "encoder/page_encoder.h"
#include "monitor/multimon_line.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tarvex {

/// Milliseconds on the system's monotonic clock (std::chrono::steady_clock, CLOCK_MONOTONIC
/// on Linux): the clock of every time the monitor is given or reports.
int64_t monotonicMs();

/// One page of a transmission.
struct PageRecord {
    uint32_t ric = 0;
    int functionBits = 3;
    Coding coding = Coding::Alphanumeric;
    std::string bytes;   ///< the message exactly as handed to the encoder (numeric "": tone only)
    std::string charset; ///< the pager's character set ("de", ...), carried into the verdict
};

/// One keying of the transmitter: what went out between key-up and release.
struct TransmissionRecord {
    uint64_t id = 0;        ///< the engine's own number; unique among open transmissions
    int64_t keyUpMs = 0;    ///< when the transmitter was keyed
    int64_t releaseMs = -1; ///< when it was released; -1 until released() says so
    int baud = 1200;
    bool inverted = false;
    std::vector<PageRecord> pages;
};

enum class Verdict { Confirmed, NotHeard };

/// "confirmed" or "not heard": the words of the page log, the status line and the log.
const char* verdictText(Verdict verdict);

struct PageVerdict {
    uint64_t transmissionId = 0;
    std::size_t pageIndex = 0; ///< position of the page in its transmission
    PageRecord page;
    int baud = 1200;
    bool inverted = false;
    Verdict verdict = Verdict::NotHeard;
    int64_t decidedMs = 0;  ///< when the verdict was reached
    int64_t releaseMs = -1; ///< the transmission's release (-1: it never said)
    /// Confirmed: the decode's arrival less the release (negative when the page was decoded
    /// while the transmitter was still keyed, e.g. the first of two pages).
    int64_t sinceReleaseMs = 0;
    /// Confirmed: the text as decoded. Not heard: the text of a decode with the same RIC and
    /// function bits whose text differed (a garbled reception), else empty.
    std::string heardText;
    bool heardGarbled = false; ///< not heard, but the address was decoded (heardText holds it)
};

/// A page decoded that the station did not send in any open window: another station on the
/// channel. Both renderings are kept when the decoder gave both.
struct HeardElsewhere {
    int64_t timeMs = 0;
    int baud = 0;
    uint32_t ric = 0;
    int functionBits = 0;
    bool toneOnly = false;
    std::string alphaText;   ///< empty when not decoded as alphanumeric
    std::string numericText; ///< empty when not decoded as numeric
    bool hasAlpha = false;
    bool hasNumeric = false;
    /// The likelier rendering: numeric for function bits 0, alphanumeric otherwise (the
    /// common use of the bits), else whichever was decoded.
    const std::string& text() const;
};

struct AlarmEvent {
    bool raised = false; ///< true: raised; false: cleared by a confirmed page
    int64_t timeMs = 0;
    int consecutive = 0;             ///< pages in a row not heard when raised
    std::vector<PageVerdict> missed; ///< raised: the pages that made it (oldest first)
    PageVerdict clearedBy;           ///< cleared: the confirmed page
};

/// Receives the monitor's events; every method has an empty default.
class OffAirListener {
public:
    virtual ~OffAirListener() = default;
    virtual void pageDecided(const PageVerdict&) {}
    virtual void heardElsewhere(const HeardElsewhere&) {}
    virtual void alarmChanged(const AlarmEvent&) {}
};

} // namespace tarvex
