#pragma once
// Transmission framing shared by pages, the tune-up and the Morse ident: key the
// transmitter, wait the key delay, point the generator at the stream, Send, wait until the
// sound has left, release. Every way out (stop, error, exception) releases the transmitter.
#include "encoder/codeword_buffer.h"
#include "paging/event_wait.h"
#include "signal/signal_gen.h"
#include "txcontrol/keying.h"

#include <cstdint>
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

    Transmitter(Keyer& keyer, EventWait& wait, TSignalGen& generator)
        : m_keyer(keyer), m_wait(wait), m_gen(generator) {}

    /// Keys, waits the Keying dialog's KeyDelay, sets Data to the stream (which must end in
    /// EndMarker), Sends with the generator's current settings, waits Duration + 100 ms
    /// and, when that wait ran in full, until the output has played its last sample
    /// (capped at MaxDrainMs), then releases. A stop request or Stop on the generator
    /// ends the waits early; the transmitter is released in every case.
    void transmit(std::span<const Codeword> stream);

    /// The tune-up: TuneTime seconds of 0xAAAAAAAA for the rate of the bit-rate button that
    /// is down (the generator plays at its own Baud, which those buttons keep equal), sent
    /// from slot 1 with the framing above. Returns the codeword count. Throws tarvex::Error,
    /// before keying, for a tune time or rate it cannot send.
    int TuneUp(SlotBuffer& buffer, int tuneTime, int baud);

    /// The station ident: builds the callsign's Morse stream from slot 1001, keys, waits the
    /// key delay, plays the stream at 800 bit/s and `identLevel` with a blocking Send after
    /// a 250 ms settling wait, puts the generator's Async (true), Level and Baud back and
    /// releases. Returns the codeword count; a callsign with nothing to send (0) keys
    /// nothing. Throws tarvex::Error, before keying, for a callsign too long for its slots.
    int SendIdent(SlotBuffer& buffer, std::string_view callsign, int identLevel);

    Keyer& keyer() { return m_keyer; }
    TSignalGen& generator() { return m_gen; }

private:
    void waitUntilPlayed();

    Keyer& m_keyer;
    EventWait& m_wait;
    TSignalGen& m_gen;
};

} // namespace tarvex
