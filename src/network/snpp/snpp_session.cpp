#include "network/snpp/snpp_session.h"

#include <algorithm>
#include <cctype>
#include <utility>

namespace tarvex {

namespace {

std::string_view trim(std::string_view text) {
    const auto isSpace = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
    while (!text.empty() && isSpace(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isSpace(text.back()))
        text.remove_suffix(1);
    return text;
}

/// The first word of the arguments, and the rest after it.
std::pair<std::string_view, std::string_view> firstWord(std::string_view args) {
    args = trim(args);
    const auto end = args.find_first_of(" \t");
    if (end == std::string_view::npos)
        return {args, {}};
    return {args.substr(0, end), trim(args.substr(end))};
}

std::string upper4(std::string_view word) {
    std::string verb(word.substr(0, 4));
    for (char& c : verb)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return verb;
}

/// Text from the client shown in a reply: printable ASCII only, and short.
std::string shown(std::string_view text) {
    std::string out;
    for (const char c : text.substr(0, 40))
        out += (c >= 0x20 && c < 0x7F) ? c : '?';
    return out;
}

bool isWholeNumber(std::string_view text, int min, int max) {
    if (text.empty() || text.size() > 3 ||
        !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return false;
    const int value = std::stoi(std::string(text));
    return value >= min && value <= max;
}

} // namespace

SnppSession::SnppSession(PageIntake& intake, Authenticator* auth, SnppSessionOptions options)
    : m_intake(intake), m_auth(auth), m_options(std::move(options)) {}

std::string SnppSession::greeting() const {
    return "220 " + m_options.greetingName + " (SNPP level 1 and 2) ready";
}

SnppReply SnppSession::ok(const std::string& text) const {
    return {{"250 " + text}, false};
}

SnppReply SnppSession::error(const std::string& line) {
    SnppReply reply{{line}, false};
    if (++m_errors >= m_intake.limits().maxErrorsPerSession) {
        reply.lines.push_back("421 Too many errors, goodbye");
        reply.close = true;
        m_finished = true;
        m_intake.log("snpp: closed the session of " +
                     originOf(m_login, m_options.peer, m_verified) + " after " +
                     std::to_string(m_errors) + " refused commands");
    }
    return reply;
}

void SnppSession::resetTransaction() {
    m_recipients.clear();
    m_message.clear();
    m_haveMessage = false;
}

SnppReply SnppSession::onLine(std::string_view line) {
    if (m_finished)
        return {};
    if (m_readingData)
        return dataLine(line);
    const auto [word, args] = firstWord(line);
    if (word.size() < 4)
        return error("500 Command not implemented");
    return command(upper4(word), args);
}

SnppReply SnppSession::onOverlongLine() {
    if (m_finished)
        return {};
    const std::string limit = std::to_string(m_intake.limits().maxLineLength);
    if (m_readingData) {
        m_dataTooLong = true; // answered with 554 at the closing "."
        return {};
    }
    m_intake.log("snpp: refused a line longer than " + limit + " bytes from " +
                 originOf(m_login, m_options.peer, m_verified));
    return error("500 Line too long, at most " + limit + " bytes");
}

SnppReply SnppSession::command(std::string_view verb, std::string_view args) {
    if (verb == "PAGE")
        return page(args);
    if (verb == "MESS")
        return mess(args);
    if (verb == "DATA")
        return data();
    if (verb == "SEND")
        return send();
    if (verb == "RESE") {
        resetTransaction();
        return ok("Reset OK");
    }
    if (verb == "QUIT") {
        m_finished = true;
        return {{"221 OK, goodbye"}, true};
    }
    if (verb == "HELP")
        return help();
    if (verb == "LOGI")
        return logi(args);
    if (verb == "LEVE")
        return leve(args);
    if (verb == "ALER")
        return aler(args);
    if (verb == "SUBJ")
        return ok("Subject noted (it is not sent to the pager)");
    if (verb == "CALL")
        return ok("Caller ID noted (it is not sent to the pager)");
    if (verb == "HOLD")
        return error("500 HOLD not supported: pages go out as soon as the station can send");
    if (verb == "COVE")
        return error("500 COVE not supported: this station has one coverage area");
    if (verb == "SITE")
        return error("500 SITE commands not supported");
    return error("500 Command not implemented");
}

SnppReply SnppSession::page(std::string_view args) {
    if (!loggedIn())
        return error("550 Log in first (LOGI name password)");
    const auto id = firstWord(args).first; // a pager password after the ID is not used
    if (id.empty())
        return error("550 Error, PAGE needs a pager ID");
    const std::string pin(id);
    if (std::find(m_recipients.begin(), m_recipients.end(), pin) != m_recipients.end())
        return ok("Pager ID " + pin + " already given");
    if (m_recipients.size() >= m_intake.limits().maxRecipients) {
        m_intake.log("snpp: refused recipient " + shown(pin) + " from " +
                     originOf(m_login, m_options.peer, m_verified) + ": more than " +
                     std::to_string(m_intake.limits().maxRecipients) + " recipients");
        return error("552 Maximum entries exceeded, at most " +
                     std::to_string(m_intake.limits().maxRecipients) + " pagers a message");
    }
    if (!m_intake.find(pin)) {
        m_intake.log("snpp: refused unknown pager " + shown(pin) + " from " +
                     originOf(m_login, m_options.peer, m_verified));
        return error("550 Error, invalid pager ID " + shown(pin));
    }
    m_recipients.push_back(pin);
    return ok("Pager ID accepted");
}

SnppReply SnppSession::mess(std::string_view args) {
    if (!loggedIn())
        return error("550 Log in first (LOGI name password)");
    if (m_haveMessage)
        return error("503 Error, message already entered");
    if (args.size() > m_intake.limits().maxMessageLength) {
        m_intake.log("snpp: refused a message of " + std::to_string(args.size()) + " bytes from " +
                     originOf(m_login, m_options.peer, m_verified) + ": more than " +
                     std::to_string(m_intake.limits().maxMessageLength));
        return error("554 Message too long, at most " +
                     std::to_string(m_intake.limits().maxMessageLength) + " bytes");
    }
    m_message = std::string(args);
    m_haveMessage = true;
    return ok("Message OK");
}

SnppReply SnppSession::data() {
    if (!loggedIn())
        return error("550 Log in first (LOGI name password)");
    if (m_haveMessage)
        return error("503 Error, message already entered");
    m_readingData = true;
    m_dataTooLong = false;
    m_dataLines = 0;
    m_message.clear();
    return {{"354 Begin input; end with <CRLF>.<CRLF>"}, false};
}

SnppReply SnppSession::dataLine(std::string_view line) {
    if (!line.empty() && line.back() == '\r')
        line.remove_suffix(1);
    if (line == ".") {
        m_readingData = false;
        if (m_dataTooLong) {
            m_message.clear();
            m_intake.log("snpp: refused a DATA message longer than " +
                         std::to_string(m_intake.limits().maxMessageLength) + " bytes from " +
                         originOf(m_login, m_options.peer, m_verified));
            return error("554 Message too long, at most " +
                         std::to_string(m_intake.limits().maxMessageLength) + " bytes");
        }
        m_haveMessage = true;
        return ok("Message OK");
    }
    if (line.starts_with('.'))
        line.remove_prefix(1);
    const std::size_t added = (m_dataLines > 0 ? 1 : 0) + line.size();
    if (m_dataTooLong || m_message.size() + added > m_intake.limits().maxMessageLength) {
        m_dataTooLong = true;
        return {};
    }
    if (m_dataLines++ > 0)
        m_message += '\n';
    m_message += line;
    return {};
}

SnppReply SnppSession::send() {
    if (!loggedIn())
        return error("550 Log in first (LOGI name password)");
    if (m_recipients.empty())
        return error("503 Error, incomplete transaction: no pager ID (PAGE) given");
    if (!m_haveMessage) {
        // Tone-only pagers take no text, so a page to them needs no MESS.
        const bool allToneOnly =
            std::all_of(m_recipients.begin(), m_recipients.end(), [&](auto& id) {
                const auto pager = m_intake.find(id);
                return pager && pager->coding == PagerCoding::ToneOnly;
            });
        if (!allToneOnly)
            return error("503 Error, incomplete transaction: no message (MESS or DATA) given");
    }
    Submission submission{"snpp", m_login, m_verified, m_options.peer, m_recipients, m_message};
    const IntakeResult result = m_intake.submit(submission);
    resetTransaction();
    std::string queued;
    for (const auto& [id, number] : result.queued)
        queued += (queued.empty() ? "" : ", ") + id + " as #" + std::to_string(number);
    switch (result.status) {
    case IntakeStatus::Queued:
        return ok("Message queued for " + queued +
                  (result.changes.empty()
                       ? std::string()
                       : "; characters changed for the pager: " + result.changes));
    case IntakeStatus::UnknownPager:
        return error("550 Error, invalid pager ID " + shown(result.recipient) + "; nothing sent");
    case IntakeStatus::NoRecipients:
        return error("503 Error, incomplete transaction");
    case IntakeStatus::QueueFailed:
    case IntakeStatus::QueueFull:
        return error("554 Error, failed: " + result.detail +
                     (queued.empty() ? "; nothing sent" : "; queued before it: " + queued));
    default:
        return error("554 Error, failed: " + result.detail + "; nothing sent");
    }
}

SnppReply SnppSession::logi(std::string_view args) {
    // The password is the rest of the line: clients send it as typed, spaces and all.
    const auto [user, password] = firstWord(args);
    if (user.empty())
        return error("550 Error, LOGI needs a login name");
    if (user.size() > 64)
        return error("550 Error, invalid login ID or password");
    if (password.empty()) {
        if (m_options.loginRequired)
            return error("550 Error, password required");
        m_login = std::string(user);
        m_verified = false;
        return ok("Login accepted (local connection, no password)");
    }
    const std::string& peer = m_options.peer;
    if (!m_intake.loginAttemptAllowed(peer)) {
        m_intake.logRefusal(peer, "snpp: refused LOGI " + shown(user) + " from " + peer +
                                      ": too many failed logins in the last minute");
        m_finished = true;
        return {{"421 Too many failed logins, try again later"}, true};
    }
    // The check is slow (a memory-hard hash): the connection runs it, and feeds the session
    // nothing meanwhile.
    m_checkingUser = std::string(user);
    m_checkingPassword = std::string(password);
    SnppReply reply;
    reply.checkLogin = true;
    return reply;
}

std::function<AuthResult()> SnppSession::takeLoginCheck() {
    Authenticator* auth = m_auth;
    std::string password = std::exchange(m_checkingPassword, {});
    return [auth, user = m_checkingUser, password = std::move(password)] {
        return auth != nullptr ? auth->verify(user, password) : AuthResult::Unavailable;
    };
}

SnppReply SnppSession::finishLogin(AuthResult result) {
    const std::string user = std::exchange(m_checkingUser, {});
    const std::string& peer = m_options.peer;
    if (result != AuthResult::Accepted) {
        m_intake.loginFailed(peer);
        m_intake.logRefusal(peer, "snpp: failed LOGI " + shown(user) + " from " + peer +
                                      (result == AuthResult::UnknownUser ? " (unknown login)"
                                                                         : " (wrong password)"));
        return error("550 Error, invalid login ID or password");
    }
    m_login = user;
    m_verified = true;
    m_intake.log("snpp: LOGI " + m_login + " from " + peer);
    return ok("Login accepted");
}

SnppReply SnppSession::leve(std::string_view args) {
    const auto level = firstWord(args).first;
    if (!isWholeNumber(level, 0, 11))
        return error("550 Error, invalid service level (0 to 11)");
    return ok("Service level " + std::string(level) + " noted (every page is queued at once)");
}

SnppReply SnppSession::aler(std::string_view args) {
    const auto flag = firstWord(args).first;
    if (flag == "1")
        return ok("Alert OK");
    if (flag == "0")
        return error("500 ALER 0 not supported: every page alerts");
    return error("550 Error, ALER takes 0 or 1");
}

SnppReply SnppSession::help() const {
    return {{"214 PAGE <pager ID>        add a recipient (several make several pages)",
             "214 MESS <text>            the message",
             "214 DATA                   the message on several lines, ending with '.'",
             "214 SEND                   queue the message for every recipient",
             "214 RESE                   forget recipients and message",
             "214 LOGI <name> <password> log in (required off this computer)",
             "214 LEVE <n>, SUBJ, CALL   accepted; HOLD, COVE, ALER 0 not supported",
             "214 QUIT                   end the session", "250 End of help"},
            false};
}

} // namespace tarvex
