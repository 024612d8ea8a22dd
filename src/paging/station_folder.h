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

/// $TARVEX_FOLDER when set; else exeFolder (empty: this executable's folder) when writable;
/// else the user's data folder, created when missing. Always ends in '/'.
std::string stationFolder(const std::string& exeFolder = {});

/// Environment variable that names the service's control socket outright.
inline constexpr char ControlSocketVariable[] = "TARVEX_CONTROL";

/// Where tarvexd makes its control socket: $TARVEX_CONTROL; else in the folder systemd made
/// for it ($RUNTIME_DIRECTORY); else $XDG_RUNTIME_DIR; else /tmp/tarvexd-<uid>.sock.
std::string controlSocketPath();

/// Where tarvex-cli looks for it, in order: $TARVEX_CONTROL alone when set; else the user's
/// own service, the system service (/run/tarvex), then /tmp/tarvexd-<uid>.sock.
std::vector<std::string> controlSocketCandidates();

} // namespace tarvex
