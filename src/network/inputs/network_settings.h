#pragma once
// The network inputs' settings, in the same store as the station's (section [Tarvex]):
// which servers run, where they listen, their limits, how old a queued page may get, and the
// DAPNET link. tarvexd runs the SNPP and WCTP servers unless told otherwise; the desktop
// program only when they are switched on. The DAPNET key never sits in the store: it is
// read from its own file, which only the station's user may read. Standard C++ only.
#include "network/dapnet/dapnet_status.h"
#include "network/intake/inbound_limits.h"
#include "network/intake/listen_address.h"
#include "station/keying_method.h"

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace tarvex {

struct ServerSettings {
    bool enabled = false;
    std::vector<std::string> listen = LoopbackAddresses;
    uint16_t port = 0;
};

struct NetworkSettings {
    ServerSettings snpp{false, LoopbackAddresses, 444};
    ServerSettings wctp{false, LoopbackAddresses, 8444};
    /// GET /metrics and /health on the WCTP server's addresses and port, with or without WCTP.
    bool statusPages = false;
    bool requireLogin = false;
    InboundLimits limits;
    int maxAgeMinutes = 60; ///< queued pages older than this are dropped (0: never)
    DapnetSettings dapnet;  ///< authKey empty until read from keyFile
    std::string keyFile;    ///< the DAPNET key's file
};

/// The stored names, kept apart from the 38 values and the station's own extras.
inline constexpr std::string_view NetworkSettingNames[] = {
    "SnppEnabled",         "SnppListen",         "SnppPort",
    "WctpEnabled",         "WctpListen",         "WctpPort",
    "StatusPagesEnabled",  "NetRequireLogin",    "NetMaxLineLength",
    "NetMaxMessageLength", "NetMaxRecipients",   "NetMaxConnections",
    "NetIdleSeconds",      "NetPagesPerMinute",  "NetLoginFailuresPerMinute",
    "WctpMaxBodyBytes",    "WctpRequestSeconds", "QueueMaxAgeMinutes",
    "DapnetEnabled",       "DapnetHost",         "DapnetPort",
    "DapnetCallsign",      "DapnetKeyFile"};

/// Reads the settings with their defaults; `service` switches the servers on unless the store
/// says otherwise (tarvexd), else they are off unless it says so (the desktop program).
/// Numbers out of range take the nearest end; an address list is split at commas.
NetworkSettings readNetworkSettings(const StoredLookup& lookup, bool service);

/// Name and text of every value, as the store keeps them (the key itself never).
std::vector<std::pair<std::string_view, std::string>>
networkSettingValues(const NetworkSettings& settings);

/// "127.0.0.1,::1" for a list of addresses, as the store keeps it.
std::string addressListText(const std::vector<std::string>& addresses);

} // namespace tarvex
