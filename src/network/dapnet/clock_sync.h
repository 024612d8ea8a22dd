#pragma once
// Whether the system clock is kept in step by a time service. DAPNET time slots are only
// meaningful on a synchronised clock, so the station warns when the kernel says it is not.
// Standard C++ (the kernel's clock state on Linux).
#include <string>

namespace tarvex {

struct ClockSyncState {
    enum class Kind {
        Synchronised,   ///< a time service disciplines the clock
        Unsynchronised, ///< the kernel marks the clock unsynchronised
        Unknown         ///< the state cannot be read here (not Linux, or the call failed)
    };
    Kind kind = Kind::Unknown;
    std::string detail; ///< e.g. "estimated error 2.1 ms", or why it is unknown
};

/// Reads the kernel's clock state (ntp_adjtime without changing anything): unsynchronised
/// when the call answers TIME_ERROR or STA_UNSYNC is set. Limits: it trusts the kernel flag,
/// which a time service (systemd-timesyncd, chrony, ntpd) clears once it has set the clock
/// and sets again when it stops steering it for a while; a clock set once by hand, or a
/// service that does not tell the kernel, reads unsynchronised; in a container the host's
/// clock is what is read.
ClockSyncState systemClockSync();

/// The warning for the status line and the service log; empty when the clock is
/// synchronised.
std::string clockSyncWarning(const ClockSyncState& state);

} // namespace tarvex
