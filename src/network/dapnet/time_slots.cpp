#include "network/dapnet/time_slots.h"

#include <algorithm>

namespace tarvex {

namespace {

int64_t floorDiv(int64_t a, int64_t b) {
    const int64_t q = a / b;
    return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

} // namespace

int hexDigitValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

std::optional<TimeSlots> TimeSlots::parse(std::string_view digits) {
    uint16_t mask = 0;
    for (const char c : digits) {
        const int v = hexDigitValue(c);
        if (v < 0)
            return std::nullopt;
        mask = static_cast<uint16_t>(mask | (1u << v));
    }
    return TimeSlots(mask);
}

int TimeSlots::slotAt(int64_t unixMs) {
    const int64_t slot = floorDiv(unixMs, SlotMs) % SlotCount;
    return static_cast<int>(slot < 0 ? slot + SlotCount : slot);
}

int64_t TimeSlots::slotStart(int64_t unixMs) {
    return floorDiv(unixMs, SlotMs) * SlotMs;
}

std::string TimeSlots::text() const {
    static constexpr char digits[] = "0123456789ABCDEF";
    std::string out;
    for (int slot = 0; slot < SlotCount; ++slot)
        if (allowed(slot))
            out += digits[slot];
    return out;
}

std::optional<int64_t> TimeSlots::runEnd(int64_t unixMs) const {
    if (!allowedAt(unixMs))
        return std::nullopt;
    if (all())
        return Forever;
    // Not every slot is allowed, so the walk meets a closed slot within one cycle; it crosses
    // from slot F to slot 0 like any other boundary.
    int64_t end = slotStart(unixMs) + SlotMs;
    while (allowedAt(end))
        end += SlotMs;
    return end;
}

std::optional<int64_t> TimeSlots::nextRunStart(int64_t unixMs) const {
    if (none() || all())
        return std::nullopt;
    int64_t start = slotStart(unixMs) + SlotMs;
    for (int i = 0; i <= SlotCount; ++i, start += SlotMs)
        if (allowedAt(start) && !allowedAt(start - SlotMs))
            return start;
    return std::nullopt; // not reached: a mixed mask has a run start in every cycle
}

std::optional<int64_t> TimeSlots::nextAllowedTime(int64_t unixMs) const {
    if (allowedAt(unixMs))
        return unixMs;
    return nextRunStart(unixMs);
}

int64_t TimeSlots::remainingMs(int64_t unixMs) const {
    const std::optional<int64_t> end = runEnd(unixMs);
    if (!end)
        return 0;
    return *end == Forever ? Forever : *end - unixMs;
}

int64_t TimeSlots::longestRunMs() const {
    if (none())
        return 0;
    if (all())
        return Forever;
    int64_t longest = 0;
    for (int slot = 0; slot < SlotCount; ++slot) {
        const int64_t start = slot * SlotMs;
        if (allowedAt(start) && !allowedAt(start - SlotMs))
            longest = std::max(longest, *runEnd(start) - start);
    }
    return longest;
}

SlotPlan TimeSlots::plan(int64_t nowMs, int64_t durationMs) const {
    const int64_t need = std::max<int64_t>(durationMs, 0);
    if (none())
        return {SlotPlan::Kind::Never, 0, 0};
    if (all())
        return {SlotPlan::Kind::Now, nowMs, Forever};
    if (const std::optional<int64_t> end = runEnd(nowMs); end && *end - nowMs >= need)
        return {SlotPlan::Kind::Now, nowMs, *end};
    if (need > longestRunMs())
        return {SlotPlan::Kind::Never, 0, 0};
    // Some run is long enough; the first one after now that is comes within a cycle.
    std::optional<int64_t> start = nextRunStart(nowMs);
    for (int i = 0; start && i < SlotCount; ++i, start = nextRunStart(*start)) {
        const int64_t end = *runEnd(*start);
        if (end - *start >= need)
            return {SlotPlan::Kind::Later, *start, end};
    }
    return {SlotPlan::Kind::Never, 0, 0};
}

} // namespace tarvex
