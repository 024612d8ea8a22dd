#include "network/dapnet/auth_key_file.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tarvex {

namespace {

std::string systemError(const std::string& what, int code) {
    return what + ": " + std::strerror(code);
}

bool keyCharsOk(std::string_view key) {
    for (const char c : key)
        if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')))
            return false;
    return true;
}

/// Closes the descriptor when it goes out of scope.
class Fd {
public:
    explicit Fd(int fd) : m_fd(fd) {}
    ~Fd() {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return m_fd; }
    int release() { return std::exchange(m_fd, -1); }

private:
    int m_fd;
};

std::optional<std::string> fail(std::string* error, std::string text) {
    if (error)
        *error = std::move(text);
    return std::nullopt;
}

bool makePrivateFolders(const std::filesystem::path& folder, std::string* error) {
    if (folder.empty() || std::filesystem::is_directory(folder))
        return true;
    if (!makePrivateFolders(folder.parent_path(), error))
        return false;
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
        if (error)
            *error = systemError("Cannot create the folder " + folder.string(), errno);
        return false;
    }
    return true;
}

} // namespace

std::string defaultAuthKeyFile() {
    std::string base;
    if (const char* config = std::getenv("XDG_CONFIG_HOME"); config && *config)
        base = config;
    else if (const char* home = std::getenv("HOME"); home && *home)
        base = std::string(home) + "/.config";
    else
        base = ".";
    return base + "/dovrik-apps/Tarvex/DapnetAuthKey";
}

std::optional<std::string> readAuthKeyFile(const std::string& path, std::string* error) {
    const std::string name = "The DAPNET auth key file " + path;
    Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (fd.get() < 0)
        return fail(error, systemError("Cannot open the DAPNET auth key file " + path, errno));
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0)
        return fail(error, systemError("Cannot read the DAPNET auth key file " + path, errno));
    if (!S_ISREG(st.st_mode))
        return fail(error, name + " is not a regular file.");
    // Any group or other bit: a key others may write can be swapped for theirs.
    if ((st.st_mode & (S_IRWXG | S_IRWXO)) != 0) {
        char mode[8];
        std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(st.st_mode & 07777));
        return fail(error, name + " is open to other users (mode " + mode +
                               "); make it private with: chmod 600 " + path);
    }
    if (st.st_size > static_cast<off_t>(AuthKeyFileLimit))
        return fail(error, name + " is too large to hold a key.");
    std::vector<char> bytes(AuthKeyFileLimit + 1);
    std::size_t total = 0;
    while (total < bytes.size()) {
        const ssize_t n = ::read(fd.get(), bytes.data() + total, bytes.size() - total);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return fail(error, systemError("Cannot read the DAPNET auth key file " + path, errno));
        if (n == 0)
            break;
        total += static_cast<std::size_t>(n);
    }
    if (total > AuthKeyFileLimit)
        return fail(error, name + " is too large to hold a key.");
    std::string_view text(bytes.data(), total);
    text = text.substr(0, text.find_first_of("\r\n"));
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos)
        return fail(error, name + " holds no key.");
    text = text.substr(first, text.find_last_not_of(" \t") - first + 1);
    if (text.size() > 256 || !keyCharsOk(text))
        return fail(error, name + " holds characters other than letters and digits on its "
                                  "first line, or more than 256 of them.");
    return std::string(text);
}

bool writeAuthKeyFile(const std::string& path, std::string_view key, std::string* error) {
    if (key.empty() || key.size() > 256 || !keyCharsOk(key)) {
        if (error)
            *error = "A DAPNET auth key is 1 to 256 letters and digits.";
        return false;
    }
    const std::filesystem::path target(path);
    if (!makePrivateFolders(target.parent_path(), error))
        return false;
    std::string temp = path + ".XXXXXX";
    Fd fd(::mkstemp(temp.data())); // mode 0600
    if (fd.get() < 0) {
        if (error)
            *error = systemError("Cannot create the DAPNET auth key file " + path, errno);
        return false;
    }
    const std::string line = std::string(key) + "\n";
    const bool ok =
        ::fchmod(fd.get(), 0600) == 0 &&
        ::write(fd.get(), line.data(), line.size()) == static_cast<ssize_t>(line.size()) &&
        ::fsync(fd.get()) == 0;
    const int code = errno;
    const bool closed = ::close(fd.release()) == 0;
    if (!ok || !closed || ::rename(temp.c_str(), path.c_str()) != 0) {
        const int reason = ok && closed ? errno : code;
        ::unlink(temp.c_str());
        if (error)
            *error = systemError("Cannot write the DAPNET auth key file " + path, reason);
        return false;
    }
    return true;
}

} // namespace tarvex
