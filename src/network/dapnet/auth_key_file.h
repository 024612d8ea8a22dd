#pragma once
// The DAPNET auth key at rest: a file of one line that only the station's user may read.
// Reading refuses a file that group or others can read; writing creates it with mode 0600
// (whatever the umask) and replaces it in one step. Texts never quote the key. POSIX.
#include <optional>
#include <string>
#include <string_view>

namespace tarvex {

/// Largest key file read (a key is at most 256 characters).
inline constexpr std::size_t AuthKeyFileLimit = 4096;

/// $XDG_CONFIG_HOME/dovrik-apps/Tarvex/DapnetAuthKey, else ~/.config/dovrik-apps/Tarvex/...
std::string defaultAuthKeyFile();

/// The key in the file (its first line, blanks around it removed); nullopt with *error when
/// the file is missing, not a regular file, readable by group or others, too large, empty,
/// or holds characters a key cannot have.
std::optional<std::string> readAuthKeyFile(const std::string& path, std::string* error);

/// Writes the key (letters and digits only) to path with mode 0600, creating its folder
/// (mode 0700) when missing; false with *error on failure, nothing half-written left.
bool writeAuthKeyFile(const std::string& path, std::string_view key, std::string* error);

} // namespace tarvex
