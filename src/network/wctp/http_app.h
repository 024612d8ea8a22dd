#pragma once
// More paths on the station's HTTP server: an application (the web interface and its API)
// claims paths by their target; the server reads such a request through the same bounded
// reader and connection limits as WCTP, then hands it over with what the application needs to
// judge it. Standard C++ only.
#include "network/wctp/http_request_reader.h"

#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tarvex {

class Authenticator;
class PageIntake;

/// One request as the application sees it, on one of the server's worker threads.
struct HttpExchange {
    const HttpRequest& request;
    std::string peer;                      ///< the client's numeric address
    const std::vector<std::string>& names; ///< the Host names this station answers to
    bool loginRequired = false;            ///< the server reaches beyond loopback, or is told to
    PageIntake& intake;                    ///< limits, failed logins, the queue's way in
    Authenticator* auth = nullptr;         ///< the login store; null: no login is accepted
    std::function<bool(std::string_view)> write; ///< bytes to the client (streams only)
    std::function<bool()> stopping;              ///< true once the server is stopping
    std::function<bool()> hungUp;                ///< true once the client has closed (streams)
};

/// An answer; `streamed` when the application wrote it itself (the connection then closes).
struct HttpReply {
    int status = 200;
    std::string contentType;
    std::string body;
    std::vector<std::pair<std::string, std::string>> headers;
    bool streamed = false;
};

class HttpApp {
public:
    virtual ~HttpApp() = default;
    /// True for the targets the application serves (decided from the head alone).
    virtual bool claims(std::string_view target) const = 0;
    /// Answers a complete request. Called from several threads at once.
    virtual HttpReply serve(HttpExchange& exchange) = 0;
};

} // namespace tarvex
