#pragma once
// The logins of the station's network servers (SNPP LOGI, the WCTP senderID): each name with
// a salted password hash made by libsodium's crypto_pwhash_str (Argon2id), kept in
// "SnppUsers.txt" in the station folder, mode 0600, replaced through a temporary file.
// Passwords themselves are never stored, logged or kept after the hash is made.
#include "network/intake/authenticator.h"

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <semaphore>
#include <string>
#include <string_view>
#include <vector>

namespace tarvex {

inline constexpr char SnppUsersFile[] = "SnppUsers.txt";
/// Longest password taken; longer ones are refused when set and fail when checked.
inline constexpr std::size_t MaxPasswordBytes = 256;

/// "SnppUsers.txt" in the station folder ($TARVEX_FOLDER in tests).
std::string snppUsersPath();
/// Why a login name cannot be used (1..64 of letters, digits, '.', '_', '-', '@'), or nullopt.
std::optional<std::string> validateLoginName(std::string_view name);

class UserStore {
public:
    /// Reads the file; a missing file is an empty store. False with *error naming the line
    /// when the file cannot be read or holds a bad line (nothing is loaded then).
    bool load(const std::string& path, std::string* error);
    /// Writes every login through a temporary file (mode 0600) that replaces the old one.
    bool save(const std::string& path, std::string* error) const;

    /// Hashes the password and sets it for the login (added when new).
    bool setPassword(const std::string& name, std::string_view password, std::string* error);
    bool remove(std::string_view name);
    bool contains(std::string_view name) const { return m_users.contains(std::string(name)); }
    std::vector<std::string> names() const;
    /// The stored hash of a login, nullopt when unknown.
    std::optional<std::string> hashOf(std::string_view name) const;

private:
    std::map<std::string, std::string> m_users; ///< name → crypto_pwhash_str text
};

/// Checks passwords against the user file, reading it again when it changes on disk. A
/// password that was accepted is remembered (as a keyed hash, never as text) until the file
/// changes, so a client that logs in with every request costs one slow hash, not one each
/// time. At most two slow checks run at once (each takes tens of MB of memory).
class UserFileAuthenticator : public Authenticator {
public:
    explicit UserFileAuthenticator(std::string path,
                                   std::function<void(const std::string&)> log = {});
    AuthResult verify(std::string_view user, std::string_view password) override;

private:
    using Digest = std::array<unsigned char, 32>;
    std::optional<std::string> currentHash(std::string_view user);
    Digest digestOf(std::string_view password) const;

    std::string m_path;
    std::function<void(const std::string&)> m_log;
    std::mutex m_mutex;
    UserStore m_store;
    std::string m_stamp = "unread"; ///< modification time, size and inode of the file last read
    std::map<std::string, Digest> m_accepted;
    std::array<unsigned char, 32> m_cacheKey{};
    std::string m_decoyHash; ///< checked for unknown logins so that they take as long
    std::counting_semaphore<2> m_slowChecks{2};
};

} // namespace tarvex
