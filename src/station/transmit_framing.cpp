#include "station/transmit_framing.h"

#include "txcontrol/morse_ident.h"
#include "txcontrol/tune_up.h"

namespace tarvex {

namespace {

/// Puts the generator's Level and Baud back when the ident ends, however it ends.
class GeneratorRestore {
public:
    explicit GeneratorRestore(TSignalGen& gen)
        : m_gen(gen), m_level(gen.Level()), m_baud(gen.Baud()) {}
    ~GeneratorRestore() {
        m_gen.setLevel(m_level);
        m_gen.setBaud(m_baud);
    }
    GeneratorRestore(const GeneratorRestore&) = delete;
    GeneratorRestore& operator=(const GeneratorRestore&) = delete;

private:
    TSignalGen& m_gen;
    int16_t m_level;
    int16_t m_baud;
};

/// Tells the hooks of the release when the key goes, however the framing ends.
class ReleaseNotice {
public:
    explicit ReleaseNotice(std::function<void()> told) : m_told(std::move(told)) {}
    ~ReleaseNotice() {
        try {
            m_told();
        } catch (...) {
            // A listener's failure must not escape while unwinding.
        }
    }
    ReleaseNotice(const ReleaseNotice&) = delete;
    ReleaseNotice& operator=(const ReleaseNotice&) = delete;

private:
    std::function<void()> m_told;
};

} // namespace

bool Transmitter::cancelled() const {
    return m_keyer.heldReleased() || (m_hooks.cancelled && m_hooks.cancelled());
}

void Transmitter::tell(Phase phase) const {
    if (m_hooks.phase)
        m_hooks.phase(phase);
}

uint32_t Transmitter::keyDelayMs() const {
    return m_hooks.keyDelayMs ? m_hooks.keyDelayMs() : 200u;
}

bool Transmitter::transmit(std::span<const Codeword> stream) {
    m_drainCut = false;
    // A transmitter keyed for an output that cannot play sends a dead carrier.
    if (!m_gen.outputReady())
        return false;
    // Declared before the key: destroyed after it, so the release is told once it happened.
    const ReleaseNotice released([this] { tell(Phase::Released); });
    KeyedTransmitter keyed(m_keyer);
    tell(Phase::Keyed);
    m_wait.DelayMs(keyDelayMs());
    if (cancelled())
        return false; // stopped, or the program is ending: nothing goes on air
    m_gen.setData(stream);
    m_gen.Send();
    if (!m_gen.lastError().empty())
        return false; // the sound did not start: release at once
    tell(Phase::Playing);
    waitUntilPlayed();
    return true;
}

void Transmitter::waitUntilPlayed() {
    if (m_wait.DelayMs(m_gen.Duration() + 100) != WaitEnd::Elapsed || cancelled())
        return; // stopped (or the tick counter wrapped): release now
    tell(Phase::Draining);
    // Never before Duration + 100 ms; beyond that, until the last sample has left the output,
    // but never past the drain this key-up was allowed.
    const uint32_t allowance = m_hooks.maxDrainMs ? m_hooks.maxDrainMs() : MaxDrainMs;
    for (uint32_t extra = 0; !m_gen.Stopped() && !m_gen.outputDrained(); extra += DrainStepMs) {
        if (extra >= allowance) {
            m_drainCut = allowance < MaxDrainMs;
            return;
        }
        if (m_wait.DelayMs(DrainStepMs) != WaitEnd::Elapsed || cancelled())
            return;
    }
}

int Transmitter::TuneUp(SlotBuffer& buffer, int tuneTime, int baud) {
    const int n = BuildTuneUp(buffer, tuneTime, baud);
    transmit(buffer.from(SlotBuffer::FirstSlot));
    return n;
}

int Transmitter::SendIdent(SlotBuffer& buffer, std::string_view callsign, int identLevel) {
    // Built before keying: a callsign that cannot be sent never keys the transmitter.
    const int count = BuildMorseIdent(buffer, callsign);
    if (count == 0)
        return 0;
    m_drainCut = false;
    if (!m_gen.outputReady())
        return count;
    const ReleaseNotice released([this] { tell(Phase::Released); });
    KeyedTransmitter keyed(m_keyer);
    GeneratorRestore restore(m_gen); // destroyed first: the generator is back before release
    tell(Phase::Keyed);
    m_wait.DelayMs(keyDelayMs());
    m_gen.setLevel(identLevel);
    m_wait.DelayMs(IdentSettleMs);
    if (cancelled())
        return count;
    m_gen.setData(buffer.from(SlotBuffer::IdentFirstSlot));
    m_gen.setBaud(static_cast<int16_t>(MorseBaud));
    // Played like any transmission, so the window stays live and Stop ends it.
    m_gen.Send();
    if (!m_gen.lastError().empty())
        return count;
    tell(Phase::Playing);
    waitUntilPlayed();
    // Played out: the generator stands stopped, so the level put back applies at once.
    m_gen.Stop();
    return count;
}

} // namespace tarvex
