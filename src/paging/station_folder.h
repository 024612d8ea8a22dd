#pragma once
// Where a station keeps its files (message list, auto-send and lock files, the pager
// directory, the durable queue): the folder of the program when its user may write there,
// else the user's data folder. The same answer for the desktop program, tarvex-cli and
// tarvexd, so that all three find the same files. Standard C++ only.
#include <string>
#include <vector>

namespace tarvex {

/// Environment variable that names the station folder outright (a service's state folder,
/// tests).
inline constexpr char StationFolderVariable[] = "TARVEX_FOLDER";

/// True when a file can be created in the folder (tried, not read off permission bits).
bool folderIsWritablePath(const std::string& folder);

/// The user's data folder for Tarvex: $XDG_DATA_HOME/dovrik-apps/Tarvex, else
/// ~/.local/share/dovrik-apps/Tarvex.
std::string userDataFolder();

/// The folder of the running executable (from /proc/self/exe); empty when unknown.
std::string executableFolder();

/// True for the folders of an installed system (/usr, /bin, /etc, /var, ...), which are
/// never a portable station's folder even where the user may write there (root).
bool isSystemFolder(const std::string& folder);

/// $TARVEX_FOLDER when set; else exeFolder (empty: this executable's folder) when it is
/// writable and not a system folder; else the user's data folder, created when missing.
/// Always ends in '/'.
std::string stationFolder(const std::string& exeFolder = {});

/// The installed system service's station folder (its systemd state folder).
inline constexpr char ServiceStationFolder[] = "/var/lib/tarvex";

/// "/var/lib/tarvex/" when the system service is installed (its unit is there) and this user
/// may write in its folder (root, or a member of group tarvex); empty otherwise.
std::string installedServiceFolder();

/// After an administrator (root, or a member of group tarvex) wrote `file` in the service's
/// folder: the service's user must still read it, so root hands it to that user and a group
/// member makes it readable by the group. Anywhere else nothing changes.
void handOverToService(const std::string& file);

/// Environment variable that names the service's control socket outright.
inline constexpr char ControlSocketVariable[] = "TARVEX_CONTROL";

/// Where tarvexd makes its control socket: $TARVEX_CONTROL; else in the folder systemd made
/// for it ($RUNTIME_DIRECTORY); else $XDG_RUNTIME_DIR; else /tmp/tarvexd-<uid>.sock.
std::string controlSocketPath();

/// Where tarvex-cli looks for it, in order: $TARVEX_CONTROL alone when set; else the user's
/// own service, the system service (/run/tarvex), then /tmp/tarvexd-<uid>.sock.
std::vector<std::string> controlSocketCandidates();

} // namespace tarvex
