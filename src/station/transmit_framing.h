#pragma once
// Transmission framing shared by pages, the fast search, the tune-up and the Morse ident:
// key the transmitter, wait the key delay, point the generator at the stream, Send, wait
// until the sound has left, release. Every way out (stop, error, exception) releases the
// transmitter.
#include "encoder/codeword_buffer.h"
#include "paging/event_wait.h"
#include "signal/signal_gen.h"
#include "txcontrol/keying.h"

#include <cstdint>
#include <functional>
#include <span>
#include <string_view>

namespace tarvex {

class Transmitter {
public:
    /// Settling pause of the ident before its tone (after the level change).
    static constexpr uint32_t IdentSettleMs = 250;
    /// After Duration + 100 ms, how long to wait at most for an output that still reports
    /// samples in flight before releasing anyway.
    static constexpr uint32_t MaxDrainMs = 2000;
    static constexpr uint32_t DrainStepMs = 10;

    enum class Phase { Keyed, Playing, Draining, Released };

    struct Hooks {
        std::function<uint32_t()> keyDelayMs; ///< the key delay in force (null: 200 ms)
        std::function<bool()> cancelled;      ///< true: Stop was asked for (null: never)
        std::function<void(Phase)> phase;     ///< told of each step (null: nobody)
        /// The longest wait for the output to drain that this key-up may take (null:
        /// MaxDrainMs); a time-slotted key-up allows only what its slot leaves.
        std::function<uint32_t()> maxDrainMs;
    };

    Transmitter(Keyer& keyer, EventWait& wait, TSignalGen& generator, Hooks hooks = {})
        : m_keyer(keyer), m_wait(wait), m_gen(generator), m_hooks(std::move(hooks)) {}

    /// Keys, waits the key delay, sets Data to the stream (which must end in EndMarker),
    /// Sends with the generator's current settings, waits Duration + 100 ms and, when that
    /// wait ran in full, until the output has played its last sample (capped at the drain
    /// allowance), then releases. An output that is not ready is never keyed for, and one
    /// that fails to start is released at once (the generator's lastError() says why). A
    /// stop request, Stop on the generator or `cancelled` ends the waits early (nothing is
    /// played when it comes during the key delay); the transmitter is released in every
    /// case. Returns true when the sound was started.
    bool transmit(std::span<const Codeword> stream);

    /// The tune-up: TuneTime seconds of 0xAAAAAAAA at `baud` (the generator plays at its own
    /// Baud, which the caller keeps equal), sent from slot 1 with the framing above.
    /// Returns the codeword count. Throws tarvex::Error, before keying, for a tune time or
    /// rate it cannot send.
    int TuneUp(SlotBuffer& buffer, int tuneTime, int baud);

    /// The station ident: builds the callsign's Morse stream from slot 1001, keys, waits the
    /// key delay, sets the ident level, waits 250 ms, plays the stream at 800 bit/s until it
    /// has left, puts the generator's Level and Baud back and releases. Returns the
    /// codeword count; a callsign with nothing to send (0) keys nothing. Throws
    /// tarvex::Error, before keying, for a callsign too long for its slots.
    int SendIdent(SlotBuffer& buffer, std::string_view callsign, int identLevel);

    Keyer& keyer() { return m_keyer; }
    /// True when the last key-up was released at its drain allowance with samples still
    /// leaving the output.
    bool drainCut() const { return m_drainCut; }
    TSignalGen& generator() { return m_gen; }

private:
    void waitUntilPlayed();
    bool cancelled() const;
    void tell(Phase phase) const;
    uint32_t keyDelayMs() const;

    Keyer& m_keyer;
    EventWait& m_wait;
    TSignalGen& m_gen;
    Hooks m_hooks;
    bool m_drainCut = false;
};

} // namespace tarvex
