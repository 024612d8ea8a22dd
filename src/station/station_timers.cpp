// What the station does on its own time: the station ident at its interval (and on a test
// request), and the timers behind its steps, the hold after STOP and the feeds' wake-ups.
#include "station/station.h"

#include "encoder/errors.h"
#include "txcontrol/morse_ident.h"

namespace tarvex {

namespace {
constexpr uint32_t MsPerMinute = 60000;
} // namespace

void Station::createTimers() {
    m_identTimer = m_scheduler.createTimer([this] { identTick(); }, true);
    m_identRetry = m_scheduler.createTimer([this] { identTick(); }, false);
    m_gather = m_scheduler.createTimer([this] { kick(); }, false);
    m_holdTimer = m_scheduler.createTimer([this] { resume(); }, false);
    m_audioRetry = m_scheduler.createTimer([this] { kick(); }, false);
    m_searchTimer = m_scheduler.createTimer([this] { searchStep(); }, false);
    m_stepTimer = m_scheduler.createTimer(
        [this] {
            if (m_step)
                std::exchange(m_step, nullptr)();
        },
        false);
}

void Station::stopTimers() {
    m_identTimer->stop();
    m_identRetry->stop();
    m_progressTimer->stop();
    m_gather->stop();
    m_holdTimer->stop();
    m_audioRetry->stop();
    m_searchTimer->stop();
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
    if (m_closing || (m_ident.minutes < 1 && !m_identTest) || m_ident.callsign.empty() ||
        m_identInProgress)
        return false;
    if (m_busy) {
        // Sending now would cut the transmission on air short: try again once it has left.
        m_identRetry->start(IdentRetryMs);
        return false;
    }
    m_busy = true;
    if (launchIdent())
        return true;
    runNext();
    return false;
}

void Station::identTick() {
    sendIdent(false);
}

bool Station::launchIdent() {
    m_identTest = false;
    Flight f;
    f.out.kind = TxKind::Ident;
    f.out.source = TxSource::Ident;
    f.settle = false;
    f.keyUp.identLevel = m_ident.level;
    try {
        // Built before keying: a callsign that cannot be sent never keys the transmitter.
        f.out.codewords = BuildMorseIdent(m_encoder.CodewordBuffer, m_ident.callsign);
    } catch (const Error& e) {
        f.out.built = false;
        f.out.refusal = Refusal::Other;
        f.out.error = e.what();
        finish(f.out, false, nullptr);
        return false;
    }
    if (f.out.codewords == 0)
        return false; // nothing of the callsign has a Morse code
    m_identInProgress = true;
    m_identTimer->stop();
    f.keyUpMs = keyUpMs(static_cast<int>(MorseBaud), static_cast<std::size_t>(f.out.codewords),
                        false, true);
    f.keyUp.stream = streamFromSlot(m_encoder.CodewordBuffer, SlotBuffer::IdentFirstSlot);
    launch(std::move(f));
    return true;
}

} // namespace tarvex
