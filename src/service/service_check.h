#pragma once
// tarvexd --check: everything the service reads before it runs (the settings, the pager
// directory, the logins, the DAPNET key) and the audio output and keying line opened without
// keying, one line per problem, as `nginx -t` checks a configuration.
#include "network/inputs/network_settings.h"
#include "service/station_service.h"

#include <string>
#include <vector>

namespace tarvex {

/// The network settings as tarvexd runs them: the store's, with the command line's ports and
/// addresses over them (the DAPNET key is not read here).
NetworkSettings serviceNetworkSettings(const StoredLookup& lookup, const ServiceOptions& options);

/// One line per problem; none when the station would start healthy.
std::vector<std::string> checkService(const ServiceOptions& options);

} // namespace tarvex
