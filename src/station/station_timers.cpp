// What the station does on its own time: the station ident at its interval (and on a test
// request), and the auto-send poll of the drop folder.
#include "station/station.h"

#include "encoder/errors.h"
#include "paging/auto_send.h"
#include "paging/entry_format.h"
#include "txcontrol/morse_ident.h"

namespace tarvex {

namespace {
constexpr uint32_t MsPerMinute = 60000;
} // namespace

void Station::createTimers() {
    m_identTimer = m_scheduler.createTimer([this] { identTick(); }, true);
    m_identRetry = m_scheduler.createTimer([this] { identTick(); }, false);
    m_pollTimer = m_scheduler.createTimer([this] { pollAutoSend(); }, true);
    m_gather = m_scheduler.createTimer(
        [this] {
            if (!m_busy && !m_closing)
                runNow([] { return SendResult::Sent; });
        },
        false);
}

void Station::stopTimers() {
    m_identTimer->stop();
    m_identRetry->stop();
    m_pollTimer->stop();
    m_progressTimer->stop();
    m_gather->stop();
}

// ---- the station ident ------------------------------------------------------------------

void Station::setIdent(const IdentSettings& settings) {
    const bool intervalChanged = settings.minutes != m_ident.minutes;
    m_ident = settings;
    if (intervalChanged)
        applyIdentTimer();
}

void Station::setIdentTimerEnabled(bool on) {
    m_identTimerEnabled = on;
    applyIdentTimer();
}

bool Station::identTimerActive() const {
    return m_identTimer->active();
}

void Station::applyIdentTimer() {
    // An interval of 0 never fires: such a timer stays off.
    if (m_identTimerEnabled && m_ident.minutes > 0 && !m_closing)
        m_identTimer->start(static_cast<uint32_t>(m_ident.minutes) * MsPerMinute);
    else
        m_identTimer->stop();
}

bool Station::sendIdent(bool test) {
    if (test)
        m_identTest = true;
    const uint64_t before = m_identCount;
    identTick();
    return m_identCount != before;
}

void Station::identTick() {
    if (m_closing || (m_ident.minutes < 1 && !m_identTest) || m_ident.callsign.empty() ||
        m_identInProgress)
        return;
    if (m_busy) {
        // Sending now would cut the transmission on air short: try again once it has left.
        m_identRetry->start(IdentRetryMs);
        return;
    }
    runNow([this] {
        runIdent();
        return SendResult::Sent;
    });
}

void Station::runIdent() {
    m_identTest = false;
    m_identInProgress = true;
    m_identTimer->stop();
    // However the ident ends (a signal, a failing sound device), SEND and the polls are free
    // again and the interval starts anew.
    const AtExit done([this] {
        m_identInProgress = false;
        applyIdentTimer();
    });
    m_stopRequested = false;
    m_soundStarted = false;
    m_keyedAt = m_releasedAt = 0;
    setState(OnAirState::Preparing, TxSource::Ident);
    TxOutcome out;
    out.kind = TxKind::Ident;
    out.source = TxSource::Ident;
    m_gen.setInverted(m_ident.inverted);
    try {
        SlotBuffer scratch;
        const int count = BuildMorseIdent(scratch, m_ident.callsign);
        std::string why;
        if (count > 0 &&
            !awaitAirTime(keyUpMs(static_cast<int>(MorseBaud), static_cast<std::size_t>(count)),
                          TxSource::Ident, &why)) {
            out.built = false;
            out.stopped = cancelled();
            out.refusal = out.stopped ? Refusal::None : Refusal::Other;
            out.error = why;
            finish(out, false, nullptr);
            return;
        }
        m_onAir = &out;
        const AtExit onAirEnds([this] { m_onAir = nullptr; });
        out.codewords = m_tx.SendIdent(m_encoder.CodewordBuffer, m_ident.callsign, m_ident.level);
        settle(out);
        ++m_identCount;
    } catch (const Error& e) {
        out.built = false;
        out.refusal = Refusal::Other;
        out.error = e.what();
    }
    if (out.codewords > 0 || !out.built)
        finish(out, false, nullptr);
}

// ---- auto send --------------------------------------------------------------------------

void Station::setAutoSend(const AutoSendSettings& settings) {
    const bool switched = settings.enabled != m_autoSend.enabled;
    const bool rateChanged = settings.checkRateSeconds != m_autoSend.checkRateSeconds;
    m_autoSend = settings;
    if (switched)
        m_failedPolls = 0; // switching off and on is how the operator clears a failed poll
    // While a poll runs the timer stays off; the poll switches it on at its end.
    if (!m_autoSend.enabled || m_closing)
        m_pollTimer->stop();
    else if (!m_pollRunning && (switched || rateChanged || !m_pollTimer->active()))
        m_pollTimer->start(static_cast<uint32_t>(m_autoSend.checkRateSeconds) * 1000u);
}

bool Station::autoSendTimerActive() const {
    return m_pollTimer->active();
}

void Station::refused(const std::string& text) {
    StationEvent e;
    e.kind = StationEvent::Kind::Refused;
    e.source = TxSource::AutoSend;
    e.text = text;
    publish(std::move(e));
    logNote(text);
}

void Station::pollAutoSend() {
    // The fast search owns the transmitter while its dialog is open: the poll waits.
    if (m_identInProgress || m_pollRunning || m_autoSendHeld || m_closing)
        return;
    m_pollTimer->stop();
    m_pollRunning = true;
    const AtExit ended([this] { m_pollRunning = false; });
    const std::string fileName =
        m_autoSend.fileName.empty() ? DefaultAutoSendFile : m_autoSend.fileName;
    PageJob pending;
    bool failed = false;
    AutoSendActions actions;
    actions.apply = [&](const std::string& entry) {
        const EntryParse parsed = parsePageEntry(entry);
        if (!parsed.ok()) {
            refused(fileName + " entry \"" + entry +
                    "\" not sent: " + parsed.error.value_or(entry_messages::Format));
            return false;
        }
        pending = PageJob{};
        pending.source = TxSource::AutoSend;
        pending.page = toPageParams(parsed.entry);
        pending.level = rateLevel(pending.page.baud);
        pending.log = m_logPages;
        return true;
    };
    actions.send = [&] {
        PageJob job = std::move(pending);
        const std::string entryRic = job.page.ric;
        job.finished = [this, entryRic](const TxOutcome& out) {
            if (!out.built && out.refusal != Refusal::None)
                refused("Auto send RIC " + entryRic + " not sent: " + out.error);
        };
        sendPage(std::move(job));
    };
    actions.delayMs = [this](uint32_t ms) { delayMs(ms); };
    actions.suppressListSave = [](bool) {};
    actions.report = [&](const std::string& error) {
        failed = true;
        refused("Auto send: " + error);
    };
    // The program ending ends the poll: what it took but never started goes back.
    actions.stopped = [this] { return m_closing; };
    const auto result =
        runAutoSendPoll(m_autoSend.folder, fileName, m_autoSend.lockName, SecondsSince2000(),
                        m_autoSend.autoDelaySeconds, actions, &m_leftLock);
    if (result.returnError)
        refused("Auto send: " + *result.returnError);
    // After an input/output error the timer stays off until auto send is switched off and on.
    if (result.take.outcome == TakeOutcome::Failed || failed) {
        ++m_failedPolls;
        return;
    }
    if (m_autoSend.enabled && !m_closing)
        m_pollTimer->start(static_cast<uint32_t>(m_autoSend.checkRateSeconds) * 1000u);
}

} // namespace tarvex
