#include "station/station_wait.h"

#include <memory>

namespace tarvex {

namespace {

/// How often the wait looks whether the transmission has ended.
constexpr uint32_t WaitStepMs = 10;

/// Chains `finished` to tell `ended` the outcome; the flag outlives the caller's frame, as a
/// queued job may end long after the call returned.
template <typename Job> std::shared_ptr<std::optional<TxOutcome>> watch(Job& job) {
    auto ended = std::make_shared<std::optional<TxOutcome>>();
    job.finished = [ended, inner = std::move(job.finished)](const TxOutcome& out) {
        *ended = out;
        if (inner)
            inner(out);
    };
    return ended;
}

SendResult awaitEnd(Station& station, SendResult result, EventWait& wait,
                    const std::shared_ptr<std::optional<TxOutcome>>& ended) {
    if (result != SendResult::Started)
        return result;
    // What queued behind it while it was on air goes before the wait ends, as it always has.
    while (!ended->has_value() || station.busy())
        wait.DelayMs(WaitStepMs);
    const TxOutcome& out = **ended;
    return !out.built && !out.stopped && !out.closing ? SendResult::Failed : SendResult::Sent;
}

} // namespace

SendResult sendAndWait(Station& station, EventWait& wait, PageJob job) {
    const auto ended = watch(job);
    return awaitEnd(station, station.sendPage(std::move(job)), wait, ended);
}

SendResult tuneUpAndWait(Station& station, EventWait& wait, TuneJob job) {
    const auto ended = watch(job);
    return awaitEnd(station, station.tuneUp(std::move(job)), wait, ended);
}

bool identAndWait(Station& station, EventWait& wait, bool test) {
    if (!station.sendIdent(test))
        return false;
    while (station.status().identInProgress || station.busy())
        wait.DelayMs(WaitStepMs);
    return true;
}

} // namespace tarvex
