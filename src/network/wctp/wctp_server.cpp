#include "network/wctp/wctp_server.h"

#include "network/wctp/http_transport.h"
#include "network/wctp/wctp_request.h"
#include "network/wctp/wctp_service.h"

#include <chrono>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace tarvex {

namespace {

constexpr int WriteTimeoutMs = 5000;
constexpr int KeepAliveMs = 5000;
constexpr int RefusalMs = 2000; ///< time a refused connection gets to send its request
constexpr char XmlType[] = "text/xml; charset=utf-8";

/// Set by the worker serving a connection, read by the handlers it runs.
thread_local bool t_overLimit = false;
thread_local bool t_closeAfter = false;

/// httplib's server with the connection served by our own bounded transport.
class LimitedHttpServer : public httplib::Server {
public:
    LimitedHttpServer(ConnectionBook& book, const InboundLimits& limits, PageIntake& intake)
        : m_book(book), m_limits(limits), m_intake(intake) {}

private:
    // Overrides the library's own per-connection loop (a private virtual of httplib::Server)
    // to bound the time of each request and the number of connections at once.
    bool process_and_close_socket(socket_t sock) override {
        t_overLimit = !m_book.enter(sock);
        t_closeAfter = false;
        if (t_overLimit && !m_book.stopping())
            m_intake.log("wctp: refused a connection: " + std::to_string(m_limits.maxConnections) +
                         " connections already open");
        DeadlineStream stream(sock, m_limits.idleSeconds * 1000, WriteTimeoutMs);
        bool closed = false;
        for (int served = 0; !closed && !m_book.stopping(); ++served) {
            if (served > 0 && !stream.nextRequestWithin(KeepAliveMs))
                break;
            stream.startRequest(t_overLimit ? RefusalMs : m_limits.requestSeconds * 1000);
            const bool last = t_overLimit || served + 1 >= m_limits.requestsPerConnection;
            if (!process_request(stream, last, closed, nullptr) || last || t_closeAfter)
                break;
        }
        if (stream.timedOut() != DeadlineStream::Timeout::None && !t_overLimit) {
            std::string peer;
            int port = 0;
            stream.get_remote_ip_and_port(peer, port);
            m_intake.log(
                "wctp: closed the connection of " + peer + ": " +
                (stream.timedOut() == DeadlineStream::Timeout::Idle
                     ? "nothing received for " + std::to_string(m_limits.idleSeconds) + " s"
                     : "request not complete within " + std::to_string(m_limits.requestSeconds) +
                           " s"));
        }
        m_book.leave(sock);
        ::shutdown(sock, SHUT_RDWR);
        ::close(sock);
        return true;
    }

    ConnectionBook& m_book;
    const InboundLimits& m_limits;
    PageIntake& m_intake;
};

void answerFailure(httplib::Response& res, int httpStatus, int code, const char* text,
                   const std::string& description) {
    res.status = httpStatus;
    res.set_content(wctpFailure(code, text, description), XmlType);
}

} // namespace

struct WctpServer::State {
    State(PageIntake& intake, Authenticator* auth, bool loginRequired)
        : book(intake.limits().maxConnections), service(intake, auth, loginRequired) {}
    ConnectionBook book;
    WctpService service;
    std::vector<std::unique_ptr<LimitedHttpServer>> servers;
    std::vector<std::thread> threads;
};

WctpServer::WctpServer(WctpServerConfig config, PageIntake& intake, Authenticator* auth)
    : m_config(std::move(config)), m_intake(intake), m_auth(auth),
      m_loginRequired(m_config.requireLogin || reachesBeyondLoopback(m_config.listenAddresses)) {}

WctpServer::~WctpServer() {
    stop();
}

namespace {

/// Refusals decided from the request line and headers, before any body is read.
httplib::Server::HandlerResponse screen(const httplib::Request& req, httplib::Response& res,
                                        PageIntake& intake) {
    const InboundLimits& limits = intake.limits();
    const std::string from = " from " + req.remote_addr;
    std::string why;
    if (t_overLimit) {
        answerFailure(res, 503, wctp::ServiceUnavailable, "Service unavailable",
                      "too many connections at once (at most " +
                          std::to_string(limits.maxConnections) + "), try again later");
    } else if (req.path != "/wctp") {
        why = "request for a path other than /wctp";
        answerFailure(res, 404, wctp::OperationNotSupported, "Operation not supported",
                      "WCTP requests are posted to /wctp");
    } else if (req.method != "POST") {
        why = req.method.substr(0, 16) + " instead of POST";
        answerFailure(res, 405, wctp::OperationNotSupported, "Operation not supported",
                      "WCTP requests are sent with POST");
        res.set_header("Allow", "POST");
    } else if (const auto encoding = req.get_header_value("Content-Encoding");
               !encoding.empty() && encoding != "identity") {
        why = "compressed body";
        answerFailure(res, 415, wctp::CannotParse, "Input cannot be parsed",
                      "compressed request bodies are not accepted");
    } else if (req.get_header_value<uint64_t>("Content-Length") > limits.maxBodyBytes) {
        why = "body larger than " + std::to_string(limits.maxBodyBytes) + " bytes";
        answerFailure(res, 413, wctp::CannotParse, "Input cannot be parsed",
                      "request bodies of at most " + std::to_string(limits.maxBodyBytes) +
                          " bytes are accepted");
    } else {
        return httplib::Server::HandlerResponse::Unhandled;
    }
    if (!why.empty())
        intake.log("wctp: refused a request" + from + ": " + why);
    t_closeAfter = true; // any body that was sent is not read: the connection cannot go on
    return httplib::Server::HandlerResponse::Handled;
}

void configure(httplib::Server& server, PageIntake& intake, WctpService& service) {
    const InboundLimits& limits = intake.limits();
    server.set_payload_max_length(limits.maxBodyBytes);
    server.set_read_timeout(limits.idleSeconds, 0);
    server.set_write_timeout(WriteTimeoutMs / 1000, 0);
    // Each address gets its own socket: an IPv6 one takes IPv6 only, like Qt's listeners.
    server.set_socket_options([](socket_t sock) {
        const int on = 1;
        ::setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        ::setsockopt(sock, IPPROTO_IPV6, IPV6_V6ONLY, &on, sizeof on); // fails on IPv4: fine
    });
    server.set_expect_100_continue_handler(
        [&intake](const httplib::Request& req, httplib::Response&) {
            return req.get_header_value<uint64_t>("Content-Length") > intake.limits().maxBodyBytes
                       ? 413
                       : 100;
        });
    server.set_pre_routing_handler([&intake](const httplib::Request& req, httplib::Response& res) {
        return screen(req, res, intake);
    });
    server.Post("/wctp", [&service](const httplib::Request& req, httplib::Response& res) {
        const WctpAnswer answer = service.handle(req.body, req.remote_addr);
        res.status = 200; // WCTP failures travel inside a successful HTTP answer
        res.set_content(answer.xml, XmlType);
    });
    server.set_error_handler([&intake](const httplib::Request& req, httplib::Response& res) {
        if (!res.body.empty())
            return;
        const std::string what =
            res.status == 413
                ? "body larger than " + std::to_string(intake.limits().maxBodyBytes) + " bytes"
                : "HTTP error " + std::to_string(res.status);
        const std::string from = req.remote_addr.empty() ? "a client" : req.remote_addr;
        intake.log("wctp: refused a request from " + from + ": " + what);
        res.set_content(wctpFailure(wctp::CannotParse, "Input cannot be parsed", what), XmlType);
        t_closeAfter = true;
    });
    server.set_exception_handler(
        [&intake](const httplib::Request&, httplib::Response& res, std::exception_ptr) {
            intake.log("wctp: a request failed inside the server");
            answerFailure(res, 500, wctp::InternalError, "Internal server error",
                          "the request could not be handled");
        });
}

} // namespace

bool WctpServer::start(std::string* error) {
    stop();
    m_state = std::make_unique<State>(m_intake, m_auth, m_loginRequired);
    const InboundLimits& limits = m_intake.limits();
    int port = m_config.port;
    std::string where;
    for (const auto& address : m_config.listenAddresses) {
        if (!addressAvailable(address) && m_config.listenAddresses.size() > 1) {
            m_intake.log("wctp: not listening on " + address +
                         ": no such address on this computer");
            continue;
        }
        auto server = std::make_unique<LimitedHttpServer>(m_state->book, limits, m_intake);
        configure(*server, m_intake, m_state->service);
        // The library takes ownership of the queue it is given (its API hands a raw pointer).
        const auto threads = static_cast<std::size_t>(limits.maxConnections) + 2;
        server->new_task_queue = [threads] { return new BoundedPool(threads, 8); };
        const bool bound = port == 0 ? (port = server->bind_to_any_port(address)) > 0
                                     : server->bind_to_port(address, port);
        if (!bound) {
            if (error != nullptr)
                *error = "WCTP server cannot listen on " + address + " port " +
                         std::to_string(port) + " (in use, or not an address of this computer)";
            launch(); // the sockets already bound are closed by running and stopping them
            stop();
            return false;
        }
        m_state->servers.push_back(std::move(server));
        where += (where.empty() ? "" : ", ") + address;
    }
    if (m_state->servers.empty()) {
        if (error != nullptr)
            *error = "WCTP server has no address to listen on";
        m_state.reset();
        return false;
    }
    launch();
    m_port = static_cast<uint16_t>(port);
    m_intake.log("wctp: listening on " + where + " port " + std::to_string(m_port) + " at /wctp" +
                 (m_loginRequired ? " (securityCode required)" : " (loopback, no login required)"));
    return true;
}

void WctpServer::launch() {
    for (auto& server : m_state->servers)
        m_state->threads.emplace_back([raw = server.get()] { raw->listen_after_bind(); });
    // httplib's stop() only acts on a server that is already running: wait for each.
    for (auto& server : m_state->servers) {
        for (int i = 0; i < 5000 && !server->is_running(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

void WctpServer::stop() {
    if (!m_state)
        return;
    m_state->book.cutAll();
    for (auto& server : m_state->servers)
        server->stop();
    for (auto& thread : m_state->threads)
        thread.join();
    m_state.reset();
}

} // namespace tarvex
