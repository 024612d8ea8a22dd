#pragma once
// The station's web interface and its JSON API on the station's HTTP server: the page and its
// two assets, and /api/session, /api/login, /api/logout, /api/status, /api/events (Server-Sent
// Events), /api/stop, /api/pages, /api/preview, /api/pagers and /api/log. Every request is checked
// before it is served: Host one of the station's names, any Origin the station's own, a login (from
// the same store as SNPP and WCTP) beyond loopback, a session cookie and its CSRF token for every
// change, JSON bodies only, bounded sizes; refusals are logged a few a minute at most.
#include "network/intake/rate_limiter.h"
#include "network/wctp/http_app.h"
#include "network/web/web_board.h"
#include "network/web/web_request.h"
#include "network/web/web_sessions.h"

#include <mutex>
#include <optional>
#include <string>

namespace tarvex {

struct WebApiConfig {
    std::string folder;           ///< the station folder (the pager directory)
    bool loginOnLoopback = false; ///< a login even from this computer (NetRequireLogin)
    int64_t sessionMs = 8 * 3600 * 1000;
    std::size_t maxSessions = 64;
    int maxStreams = 16; ///< event streams at once
    std::size_t maxBodyBytes = 16384;
    int heartbeatMs = 15000;    ///< a comment line on a quiet stream, so proxies keep it open
    int changesPerMinute = 120; ///< POST, PUT and DELETE per address (logins included)
};

class WebApi : public HttpApp {
public:
    WebApi(WebApiConfig config, WebBoard& board);
    bool claims(std::string_view target) const override;
    HttpReply serve(HttpExchange& ex) override;

private:
    /// One request with its session, as the handlers see it.
    struct Call {
        HttpExchange& ex;
        std::string path;
        std::string query;
        bool needsLogin = false;
        std::string token;
        std::optional<WebSession> session;
        std::vector<std::pair<std::string, std::string>> headers; ///< added to the answer

        const std::string& method() const { return ex.request.method; }
        /// How the log names the sender: "login@peer", or the peer alone.
        std::string who() const;
    };
    HttpReply route(Call& call);
    std::optional<HttpReply> screen(Call& call);
    HttpReply asset(const Call& call);
    HttpReply session(Call& call);
    HttpReply login(Call& call);
    HttpReply logout(Call& call);
    HttpReply status(Call& call);
    HttpReply events(Call& call);
    HttpReply stop(Call& call);
    HttpReply search(Call& call);
    HttpReply send(Call& call);
    HttpReply preview(Call& call);
    HttpReply pagers(Call& call);
    HttpReply changePager(Call& call, const std::string& id);
    HttpReply log(Call& call);
    void refusalLine(Call& call, const std::string& why);

    WebApiConfig m_config;
    WebBoard& m_board;
    WebSessions m_sessions;
    std::mutex m_directoryMutex; ///< one change of the pager directory at a time
    std::mutex m_changesMutex;
    RateLimiter m_changes; ///< changes per address and minute
};

/// A JSON answer: {"error": why} with the status, or the body given.
HttpReply jsonReply(int status, std::string body);
HttpReply jsonError(int status, const std::string& why);

} // namespace tarvex
