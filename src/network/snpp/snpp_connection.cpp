#include "network/snpp/snpp_connection.h"

#include <string_view>
#include <sys/socket.h>
#include <utility>

namespace tarvex {

namespace {

constexpr std::size_t ReadChunkBytes = 8 * 1024;

SnppSessionOptions withPeer(SnppSessionOptions options, std::string peer) {
    options.peer = std::move(peer);
    return options;
}

} // namespace

SnppConnection::SnppConnection(int fd, PageIntake& intake, Authenticator* auth,
                               SnppSessionOptions options, std::function<bool()> stopping)
    // A client that takes no reply for the idle time is left, as one that sends nothing.
    : m_stream(fd, intake.limits().idleSeconds * 1000, intake.limits().idleSeconds * 1000),
      m_intake(intake), m_peer(socketPeer(fd)),
      m_session(intake, auth, withPeer(std::move(options), m_peer)),
      m_stopping(std::move(stopping)) {}

void SnppConnection::serve() {
    if (!writeReply({{m_session.greeting()}, false}))
        return;
    const std::size_t maxLine = m_intake.limits().maxLineLength;
    std::string line;
    while (nextLine(line)) {
        const std::size_t length = line.size() - (line.ends_with('\r') ? 1U : 0U);
        const SnppReply reply = length > maxLine
                                    ? m_session.onOverlongLine()
                                    : m_session.onLine(std::string_view(line.data(), length));
        if (!writeReply(reply))
            return;
        if (reply.checkLogin && !writeReply(m_session.finishLogin(m_session.takeLoginCheck()())))
            return;
    }
}

bool SnppConnection::nextLine(std::string& line) {
    const std::size_t maxLine = m_intake.limits().maxLineLength;
    m_stream.startRequest(m_intake.limits().idleSeconds * 1000);
    for (;;) {
        const std::size_t end = m_buffer.find('\n');
        if (end != std::string::npos) {
            line.assign(m_buffer, 0, end);
            m_buffer.erase(0, end + 1);
            if (std::exchange(m_discarding, false))
                continue; // the tail of a line already answered
            return true;
        }
        // A line may be maxLine bytes and a CR; anything longer without its LF is cut.
        if (m_buffer.size() > maxLine + 1) {
            if (!m_discarding && !writeReply(m_session.onOverlongLine()))
                return false;
            m_discarding = true;
            m_buffer.clear();
        }
        char chunk[ReadChunkBytes];
        const ssize_t n = m_stream.read(chunk, sizeof chunk);
        if (n > 0) {
            m_buffer.append(chunk, static_cast<std::size_t>(n));
            continue;
        }
        if (m_stopping()) {
            // The server shut this connection's reading side: a goodbye, if the client takes it.
            const std::string bye = "421 Server shutting down, goodbye\r\n";
            (void)!::send(m_stream.socket(), bye.data(), bye.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        } else if (n < 0 && m_stream.timedOut() != DeadlineStream::Timeout::None) {
            idleTimeout();
        }
        return false; // the client closed, or the connection failed
    }
}

bool SnppConnection::writeReply(const SnppReply& reply) {
    std::string bytes;
    for (const auto& text : reply.lines)
        bytes += text + "\r\n";
    if (!bytes.empty() && !m_stream.writeAll(bytes))
        return false;
    if (reply.close) {
        m_stream.lingerClose(); // the last reply reaches a client that is still sending
        return false;
    }
    return true;
}

void SnppConnection::idleTimeout() {
    const int seconds = m_intake.limits().idleSeconds;
    m_intake.log("snpp: closed the connection of " + m_peer + " after " + std::to_string(seconds) +
                 " s without a command");
    writeReply({{"421 Timeout, no command for " + std::to_string(seconds) + " s, goodbye"}, true});
}

} // namespace tarvex
