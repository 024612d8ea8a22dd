// The station's health verdict: which facts are CRITICAL, which WARNING, and that the
// summary names every fault.
#include "station/health.h"

#include <gtest/gtest.h>

#include <functional>

namespace tarvex {
namespace {

TEST(Health, EachFaultHasItsLevelAndTheSummaryNamesIt) {
    struct Case {
        const char* name;
        std::function<void(HealthFacts&)> make;
        HealthState level;
        const char* summary; ///< a part of the summary
    };
    const Case cases[] = {
        {"fine", [](HealthFacts&) {}, HealthState::Ok, "OK: idle, queue 0"},
        {"audio", [](HealthFacts& f) { f.station.audioError = "gone"; }, HealthState::Critical,
         "CRITICAL: audio  failing: gone"},
        {"keying", [](HealthFacts& f) { f.station.keyingError = "EIO"; }, HealthState::Critical,
         "keying  failing: EIO"},
        {"input down",
         [](HealthFacts& f) {
             f.inputs = {{"SNPP", true, false, "in use"}};
         },
         HealthState::Critical, "SNPP not listening: in use"},
        {"input off",
         [](HealthFacts& f) {
             f.inputs = {{"SNPP", false, false, "SNPP off"}};
         },
         HealthState::Ok, "OK"},
        {"alarm",
         [](HealthFacts& f) {
             f.monitorAlarm = true;
             f.notHeard = 3;
         },
         HealthState::Critical, "off-air alarm: 3 pages not heard"},
        {"no directory",
         [](HealthFacts& f) {
             f.directoryNeeded = true;
             f.directoryProblem = "Pagers.txt: missing";
         },
         HealthState::Critical, "no pager directory: Pagers.txt: missing"},
        {"directory not needed", [](HealthFacts& f) { f.directoryProblem = "missing"; },
         HealthState::Ok, "OK"},
        {"link down",
         [](HealthFacts& f) {
             f.dapnetEnabled = true;
             f.dapnetState = "waiting to reconnect";
         },
         HealthState::Warning, "WARNING: DAPNET link waiting to reconnect"},
        {"clock", [](HealthFacts& f) { f.clockWarning = "clock not synchronised"; },
         HealthState::Warning, "clock not synchronised"},
        {"old page", [](HealthFacts& f) { f.oldestWaitingSeconds = 601; }, HealthState::Warning,
         "oldest waiting page 601 s old"},
        {"page not old yet", [](HealthFacts& f) { f.oldestWaitingSeconds = 600; }, HealthState::Ok,
         "OK"},
        {"both",
         [](HealthFacts& f) {
             f.dapnetEnabled = true;
             f.dapnetState = "refused";
             f.station.audioError = "line\nbreak";
         },
         HealthState::Critical, "CRITICAL: audio  failing: line\\x0abreak; DAPNET link refused"},
    };
    for (const Case& c : cases) {
        HealthFacts facts;
        c.make(facts);
        const auto faults = healthFaults(facts);
        EXPECT_EQ(healthState(faults), c.level) << c.name;
        EXPECT_NE(healthSummary(facts, faults).find(c.summary), std::string::npos)
            << c.name << ": " << healthSummary(facts, faults);
    }
}

TEST(Health, CountersTellSentFromFailedPagesAndAddKeyedTime) {
    HealthCounters c;
    TxOutcome sent;
    sent.played = true;
    sent.keyedAtMs = 1000;
    sent.releasedAtMs = 2500;
    sent.pages.resize(2);
    countOutcome(c, sent);
    TxOutcome notKeyed = sent;
    notKeyed.portError = "EIO";
    countOutcome(c, notKeyed);
    TxOutcome refused;
    refused.built = false;
    countOutcome(c, refused);
    TxOutcome ident;
    ident.kind = TxKind::Ident;
    ident.played = true;
    ident.keyedAtMs = 10;
    ident.releasedAtMs = 510;
    countOutcome(c, ident);
    EXPECT_EQ(c.keyUps, 3u);
    EXPECT_EQ(c.keyedMs, 3500u);
    EXPECT_EQ(c.pagesSent, 2u);
    EXPECT_EQ(c.pagesFailed, 3u);
    EXPECT_EQ(c.failedBy, (std::map<std::string, uint64_t>{{"keying failed", 2}, {"refused", 1}}));
}

} // namespace
} // namespace tarvex
