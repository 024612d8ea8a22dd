// The station engine running a transmission: the settle, the build, the framing, the
// outcome with its page-log line, and the on-air state and progress along the way.
#include "station/station.h"

#include "encoder/conversions.h"
#include "encoder/errors.h"
#include "paging/fast_search.h"
#include "signal/wav_image.h"

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

// ---- running transmissions ----------------------------------------------------------------

SendResult Station::runNow(const std::function<SendResult()>& first) {
    m_busy = true;
    const AtExit done([this] {
        m_busy = false;
        m_stopRequested = false;
        m_wait.StopRequest = false; // a stop meant for this transmission ends no later wait
        restState();
        switchAudioWhenIdle();
        flushAutoReturns();
    });
    const SendResult result = first();
    drain();
    return result;
}

void Station::drain() {
    // A stop ends the drain: what waits behind the stopped transmission does not key up.
    while (!m_closing && !m_stopRequested) {
        if (!m_queue.empty()) {
            PageJob job = std::move(m_queue.front());
            m_queue.pop_front();
            runPage(job);
            continue;
        }
        // Pages from other systems wait out the hold after STOP; the page queue's pages, which
        // are tried again when their sound fails, also the pause after a failed audio output.
        if (m_held)
            return;
        if (runAutoEntry())
            continue;
        if (m_audioRetry->active())
            return;
        std::vector<PageJob> jobs =
            m_feed != nullptr ? m_feed->next(FeedBatch) : std::vector<PageJob>{};
        if (jobs.empty())
            return;
        runFeed(std::move(jobs));
    }
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

bool Station::prepare(TxSource source, int baud, bool inverted, int level) {
    m_stopRequested = false;
    m_guardFired = false;
    m_soundStarted = false;
    m_keyedAt = m_releasedAt = 0;
    setState(OnAirState::Preparing, source);
    m_gen.setBaud(static_cast<int16_t>(baud));
    m_gen.setInverted(inverted);
    m_gen.setLevel(level);
    m_wait.DelayMs(SettleMs);
    return !cancelled();
}

SendResult Station::runPage(PageJob& job) {
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
        return SendResult::Failed;
    }
    std::string why;
    if (!awaitAirTime(keyUpMs(job.page.baud, static_cast<std::size_t>(m_encoder.LastSlot)),
                      job.source, &why) ||
        !prepare(job.source, job.page.baud, job.page.inverted, job.level)) {
        out.built = false;
        out.stopped = cancelled();
        out.closing = m_closing;
        out.refusal = out.stopped ? Refusal::None : Refusal::Other;
        out.error = out.stopped ? "stopped before the transmitter was keyed" : why;
        finish(out, out.stopped && job.log && !job.returnable, job.finished);
        return out.stopped ? SendResult::Sent : SendResult::Failed;
    }
    out.codewords = m_encoder.LastSlot;
    if (!outputReady(out)) {
        finish(out, job.log, job.finished);
        return SendResult::Sent;
    }
    StationEvent shown;
    shown.kind = StationEvent::Kind::Listing;
    shown.source = job.source;
    shown.text = std::move(listing);
    publish(std::move(shown));
    m_encoder.CodewordBuffer[m_encoder.LastSlot + 1] = EndMarker;
    out.pages.push_back(sentPageFor(job, out));
    if (job.starting)
        job.starting();
    transmitBuffer(out);
    // A page that goes back to its source when it never sounded gets no line for this try.
    const bool back = job.returnable && !out.sounded && (out.stopped || out.closing);
    finish(out, job.log && !back, job.finished);
    return SendResult::Sent;
}

void Station::runFastSearch(const FastSearchJob& job) {
    TxOutcome out;
    out.kind = TxKind::FastSearch;
    out.source = TxSource::FastSearch;
    out.ric = job.logRic;
    out.message = job.logMessage;
    out.baud = job.baud;
    out.inverted = job.inverted;
    std::string why;
    if (!awaitAirTime(keyUpMs(job.baud, FastSearchLastSlot), TxSource::FastSearch, &why) ||
        !prepare(TxSource::FastSearch, job.baud, job.inverted, job.level)) {
        out.built = false;
        out.stopped = cancelled();
        out.closing = m_closing;
        out.refusal = out.stopped ? Refusal::None : Refusal::Other;
        out.error = why;
        finish(out, out.stopped && job.log, nullptr);
        return;
    }
    const FastSearchTransmission tx = BuildFastSearch(m_encoder, job.start);
    StationEvent shown;
    shown.kind = StationEvent::Kind::Listing;
    shown.source = TxSource::FastSearch;
    shown.text = tx.listing;
    publish(std::move(shown));
    m_encoder.CodewordBuffer[m_encoder.LastSlot + 1] = EndMarker;
    out.codewords = m_encoder.LastSlot;
    transmitBuffer(out);
    finish(out, job.log, nullptr);
}

SendResult Station::runTuneUp(const TuneJob& job) {
    TxOutcome out;
    out.kind = TxKind::TuneUp;
    out.source = TxSource::TuneUp;
    out.baud = job.baud;
    out.inverted = job.inverted;
    m_stopRequested = false;
    m_guardFired = false;
    m_soundStarted = false;
    m_keyedAt = m_releasedAt = 0;
    std::string why;
    const std::size_t codewords =
        static_cast<std::size_t>(std::clamp(job.seconds, 0, 15)) * (job.baud / 32 + 1);
    if (!awaitAirTime(keyUpMs(job.baud, codewords) - SettleMs, TxSource::TuneUp, &why)) {
        out.built = false;
        out.stopped = cancelled();
        out.closing = m_closing;
        out.refusal = out.stopped ? Refusal::None : Refusal::Other;
        out.error = why;
        finish(out, false, nullptr);
        return SendResult::Failed;
    }
    setState(OnAirState::Preparing, TxSource::TuneUp);
    m_gen.setBaud(static_cast<int16_t>(job.baud));
    m_gen.setInverted(job.inverted);
    m_gen.setLevel(job.level);
    m_onAir = &out;
    const AtExit onAirEnds([this] { m_onAir = nullptr; });
    try {
        out.codewords = m_tx.TuneUp(m_encoder.CodewordBuffer, job.seconds, job.baud);
    } catch (const Error& e) {
        out.built = false;
        out.refusal = Refusal::Other;
        out.error = e.what();
        finish(out, false, nullptr);
        return SendResult::Failed;
    }
    settle(out);
    finish(out, false, nullptr);
    return SendResult::Sent;
}

bool Station::outputReady(TxOutcome& out) {
    // Asked before anything is marked as going on air: an output that cannot play keys
    // nothing, and the page stays where it came from.
    if (m_gen.outputReady())
        return true;
    m_soundStarted = false;
    settle(out);
    return false;
}

void Station::transmitBuffer(TxOutcome& out) {
    m_onAir = &out;
    const AtExit onAirEnds([this] { m_onAir = nullptr; });
    m_tx.transmit(m_encoder.CodewordBuffer.from(SlotBuffer::FirstSlot));
    settle(out);
}

void Station::settle(TxOutcome& out) {
    const bool started = m_soundStarted;
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
    const std::string audioError =
        !m_gen.lastError().empty() ? m_gen.lastError() : m_audio->lastError();
    if (!audioError.empty() && (started || !out.stopped))
        out.error = audioError;
    else if (!started)
        out.error = "stopped before the sound started";
    out.played = started && audioError.empty() && !out.stopped;
    if (started && m_tx.drainCut() && !out.stopped)
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
    m_guardFired = false; // it ended this transmission only
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

void Station::logNote(const std::string& text) {
    if (!m_logPages)
        return;
    std::string reason;
    if (!m_log.writeNote(text, &reason)) {
        StationEvent failed;
        failed.kind = StationEvent::Kind::LogFailed;
        failed.source = TxSource::AutoSend;
        failed.text = reason;
        publish(std::move(failed));
    }
}

void Station::onPhase(Transmitter::Phase phase) {
    switch (phase) {
    case Transmitter::Phase::Keyed: {
        m_keyedAt = m_clock.tickMs();
        if (m_watchdogSeconds > 0)
            m_watchdog->start(static_cast<uint32_t>(m_watchdogSeconds) * 1000u);
        // The sound is due after the key delay (and an ident's settle).
        m_releaseGuard->start(m_keyDelayMs + Transmitter::IdentSettleMs + ReleaseGuardMs);
        m_keyFailed = !m_keyer.lastStatus().success;
        setState(m_keyFailed ? OnAirState::KeyingFailed : OnAirState::Keyed, m_source);
        StationEvent keyed;
        keyed.kind = StationEvent::Kind::KeyedUp;
        keyed.source = m_source;
        keyed.outcome = m_onAir;
        publish(std::move(keyed));
        break;
    }
    case Transmitter::Phase::Playing:
        m_soundStarted = true;
        m_onAirSince = m_clock.tickMs();
        m_releaseGuard->start(m_gen.Duration() + 100 + drainAllowanceMs() + ReleaseGuardMs);
        // A line that failed to key keeps saying so while the sound plays.
        setState(m_keyFailed ? OnAirState::KeyingFailed : OnAirState::OnAir, m_source);
        reportProgress();
        m_progressTimer->start(ProgressMs);
        break;
    case Transmitter::Phase::Draining:
        if (!m_keyFailed)
            setState(OnAirState::Releasing, m_source);
        break;
    case Transmitter::Phase::Released:
        m_releasedAt = m_clock.tickMs();
        m_progressTimer->stop();
        m_releaseGuard->stop();
        m_watchdog->stop();
        m_keyFailed = false;
        m_manualKey = false; // the framing's release ends a manual key-up too
        break;
    }
}

void Station::reportProgress() {
    if (m_state != OnAirState::OnAir && m_state != OnAirState::Releasing &&
        !(m_state == OnAirState::KeyingFailed && m_soundStarted))
        return;
    StationEvent e;
    e.kind = StationEvent::Kind::Progress;
    e.source = m_source;
    e.total = m_gen.Duration() / 1000.0;
    e.elapsed = std::min(e.total, static_cast<uint32_t>(m_clock.tickMs() - m_onAirSince) / 1000.0);
    publish(std::move(e));
}

} // namespace tarvex
