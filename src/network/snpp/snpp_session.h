#pragma once
// One SNPP conversation (RFC 1861 level 1, and the level 2 commands real clients send) as
// pure text: a line in, the reply lines out. The session keeps the recipients and the
// message of the transaction and hands them to the page intake at SEND, which answers 250
// only after every page is in the queue. No sockets, no Qt: the server feeds it lines.
#include "network/intake/authenticator.h"
#include "network/intake/page_intake.h"

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace tarvex {

struct SnppSessionOptions {
    bool loginRequired = false; ///< LOGI with a valid password before PAGE, MESS, DATA, SEND
    std::string peer;           ///< the client's address, for the log and the rate limit
    std::string greetingName = "Tarvex SNPP server";
};

struct SnppReply {
    std::vector<std::string> lines; ///< each "NNN text", without CR LF
    bool close = false;             ///< close the connection after sending the lines
    /// A LOGI password waits to be checked: run takeLoginCheck() (slow, on any thread), then
    /// send finishLogin()'s reply. Nothing else may be fed to the session in between.
    bool checkLogin = false;
};

class SnppSession {
public:
    /// `auth` may be null: then every LOGI with a password is refused.
    SnppSession(PageIntake& intake, Authenticator* auth, SnppSessionOptions options);

    std::string greeting() const;
    /// One line as received, without its line end.
    SnppReply onLine(std::string_view line);
    /// The server cut a line longer than the line limit; the rest of it is discarded.
    SnppReply onOverlongLine();
    /// The password check of the LOGI just answered with `checkLogin`, holding its own copy of
    /// the name and password (the session may be gone when it runs).
    std::function<AuthResult()> takeLoginCheck();
    /// The reply to that LOGI, once its check has given `result`.
    SnppReply finishLogin(AuthResult result);
    /// True while text lines of a DATA command are being read.
    bool readingData() const { return m_readingData; }
    /// True after QUIT or a 421: nothing more is read.
    bool finished() const { return m_finished; }

private:
    SnppReply command(std::string_view verb, std::string_view args);
    SnppReply dataLine(std::string_view line);
    SnppReply page(std::string_view args);
    SnppReply mess(std::string_view args);
    SnppReply data();
    SnppReply send();
    SnppReply logi(std::string_view args);
    SnppReply leve(std::string_view args);
    SnppReply aler(std::string_view args);
    SnppReply help() const;
    SnppReply ok(const std::string& text) const;
    SnppReply error(const std::string& line);
    bool loggedIn() const { return !m_options.loginRequired || m_verified; }
    void resetTransaction();

    PageIntake& m_intake;
    Authenticator* m_auth;
    SnppSessionOptions m_options;
    std::vector<std::string> m_recipients;
    std::string m_message;
    bool m_haveMessage = false;
    bool m_readingData = false;
    bool m_dataTooLong = false;
    std::size_t m_dataLines = 0;
    std::string m_login;
    bool m_verified = false;
    std::string m_checkingUser; ///< the LOGI whose password is being checked
    std::string m_checkingPassword;
    int m_errors = 0;
    bool m_finished = false;
};

} // namespace tarvex
