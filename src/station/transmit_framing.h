#pragma once
// Transmission framing shared by pages, the fast search, the tune-up and the Morse ident:
// key the transmitter, wait the key delay, point the generator at the stream, Send, wait
// until the sound has left, release. Each step is a timer on the station's scheduler, so
// the framing never waits in place and nothing runs inside one of its steps; every way out
// (cancel, a failing output, destruction) releases the transmitter.
#include "encoder/codeword.h"
#include "signal/signal_gen.h"
#include "station/scheduler.h"
#include "txcontrol/keying.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

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
        std::function<void(Phase)> phase;     ///< told of each step (null: nobody)
        /// The longest wait for the output to drain that this key-up may take (null:
        /// MaxDrainMs); a time-slotted key-up allows only what its slot leaves.
        std::function<uint32_t()> maxDrainMs;
    };

    /// One key-up: the stream to play, which must end in EndMarker.
    struct KeyUp {
        std::vector<Codeword> stream;
        /// The ident: after the key delay the level becomes this and settles for
        /// IdentSettleMs, the stream plays at 800 bit/s, and the generator's level and
        /// rate are put back before the release.
        std::optional<int> identLevel;
    };

    /// How a key-up ended, told once the transmitter is released.
    struct End {
        bool sounded = false;   ///< the sound was started
        bool cancelled = false; ///< cancel() cut it short
        /// Released at its drain allowance with samples still leaving the output.
        bool drainCut = false;
        std::string error; ///< a sound that would not start (the output's reason)
    };
    using Done = std::function<void(const End&)>;

    Transmitter(Keyer& keyer, TSignalGen& generator, Scheduler& scheduler, Hooks hooks = {});
    /// Releases a key-up still running (its `done` is not told).
    ~Transmitter();
    Transmitter(const Transmitter&) = delete;
    Transmitter& operator=(const Transmitter&) = delete;

    /// Keys and runs the key-up on the scheduler's timers: the key delay, Send with the
    /// generator's current settings, Duration + 100 ms and, when that ran in full, until the
    /// output has played its last sample (capped at the drain allowance), the release.
    /// `done` runs once, after the release. An output that is not ready is never keyed for:
    /// false, nothing keyed and `done` never runs (the generator's lastError() says why).
    bool start(KeyUp keyUp, Done done);
    /// Ends the running key-up now: nothing more plays, the transmitter is released and
    /// `done` has run when this returns. Nothing happens when no key-up runs.
    void cancel();
    bool active() const { return m_done != nullptr; }
    /// The longest a key-up with `soundMs` of sound keeps the transmitter keyed, as start()
    /// runs it: the key delay, an ident's settle, the sound, 100 ms and the drain allowed.
    /// The station plans its time slots with it.
    uint32_t keyUpMs(uint32_t soundMs, bool ident) const;

private:
    void afterKeyDelay();
    void play();
    void afterPlay();
    void drainStep();
    void release();
    void tell(Phase phase) const;
    uint32_t keyDelayMs() const;
    uint32_t drainAllowanceMs() const;

    Keyer& m_keyer;
    TSignalGen& m_gen;
    Hooks m_hooks;
    std::unique_ptr<StationTimer> m_timer; ///< the step that is waited for
    std::function<void()> m_next;          ///< what that timer runs
    KeyUp m_keyUp;
    Done m_done;
    End m_end;
    int16_t m_savedLevel = 0; ///< the generator's, put back after an ident
    int16_t m_savedBaud = 0;
    uint32_t m_drained = 0; ///< ms waited so far for the output to drain
};

} // namespace tarvex
