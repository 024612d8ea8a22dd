// The station engine's network side: pages from its feed (the durable queue) packed several
// to a transmission, and every key-up planned inside the allowed time slots of a DAPNET
// transmitter, waiting for the next allowed run when the current one is too short.
#include "station/station.h"

#include "encoder/multi_page.h"
#include "signal/wav_image.h"

#include <algorithm>
#include <chrono>
#include <limits>

namespace tarvex {

namespace {

constexpr int64_t Unrestricted = std::numeric_limits<int64_t>::max();

int64_t systemUnixMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

} // namespace

void Station::wake(uint32_t gatherMs) {
    // The weak pointer is never written after construction: other threads may copy it.
    m_scheduler.post([this, gatherMs, alive = m_aliveWeak] {
        const auto live = alive.lock();
        // Pages of a burst arrive one by one (DAPNET sends the next after each
        // acknowledgement): a moment's wait lets them share one key-up.
        if (live && *live && !m_closing && !m_gather->active())
            m_gather->start(gatherMs);
    });
}

int64_t Station::unixNowMs() const {
    return m_unixNow ? m_unixNow() : systemUnixMs();
}

uint32_t Station::drainAllowanceMs() const {
    // Inside time slots the drain gets what the plan reserved for it, and no more.
    if (m_slots != nullptr && m_slots->remainingMs(unixNowMs()) != Unrestricted)
        return SlotMarginMs;
    return Transmitter::MaxDrainMs;
}

uint32_t Station::keyUpMs(int baud, std::size_t codewords, bool settles, bool ident) const {
    // The settle before the key, then the key-up as the framing runs it.
    return (settles ? SettleMs : 0) +
           m_tx.keyUpMs(streamDurationMs(std::max(baud, 2), codewords), ident);
}

void Station::airStep() {
    // Keys only inside an allowed run long enough for the whole key-up; otherwise waits for
    // the next run, looking again at least each second (a new assignment may change them).
    Flight& f = *m_flight;
    f.step = Flight::Step::Air;
    if (m_slots == nullptr) {
        settleStep();
        return;
    }
    const int64_t t = unixNowMs();
    const int64_t left = m_slots->remainingMs(t);
    const auto keyUp = static_cast<int64_t>(f.keyUpMs);
    if (left == Unrestricted || left >= keyUp) {
        settleStep();
        return;
    }
    const std::optional<int64_t> next = m_slots->nextRunStart(t);
    if (m_slots->longestRunMs() < keyUp) {
        f.refusedWhy = "the transmission takes " + std::to_string(keyUp) +
                       " ms with its settle, key delay and release, longer than any allowed "
                       "run of time slots (" +
                       std::to_string(m_slots->longestRunMs()) + " ms)";
    } else if (!next) {
        f.refusedWhy = "no time slot is allowed";
    }
    if (!f.refusedWhy.empty()) {
        f.step = Flight::Step::Finishing;
        scheduleStep(0, [this] { finishStep(); });
        return;
    }
    const uint64_t serial = f.serial;
    setState(OnAirState::Waiting, f.out.source);
    if (current(serial))
        scheduleStep(static_cast<uint32_t>(std::clamp<int64_t>(*next - t, 1, 1000)),
                     [this] { airStep(); });
}

int Station::budgetFor(int baud, int64_t airMs) const {
    if (airMs == Unrestricted)
        return MaxTransmissionCodewords;
    const int64_t overhead = keyUpMs(baud, 0, true) - streamDurationMs(std::max(baud, 2), 0);
    const int64_t codewords = (airMs - overhead) * baud / 32000;
    return static_cast<int>(std::clamp<int64_t>(codewords, 0, MaxTransmissionCodewords));
}

bool Station::launchFeed(std::vector<PageJob> jobs) {
    std::vector<PageParams> pages;
    pages.reserve(jobs.size());
    for (const PageJob& job : jobs)
        pages.push_back(job.page);
    const int baud = jobs.front().page.baud;
    const int64_t left = m_slots != nullptr ? m_slots->remainingMs(unixNowMs()) : Unrestricted;
    MultiPageTransmission t = buildMultiPageTransmission(pages, budgetFor(baud, left), m_encoder);
    // What is left of this run is too short for even these pages: they wait for the next
    // run, and with them as many more as a whole run takes.
    if (m_slots != nullptr && left != Unrestricted && !t.pages.empty() &&
        left < static_cast<int64_t>(keyUpMs(t.baud, static_cast<std::size_t>(t.lastSlot))))
        t = buildMultiPageTransmission(pages, budgetFor(baud, m_slots->longestRunMs()), m_encoder);
    for (const RefusedPage& refused : t.refused) {
        TxOutcome out = outcomeFor(jobs[refused.index]);
        out.built = false;
        out.refusal = Refusal::Encoder;
        out.error = refused.reason;
        finish(out, false, jobs[refused.index].finished);
    }
    if (t.pages.empty())
        return false; // only refused pages: the feed has dropped them, ask again
    m_manualKey = false;
    Flight f;
    f.feed = true;
    f.out = outcomeFor(jobs[t.pages.front().index]);
    f.out.codewords = t.lastSlot;
    f.out.baud = t.baud;
    f.out.inverted = t.inverted;
    f.level = jobs[t.pages.front().index].level;
    f.keyUpMs = keyUpMs(t.baud, static_cast<std::size_t>(t.lastSlot));
    f.keyUp.stream.assign(t.stream.begin(), t.stream.end());
    f.listing = std::move(t.listing);
    // Only the pages it carries: the others stay in the feed for a later transmission.
    for (const PackedPage& p : t.pages)
        f.jobs.push_back(std::move(jobs[p.index]));
    launch(std::move(f));
    return true;
}

void Station::finishPages(TxOutcome& out, std::vector<PageJob*> jobs, bool log) {
    // One line per page in the log, one Ended for the transmission, each page's own outcome
    // to whoever queued it.
    const auto pageOutcome = [&](const PageJob& job) {
        TxOutcome own = out;
        const TxOutcome names = outcomeFor(job);
        own.ric = names.ric;
        own.message = names.message;
        own.origin = names.origin;
        own.repeat = names.repeat;
        return own;
    };
    const bool back = !out.sounded && (out.stopped || out.closing);
    for (PageJob* job : jobs)
        if (log && job->log && !(job->returnable && back))
            logPage(pageOutcome(*job));
    finish(out, false, nullptr);
    for (PageJob* job : jobs)
        if (job->finished)
            job->finished(pageOutcome(*job));
}

} // namespace tarvex
