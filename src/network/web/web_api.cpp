#include "network/web/web_api.h"

#include "network/intake/authenticator.h"
#include "network/intake/listen_address.h"
#include "network/intake/page_intake.h"
#include "network/wctp/wctp_http.h"
#include "network/web/web_assets.h"

#include <algorithm>
#include <chrono>

namespace tarvex {

namespace {

constexpr char CookieName[] = "tarvex_session";
constexpr char JsonType[] = "application/json; charset=utf-8";

int64_t nowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

/// What every answer carries: no script but the station's own file, no framing, no sniffing.
/// (And, unless the answer says otherwise, nothing kept by the browser: NoStore.)
const std::vector<std::pair<std::string, std::string>>& guardHeaders() {
    static const std::vector<std::pair<std::string, std::string>> headers = {
        {"Content-Security-Policy",
         "default-src 'none'; script-src 'self'; style-src 'self'; img-src 'self'; "
         "connect-src 'self'; base-uri 'none'; form-action 'none'; frame-ancestors 'none'"},
        {"X-Content-Type-Options", "nosniff"},
        {"X-Frame-Options", "DENY"},
        {"Referrer-Policy", "no-referrer"},
        {"Cross-Origin-Opener-Policy", "same-origin"},
        {"Cross-Origin-Resource-Policy", "same-origin"}};
    return headers;
}

const std::pair<std::string, std::string> NoStore = {"Cache-Control", "no-store"};

bool isChange(std::string_view method) {
    return method == "POST" || method == "PUT" || method == "DELETE";
}

bool isJsonType(std::string_view type) {
    type = type.substr(0, type.find(';'));
    while (type.ends_with(' '))
        type.remove_suffix(1);
    return type == "application/json";
}

HttpReply methodNotAllowed(std::string allow) {
    HttpReply r = jsonError(405, "not a method this path takes (" + allow + ")");
    r.headers.emplace_back("Allow", std::move(allow));
    return r;
}

} // namespace

HttpReply jsonReply(int status, std::string body) {
    return {status, JsonType, std::move(body), {}, false};
}

HttpReply jsonError(int status, const std::string& why) {
    return jsonReply(status, "{\"error\":" + jsonText(why) + "}");
}

std::string WebApi::Call::who() const {
    return originOf(session ? session->login : std::string(), ex.peer, true);
}

WebApi::WebApi(WebApiConfig config, WebBoard& board)
    : m_config(std::move(config)), m_board(board),
      m_sessions(m_config.sessionMs, m_config.maxSessions), m_changes(m_config.changesPerMinute) {}

bool WebApi::claims(std::string_view target) const {
    const std::string_view path = target.substr(0, target.find('?'));
    return path == "/" || path == "/favicon.ico" || findWebAsset(path) != nullptr ||
           path == "/api" || path.starts_with("/api/");
}

HttpReply WebApi::serve(HttpExchange& ex) {
    const std::string& target = ex.request.target;
    const auto mark = target.find('?');
    Call call{ex,
              target.substr(0, mark),
              mark == std::string::npos ? std::string() : target.substr(mark + 1),
              false,
              {},
              std::nullopt,
              {}};
    HttpReply reply;
    if (auto refusal = screen(call))
        reply = std::move(*refusal);
    else
        reply = route(call);
    if (reply.streamed)
        return reply;
    for (auto& header : call.headers)
        reply.headers.push_back(std::move(header));
    for (const auto& header : guardHeaders())
        reply.headers.push_back(header);
    if (std::none_of(reply.headers.begin(), reply.headers.end(),
                     [](const auto& header) { return header.first == NoStore.first; }))
        reply.headers.push_back(NoStore);
    return reply;
}

void WebApi::refusalLine(Call& call, const std::string& why) {
    call.ex.intake.logRefusal(call.ex.peer, "web: refused " + call.method().substr(0, 8) + " " +
                                                call.path.substr(0, 64) + " from " + call.ex.peer +
                                                ": " + why);
}

std::optional<HttpReply> WebApi::screen(Call& call) {
    const HttpRequest& req = call.ex.request;
    // A page reached through a name the station does not answer to (DNS rebinding) or another
    // site's page gets nothing, whatever it asks for.
    if (!req.hasHeader("host") || !isStationHost(req.header("host"), call.ex.names)) {
        refusalLine(call, "Host is not one of this station's names");
        return jsonError(403, "this server answers only to its own names and addresses");
    }
    if (req.hasHeader("origin")) {
        const std::string_view origin = req.header("origin");
        const auto scheme = origin.find("://");
        if (scheme == std::string_view::npos ||
            !isStationHost(origin.substr(scheme + 3, origin.find('/', scheme + 3) - scheme - 3),
                           call.ex.names)) {
            refusalLine(call, "Origin is another site");
            return jsonError(403, "requests from pages of other sites are not accepted");
        }
    }
    if (req.body.size() > m_config.maxBodyBytes)
        return jsonError(413, "a request body is at most " + std::to_string(m_config.maxBodyBytes) +
                                  " bytes");
    call.needsLogin = m_config.loginOnLoopback || !isLoopbackAddress(call.ex.peer);
    call.token = cookieValue(req.header("cookie"), CookieName);
    call.session = m_sessions.find(call.token, nowMs());
    if (!call.path.starts_with("/api/"))
        return std::nullopt; // the page itself shows nothing of the station: a link may lead here
    if (req.header("sec-fetch-site") == "cross-site") {
        refusalLine(call, "a cross-site request");
        return jsonError(403, "requests from pages of other sites are not accepted");
    }
    if (isChange(call.method())) {
        const std::lock_guard lock(m_changesMutex);
        if (!m_changes.take(addressKey(call.ex.peer), 1, nowMs())) {
            refusalLine(call,
                        "more than " + std::to_string(m_changes.perMinute()) + " changes a minute");
            return jsonError(429, "too many changes from this address; try again in a minute");
        }
    }
    if (call.path == "/api/session" || call.path == "/api/login")
        return std::nullopt;
    if (call.needsLogin && (!call.session || call.session->login.empty()))
        return jsonError(401, "log in first");
    if (isChange(call.method())) {
        // A form of another site cannot send JSON or set a header: both are required.
        if (!call.session ||
            !sameSecret(std::string(req.header("x-csrf-token")), call.session->csrf)) {
            refusalLine(call, "no valid CSRF token");
            return jsonError(403, "the request lacks this session's X-CSRF-Token");
        }
        if (!req.body.empty() && !isJsonType(req.header("content-type")))
            return jsonError(415, "request bodies are JSON (Content-Type application/json)");
    }
    return std::nullopt;
}

HttpReply WebApi::route(Call& call) {
    const std::string& p = call.path;
    const std::string& m = call.method();
    const bool get = m == "GET" || m == "HEAD";
    if (!p.starts_with("/api/")) {
        if (!get)
            return methodNotAllowed("GET, HEAD");
        return asset(call);
    }
    if (p == "/api/session")
        return get ? session(call) : methodNotAllowed("GET");
    if (p == "/api/login")
        return m == "POST" ? login(call) : methodNotAllowed("POST");
    if (p == "/api/logout")
        return m == "POST" ? logout(call) : methodNotAllowed("POST");
    if (p == "/api/status")
        return get ? status(call) : methodNotAllowed("GET");
    if (p == "/api/events")
        return m == "GET" ? events(call) : methodNotAllowed("GET");
    if (p == "/api/stop")
        return m == "POST" ? stop(call) : methodNotAllowed("POST");
    if (p == "/api/pages")
        return m == "POST" ? send(call) : methodNotAllowed("POST");
    if (p == "/api/search")
        return m == "POST" ? search(call) : methodNotAllowed("POST");
    if (p == "/api/preview")
        return m == "POST" ? preview(call) : methodNotAllowed("POST");
    if (p == "/api/pagers")
        return get || m == "POST" ? pagers(call) : methodNotAllowed("GET, POST");
    if (p.starts_with("/api/pagers/")) {
        if (m != "PUT" && m != "DELETE")
            return methodNotAllowed("PUT, DELETE");
        return changePager(call, readQuery("id=" + p.substr(12))["id"]);
    }
    if (p == "/api/service-log")
        return get ? jsonReply(200, m_board.serviceLogJson()) : methodNotAllowed("GET");
    if (p == "/api/log")
        return get ? log(call) : methodNotAllowed("GET");
    return jsonError(404, "no such path in the API");
}

HttpReply WebApi::asset(const Call& call) {
    if (call.path == "/favicon.ico")
        return {204, "", "", {}, false};
    const WebAsset* file = findWebAsset(call.path == "/" ? "/index.html" : call.path);
    if (file == nullptr)
        return jsonError(404, "no such page");
    // A file asked for by the version the page links it with never changes: the browser keeps
    // it, and a later load of the page needs only the page and the API's answers. (The page
    // itself, whose links name the versions, is never kept.) None of it holds station data.
    HttpReply reply{200, std::string(file->type), std::string(file->body), {}, false};
    if (!file->version.empty() && readQuery(call.query)["v"] == file->version)
        reply.headers.emplace_back("Cache-Control", "max-age=31536000, immutable");
    return reply;
}

HttpReply WebApi::session(Call& call) {
    if (!call.session) {
        if (call.needsLogin)
            return jsonReply(401, "{\"error\":\"log in first\",\"login_required\":true}");
        // A visitor on this computer needs no login, but its changes still need a token.
        WebSession fresh;
        call.token = m_sessions.open("", nowMs(), &fresh);
        call.session = fresh;
        call.headers.emplace_back("Set-Cookie",
                                  std::string(CookieName) + "=" + call.token +
                                      "; Path=/; HttpOnly; SameSite=Strict; Max-Age=" +
                                      std::to_string(m_sessions.lifetimeMs() / 1000));
    }
    return jsonReply(200, "{\"login\":" + jsonText(call.session->login) +
                              ",\"csrf\":" + jsonText(call.session->csrf) + ",\"login_required\":" +
                              (call.needsLogin ? "true" : "false") + ",\"ends_in_seconds\":" +
                              std::to_string((call.session->endsAtMs - nowMs()) / 1000) + "}");
}

HttpReply WebApi::login(Call& call) {
    const HttpRequest& req = call.ex.request;
    if (!isJsonType(req.header("content-type")))
        return jsonError(415, "request bodies are JSON (Content-Type application/json)");
    std::string error;
    const auto body = readJsonObject(req.body, &error, 4);
    if (!body)
        return jsonError(400, error);
    const auto name = body->find("name");
    const auto password = body->find("password");
    if (name == body->end() || password == body->end() ||
        name->second.type != JsonValue::Type::String ||
        password->second.type != JsonValue::Type::String)
        return jsonError(400, "a login is {\"name\": ..., \"password\": ...}");
    PageIntake& intake = call.ex.intake;
    if (!intake.loginAttemptAllowed(call.ex.peer)) {
        refusalLine(call, "too many failed logins");
        return jsonError(429, "too many failed logins from this address; try again in a minute");
    }
    const std::string& user = name->second.text;
    if (call.ex.auth == nullptr ||
        call.ex.auth->verify(user, password->second.text) != AuthResult::Accepted) {
        intake.loginFailed(call.ex.peer);
        intake.logRefusal(call.ex.peer,
                          "web: failed login for " + user.substr(0, 64) + " from " + call.ex.peer);
        return jsonError(403, "wrong login name or password");
    }
    if (call.session)
        m_sessions.close(call.token);
    WebSession fresh;
    call.token = m_sessions.open(user, nowMs(), &fresh);
    call.session = fresh;
    call.headers.emplace_back("Set-Cookie", std::string(CookieName) + "=" + call.token +
                                                "; Path=/; HttpOnly; SameSite=Strict; Max-Age=" +
                                                std::to_string(m_sessions.lifetimeMs() / 1000));
    intake.log("web: login " + call.who());
    return jsonReply(200,
                     "{\"login\":" + jsonText(user) + ",\"csrf\":" + jsonText(fresh.csrf) + "}");
}

HttpReply WebApi::logout(Call& call) {
    m_sessions.close(call.token);
    call.headers.emplace_back("Set-Cookie", std::string(CookieName) +
                                                "=; Path=/; HttpOnly; SameSite=Strict; Max-Age=0");
    return jsonReply(200, "{}");
}

HttpReply WebApi::status(Call&) {
    return jsonReply(200, m_board.status().second);
}

HttpReply WebApi::events(Call& call) {
    if (!m_board.enterStream(m_config.maxStreams))
        return jsonError(503, "too many event streams open; try again later");
    std::string head = "HTTP/1.1 200 OK\r\nContent-Type: text/event-stream\r\n";
    for (const auto& [name, value] : guardHeaders())
        head += name + ": " + value + "\r\n";
    head += NoStore.first + ": " + NoStore.second + "\r\nConnection: close\r\n\r\nretry: 1000\n\n";
    using Clock = std::chrono::steady_clock;
    auto lastWrite = Clock::now();
    bool open = call.ex.write(head);
    uint64_t seen = 0;
    const int64_t endsAt = call.session && call.needsLogin ? call.session->endsAtMs : INT64_MAX;
    while (open && !call.ex.stopping() && !call.ex.hungUp() && !m_board.closed() &&
           nowMs() < endsAt) {
        const auto [version, text] = m_board.waitForChange(seen, std::chrono::milliseconds(200));
        if (version != seen) {
            open = call.ex.write("event: status\ndata: " + text + "\n\n");
            seen = version;
            lastWrite = Clock::now();
        } else if (Clock::now() - lastWrite > std::chrono::milliseconds(m_config.heartbeatMs)) {
            open = call.ex.write(": still here\n\n");
            lastWrite = Clock::now();
        }
    }
    m_board.leaveStream();
    HttpReply done;
    done.streamed = true;
    return done;
}

HttpReply WebApi::search(Call& call) {
    std::string error;
    const auto body = readJsonObject(call.ex.request.body, &error, 5);
    if (!body)
        return jsonError(400, error);
    // The request becomes the control socket's SEARCH line, so that both are read and bounded
    // by one reader and answer alike.
    const auto word = [&body](std::string_view name, JsonValue::Type type) {
        const auto it = body->find(name);
        return it != body->end() && it->second.type == type ? std::optional(it->second.text)
                                                            : std::nullopt;
    };
    const auto from = word("from", JsonValue::Type::Number);
    const auto to = word("to", JsonValue::Type::Number);
    const auto baud = word("baud", JsonValue::Type::Number);
    if (!from || !to || (body->contains("baud") && !baud))
        return jsonError(400, "a search is {\"from\": number, \"to\": number, \"fast\", "
                              "\"baud\", \"inverted\"}");
    std::string line = std::string("SEARCH ") +
                       (word("fast", JsonValue::Type::Bool) == "true" ? "FAST " : "") + *from +
                       " " + *to + (baud ? " " + *baud : "") +
                       (word("inverted", JsonValue::Type::Bool) == "true" ? " INVERTED" : "");
    const WebBoard::SearchAnswer answer = m_board.search(line, call.who());
    if (answer.status != 202)
        return jsonError(answer.status, answer.text);
    return jsonReply(202, "{\"started\":" + jsonText(answer.text) + "}");
}

HttpReply WebApi::stop(Call& call) {
    if (!m_board.stop(call.who()))
        return jsonError(503, "the station is not running");
    return jsonReply(200, "{\"stopped\":true}");
}

} // namespace tarvex
