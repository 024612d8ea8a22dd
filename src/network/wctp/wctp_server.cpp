#include "network/wctp/wctp_server.h"

#include "network/tcp/tcp_server.h"
#include "network/tcp/tcp_stream.h"
#include "network/wctp/http_request_reader.h"
#include "network/wctp/wctp_http.h"
#include "network/wctp/wctp_request.h"
#include "network/wctp/wctp_service.h"

#include <chrono>
#include <mutex>
#include <optional>
#include <poll.h>
#include <sys/socket.h>

namespace tarvex {

namespace {

constexpr int WriteTimeoutMs = 5000;
constexpr int KeepAliveMs = 5000;
constexpr char XmlType[] = "text/xml; charset=utf-8";

} // namespace

struct WctpServer::State {
    State(PageIntake& intake, Authenticator* users, bool withLogin, const WctpServerConfig& config)
        : service(intake, users, withLogin), wctp(config.wctp), statusPages(config.statusPages),
          app(config.app), auth(users), loginRequired(withLogin) {}
    WctpService service;
    std::vector<std::string> names;
    bool wctp = true;
    std::function<StatusPage(std::string_view)> statusPages;
    std::shared_ptr<HttpApp> app;
    Authenticator* auth;
    bool loginRequired;
    std::function<bool()> stopping;
    /// Refused connections are logged a line a minute at most: a flood must not flood the
    /// log too.
    std::mutex refusedMutex;
    std::chrono::steady_clock::time_point lastRefusedLine;
    int refusedNotLogged = 0;
};

namespace {

/// The bytes of standard base64 text; nullopt when it is not base64.
std::optional<std::string> fromBase64(std::string_view text) {
    static constexpr std::string_view Alphabet =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    uint32_t bits = 0;
    int count = 0;
    while (!text.empty() && text.back() == '=')
        text.remove_suffix(1);
    for (const char c : text) {
        const auto at = Alphabet.find(c);
        if (at == std::string_view::npos)
            return std::nullopt;
        bits = (bits << 6) | static_cast<uint32_t>(at);
        count += 6;
        if (count >= 8) {
            count -= 8;
            out += static_cast<char>((bits >> count) & 0xFF);
        }
    }
    return out;
}

} // namespace

/// Serves one connection: reads each request through the bounded reader, refuses what its
/// head or size does not allow before any body is kept, and answers the rest.
class WctpConnection {
public:
    WctpConnection(int fd, PageIntake& intake, WctpServer::State& state)
        : m_fd(fd), m_intake(intake), m_state(state), m_limits(intake.limits()),
          m_stream(fd, m_limits.idleSeconds * 1000, WriteTimeoutMs),
          m_reader(HttpLimits{2048, 4096, 50, 16384, m_limits.maxBodyBytes}) {}

    /// Serves the connection, which the accepting thread has entered in the book.
    void serve() {
        m_peer = m_stream.peerAddress();
        m_names = m_state.names;
        m_names.push_back(m_stream.localAddress()); // the address the client reached
        for (int served = 0; !m_state.stopping(); ++served) {
            // A kept-alive connection waits a while for its next request, which may already
            // be in hand when the client sent two at once.
            if (served > 0 && m_reader.next() == HttpRequestReader::State::NeedMore &&
                !m_reader.started() && !m_stream.nextRequestWithin(KeepAliveMs))
                break;
            m_stream.startRequest(m_limits.requestSeconds * 1000);
            const bool last = served + 1 >= m_limits.requestsPerConnection;
            if (!serveOne(last))
                break;
        }
    }

private:
    /// False when the connection is to be closed.
    bool serveOne(bool last) {
        using State = HttpRequestReader::State;
        State state = m_reader.state();
        char buffer[4096];
        while (state == State::NeedMore || state == State::Head) {
            if (state == State::Head) {
                const HttpRequest& head = m_reader.request();
                if (m_state.statusPages && isStatusPath(head.target))
                    return answerStatus(last);
                m_forApp = m_state.app && m_state.app->claims(head.target);
                if (m_forApp) {
                    if (m_reader.expectsContinue() &&
                        !m_stream.writeAll("HTTP/1.1 100 Continue\r\n\r\n"))
                        return false;
                    state = m_reader.readBody();
                    continue;
                }
                if (!m_state.wctp)
                    return refuse(HttpRefusal{404,
                                              wctp::OperationNotSupported,
                                              "Operation not supported",
                                              "this server answers only /metrics and /health",
                                              "request for " + head.target.substr(0, 64),
                                              {}});
                if (auto refusal = screenWctpHead(head, m_names))
                    return refuse(*refusal);
                if (m_reader.expectsContinue() &&
                    !m_stream.writeAll("HTTP/1.1 100 Continue\r\n\r\n"))
                    return false;
                state = m_reader.readBody();
                continue;
            }
            const ssize_t n = m_stream.read(buffer, sizeof buffer);
            if (n <= 0)
                return timedOut();
            state = m_reader.feed(std::string_view(buffer, static_cast<std::size_t>(n)));
        }
        if (state == State::Failed)
            return refuse(readerRefusal(m_reader.status(), m_reader.reason()));
        const HttpRequest& req = m_reader.request();
        if (m_forApp)
            return answerApp(last);
        const WctpAnswer answer = m_state.service.handle(req.body, m_peer);
        const bool close = last || !req.keepAlive();
        // WCTP failures travel inside a successful HTTP answer.
        return m_stream.writeAll(httpResponse(200, XmlType, answer.xml, close)) && !close;
    }

    /// A status page: its head is checked, it has no body, and the connection may go on.
    bool answerStatus(bool last) {
        const HttpRequest& req = m_reader.request();
        if (auto refusal = screenStatusHead(req, m_names))
            return refuse(*refusal);
        // Beyond loopback the station's state is shown only to a login (HTTP Basic, as
        // Prometheus and monitoring plugins send it), with the same failed-login limit.
        if (m_state.loginRequired && !isLoopbackAddress(m_peer) && !statusLoginAccepted(req)) {
            HttpRefusal r{401,
                          wctp::OperationNotSupported,
                          "Operation not supported",
                          "the status pages need a login",
                          "",
                          {}};
            r.headers.emplace_back("WWW-Authenticate", "Basic realm=\"tarvex\"");
            return refuse(r);
        }
        if (m_reader.readBody() != HttpRequestReader::State::Complete)
            return false;
        const StatusPage page = m_state.statusPages(req.target);
        const bool close = last || !req.keepAlive();
        std::string response = httpResponse(page.status, page.contentType, page.body, close,
                                            {{"Cache-Control", "no-store"}});
        if (req.method == "HEAD") // the head alone, with the body's length
            response.resize(response.size() - page.body.size());
        return m_stream.writeAll(response) && !close;
    }

    /// A request for the web interface or its API, read whole.
    bool answerApp(bool last) {
        const HttpRequest& req = m_reader.request();
        HttpExchange exchange{req,
                              m_peer,
                              m_names,
                              m_state.loginRequired,
                              m_intake,
                              m_state.auth,
                              [this](std::string_view bytes) { return m_stream.writeAll(bytes); },
                              [this] { return m_state.stopping(); },
                              [this] { return clientHungUp(); }};
        const HttpReply reply = m_state.app->serve(exchange);
        if (reply.streamed)
            return false;
        const bool close = last || !req.keepAlive();
        std::string response =
            httpResponse(reply.status, reply.contentType, reply.body, close, reply.headers);
        if (req.method == "HEAD")
            response.resize(response.size() - reply.body.size());
        return m_stream.writeAll(response) && !close;
    }

    /// True when the client has closed its end (a stream's client sends nothing more).
    bool clientHungUp() {
        pollfd entry{m_fd, POLLIN | POLLRDHUP, 0};
        if (::poll(&entry, 1, 0) <= 0)
            return false;
        char byte;
        return (entry.revents & (POLLHUP | POLLERR | POLLRDHUP)) != 0 ||
               ::recv(m_fd, &byte, 1, MSG_PEEK | MSG_DONTWAIT) == 0;
    }

    bool statusLoginAccepted(const HttpRequest& req) {
        const std::string_view header = req.header("authorization");
        if (!header.starts_with("Basic ") || m_state.auth == nullptr)
            return false;
        if (!m_intake.loginAttemptAllowed(m_peer))
            return false;
        const auto pair = fromBase64(header.substr(6));
        const auto colon = pair ? pair->find(':') : std::string::npos;
        if (colon == std::string::npos)
            return false;
        if (m_state.auth->verify(std::string_view(*pair).substr(0, colon),
                                 std::string_view(*pair).substr(colon + 1)) == AuthResult::Accepted)
            return true;
        m_intake.loginFailed(m_peer);
        m_intake.logRefusal(m_peer, "http: failed login for the status pages from " + m_peer);
        return false;
    }

    bool refuse(const HttpRefusal& r) {
        if (!r.why.empty())
            m_intake.log("wctp: refused a request from " + m_peer + ": " + r.why);
        const std::string body = wctpFailure(r.wctpCode, r.text, r.description);
        // Any body that was sent is not read: the connection cannot go on.
        if (m_stream.writeAll(httpResponse(r.status, XmlType, body, true, r.headers)))
            m_stream.lingerClose();
        return false;
    }

    bool timedOut() {
        const auto why = m_stream.timedOut();
        if (why == DeadlineStream::Timeout::None)
            return false; // the client closed
        m_intake.log("wctp: closed the connection of " + m_peer + ": " +
                     (why == DeadlineStream::Timeout::Idle
                          ? "nothing received for " + std::to_string(m_limits.idleSeconds) + " s"
                          : "request not complete within " +
                                std::to_string(m_limits.requestSeconds) + " s"));
        if (m_reader.started()) {
            const std::string body = wctpFailure(wctp::CannotParse, "Input cannot be parsed",
                                                 "the request did not arrive in time");
            if (m_stream.writeAll(httpResponse(408, XmlType, body, true)))
                m_stream.lingerClose();
        }
        return false;
    }

    int m_fd;
    PageIntake& m_intake;
    WctpServer::State& m_state;
    const InboundLimits& m_limits;
    DeadlineStream m_stream;
    HttpRequestReader m_reader;
    std::vector<std::string> m_names;
    std::string m_peer;
    bool m_forApp = false;
};

WctpServer::WctpServer(WctpServerConfig config, PageIntake& intake, Authenticator* auth)
    : m_config(std::move(config)), m_intake(intake), m_auth(auth),
      m_loginRequired(m_config.requireLogin || reachesBeyondLoopback(m_config.listenAddresses)) {}

WctpServer::~WctpServer() {
    stop();
}

void WctpServer::refused(State& state) {
    const InboundLimits& limits = m_intake.limits();
    const auto now = std::chrono::steady_clock::now();
    std::string line;
    {
        const std::lock_guard lock(state.refusedMutex);
        if (now - state.lastRefusedLine < std::chrono::minutes(1)) {
            ++state.refusedNotLogged;
            return;
        }
        line = "wctp: refused a connection: " + std::to_string(limits.maxConnections) +
               " connections already open, or " + std::to_string(connectionsPerAddress(limits)) +
               " from its address" +
               (state.refusedNotLogged > 0 ? " (" + std::to_string(state.refusedNotLogged) +
                                                 " more refused since the last line)"
                                           : std::string());
        state.lastRefusedLine = now;
        state.refusedNotLogged = 0;
    }
    m_intake.log(line);
}

bool WctpServer::start(std::string* error) {
    stop();
    const InboundLimits& limits = m_intake.limits();
    m_state = std::make_unique<State>(m_intake, m_auth, m_loginRequired, m_config);
    m_state->names = stationNames(m_config.listenAddresses);
    TcpServerConfig tcp;
    tcp.name = "WCTP";
    tcp.addresses = m_config.listenAddresses;
    tcp.port = m_config.port;
    tcp.maxConnections = limits.maxConnections;
    tcp.perAddress = connectionsPerAddress(limits);
    tcp.spareThreads = 4;
    tcp.busyReply =
        httpResponse(503, XmlType,
                     wctpFailure(wctp::ServiceUnavailable, "Service unavailable",
                                 "too many connections at once (at most " +
                                     std::to_string(limits.maxConnections) + "), try again later"),
                     true);
    State* state = m_state.get();
    m_tcp = std::make_unique<TcpServer>(
        tcp, [this, state](int fd) { WctpConnection(fd, m_intake, *state).serve(); },
        [this, state](const std::string&, Admission) { refused(*state); },
        [this](const std::string& line) { m_intake.log("wctp: " + line); });
    TcpServer* server = m_tcp.get();
    m_state->stopping = [server] { return server->stopping(); };
    if (!m_tcp->start(error)) {
        m_tcp.reset();
        m_state.reset();
        return false;
    }
    m_port = m_tcp->port();
    m_addresses = m_tcp->addresses();
    std::string where;
    for (const auto& address : m_addresses)
        where += (where.empty() ? "" : ", ") + address;
    const std::string paths = std::string(m_config.wctp ? "/wctp" : "") +
                              (m_config.wctp && m_config.statusPages ? ", " : "") +
                              (m_config.statusPages ? "/metrics, /health" : "") +
                              (m_config.app ? ", the web interface at /" : "");
    m_intake.log("http: listening on " + where + " port " + std::to_string(m_port) + " at " +
                 paths +
                 (!m_config.wctp    ? ""
                  : m_loginRequired ? " (securityCode required)"
                                    : " (loopback, no login required)"));
    return true;
}

void WctpServer::stop() {
    if (m_tcp)
        m_tcp->stop(); // cuts every connection and joins the threads that served them
    m_tcp.reset();
    m_state.reset();
}

} // namespace tarvex
