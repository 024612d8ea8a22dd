#pragma once
// The one way a page from another system reaches the station: the SNPP and WCTP servers, the
// web interface, the DAPNET link and the control socket hand their messages here. A message
// to pagers of the directory is checked against it (known pager, the pager's coding, its
// longest message, its character set) and against the sender's pages-per-minute limit; a page
// already in its on-air form goes as it is. Then each page is committed to the sink (the
// durable queue, which wakes the station). Every page and every refusal gets one line in the
// service log (never a password, never the text). Thread-safe: the inputs call it from their
// own threads.
#include "network/intake/directory_watch.h"
#include "network/intake/inbound_limits.h"
#include "network/intake/rate_limiter.h"
#include "network/page_sink.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tarvex {

struct Submission {
    std::string source;                  ///< "snpp", "wctp", "web", "dapnet", "control"
    std::string login;                   ///< the login the sender gave; empty when none
    bool verified = false;               ///< the login's password was checked
    std::string peer;                    ///< the sender's address
    std::vector<std::string> recipients; ///< pager IDs, in the order given, no repeats
    std::string text;                    ///< the message as it arrived (UTF-8)
    std::string reference; ///< the sender's own name for the message (WCTP's messageID)
    /// A pager given in full rather than from the directory (the web form's typed RIC): a
    /// recipient equal to its ID means it.
    std::optional<Pager> typed;
    /// A page already in its on-air form, to its RIC (the DAPNET link's, which the link has
    /// checked as the transmitter will; a page from the control socket): queued as it is,
    /// with no directory, character set or per-sender rate limit, since its input bounds
    /// itself and the queue's share per input holds it. `recipients` and `text` are not read;
    /// `reference` names it in the log ("#0A", the DAPNET server's number).
    std::optional<PageParams> ready;
};

enum class IntakeStatus {
    Queued,       ///< every page is in the queue
    NoRecipients, ///< nothing to send to
    UnknownPager, ///< a recipient is not in the directory (nothing queued)
    TooLong,      ///< the text is longer than a recipient takes (nothing queued)
    NotNumeric,   ///< a numeric pager was given other characters (nothing queued)
    RateLimited,  ///< the sender has used up its pages for this minute (nothing queued)
    QueueFailed,  ///< the sink refused a page; `queued` lists the ones taken before it
    QueueFull,    ///< as QueueFailed, because the queue has no room for it now
};

struct IntakeResult {
    IntakeStatus status = IntakeStatus::Queued;
    std::string detail;    ///< what went wrong, for the reply ("pager 1001 takes at most 80 …")
    std::string recipient; ///< the recipient that failed, if one did
    int limit = 0;         ///< the recipient's longest message when TooLong
    std::vector<std::pair<std::string, int64_t>> queued; ///< recipient and queue id, in order
    std::string changes; ///< characters the pagers' sets could not show ("é→e"), if any
};

class PageIntake {
public:
    using Clock = std::function<int64_t()>; ///< Unix time in milliseconds

    PageIntake(DirectoryWatch& directory, PageSink& sink, InboundLimits limits, ServiceLogger log,
               Clock clock = {});

    /// The pager the ID names in the directory as it is now.
    std::optional<Pager> find(std::string_view id);
    /// Checks, rate-limits and queues the message for every recipient.
    IntakeResult submit(const Submission& submission);

    /// False when the peer (an IPv6 peer by its /64) has failed too many password checks in
    /// the last minute (the next check is then refused without trying the password).
    bool loginAttemptAllowed(const std::string& peer);
    void loginFailed(const std::string& peer);
    /// A line about a refusal (a failed or refused login, a refused connection): a few a
    /// minute per address and in all are written, the rest are counted and the count is given
    /// with the next line written, so a flood cannot flood the log.
    void logRefusal(const std::string& peer, const std::string& line);

    /// One line for the service log; calls are serialised.
    void log(const std::string& line, LogLevel level = LogLevel::Info);
    const InboundLimits& limits() const { return m_limits; }
    int64_t nowMs() const;

private:
    struct Prepared;
    IntakeResult prepare(const Submission& submission, std::vector<Prepared>& pages);
    IntakeResult commit(const Submission& submission, const std::vector<Prepared>& pages);
    IntakeResult commitReady(const Submission& submission);

    DirectoryWatch& m_directory;
    PageSink& m_sink;
    InboundLimits m_limits;
    ServiceLogger m_log;
    Clock m_clock;
    std::mutex m_logMutex;
    std::mutex m_rateMutex;
    RateLimiter m_pages;
    RateLimiter m_loginFailures;
    LogLimit m_troubleLines;
};

/// How a sender is named in queue entries and log lines: "login@peer" for a login whose
/// password was checked, "peer (claims name)" for a name given without one, else the peer.
std::string originOf(std::string_view login, std::string_view peer, bool verified);

} // namespace tarvex
