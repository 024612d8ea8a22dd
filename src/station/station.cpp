// The station engine's requests, queue, events, state and backends. Running a transmission
// is in station_run.cpp, the ident's interval in station_timers.cpp.
#include "station/station.h"

#include "encoder/errors.h"

#include <algorithm>
#include <limits>
#include <stdexcept>

namespace tarvex {

namespace {

StationSetup& validated(StationSetup& setup) {
    if (!setup.audio || !setup.line || setup.clock == nullptr || setup.scheduler == nullptr)
        throw std::invalid_argument(
            "Station needs an audio output, a keying line, a clock and a scheduler");
    return setup;
}

} // namespace

std::string_view sourceName(TxSource source) {
    switch (source) {
    case TxSource::Operator:
        return "operator";
    case TxSource::Preset:
        return "preset";
    case TxSource::AutoSend:
        return "auto send";
    case TxSource::Search:
        return "search";
    case TxSource::FastSearch:
        return "fast search";
    case TxSource::TuneUp:
        return "tune-up";
    case TxSource::Ident:
        return "ident";
    case TxSource::ManualKey:
        return "manual key-up";
    case TxSource::Control:
        return "control";
    case TxSource::Network:
        return "network";
    case TxSource::Dapnet:
        return "DAPNET";
    }
    return "operator";
}

std::string_view stateName(OnAirState state) {
    switch (state) {
    case OnAirState::Idle:
        return "idle";
    case OnAirState::ManualKey:
    case OnAirState::Keyed:
        return "keyed";
    case OnAirState::Preparing:
        return "preparing";
    case OnAirState::OnAir:
        return "on air";
    case OnAirState::Releasing:
        return "releasing";
    case OnAirState::Waiting:
        return "waiting for a slot";
    case OnAirState::Held:
        return "held after stop";
    case OnAirState::KeyingFailed:
        return "keying failed";
    }
    return "idle";
}

Station::Station(StationSetup setup)
    : m_audio(validated(setup).audio), m_gen(m_audio), m_keyer(std::move(setup.line)),
      m_clock(*setup.clock), m_scheduler(*setup.scheduler),
      m_tx(m_keyer, m_gen, m_scheduler,
           Transmitter::Hooks{[this] { return static_cast<uint32_t>(m_options.keyDelayMs); },
                              [this](Transmitter::Phase phase) { onPhase(phase); },
                              [this] { return drainAllowanceMs(); }}),
      m_log(setup.logClock) {
    m_gen.setAsync(true);
    if (setup.soundClock)
        m_gen.setClock(std::move(setup.soundClock));
    m_unixNow = std::move(setup.unixClock);
    m_keyer.setSwitchedAction([this] {
        StationEvent e;
        e.kind = StationEvent::Kind::Backend;
        publish(std::move(e));
    });
    m_progressTimer = m_scheduler.createTimer([this] { reportProgress(); }, true);
    m_watchdog = m_scheduler.createTimer([this] { watchdogFired(); }, false);
    createTimers();
}

Station::~Station() {
    *m_alive = false;
    m_listeners.clear();
    m_gen.Stop();
}

void Station::setOptions(Options options) {
    options.keyDelayMs = std::max(options.keyDelayMs, 0);
    options.txWatchdogSeconds = std::clamp(options.txWatchdogSeconds, 0, MaxTxWatchdogSeconds);
    if (options.txWatchdogSeconds == 0)
        m_watchdog->stop();
    m_log.setFolder(options.dataFolder);
    m_options = std::move(options);
}

int Station::rateLevel(int baud) const {
    return m_options.rateLevels[baud == 512 ? 0 : baud == 2400 ? 2 : 1];
}

bool Station::cancelled() const {
    return m_stopRequested || m_closing;
}

void Station::watchdogFired() {
    if (!m_keyer.keyed() && !m_manualKey && !m_busy)
        return;
    const bool manual = m_manualKey && !m_busy;
    stop();
    m_keyer.UnkeyTransmitter();
    StationEvent e;
    e.kind = StationEvent::Kind::Watchdog;
    e.source = manual ? TxSource::ManualKey : m_source;
    e.text = "Transmit watchdog: the transmitter was keyed for " +
             std::to_string(m_options.txWatchdogSeconds) + " s" +
             (manual ? " by hand" : std::string()) + "; it is released now.";
    publish(std::move(e));
}

// ---- requests -------------------------------------------------------------------------

SendResult Station::queue(PageJob job) {
    if (m_queue.size() >= MaxQueued) {
        note("A page is on air; the new page was not sent.");
        dropJob(job, "the queue is full");
        return SendResult::Refused;
    }
    m_queue.push_back(std::move(job));
    note("A page is on air; " + std::to_string(m_queue.size()) + " page(s) waiting.");
    return SendResult::Queued;
}

SendResult Station::sendPage(PageJob job) {
    if (m_closing) {
        dropJob(job, "the station is closing");
        return SendResult::Refused;
    }
    // SEND, the message list and the searches do nothing while the ident is on air (the
    // searches send that code again afterwards); a page nobody is there to retry waits.
    const bool retried = job.source == TxSource::Operator || job.source == TxSource::Preset ||
                         job.source == TxSource::Search;
    if (m_identInProgress && retried)
        return SendResult::Skipped;
    if (m_busy)
        return queue(std::move(job));
    m_busy = true;
    SendResult result = SendResult::Started;
    if (!launchPage(std::move(job), nullptr, &result))
        runNext();
    return result;
}

SendResult Station::enqueue(PageJob job) {
    if (m_closing) {
        dropJob(job, "the station is closing");
        return SendResult::Refused;
    }
    if (m_busy)
        return queue(std::move(job));
    if (m_queue.size() >= MaxQueued) {
        dropJob(job, "the queue is full");
        return SendResult::Refused;
    }
    m_queue.push_back(std::move(job));
    wake();
    return SendResult::Queued;
}

SendResult Station::tuneUp(TuneJob job) {
    if (m_closing)
        return SendResult::Refused;
    if (m_busy) {
        note("A page is on air; the tune-up was not started.");
        return SendResult::Refused;
    }
    m_busy = true;
    SendResult result = SendResult::Started;
    if (!launchTuneUp(std::move(job), &result))
        runNext();
    return result;
}

void Station::setManualKey(bool keyed) {
    if (m_closing)
        return;
    if (keyed && m_slots != nullptr) {
        // A DAPNET transmitter keys only inside its slots, and a manual key-up has no end.
        const int64_t now = unixNowMs();
        if (m_slots->remainingMs(now) != std::numeric_limits<int64_t>::max()) {
            note("The transmitter is keyed only inside its DAPNET time slots: no manual "
                 "key-up while the link is on.");
            return;
        }
    }
    const bool wasKeyed = m_manualKey;
    m_manualKey = keyed;
    if (keyed) {
        m_keyer.KeyTransmitter();
        if (!wasKeyed && !m_busy && m_options.txWatchdogSeconds > 0)
            m_watchdog->start(static_cast<uint32_t>(m_options.txWatchdogSeconds) * 1000u);
    } else {
        m_keyer.UnkeyTransmitter();
        if (!m_busy)
            m_watchdog->stop();
    }
    if (!m_busy) {
        if (keyed)
            setState(m_keyer.lastStatus().success ? OnAirState::ManualKey
                                                  : OnAirState::KeyingFailed,
                     TxSource::ManualKey);
        else
            restState();
    }
    reportProblems();
}

void Station::releaseNow() {
    m_keyer.UnkeyTransmitter();
    reportProblems();
}

void Station::stop() {
    if (m_closing)
        return;
    // A search ends at once; the code cut short is not counted and goes first next time.
    endSearch(SearchEnd::Stopped);
    if (m_flight) {
        m_stopRequested = true;
        m_gen.Stop();
        abortFlight();
    }
    if (m_manualKey)
        setManualKey(false);
    // Nothing that waits now keys up after the stop: the window's pages are dropped, the
    // feeds wait out the hold (auto send gives back the entries it took, the durable queue
    // keeps its pages); an ident waiting for its retry comes at its interval.
    dropQueue("stopped");
    m_identRetry->stop();
    m_held = true;
    m_holdUntil = m_clock.tickMs() + StopHoldMs;
    m_holdTimer->start(StopHoldMs);
    std::size_t kept = 0;
    for (PageFeed* feed : m_feeds)
        if (feed->keepsPages())
            kept += feed->waiting();
    note("Stopped: pages from other systems wait " + std::to_string(StopHoldMs / 1000) + " s" +
         (kept > 0 ? " (" + std::to_string(kept) + " in the page queue)" : std::string()));
    for (PageFeed* feed : m_feeds)
        feed->stopped();
    if (!m_busy)
        restState();
}

void Station::resume() {
    m_holdTimer->stop();
    if (!m_held)
        return;
    m_held = false;
    if (!m_busy)
        restState();
    kick();
}

void Station::close() {
    endSearch(SearchEnd::Closing);
    m_closing = true;
    stopTimers();
    dropQueue("the station is closing");
    m_stopRequested = true;
    m_gen.Stop();
    m_manualKey = false;
    // The transmission on air ends now: the program may not run its event loop again.
    if (m_flight) {
        abortFlight();
        endFlight();
    }
    m_busy = false;
    m_keyer.holdReleased();
    // Released: the feeds keep what they hold before the program ends.
    for (PageFeed* feed : m_feeds)
        feed->closing();
}

void Station::addFeed(PageFeed* feed) {
    if (feed != nullptr && std::find(m_feeds.begin(), m_feeds.end(), feed) == m_feeds.end())
        m_feeds.push_back(feed);
}

void Station::removeFeed(PageFeed* feed) {
    std::erase(m_feeds, feed);
}

void Station::report(StationEvent::Kind kind, TxSource source, const std::string& text) {
    StationEvent e;
    e.kind = kind;
    e.source = source;
    e.text = text;
    publish(std::move(e));
    logNote(source, text);
}

void Station::restState() {
    setState(m_manualKey ? OnAirState::ManualKey
             : m_held    ? OnAirState::Held
                         : OnAirState::Idle,
             m_source);
}

void Station::audioFailed(const TxOutcome& out) {
    if (std::none_of(m_feeds.begin(), m_feeds.end(),
                     [](const PageFeed* feed) { return feed->keepsPages(); }))
        return; // nothing here is tried again
    m_audioBackoffMs =
        m_audioBackoffMs == 0 ? AudioRetryFirstMs : std::min(2 * m_audioBackoffMs, AudioRetryMaxMs);
    m_audioRetryAt = m_clock.tickMs() + m_audioBackoffMs;
    m_audioRetry->start(m_audioBackoffMs);
    note("The audio output failed (" + out.error + "): the page queue waits, next try in " +
         std::to_string(m_audioBackoffMs / 1000) + " s");
}

void Station::dropJob(PageJob& job, const std::string& why) {
    if (!job.finished)
        return;
    TxOutcome out = outcomeFor(job);
    out.built = false;
    out.error = "not sent: " + why;
    job.finished(out);
}

void Station::dropQueued(PageJob& job, const std::string& why) {
    // A page that waited in the queue was taken: its line says it never went.
    if (job.log)
        writePageLog(outcomeFor(job), " - not sent: " + why);
    dropJob(job, why);
}

void Station::dropQueue(const std::string& why) {
    std::deque<PageJob> dropped;
    dropped.swap(m_queue);
    for (PageJob& job : dropped)
        dropQueued(job, why);
}

// ---- events and state -------------------------------------------------------------------

int Station::subscribe(Listener listener) {
    const int id = m_nextListener++;
    m_listeners.emplace(id, std::move(listener));
    return id;
}

void Station::unsubscribe(int id) {
    m_listeners.erase(id);
}

void Station::publish(StationEvent event) {
    event.state = m_state;
    // A listener may subscribe or unsubscribe while it is told: tell a copy.
    const auto listeners = m_listeners;
    for (const auto& [id, listener] : listeners)
        if (m_listeners.count(id) != 0)
            listener(event);
}

void Station::setState(OnAirState state, TxSource source) {
    if (state == m_state && source == m_source)
        return;
    m_state = state;
    m_source = source;
    StationEvent e;
    e.kind = StationEvent::Kind::State;
    e.source = source;
    publish(std::move(e));
}

void Station::note(const std::string& text) {
    StationEvent e;
    e.kind = StationEvent::Kind::Note;
    e.text = text;
    publish(std::move(e));
}

void Station::reportProblems() {
    std::string text;
    const PortStatus& port = m_keyer.lastStatus();
    if (!port.success && !port.text.empty())
        text = "Port: " + port.text;
    const std::string audio = !m_gen.lastError().empty() ? m_gen.lastError() : m_audio->lastError();
    if (!audio.empty())
        text += (text.empty() ? "" : "; ") + ("Audio: " + audio);
    StationEvent e;
    e.kind = StationEvent::Kind::Problem;
    e.text = std::move(text);
    publish(std::move(e));
}

void Station::setSignal(const SignalChange& change) {
    if (change.baud)
        m_gen.setBaud(static_cast<int16_t>(*change.baud));
    if (change.inverted)
        m_gen.setInverted(*change.inverted);
    if (change.level)
        m_gen.setLevel(*change.level);
    if (change.durationMs)
        m_gen.setDuration(*change.durationMs);
}

SignalState Station::signal() const {
    SignalState s;
    s.baud = m_gen.Baud();
    s.inverted = m_gen.Inverted();
    s.level = m_gen.Level();
    s.async = m_gen.Async();
    s.silent = m_gen.Stopped();
    s.durationMs = m_gen.Duration();
    s.startedAt = m_gen.releaseNotBefore() - std::chrono::milliseconds(m_gen.Duration() + 100);
    return s;
}

std::vector<uint8_t> Station::lastSound() const {
    const auto image = m_gen.Image();
    return {image.begin(), image.end()};
}

EncodingState Station::encoding() const {
    EncodingState e;
    e.syncText = m_encoder.SyncText;
    e.idleText = m_encoder.IdleText;
    e.sync = m_encoder.SyncCodeword;
    e.idle = m_encoder.IdleCodeword;
    e.slotCount = m_encoder.SlotCount;
    e.lastSlot = m_encoder.LastSlot;
    return e;
}

StationStatus Station::status() const {
    StationStatus s;
    s.state = m_state;
    s.source = m_source;
    s.queued = m_queue.size();
    s.last = m_last;
    s.keying = m_keyer.line().name();
    const PortStatus& port = m_keyer.lastStatus();
    if (!port.success)
        s.keyingError = port.text;
    s.audio = m_audio->name();
    s.audioError = !m_gen.lastError().empty() ? m_gen.lastError() : m_audio->lastError();
    s.identInProgress = m_identInProgress;
    s.releasedForGood = m_keyer.heldReleased();
    const uint32_t now = m_clock.tickMs();
    const auto left = [now](uint32_t at) {
        return static_cast<uint32_t>(std::max<int32_t>(0, static_cast<int32_t>(at - now)));
    };
    if (m_held)
        s.heldMs = std::max<uint32_t>(1, left(m_holdUntil));
    if (m_audioRetry->active())
        s.audioRetryMs = std::max<uint32_t>(1, left(m_audioRetryAt));
    if (m_search.running)
        s.search = m_search;
    s.identTimer = m_identTimer->active();
    s.audioSwitchPending = m_pendingAudio != nullptr;
    s.keyingSwitchPending = m_keyer.switchPending();
    return s;
}

// ---- backends -----------------------------------------------------------------------------

void Station::setAudioOutput(std::shared_ptr<AudioOutput> output) {
    if (!output)
        return;
    m_pendingAudio = std::move(output);
    switchAudioWhenIdle();
    if (m_pendingAudio)
        note("Audio output " + m_pendingAudio->name() +
             " is used once the transmitter is released.");
}

void Station::switchAudioWhenIdle() {
    if (!m_pendingAudio || m_busy || m_identInProgress)
        return;
    m_gen.setOutput(m_pendingAudio);
    m_audio = std::move(m_pendingAudio);
    m_pendingAudio.reset();
    StationEvent e;
    e.kind = StationEvent::Kind::Backend;
    publish(std::move(e));
}

void Station::setKeyingLine(std::unique_ptr<KeyingLine> line) {
    if (!line)
        return;
    if (m_keyer.switchLine(std::move(line)))
        reportProblems();
    else
        note("The keying method changes when the transmitter is released.");
}

} // namespace tarvex
