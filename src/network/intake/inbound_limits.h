#pragma once
// The limits every network server of the station enforces, with their defaults: how long a
// line or a message may be, how many recipients one message may name, how many connections
// are served at once, how long a quiet connection is kept and how many pages a login may
// queue in a minute. Standard C++ only.
#include <cstddef>

namespace tarvex {

struct InboundLimits {
    /// Longest command or text line, in bytes without CR LF (SNPP).
    std::size_t maxLineLength = 512;
    /// Longest message text as it arrives (UTF-8 bytes), before any pager's own limit.
    std::size_t maxMessageLength = 1024;
    /// Recipients one message may name (PAGE commands before SEND, WCTP recipients).
    std::size_t maxRecipients = 16;
    /// Connections served at once by one server (over all its listening addresses).
    int maxConnections = 32;
    /// Seconds a connection may stay silent before it is closed.
    int idleSeconds = 120;
    /// Pages one login (or, without a login, one peer address) may queue per minute.
    int pagesPerMinute = 60;
    /// Failed password checks per peer address per minute before logins are refused unchecked.
    int loginFailuresPerMinute = 10;
    /// Refused commands in one SNPP session before it is closed with 421.
    int maxErrorsPerSession = 20;
    /// Largest WCTP request body, in bytes.
    std::size_t maxBodyBytes = 65536;
    /// Seconds one WCTP request may take to arrive, from its first byte to its last.
    int requestSeconds = 30;
    /// Requests served on one kept-alive WCTP connection.
    int requestsPerConnection = 100;
};

/// Connections one address (an IPv6 client by its /64) may hold at once: all but an eighth of
/// the limit (at least one slot), so that one client can never take every slot.
inline int connectionsPerAddress(const InboundLimits& limits) {
    const int reserve = limits.maxConnections >= 8 ? limits.maxConnections / 8 : 1;
    return limits.maxConnections > 1 ? limits.maxConnections - reserve : 1;
}

} // namespace tarvex
