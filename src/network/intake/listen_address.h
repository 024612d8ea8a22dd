#pragma once
// Which listening addresses keep a server on this computer: the servers ask for a login
// as soon as one of their addresses is not a loopback address. Standard C++ and POSIX.
#include <string>
#include <string_view>
#include <vector>

namespace tarvex {

/// The loopback addresses a server listens on unless configured otherwise.
inline const std::vector<std::string> LoopbackAddresses = {"127.0.0.1", "::1"};

/// True for a numeric IPv4 address in 127.0.0.0/8, "::1" and "::ffff:127.x.y.z".
bool isLoopbackAddress(std::string_view address);
/// False when this computer has no such address to listen on (no IPv6, say): a server skips
/// such an address when it still has another one. Tried with a socket bound to port 0.
bool addressAvailable(const std::string& address);
/// True when any address is not loopback (a name such as "localhost" counts as not loopback:
/// only numeric addresses are known not to reach beyond this computer).
bool reachesBeyondLoopback(const std::vector<std::string>& addresses);

} // namespace tarvex
