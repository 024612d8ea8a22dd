#pragma once
// What every network input of the station (the SNPP server, the HTTP server with WCTP, the
// status pages and the web interface, the DAPNET link) is to the station assembly, which
// starts, stops and reports them all alike without naming any. The one concurrency rule:
// an input runs on threads of its own, never on the engine's; it hands pages to the station
// only through the page intake (the durable queue, which then wakes the engine), and what it
// sets on the engine itself (the DAPNET link's time slots) it sets from start() and stop(),
// which the assembly calls on the engine's thread, as it does fillHealth() and statusLines().
// Standard C++ only.
#include "network/inputs/network_settings.h"
#include "network/service_logger.h"
#include "network/wctp/wctp_http.h"
#include "station/health.h"

#include <cstddef>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tarvex {

class Authenticator;
class HttpApp;
class PageIntake;
class Station;

/// What the station gives its inputs for one run (from start() to stop()).
struct InputContext {
    const NetworkSettings& settings;
    PageIntake& intake;   ///< the one way in for pages; safe from any thread
    Authenticator* users; ///< the login store, safe from any thread; null: no logins
    ServiceLogger log;    ///< any thread; control characters are escaped
    Station& station;     ///< engine thread only (start() and stop())
    /// Tells the front ends that the input's status changed; safe from any thread.
    std::function<void()> changed;
    /// GET /metrics and /health, answered on the HTTP server's threads; null: not served.
    std::function<StatusPage(std::string_view)> statusPages;
    std::shared_ptr<HttpApp> webApp; ///< the web interface and its API; null: not served
};

class NetworkInput {
public:
    virtual ~NetworkInput() = default;
    /// Starts as the settings say (stopping first), or stays off when they switch it off.
    /// False with *why when it should run but cannot now (its port held by another program):
    /// the assembly tries again later with the same context. The context outlives stop().
    virtual bool start(const InputContext& context, std::string* why) = 0;
    /// Stops taking pages and joins the input's threads; the queue keeps what it took.
    virtual void stop() = 0;
    /// Its part of the station's health: a server adds its line to facts.inputs (also when
    /// off), which the status's network line shows too.
    virtual void fillHealth(HealthFacts& facts) = 0;
    /// Status lines of its own below the network line, each ending in a newline; `waiting`
    /// counts the pages in the queue.
    virtual std::string statusLines(std::size_t waiting) {
        (void)waiting;
        return {};
    }
};

/// "SNPP on 127.0.0.1:444, [::1]:444": where a server listens, as the status shows it.
std::string listeningText(const std::string& name, const std::vector<std::string>& addresses,
                          uint16_t port);

using InputFactory = std::unique_ptr<NetworkInput> (*)();
/// Every input a station runs, in the order they start and are shown (input_registry.cpp).
std::span<const InputFactory> registeredInputs();

} // namespace tarvex
