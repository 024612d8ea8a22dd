#pragma once
// The words the station shows for the off-air monitor: the marker after a page's line in the
// page log, one-line texts for the status line and the service log, the lines of
// `tarvex-cli status`, and the environment the alarm command gets (page text travels only
// there, never in a command line). Standard C++ only.
#include "monitor/offair_events.h"
#include "monitor/offair_matcher.h"

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace tarvex {

/// " - confirmed" or " - not heard": what follows a page's line in the page log.
std::string pageLogMarker(Verdict verdict);

/// "Off-air: RIC 1234567 F3 1200 bit/s "text" confirmed 420 ms after release" and the like.
std::string verdictLine(const PageVerdict& verdict);
/// "Off-air: heard from elsewhere: RIC 99 F3 1200 bit/s "text"".
std::string elsewhereLine(const HeardElsewhere& heard);
/// "OFF-AIR ALARM: 3 pages in a row not heard (last RIC 1234567)" or
/// "Off-air alarm cleared: RIC 1234567 confirmed".
std::string alarmLine(const AlarmEvent& alarm);

/// A page's text made printable and free of NUL: control codes as the decoder names them.
std::string printableText(const PageRecord& page);

/// What the monitor is doing, for `tarvex-cli status` and the window.
struct MonitorStatus {
    enum class State { Off, Starting, Running, Failed };
    State state = State::Off;
    std::string input;                 ///< the input as configured
    std::vector<std::string> decoders; ///< "alpha pid 1234", one per decoder process
    std::string problem;               ///< the last failure, empty before the first
    int64_t problemMs = -1;            ///< when it was reported
    int64_t lastDecodeMs = -1;
    int64_t lastAudioMs = -1; ///< when the input last delivered audio
    OffAirMatcher::Counts counts;
    uint64_t decoderRestarts = 0;
    uint64_t inputRestarts = 0;
    bool alarmRaised = false;
    int consecutiveNotHeard = 0;
    std::string lastVerdict; ///< verdictLine() of the latest page, empty before the first
};

const char* stateText(MonitorStatus::State state);

/// The status as a few lines without line ends, times relative to nowMs.
std::vector<std::string> statusLines(const MonitorStatus& status, int64_t nowMs);

/// Most pages listed one by one in the alarm command's environment.
inline constexpr std::size_t MaxAlarmPagesInEnvironment = 20;

/// The alarm command's environment: TARVEX_ALARM (raised|cleared), TARVEX_ALARM_SUMMARY,
/// TARVEX_ALARM_COUNT, TARVEX_ALARM_PAGES (count listed) and for each page i from 1
/// TARVEX_ALARM_RIC_i, TARVEX_ALARM_FUNC_i, TARVEX_ALARM_BAUD_i, TARVEX_ALARM_TEXT_i.
std::vector<std::pair<std::string, std::string>> alarmEnvironment(const AlarmEvent& alarm);

} // namespace tarvex
