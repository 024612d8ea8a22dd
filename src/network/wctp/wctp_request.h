#pragma once
// WCTP requests read and confirmations written with a real XML parser (pugixml): a
// wctp-SubmitRequest or a wctp-VersionQuery in, a wctp-Confirmation or wctp-VersionResponse
// out. The standard external DOCTYPE line is accepted and never fetched; an internal DTD
// subset (where entities would be declared) is refused, as is anything that is not
// well-formed XML. Standard C++ and pugixml, no HTTP.
#include <cstddef>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace tarvex {

/// WCTP result codes used by the station.
namespace wctp {
inline constexpr int Accepted = 200;
inline constexpr int OperationNotSupported = 300;
inline constexpr int CannotParse = 301;
inline constexpr int ValidationError = 302;
inline constexpr int FunctionNotSupported = 400;
inline constexpr int InvalidSenderId = 401;
inline constexpr int InvalidSecurityCode = 402;
inline constexpr int InvalidRecipientId = 403;
inline constexpr int MessageTooLong = 411;
inline constexpr int InternalError = 604;
inline constexpr int ServiceUnavailable = 606;
} // namespace wctp

struct WctpSubmit {
    std::string version; ///< the wctpVersion the client gave (echoed in the answer)
    std::string senderId;
    std::string securityCode; ///< empty when not given
    std::string messageId;
    std::vector<std::string> recipients; ///< in the order given, without repeats
    std::string text;                    ///< wctp-Alphanumeric, UTF-8
};

struct WctpVersionQuery {
    std::string version;
    std::string inquirer;
};

/// A request that could not be taken, with the WCTP code and texts to answer.
struct WctpFault {
    int code = wctp::CannotParse;
    std::string text;        ///< errorText, e.g. "Input cannot be parsed"
    std::string description; ///< what exactly was wrong
};

using WctpRequest = std::variant<WctpSubmit, WctpVersionQuery, WctpFault>;

struct WctpReadLimits {
    std::size_t maxRecipients = 16;
    std::size_t maxTextBytes = 1024;
};

/// Reads a posted body. Never throws; anything unusable comes back as a WctpFault.
WctpRequest readWctpRequest(std::string_view body, const WctpReadLimits& limits);

/// The wctp-Operation documents answered, UTF-8 with the standard DOCTYPE.
std::string wctpSuccess(int code, std::string_view text, std::string_view description,
                        std::string_view version = {});
std::string wctpFailure(int code, std::string_view text, std::string_view description,
                        std::string_view version = {});
std::string wctpVersionResponse(std::string_view responder, std::string_view version = {});

} // namespace tarvex
