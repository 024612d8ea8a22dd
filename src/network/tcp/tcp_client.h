#pragma once
// The outgoing side of the station's TCP transport, for a link that connects to a server
// (DAPNET): a connection opened within a time limit on the caller's thread. The name is
// looked up on a thread of its own, since a lookup cannot be cut short and must not hold the
// caller past its limit or past a stop. POSIX sockets, no Qt.
#include <cstdint>
#include <string>

namespace tarvex {

struct TcpConnectResult {
    int fd = -1;           ///< the connected socket (non-blocking), -1 when none
    std::string error;     ///< why there is none
    bool timedOut = false; ///< the time ran out
    bool stopped = false;  ///< `stopFd` became readable
};

/// Connects to host:port (a name or a numeric address), trying each address in turn, within
/// timeoutMs; gives up at once when stopFd (an eventfd, or -1) becomes readable.
TcpConnectResult connectWithin(const std::string& host, uint16_t port, int timeoutMs, int stopFd);

} // namespace tarvex
