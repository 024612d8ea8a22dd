#pragma once
// How a server checks a login name and password (SNPP LOGI, the WCTP senderID and
// securityCode). The station's implementation reads the salted hashes of the user store;
// tests and fuzz targets give their own. Standard C++ only.
#include <string_view>

namespace tarvex {

enum class AuthResult { Accepted, UnknownUser, WrongPassword, Unavailable };

class Authenticator {
public:
    virtual ~Authenticator() = default;
    /// Checks the password of a login; may take a fraction of a second (a password hash).
    /// Safe to call from several threads.
    virtual AuthResult verify(std::string_view user, std::string_view password) = 0;
};

} // namespace tarvex
