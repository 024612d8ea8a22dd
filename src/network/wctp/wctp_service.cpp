#include "network/wctp/wctp_service.h"

#include "network/wctp/wctp_request.h"

#include <optional>
#include <variant>

namespace tarvex {

namespace {

/// Client text shown in a log line: printable ASCII only, and short.
std::string shown(std::string_view text) {
    std::string out;
    for (const char c : text.substr(0, 40))
        out += (c >= 0x20 && c < 0x7F) ? c : '?';
    return out;
}

struct Failure {
    int code;
    const char* text;
};

Failure failureFor(IntakeStatus status) {
    switch (status) {
    case IntakeStatus::UnknownPager:
        return {wctp::InvalidRecipientId, "Invalid recipientID"};
    case IntakeStatus::TooLong:
        return {wctp::MessageTooLong, "Message exceeds allowable length"};
    case IntakeStatus::NotNumeric:
        return {wctp::FunctionNotSupported, "Function not supported"};
    case IntakeStatus::RateLimited:
    case IntakeStatus::QueueFull:
        return {wctp::ServiceUnavailable, "Service unavailable"};
    case IntakeStatus::NoRecipients:
        return {wctp::ValidationError, "XML validation error"};
    default:
        return {wctp::InternalError, "Internal server error"};
    }
}

} // namespace

WctpService::WctpService(PageIntake& intake, Authenticator* auth, bool loginRequired)
    : m_intake(intake), m_auth(auth), m_loginRequired(loginRequired) {}

WctpAnswer WctpService::refuse(int code, const std::string& text, const std::string& description,
                               const std::string& peer, const std::string& version) {
    m_intake.log("wctp: refused a request from " + peer + ": " + std::to_string(code) + " " +
                 shown(description));
    return {wctpFailure(code, text, description, version), code};
}

std::optional<WctpAnswer> WctpService::checkSender(const WctpSubmit& submit,
                                                   const std::string& peer) {
    if (submit.securityCode.empty()) {
        if (m_loginRequired)
            return refuse(wctp::InvalidSecurityCode, "Invalid security code",
                          "a securityCode is required", peer, submit.version);
    } else {
        const std::string description = "too many failed logins from this address, try again later";
        if (!m_intake.loginAttemptAllowed(peer)) {
            m_intake.logRefusal(peer, "wctp: refused senderID " + shown(submit.senderId) +
                                          " from " + peer + ": " + description);
            return WctpAnswer{wctpFailure(wctp::InvalidSecurityCode, "Invalid security code",
                                          description, submit.version),
                              wctp::InvalidSecurityCode};
        }
        const AuthResult result =
            m_auth ? m_auth->verify(submit.senderId, submit.securityCode) : AuthResult::Unavailable;
        if (result != AuthResult::Accepted) {
            m_intake.loginFailed(peer);
            const bool unknown = result == AuthResult::UnknownUser || !m_auth;
            m_intake.logRefusal(peer, "wctp: failed login of senderID " + shown(submit.senderId) +
                                          " from " + peer +
                                          (unknown ? " (unknown login)" : " (wrong code)"));
            // The same answer for an unknown senderID and a wrong code: the answer must not
            // tell which logins exist.
            return WctpAnswer{wctpFailure(wctp::InvalidSecurityCode, "Invalid security code",
                                          "senderID or securityCode not accepted", submit.version),
                              wctp::InvalidSecurityCode};
        }
    }
    return std::nullopt;
}

WctpAnswer WctpService::handle(std::string_view body, const std::string& peer) {
    const InboundLimits& limits = m_intake.limits();
    const WctpRequest request =
        readWctpRequest(body, {limits.maxRecipients, limits.maxMessageLength});
    if (const auto* f = std::get_if<WctpFault>(&request))
        return refuse(f->code, f->text, f->description, peer, {});
    if (const auto* query = std::get_if<WctpVersionQuery>(&request))
        return {wctpVersionResponse("Tarvex", query->version), wctp::Accepted};
    const auto& submit = std::get<WctpSubmit>(request);

    if (auto refused = checkSender(submit, peer))
        return *refused;
    const IntakeResult result = m_intake.submit(
        {"wctp", submit.senderId, !submit.securityCode.empty(), peer, submit.recipients,
         submit.text, submit.messageId, std::nullopt, std::nullopt});
    std::string queued;
    for (const auto& [id, number] : result.queued)
        queued += (queued.empty() ? "" : ", ") + id + " as #" + std::to_string(number);
    if (result.status == IntakeStatus::Queued) {
        const std::string changed =
            result.changes.empty() ? "" : "; characters changed for the pager: " + result.changes;
        return {wctpSuccess(wctp::Accepted, "Accepted", "queued for " + queued + changed,
                            submit.version),
                wctp::Accepted};
    }
    const Failure failure = failureFor(result.status);
    const std::string description =
        result.detail + (queued.empty() ? "; nothing queued" : "; queued before it: " + queued);
    return {wctpFailure(failure.code, failure.text, description, submit.version), failure.code};
}

} // namespace tarvex
