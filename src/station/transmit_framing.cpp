#include "station/transmit_framing.h"

#include "txcontrol/morse_ident.h"

#include <exception>
#include <utility>

namespace tarvex {

Transmitter::Transmitter(Keyer& keyer, TSignalGen& generator, Scheduler& scheduler, Hooks hooks)
    : m_keyer(keyer), m_gen(generator), m_hooks(std::move(hooks)) {
    m_timer = scheduler.createTimer(
        [this] {
            if (m_next)
                std::exchange(m_next, nullptr)();
        },
        false);
}

Transmitter::~Transmitter() {
    if (!active())
        return;
    m_timer->stop();
    m_done = nullptr;
    try {
        m_gen.Stop();
        m_keyer.UnkeyTransmitter();
    } catch (...) {
        // Port and sound failures are silent; nothing may escape a destructor.
    }
}

uint32_t Transmitter::keyDelayMs() const {
    return m_hooks.keyDelayMs ? m_hooks.keyDelayMs() : 200u;
}

uint32_t Transmitter::drainAllowanceMs() const {
    return m_hooks.maxDrainMs ? m_hooks.maxDrainMs() : MaxDrainMs;
}

uint32_t Transmitter::keyUpMs(uint32_t soundMs, bool ident) const {
    return keyDelayMs() + (ident ? IdentSettleMs : 0) + soundMs + 100 + drainAllowanceMs();
}

void Transmitter::tell(Phase phase) const {
    if (m_hooks.phase)
        m_hooks.phase(phase);
}

bool Transmitter::start(KeyUp keyUp, Done done) {
    // A transmitter keyed for an output that cannot play sends a dead carrier; one held
    // released (the program is ending) keys nothing.
    if (active() || m_keyer.heldReleased() || !m_gen.outputReady())
        return false;
    m_keyUp = std::move(keyUp);
    m_done = std::move(done);
    m_end = End{};
    m_drained = 0;
    m_keyer.KeyTransmitter();
    tell(Phase::Keyed);
    m_next = [this] { afterKeyDelay(); };
    m_timer->start(keyDelayMs());
    return true;
}

void Transmitter::afterKeyDelay() {
    if (!m_keyUp.identLevel) {
        play();
        return;
    }
    m_savedLevel = m_gen.Level();
    m_savedBaud = m_gen.Baud();
    m_gen.setLevel(*m_keyUp.identLevel);
    m_next = [this] { play(); };
    m_timer->start(IdentSettleMs);
}

void Transmitter::play() {
    m_gen.setData(m_keyUp.stream);
    if (m_keyUp.identLevel)
        m_gen.setBaud(static_cast<int16_t>(MorseBaud));
    try {
        m_gen.Send();
    } catch (const std::exception& e) {
        // An output that throws is one that does not play: released at once.
        m_end.error = e.what();
    }
    if (!m_end.error.empty() || !m_gen.lastError().empty()) {
        if (m_end.error.empty())
            m_end.error = m_gen.lastError();
        release();
        return;
    }
    m_end.sounded = true;
    tell(Phase::Playing);
    m_next = [this] { afterPlay(); };
    m_timer->start(m_gen.Duration() + 100);
}

void Transmitter::afterPlay() {
    tell(Phase::Draining);
    drainStep();
}

void Transmitter::drainStep() {
    // Never before Duration + 100 ms; beyond that, until the last sample has left the output,
    // but never past the drain this key-up was allowed.
    if (m_gen.Stopped() || m_gen.outputDrained()) {
        release();
        return;
    }
    const uint32_t allowance = drainAllowanceMs();
    if (m_drained >= allowance) {
        m_end.drainCut = allowance < MaxDrainMs;
        release();
        return;
    }
    m_drained += DrainStepMs;
    m_next = [this] { drainStep(); };
    m_timer->start(DrainStepMs);
}

void Transmitter::cancel() {
    if (!active())
        return;
    m_end.cancelled = true;
    release();
}

void Transmitter::release() {
    m_timer->stop();
    m_next = nullptr;
    if (m_keyUp.identLevel) {
        // Played out or cut short: the generator stands stopped, so the level put back
        // applies at once, before the release.
        m_gen.Stop();
        if (m_savedBaud != 0) {
            m_gen.setLevel(m_savedLevel);
            m_gen.setBaud(m_savedBaud);
        }
    } else if (m_end.cancelled) {
        m_gen.Stop();
    }
    m_savedBaud = 0;
    m_keyer.UnkeyTransmitter();
    Done done = std::exchange(m_done, nullptr);
    const End end = m_end;
    m_keyUp = KeyUp{};
    tell(Phase::Released);
    if (done)
        done(end);
}

} // namespace tarvex
