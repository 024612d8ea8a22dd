#pragma once
// One SNPP client connection, served start to end on one of the server's worker threads: cuts
// the byte stream into lines (bounded), feeds them to the session, writes the replies, and
// closes a connection that stays silent too long or stops reading its replies. A LOGI
// password is checked on this thread too (the authenticator lets two checks run at once);
// the connection reads nothing meanwhile.
#include "network/snpp/snpp_session.h"
#include "network/tcp/tcp_stream.h"

#include <functional>
#include <string>

namespace tarvex {

class SnppConnection {
public:
    /// `fd` is an accepted socket, which the caller closes after serve(); `stopping` turns
    /// true once the server stops (a read that then ends says goodbye).
    SnppConnection(int fd, PageIntake& intake, Authenticator* auth, SnppSessionOptions options,
                   std::function<bool()> stopping);

    /// Greets the client and serves it until it quits, the session ends it, it stays silent
    /// too long or the server stops.
    void serve();

private:
    /// The next line without its LF (a CR before it stays), false when the connection ends.
    bool nextLine(std::string& line);
    /// False when the reply could not be written or ends the connection.
    bool writeReply(const SnppReply& reply);
    void idleTimeout();

    DeadlineStream m_stream;
    PageIntake& m_intake;
    std::string m_peer;
    SnppSession m_session;
    std::function<bool()> m_stopping;
    std::string m_buffer;
    bool m_discarding = false; ///< skipping the rest of an overlong line
};

} // namespace tarvex
