#include "paging/transmission.h"

#include "txcontrol/morse_ident.h"
#include "txcontrol/tune_up.h"

namespace tarvex {

namespace {

uint32_t keyDelayOf(const Keyer& keyer) {
    const int ms = keyer.settings().KeyDelay;
    return ms > 0 ? static_cast<uint32_t>(ms) : 0u;
}

/// Puts the generator's Async, Level and Baud back when the ident ends, however it ends.
class GeneratorRestore {
public:
    explicit GeneratorRestore(TSignalGen& gen)
        : m_gen(gen), m_level(gen.Level()), m_baud(gen.Baud()) {}
    ~GeneratorRestore() {
        m_gen.setAsync(true);
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

} // namespace

void Transmitter::transmit(std::span<const Codeword> stream) {
    KeyedTransmitter keyed(m_keyer);
    m_wait.DelayMs(keyDelayOf(m_keyer));
    if (m_keyer.heldReleased())
        return; // the program is ending: nothing more goes on air
    m_gen.setData(stream);
    m_gen.Send();
    waitUntilPlayed();
}

void Transmitter::waitUntilPlayed() {
    if (m_wait.DelayMs(m_gen.Duration() + 100) != WaitEnd::Elapsed)
        return; // stopped (or the tick counter wrapped): release now
    // Never before Duration + 100 ms; beyond that, until the last sample has left the output.
    for (uint32_t extra = 0; extra < MaxDrainMs && !m_gen.Stopped() && !m_gen.outputDrained();
         extra += DrainStepMs) {
        if (m_wait.DelayMs(DrainStepMs) != WaitEnd::Elapsed)
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
    KeyedTransmitter keyed(m_keyer);
    GeneratorRestore restore(m_gen); // destroyed first: the generator is back before release
    m_wait.DelayMs(keyDelayOf(m_keyer));
    m_gen.setAsync(false);
    m_gen.setLevel(identLevel);
    m_wait.DelayMs(IdentSettleMs);
    if (m_keyer.heldReleased())
        return count;
    m_gen.setData(buffer.from(SlotBuffer::IdentFirstSlot));
    m_gen.setBaud(static_cast<int16_t>(MorseBaud));
    m_gen.Send(); // blocking: returns when the ident has played
    return count;
}

} // namespace tarvex
