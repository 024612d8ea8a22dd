#include "network/intake/user_store.h"

#include "paging/station_folder.h"

#include <algorithm>
#include <sodium.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace tarvex {

namespace {

bool sodiumReady() {
    return ::sodium_init() >= 0;
}

std::string systemError(const std::string& what) {
    return what + ": " + std::strerror(errno);
}

bool writeAll(int fd, const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

/// The folder of a path, for the fsync that makes a rename durable.
std::string folderOf(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
}

} // namespace

std::string snppUsersPath() {
    return stationFolder() + SnppUsersFile;
}

std::optional<std::string> validateLoginName(std::string_view name) {
    if (name.empty() || name.size() > 64)
        return "a login name has 1 to 64 characters";
    for (const char c : name) {
        const bool fine = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                          (c >= '0' && c <= '9') || c == '.' || c == '_' || c == '-' || c == '@';
        if (!fine)
            return "a login name holds letters, digits, '.', '_', '-' and '@' only";
    }
    return std::nullopt;
}

bool UserStore::load(const std::string& path, std::string* error) {
    std::ifstream in(path);
    if (!in) {
        if (errno == ENOENT) {
            m_users.clear();
            return true;
        }
        *error = systemError(path);
        return false;
    }
    std::map<std::string, std::string> users;
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        if (line.empty() || line.front() == '#')
            continue;
        std::istringstream fields(line);
        std::string name, hash, extra;
        fields >> name >> hash >> extra;
        const auto bad = validateLoginName(name);
        if (bad || !hash.starts_with("$argon2") || !extra.empty()) {
            *error = path + " line " + std::to_string(number) + ": " +
                     (bad ? *bad : std::string("not a login name and a password hash"));
            return false;
        }
        users[name] = hash;
    }
    if (in.bad()) {
        *error = systemError(path);
        return false;
    }
    m_users = std::move(users);
    return true;
}

bool UserStore::save(const std::string& path, std::string* error) const {
    std::string text = "# Tarvex network logins: name and libsodium password hash. Edit with\n"
                       "# tarvex-cli snpp-user add NAME / remove NAME.\n";
    for (const auto& [name, hash] : m_users)
        text += name + " " + hash + "\n";
    std::string temp = path + ".tmp-XXXXXX";
    const int fd = ::mkstemp(temp.data()); // created with mode 0600
    if (fd < 0) {
        *error = systemError("cannot create a file beside " + path);
        return false;
    }
    const bool written = ::fchmod(fd, 0600) == 0 && writeAll(fd, text) && ::fsync(fd) == 0;
    const std::string writeError = written ? std::string() : systemError("cannot write " + temp);
    ::close(fd);
    if (!written || ::rename(temp.c_str(), path.c_str()) != 0) {
        *error = written ? systemError("cannot replace " + path) : writeError;
        ::unlink(temp.c_str());
        return false;
    }
    const int dir = ::open(folderOf(path).c_str(), O_RDONLY | O_DIRECTORY);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return true;
}

bool UserStore::setPassword(const std::string& name, std::string_view password,
                            std::string* error) {
    if (const auto bad = validateLoginName(name)) {
        *error = *bad;
        return false;
    }
    if (password.empty() || password.size() > MaxPasswordBytes) {
        *error = "a password has 1 to " + std::to_string(MaxPasswordBytes) + " bytes";
        return false;
    }
    char hash[crypto_pwhash_STRBYTES];
    if (!sodiumReady() || ::crypto_pwhash_str(hash, password.data(), password.size(),
                                              crypto_pwhash_OPSLIMIT_INTERACTIVE,
                                              crypto_pwhash_MEMLIMIT_INTERACTIVE) != 0) {
        *error = "the password could not be hashed (out of memory?)";
        return false;
    }
    m_users[name] = hash;
    return true;
}

bool UserStore::remove(std::string_view name) {
    return m_users.erase(std::string(name)) > 0;
}

std::vector<std::string> UserStore::names() const {
    std::vector<std::string> out;
    for (const auto& entry : m_users)
        out.push_back(entry.first);
    return out;
}

std::optional<std::string> UserStore::hashOf(std::string_view name) const {
    const auto it = m_users.find(std::string(name));
    return it == m_users.end() ? std::nullopt : std::optional<std::string>(it->second);
}

UserFileAuthenticator::UserFileAuthenticator(std::string path,
                                             std::function<void(const std::string&)> log)
    : m_path(std::move(path)), m_log(std::move(log)) {
    if (sodiumReady())
        ::randombytes_buf(m_cacheKey.data(), m_cacheKey.size());
    UserStore decoy;
    std::string ignored;
    std::array<unsigned char, 16> random{};
    ::randombytes_buf(random.data(), random.size());
    if (decoy.setPassword("decoy",
                          std::string_view(reinterpret_cast<char*>(random.data()), random.size()),
                          &ignored))
        m_decoyHash = *decoy.hashOf("decoy");
}

UserFileAuthenticator::Digest UserFileAuthenticator::digestOf(std::string_view password) const {
    Digest digest{};
    ::crypto_generichash(digest.data(), digest.size(),
                         reinterpret_cast<const unsigned char*>(password.data()), password.size(),
                         m_cacheKey.data(), m_cacheKey.size());
    return digest;
}

std::optional<std::string> UserFileAuthenticator::currentHash(std::string_view user) {
    struct stat st {};
    const std::string stamp =
        ::stat(m_path.c_str(), &st) != 0
            ? std::string("missing")
            : std::to_string(st.st_mtim.tv_sec) + "." + std::to_string(st.st_mtim.tv_nsec) + ":" +
                  std::to_string(st.st_size) + ":" + std::to_string(st.st_ino);
    if (stamp != m_stamp) {
        m_stamp = stamp;
        m_accepted.clear();
        std::string error;
        UserStore fresh;
        if (fresh.load(m_path, &error))
            m_store = std::move(fresh);
        else if (m_log)
            m_log("login file not read again, the logins read before stay in use: " + error);
    }
    return m_store.hashOf(user);
}

AuthResult UserFileAuthenticator::verify(std::string_view user, std::string_view password) {
    if (!sodiumReady())
        return AuthResult::Unavailable;
    std::optional<std::string> hash;
    std::string stamp;
    const Digest digest = digestOf(password);
    {
        const std::lock_guard lock(m_mutex);
        hash = currentHash(user);
        stamp = m_stamp;
        const auto known = m_accepted.find(std::string(user));
        if (hash && known != m_accepted.end() &&
            ::sodium_memcmp(known->second.data(), digest.data(), digest.size()) == 0)
            return AuthResult::Accepted;
    }
    const std::string& against = hash ? *hash : m_decoyHash;
    bool matches = false;
    if (!against.empty()) {
        // A password longer than any kept one still takes the full check: a cheap refusal
        // would let a client fail quickly and often. Only the first bytes past the longest
        // allowed are hashed, and it never matches.
        const std::size_t length = std::min(password.size(), MaxPasswordBytes + 1);
        m_slowChecks.acquire();
        matches = ::crypto_pwhash_str_verify(against.c_str(), password.data(), length) == 0 &&
                  password.size() <= MaxPasswordBytes;
        m_slowChecks.release();
    }
    if (!hash)
        return AuthResult::UnknownUser;
    if (!matches)
        return AuthResult::WrongPassword;
    const std::lock_guard lock(m_mutex);
    if (m_stamp == stamp) // not when the file changed meanwhile: the hash may be an old one
        m_accepted[std::string(user)] = digest;
    return AuthResult::Accepted;
}

} // namespace tarvex
