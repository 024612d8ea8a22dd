#pragma once
// DAPNET time slots: sixteen slots of 6.4 s in a 102.4 s cycle aligned to the Unix epoch, the
// set a transmitter may key in, and the planner that says when a key-up of a given length may
// start so that it ends before its run of allowed slots ends. Standard C++ only.
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <string_view>

namespace tarvex {

/// A hex digit's value (either case); -1 for any other character.
int hexDigitValue(char c);

/// When a key-up may start.
struct SlotPlan {
    enum class Kind {
        Now,   ///< it fits what is left of the current allowed run
        Later, ///< it fits from startMs, the start of a later allowed run
        Never  ///< longer than every allowed run (or no slot allowed): it can never be sent
    };
    Kind kind = Kind::Never;
    int64_t startMs = 0;  ///< Unix ms; for Now, the time asked about
    int64_t runEndMs = 0; ///< end of the run it goes in (Forever when every slot is allowed)
};

class TimeSlots {
public:
    static constexpr int SlotCount = 16;
    static constexpr int64_t SlotMs = 6400;
    static constexpr int64_t CycleMs = SlotCount * SlotMs;
    static constexpr uint16_t AllSlots = 0xFFFF;
    /// Stands for "no end" when every slot is allowed.
    static constexpr int64_t Forever = std::numeric_limits<int64_t>::max();

    /// Every slot allowed: the state of a station that is no DAPNET transmitter.
    TimeSlots() = default;
    explicit TimeSlots(uint16_t mask) : m_mask(mask) {}

    /// The slot list of a "4:" line without its prefix ("0246AC"; either case, repeats
    /// allowed, empty allows none); nullopt when anything else than hex digits is there.
    static std::optional<TimeSlots> parse(std::string_view digits);

    /// Slot 0..15 of a Unix time in ms: (tenths of a second >> 6) & 15.
    static int slotAt(int64_t unixMs);
    /// Start (Unix ms) of the slot holding unixMs.
    static int64_t slotStart(int64_t unixMs);

    uint16_t mask() const { return m_mask; }
    bool allowed(int slot) const { return slot >= 0 && slot < SlotCount && (m_mask >> slot) & 1; }
    bool allowedAt(int64_t unixMs) const { return allowed(slotAt(unixMs)); }
    bool all() const { return m_mask == AllSlots; }
    bool none() const { return m_mask == 0; }
    /// "0246AC" (upper case, ascending), "" for none.
    std::string text() const;

    /// End of the allowed run holding unixMs (Forever when all are allowed); nullopt when the
    /// slot of unixMs is not allowed.
    std::optional<int64_t> runEnd(int64_t unixMs) const;
    /// Start of the first allowed run that begins after unixMs (a slot start whose slot is
    /// allowed and whose previous slot is not); nullopt when there is none (none or all
    /// allowed).
    std::optional<int64_t> nextRunStart(int64_t unixMs) const;
    /// Start of the first allowed slot at or after unixMs (unixMs itself when it lies in
    /// one); nullopt when no slot is allowed.
    std::optional<int64_t> nextAllowedTime(int64_t unixMs) const;
    /// Ms left of the current allowed run (0 outside one, Forever when all are allowed):
    /// the budget of a key-up that starts now.
    int64_t remainingMs(int64_t unixMs) const;
    /// Length of the longest allowed run (0 for none, Forever for all): no key-up longer
    /// than this can ever be sent.
    int64_t longestRunMs() const;

    /// When a key-up lasting durationMs (settle, key delay, preamble and pages, release)
    /// may start, at nowMs or later, so that it ends no later than its run ends.
    SlotPlan plan(int64_t nowMs, int64_t durationMs) const;

    friend bool operator==(const TimeSlots&, const TimeSlots&) = default;

private:
    uint16_t m_mask = AllSlots;
};

} // namespace tarvex
