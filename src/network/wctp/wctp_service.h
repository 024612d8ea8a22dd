#pragma once
// What the station answers to one posted WCTP body: the request is read, the originator's
// senderID and securityCode are checked against the login store, and a submitted message
// goes through the same page intake as SNPP (directory, pager limits, rate limits, queue).
// Every outcome is a well-formed wctp-Operation. No HTTP here; safe to call from several
// threads at once.
#include "network/intake/authenticator.h"
#include "network/intake/page_intake.h"

#include <optional>
#include <string>
#include <string_view>

namespace tarvex {

struct WctpSubmit;

struct WctpAnswer {
    std::string xml; ///< the wctp-Operation to send back
    int code = 200;  ///< the WCTP code in it (200 success, else the failure's errorCode)
};

class WctpService {
public:
    /// `auth` may be null: then only requests without a securityCode are taken, and only
    /// when no login is required.
    WctpService(PageIntake& intake, Authenticator* auth, bool loginRequired);

    WctpAnswer handle(std::string_view body, const std::string& peer);
    bool loginRequired() const { return m_loginRequired; }

private:
    std::optional<WctpAnswer> checkSender(const WctpSubmit& submit, const std::string& peer);
    WctpAnswer refuse(int code, const std::string& text, const std::string& description,
                      const std::string& peer, const std::string& version);

    PageIntake& m_intake;
    Authenticator* m_auth;
    bool m_loginRequired;
};

} // namespace tarvex
