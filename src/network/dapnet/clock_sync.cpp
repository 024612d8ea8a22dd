#include "network/dapnet/clock_sync.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#if defined(__linux__)
#include <sys/timex.h>
#endif

namespace tarvex {

ClockSyncState systemClockSync() {
#if defined(__linux__)
    struct timex tx {};
    tx.modes = 0; // read only
    const int rc = ntp_adjtime(&tx);
    if (rc == -1)
        return {ClockSyncState::Kind::Unknown,
                std::string("the clock state cannot be read: ") + std::strerror(errno)};
    if (rc == TIME_ERROR || (tx.status & STA_UNSYNC) != 0)
        return {ClockSyncState::Kind::Unsynchronised, "the kernel marks the clock unsynchronised"};
    char text[64];
    std::snprintf(text, sizeof text, "estimated error %.1f ms",
                  static_cast<double>(tx.esterror) / 1000.0);
    return {ClockSyncState::Kind::Synchronised, text};
#else
    return {ClockSyncState::Kind::Unknown, "the clock state cannot be read on this system"};
#endif
}

std::string clockSyncWarning(const ClockSyncState& state) {
    switch (state.kind) {
    case ClockSyncState::Kind::Synchronised:
        return {};
    case ClockSyncState::Kind::Unsynchronised:
        return "The system clock is not synchronised (" + state.detail +
               "): DAPNET time slots are meaningless until a time service (NTP) sets it.";
    case ClockSyncState::Kind::Unknown:
        break;
    }
    return "Whether the system clock is synchronised is not known (" + state.detail +
           "): DAPNET time slots need a clock set by a time service (NTP).";
}

} // namespace tarvex
