#pragma once
// What the DAPNET link is set to do and what it is doing: its settings, the timing of its
// reconnections (the back-off schedule), its status, and the status line the desktop program
// and the service show. Standard C++ only, so front ends without Qt Network can use it.
#include "network/dapnet/auth_key_file.h"
#include "network/dapnet/dapnet_session.h"
#include "network/dapnet/time_slots.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tarvex {

struct DapnetSettings {
    bool enabled = false;
    std::string host;
    uint16_t port = DapnetDefaultPort;
    std::string callsign;
    std::string authKey; ///< read from the key file; never logged, never in the settings store
};

/// Why an enabled link cannot log in with these settings (empty when it can). Never quotes
/// the key.
std::string dapnetSettingsProblem(const DapnetSettings& settings);

/// "HOST:PORT", "HOST" (default port) or "[v6-address]:PORT", for --dapnet.
bool parseDapnetServer(std::string_view text, std::string* host, uint16_t* port,
                       std::string* error);

/// What tarvexd's command line may set over the stored settings: --dapnet HOST:PORT,
/// --callsign CALL, --auth-key-file FILE (the key itself never comes on a command line).
struct DapnetOverrides {
    std::optional<std::string> server;
    std::optional<std::string> callsign;
    std::optional<std::string> authKeyFile;
};

/// Applies the overrides (--dapnet enables the link) and, for an enabled link, reads the key
/// from the file named, else from keyFile (the stored one, normally defaultAuthKeyFile()).
/// False with *error when an option is malformed or the key cannot be read.
bool applyDapnetOverrides(DapnetSettings& settings, const DapnetOverrides& overrides,
                          const std::string& keyFile, std::string* error);

struct DapnetLinkTiming {
    int64_t silenceTimeoutMs = 120'000; ///< no line for this long: the link is taken as dead
    int64_t connectTimeoutMs = 10'000;
    int64_t firstBackoffMs = 5'000; ///< wait before the first new attempt
    int64_t maxBackoffMs = 300'000; ///< the wait doubles up to this
    int64_t goodSessionMs = 60'000; ///< online this long: the next wait starts over
};

/// The wait before each new attempt: first, 2 × first, 4 × first, ... up to the maximum;
/// back to the first after a good session.
class DapnetBackoff {
public:
    explicit DapnetBackoff(const DapnetLinkTiming& timing) : m_timing(timing) {}
    /// The wait before the next attempt; the one after it is twice as long.
    int64_t next();
    void reset() { m_failures = 0; }
    int failures() const { return m_failures; }

private:
    DapnetLinkTiming m_timing;
    int m_failures = 0;
};

enum class DapnetLinkState { Off, Connecting, LoggingIn, Online, Refused, BackingOff };

/// "off", "connecting", "logging in", "online", "refused", "waiting to reconnect".
std::string_view dapnetLinkStateText(DapnetLinkState state);

struct DapnetLinkStatus {
    DapnetLinkState state = DapnetLinkState::Off;
    std::string server; ///< "host:port"
    std::string callsign;
    TimeSlots allowedSlots; ///< the last slots assigned; all while none has been
    bool slotsAssigned = false;
    uint64_t pagesReceived = 0; ///< queued and acknowledged
    uint64_t pagesRefused = 0;  ///< answered '-' (unreadable, over-long) or '%' (queue failed)
    uint64_t duplicates = 0;    ///< pages sent again after a lost acknowledgement
    std::string lastError;      ///< why the last connection ended or failed
    std::string refusal;        ///< the server's last "7 ..." text
    int64_t nextAttemptMs = 0;  ///< Unix ms of the next attempt (Refused, BackingOff)
    int64_t onlineSinceMs = 0;  ///< Unix ms (Online)
    int64_t lastCorrectionTenths = 0;
    std::string clockWarning; ///< clockSyncWarning() while the link is on; empty when fine
};

/// The status line: state, server and callsign, allowed slots, pages received, pages waiting
/// for a slot (the engine's count), the next slot and the clock warning if any, e.g. "DAPNET online
/// (host:43434 as dl1abc) · slots 0246AC · 12 received · 2 waiting · slot 4 now, 3.1 s left".
std::string dapnetStatusLine(const DapnetLinkStatus& status, std::size_t waiting, int64_t nowMs);

/// "slot 4 now, 3.1 s left", "next slot 6 in 12.8 s", "any time", "no slot allowed".
std::string describeNextSlot(const TimeSlots& slots, int64_t nowMs);

} // namespace tarvex
