#pragma once
// The station's health as monitoring sees it: from the engine's status and the inputs' facts,
// the faults with their level (OK, WARNING, CRITICAL, as monitoring plugins exit), a one-line
// summary naming every fault, and the same facts as one JSON object and as Prometheus
// metrics. Standard C++ only.
#include "station/station.h"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace tarvex {

enum class HealthState { Ok = 0, Warning = 1, Critical = 2, Unknown = 3 };

/// A JSON string: quotes, backslashes and control characters escaped.
std::string jsonText(std::string_view text);

/// "OK", "WARNING", "CRITICAL", "UNKNOWN".
std::string_view healthStateName(HealthState state);

struct InputHealth {
    std::string name; ///< "SNPP", "WCTP"
    bool enabled = false;
    bool listening = false;
    std::string text; ///< where it listens, or why not
};

/// What the station did since it started.
struct HealthCounters {
    uint64_t keyUps = 0;
    uint64_t keyedMs = 0;
    uint64_t pagesSent = 0;   ///< played whole and keyed
    uint64_t pagesFailed = 0; ///< refused, not played, cut short or not keyed
    /// The failed pages by reason: "refused", "not played", "stopped", "keying failed".
    std::map<std::string, uint64_t> failedBy;
};

/// Adds one transmission's outcome to the counters.
void countOutcome(HealthCounters& counters, const TxOutcome& outcome);

struct HealthFacts {
    StationStatus station;
    std::vector<InputHealth> inputs;
    std::size_t waiting = 0;                    ///< pages in the page queue
    bool autoSend = false;                      ///< auto send is on
    std::size_t autoSendWaiting = 0;            ///< entries it took and has not yet sent
    std::map<std::string, uint64_t> acceptedBy; ///< pages the page queue took, by source
    int64_t oldestWaitingSeconds = -1;          ///< the oldest of them (-1: none)
    int64_t maxWaitSeconds = 600;               ///< older than this is a warning
    bool directoryNeeded = false;               ///< SNPP or WCTP runs
    std::string directoryProblem; ///< why there is no pager directory; empty when loaded
    bool dapnetEnabled = false;
    bool dapnetOnline = false;
    std::string dapnetState; ///< "online", "waiting to reconnect", ...
    std::string clockWarning;
    bool monitorRunning = false;
    bool monitorAlarm = false;
    uint64_t confirmed = 0;
    uint64_t notHeard = 0;
    HealthCounters counters;
    std::string version;
};

struct HealthFault {
    HealthState level = HealthState::Critical;
    std::string reason;
};

/// Every fault the facts show, CRITICAL ones first.
std::vector<HealthFault> healthFaults(const HealthFacts& facts);
/// The worst level among them; OK when there is none.
HealthState healthState(const std::vector<HealthFault>& faults);
/// "CRITICAL: audio wav:x failing: ...; SNPP not listening: ..." or "OK: idle, queue 0".
std::string healthSummary(const HealthFacts& facts, const std::vector<HealthFault>& faults);
/// The facts and faults as one JSON object (text from outside escaped as JSON requires).
std::string healthJson(const HealthFacts& facts, const std::vector<HealthFault>& faults);
/// The same facts in the Prometheus text format (version 0.0.4), every metric named tarvex_*.
std::string healthMetrics(const HealthFacts& facts, const std::vector<HealthFault>& faults);

} // namespace tarvex
