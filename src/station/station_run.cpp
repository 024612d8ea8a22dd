// The station engine running a transmission: each is a flight through its steps (air time,
// settle, the framing, the finish), every step a timer of the scheduler, so nothing runs in
// the middle of one. Its outcome gets its page-log line, and the on-air state and progress
// are told along the way.
#include "station/station.h"

#include "encoder/conversions.h"
#include "encoder/errors.h"
#include "paging/fast_search.h"
#include "signal/wav_image.h"
#include "txcontrol/tune_up.h"

#include <algorithm>

namespace tarvex {

std::string latin1ToUtf8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x80) {
            out += c;
        } else {
            out += static_cast<char>(0xC0 | (b >> 6));
            out += static_cast<char>(0x80 | (b & 0x3F));
        }
    }
    return out;
}

TxOutcome Station::outcomeFor(const PageJob& job) const {
    TxOutcome out;
    out.kind = TxKind::Page;
    out.source = job.source;
    out.ric = job.logRic.empty() ? job.page.ric : job.logRic;
    out.message = job.logMessage.empty() ? latin1ToUtf8(job.page.message) : job.logMessage;
    out.origin = job.origin;
    out.repeat = job.repeat;
    out.baud = job.page.baud;
    out.inverted = job.page.inverted;
    return out;
}

SentPage sentPageFor(const PageJob& job, const TxOutcome& out) {
    SentPage page;
    page.source = job.source;
    page.ric = out.ric;
    page.message = out.message;
    page.origin = job.origin;
    page.address = static_cast<uint32_t>(tryStrToInt(job.page.ric).value_or(0));
    page.functionBits = job.page.functionBits;
    page.numeric = job.page.coding == Coding::Numeric;
    page.bytes = job.page.message;
    page.charset = job.charset;
    page.repeat = job.repeat;
    page.queueId = job.queueId;
    return page;
}

std::vector<Codeword> Station::streamFromSlot(const SlotBuffer& buffer, int first) {
    std::vector<Codeword> stream;
    for (const Codeword c : buffer.from(first)) {
        stream.push_back(c);
        if (c == EndMarker)
            break;
    }
    return stream;
}

// ---- what goes next ------------------------------------------------------------------------

void Station::runNext() {
    // Called with the station busy, at the top of the event loop: the queue's pages first,
    // then (outside the hold after STOP) the feeds' pages, each feed in its turn.
    while (!m_closing) {
        if (!m_queue.empty()) {
            PageJob job = std::move(m_queue.front());
            m_queue.pop_front();
            SendResult ignored;
            if (launchPage(std::move(job), nullptr, &ignored))
                return;
            continue;
        }
        if (m_held || !launchFromFeeds())
            break;
        if (m_flight)
            return;
    }
    becomeIdle();
}

bool Station::launchFromFeeds() {
    // True when a feed gave pages (on air now, or refused at once: ask again).
    for (PageFeed* feed : m_feeds) {
        // Pages a feed keeps, which are tried again when their sound fails, also wait out the
        // pause after a failed audio output.
        const bool kept = feed->keepsPages();
        if (kept && m_audioRetry->active())
            continue;
        std::vector<PageJob> jobs = feed->next(kept ? FeedBatch : 1);
        if (jobs.empty())
            continue;
        if (kept) {
            launchFeed(std::move(jobs));
        } else {
            SendResult ignored;
            launchPage(std::move(jobs.front()), nullptr, &ignored);
        }
        return true;
    }
    return false;
}

void Station::becomeIdle() {
    m_busy = false;
    m_stopRequested = false;
    restState();
    switchAudioWhenIdle();
}

void Station::kick() {
    // From a timer: whatever waits goes now, unless a transmission is on its way (its end
    // looks).
    if (m_busy || m_closing)
        return;
    m_busy = true;
    runNext();
}

// ---- starting a flight ---------------------------------------------------------------------

void Station::launch(Flight flight) {
    flight.serial = ++m_flightSerial;
    m_stopRequested = false;
    m_keyedAt = m_releasedAt = 0;
    m_flight = std::move(flight);
    airStep();
}

bool Station::launchPage(PageJob job, std::function<void()> after, SendResult* result) {
    *result = SendResult::Started;
    TxOutcome out = outcomeFor(job);
    m_manualKey = false; // the release after the page ends a manual key-up
    std::string listing;
    try {
        listing = m_encoder.BuildTransmission(job.page);
    } catch (const Error& e) {
        out.built = false;
        out.refusal = dynamic_cast<const ConversionError*>(&e) != nullptr ? Refusal::Conversion
                                                                          : Refusal::Encoder;
        out.error = e.what();
        finish(out, false, job.finished);
        if (after)
            after();
        *result = SendResult::Failed;
        return false;
    }
    m_encoder.CodewordBuffer[m_encoder.LastSlot + 1] = EndMarker;
    Flight f;
    f.out = std::move(out);
    f.out.codewords = m_encoder.LastSlot;
    f.level = job.level;
    f.keyUpMs = keyUpMs(job.page.baud, static_cast<std::size_t>(m_encoder.LastSlot));
    f.keyUp.stream = streamFromSlot(m_encoder.CodewordBuffer, SlotBuffer::FirstSlot);
    f.listing = std::move(listing);
    f.jobs.push_back(std::move(job));
    f.after = std::move(after);
    launch(std::move(f));
    return true;
}

void Station::launchFastSearch(const FastSearchJob& job, std::function<void()> after) {
    Flight f;
    f.out.kind = TxKind::FastSearch;
    f.out.source = TxSource::FastSearch;
    f.out.ric = job.logRic;
    f.out.message = job.logMessage;
    f.out.baud = job.baud;
    f.out.inverted = job.inverted;
    f.log = job.log;
    f.level = job.level;
    f.keyUpMs = keyUpMs(job.baud, FastSearchLastSlot);
    const FastSearchTransmission tx = BuildFastSearch(m_encoder, job.start);
    m_encoder.CodewordBuffer[m_encoder.LastSlot + 1] = EndMarker;
    f.out.codewords = m_encoder.LastSlot;
    f.keyUp.stream = streamFromSlot(m_encoder.CodewordBuffer, SlotBuffer::FirstSlot);
    f.listing = tx.listing;
    f.after = std::move(after);
    launch(std::move(f));
}

bool Station::launchTuneUp(TuneJob job, SendResult* result) {
    Flight f;
    f.out.kind = TxKind::TuneUp;
    f.out.source = TxSource::TuneUp;
    f.out.baud = job.baud;
    f.out.inverted = job.inverted;
    f.level = job.level;
    f.settle = false;
    try {
        f.out.codewords = BuildTuneUp(m_encoder.CodewordBuffer, job.seconds, job.baud);
    } catch (const Error& e) {
        f.out.built = false;
        f.out.refusal = Refusal::Other;
        f.out.error = e.what();
        finish(f.out, false, job.finished);
        *result = SendResult::Failed;
        return false;
    }
    f.keyUpMs = keyUpMs(job.baud, static_cast<std::size_t>(f.out.codewords), false);
    f.keyUp.stream = streamFromSlot(m_encoder.CodewordBuffer, SlotBuffer::FirstSlot);
    if (job.finished)
        f.after = [this, finished = std::move(job.finished)] {
            if (m_last)
                finished(*m_last);
        };
    *result = SendResult::Started;
    launch(std::move(f));
    return true;
}

// ---- the steps -------------------------------------------------------------------------------

void Station::scheduleStep(uint32_t ms, std::function<void()> step) {
    m_step = std::move(step);
    m_stepTimer->start(ms);
}

bool Station::current(uint64_t serial) const {
    return m_flight && m_flight->serial == serial && m_flight->step != Flight::Step::Finishing;
}

void Station::settleStep() {
    Flight& f = *m_flight;
    f.step = Flight::Step::Settle;
    const uint64_t serial = f.serial;
    setState(OnAirState::Preparing, f.out.source);
    if (!current(serial))
        return; // a listener stopped it
    if (f.out.kind == TxKind::Ident) {
        m_gen.setInverted(m_ident.inverted);
    } else {
        m_gen.setBaud(static_cast<int16_t>(f.out.baud));
        m_gen.setInverted(f.out.inverted);
        m_gen.setLevel(f.level);
    }
    if (f.settle)
        scheduleStep(SettleMs, [this] { keyStep(); });
    else
        keyStep();
}

void Station::keyStep() {
    Flight& f = *m_flight;
    const uint64_t serial = f.serial;
    f.keyed = true;
    // Asked before anything is marked as going on air: an output that cannot play keys
    // nothing, and the page stays where it came from.
    if (!m_gen.outputReady()) {
        released(Transmitter::End{});
        return;
    }
    if (!f.listing.empty()) {
        StationEvent shown;
        shown.kind = StationEvent::Kind::Listing;
        shown.source = f.out.source;
        shown.text = f.listing;
        publish(std::move(shown));
    }
    for (PageJob& job : f.jobs) {
        f.out.pages.push_back(sentPageFor(job, outcomeFor(job)));
        if (job.starting)
            job.starting();
    }
    if (!current(serial))
        return;
    f.step = Flight::Step::Keyed;
    if (!m_tx.start(std::move(f.keyUp), [this](const Transmitter::End& end) { released(end); }))
        released(Transmitter::End{});
}

void Station::released(const Transmitter::End& end) {
    Flight& f = *m_flight;
    // Judged at the release: a STOP after it does not make a whole transmission "stopped".
    settle(f.out, end);
    f.step = Flight::Step::Finishing;
    // The outcome is told from the event loop, after the release has been seen through.
    scheduleStep(0, [this] { finishStep(); });
}

void Station::finishStep() {
    endFlight();
    runNext();
}

void Station::abortFlight() {
    // STOP or the program's end: the framing releases at once; a flight not yet keyed just
    // ends. Either way its outcome is told from the event loop (at once when closing).
    if (!m_flight)
        return;
    Flight& f = *m_flight;
    if (f.step == Flight::Step::Keyed) {
        m_tx.cancel();
        return;
    }
    if (f.step != Flight::Step::Finishing) {
        f.step = Flight::Step::Finishing;
        scheduleStep(0, [this] { finishStep(); });
    }
}

void Station::endFlight() {
    m_stepTimer->stop();
    m_step = nullptr;
    Flight f = std::move(*m_flight);
    m_flight.reset();
    TxOutcome& out = f.out;
    const bool ident = out.kind == TxKind::Ident;
    if (!f.keyed && (cancelled() || !f.refusedWhy.empty())) {
        // Never keyed: stopped on its way, or there is no air time for it.
        out.built = false;
        out.stopped = cancelled();
        out.closing = m_closing;
        out.refusal = out.stopped ? Refusal::None : Refusal::Other;
        out.error = out.stopped ? (out.kind == TxKind::Page && !f.feed
                                       ? "stopped before the transmitter was keyed"
                                       : "")
                                : f.refusedWhy;
        if (f.feed) {
            if (!out.stopped)
                finish(out, false, f.jobs.front().finished); // even alone it never fits
        } else if (out.kind == TxKind::Page) {
            const PageJob& job = f.jobs.front();
            finish(out, out.stopped && job.log && !job.returnable, job.finished);
        } else {
            finish(out, out.stopped && f.log, nullptr);
        }
    } else {
        if (f.feed || out.kind == TxKind::Page) {
            endPages(f);
        } else {
            finish(out, f.log, nullptr);
        }
    }
    if (ident) {
        // However the ident ended, SEND and the polls are free again and the interval starts
        // anew.
        m_identInProgress = false;
        applyIdentTimer();
    }
    if (f.after)
        f.after();
}

void Station::endPages(Flight& f) {
    TxOutcome& out = f.out;
    if (f.feed) {
        std::vector<PageJob*> jobs;
        for (PageJob& job : f.jobs)
            jobs.push_back(&job);
        finishPages(out, jobs, true);
        return;
    }
    const PageJob& job = f.jobs.front();
    // A page that goes back to its source when it never sounded gets no line for this try.
    const bool back = job.returnable && !out.sounded && (out.stopped || out.closing);
    finish(out, job.log && !back, job.finished);
}

void Station::settle(TxOutcome& out, const Transmitter::End& end) {
    const bool started = end.sounded;
    out.closing = m_closing;
    out.sounded = started;
    out.stopped = cancelled();
    // A transmission that never played is logged with its own length, not the last one's.
    out.durationMs = started || out.codewords <= 0
                         ? m_gen.Duration()
                         : streamDurationMs(std::max<int>(m_gen.Baud(), 2),
                                            static_cast<std::size_t>(out.codewords));
    out.keyedAtMs = m_keyedAt;
    out.releasedAtMs = m_releasedAt;
    std::string audioError = !m_gen.lastError().empty() ? m_gen.lastError() : m_audio->lastError();
    if (audioError.empty())
        audioError = end.error;
    if (!audioError.empty() && (started || !out.stopped))
        out.error = audioError;
    else if (!started)
        out.error = "stopped before the sound started";
    out.played = started && audioError.empty() && !out.stopped;
    if (started && end.drainCut && !out.stopped)
        note("Released at the end of its time slot with sound still leaving the output");
    const PortStatus& port = m_keyer.lastStatus();
    if (!port.success)
        out.portError = port.text;
}

void Station::finish(TxOutcome& out, bool log,
                     const std::function<void(const TxOutcome&)>& finished) {
    if (log)
        logPage(out);
    // An output that would not play keeps unattended pages back for a while; one that played
    // ends the back-off.
    if (out.built && out.kind == TxKind::Page && !out.played && !out.stopped && !out.closing &&
        out.codewords > 0)
        audioFailed(out);
    else if (out.played)
        m_audioBackoffMs = 0;
    m_last = out;
    if (m_searchStepping && (out.source == TxSource::Search || out.source == TxSource::FastSearch))
        m_searchOutcome = out;
    StationEvent ended;
    ended.kind = StationEvent::Kind::Ended;
    ended.source = out.source;
    ended.outcome = &out;
    publish(std::move(ended));
    if (out.built)
        reportProblems();
    if (finished)
        finished(out);
}

std::string pageLogMarker(const TxOutcome& out) {
    const std::string repeat = out.repeat ? " - repeat" : "";
    if (out.stopped)
        return repeat + " - stopped";
    if (!out.played)
        return repeat + " - not sent: " +
               (out.error.empty() ? std::string("the sound did not play") : out.error);
    if (!out.portError.empty())
        return repeat + " - keying failed: " + out.portError;
    return repeat;
}

void Station::logPage(const TxOutcome& out) {
    if (m_logHook && out.kind == TxKind::Page && out.built) {
        m_logHook(out, pageLogMarker(out));
        return;
    }
    writePageLog(out, pageLogMarker(out));
}

void Station::writePageLog(const TxOutcome& out, const std::string& marker) {
    std::string reason;
    if (!m_log.write(out.ric, out.message, marker, &reason)) {
        StationEvent failed;
        failed.kind = StationEvent::Kind::LogFailed;
        failed.source = out.source;
        failed.text = reason;
        publish(std::move(failed));
    }
}

void Station::logNote(TxSource source, const std::string& text) {
    if (!m_options.logPages)
        return;
    std::string reason;
    if (!m_log.writeNote(text, &reason)) {
        StationEvent failed;
        failed.kind = StationEvent::Kind::LogFailed;
        failed.source = source;
        failed.text = reason;
        publish(std::move(failed));
    }
}

void Station::onPhase(Transmitter::Phase phase) {
    const TxSource source = m_flight ? m_flight->out.source : m_source;
    switch (phase) {
    case Transmitter::Phase::Keyed: {
        m_keyedAt = m_clock.tickMs();
        if (m_options.txWatchdogSeconds > 0)
            m_watchdog->start(static_cast<uint32_t>(m_options.txWatchdogSeconds) * 1000u);
        m_keyFailed = !m_keyer.lastStatus().success;
        setState(m_keyFailed ? OnAirState::KeyingFailed : OnAirState::Keyed, source);
        StationEvent keyed;
        keyed.kind = StationEvent::Kind::KeyedUp;
        keyed.source = source;
        keyed.outcome = m_flight ? &m_flight->out : nullptr;
        publish(std::move(keyed));
        break;
    }
    case Transmitter::Phase::Playing:
        m_onAirSince = m_clock.tickMs();
        // A line that failed to key keeps saying so while the sound plays.
        setState(m_keyFailed ? OnAirState::KeyingFailed : OnAirState::OnAir, source);
        m_progressTimer->start(ProgressMs);
        reportProgress();
        break;
    case Transmitter::Phase::Draining:
        if (!m_keyFailed)
            setState(OnAirState::Releasing, source);
        break;
    case Transmitter::Phase::Released:
        m_releasedAt = m_clock.tickMs();
        m_progressTimer->stop();
        m_watchdog->stop();
        m_keyFailed = false;
        m_manualKey = false; // the framing's release ends a manual key-up too
        break;
    }
}

void Station::reportProgress() {
    if (m_state != OnAirState::OnAir && m_state != OnAirState::Releasing &&
        !(m_state == OnAirState::KeyingFailed && m_progressTimer->active()))
        return;
    StationEvent e;
    e.kind = StationEvent::Kind::Progress;
    e.source = m_source;
    e.total = m_gen.Duration() / 1000.0;
    e.elapsed = std::min(e.total, static_cast<uint32_t>(m_clock.tickMs() - m_onAirSince) / 1000.0);
    publish(std::move(e));
}

} // namespace tarvex
