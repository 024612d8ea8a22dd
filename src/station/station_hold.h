#pragma once
// The station hold: only one program keys a transmitter at a time. The window and tarvexd
// each take the hold at start; whichever comes second learns which program holds it (its
// name and PID) and does not key. The hold is a POSIX record lock, so the kernel lets it go
// with the process, however that process ended (SIGKILL included): a hold never outlives
// its holder. Standard C++ on POSIX.
#include "txcontrol/ptt/ptt_factory.h"

#include <string>
#include <sys/types.h>
#include <vector>

namespace tarvex {

/// Environment variable that names the station's own lock file outright.
inline constexpr char StationLockVariable[] = "TARVEX_STATION_LOCK";

/// The lock files a station takes: its own ($TARVEX_STATION_LOCK, else tarvex-station.lock in
/// the runtime folder systemd made for the service ($RUNTIME_DIRECTORY) or the user's
/// ($XDG_RUNTIME_DIR), else /tmp/tarvex-station-<uid>.lock) and, when it
/// keys a real device (a parallel port, a serial port, a CM108, a GPIO chip, a rig's port),
/// one per device in /run/lock, which every user's station shares. `parallelDevice` is the
/// parallel port's device node, or empty when the port is a recording or none.
std::vector<std::string> stationHoldPaths(const PttSettings& keying,
                                          const std::string& parallelDevice);

class StationHold {
public:
    StationHold() = default;
    ~StationHold();
    StationHold(StationHold&& other) noexcept;
    StationHold& operator=(StationHold&& other) noexcept;
    StationHold(const StationHold&) = delete;
    StationHold& operator=(const StationHold&) = delete;

    /// Takes every lock in turn. False when one is held by another process: *holder then
    /// says which ("tarvexd (PID 1234)") and nothing is held. A lock file that cannot be
    /// made at all (a read-only folder) is skipped with its reason in *notes, so a station
    /// still runs where locks cannot be kept.
    bool acquire(const std::vector<std::string>& paths, std::string* holder,
                 std::vector<std::string>* notes = nullptr);
    void release();
    bool held() const { return !m_fds.empty(); }

private:
    std::vector<int> m_fds;
};

/// "tarvexd (PID 1234)": the program name of a process, read from /proc.
std::string describeProcess(pid_t pid);

} // namespace tarvex
