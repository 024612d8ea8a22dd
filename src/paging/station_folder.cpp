#include "paging/station_folder.h"

#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>
#include <unistd.h>

namespace tarvex {

namespace {

std::string withSlash(std::string folder) {
    while (folder.size() > 1 && folder.back() == '/')
        folder.pop_back();
    if (folder.empty() || folder.back() != '/')
        folder += '/';
    return folder;
}

std::string environment(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? std::string(value) : std::string();
}

} // namespace

bool folderIsWritablePath(const std::string& folder) {
    // Permission bits alone do not tell (read-only mounts, ACLs): try it.
    std::string probe = withSlash(folder) + ".tarvex-probe-XXXXXX";
    const int fd = ::mkstemp(probe.data());
    if (fd < 0)
        return false;
    ::close(fd);
    ::unlink(probe.c_str());
    return true;
}

std::string userDataFolder() {
    std::string base = environment("XDG_DATA_HOME");
    if (base.empty() || base.front() != '/') {
        const std::string home = environment("HOME");
        base = (home.empty() ? std::string("/tmp") : home) + "/.local/share";
    }
    return withSlash(base) + "dovrik-apps/Tarvex";
}

std::string executableFolder() {
    std::error_code ec;
    const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::string() : exe.parent_path().string();
}

std::string stationFolder(const std::string& exeFolder) {
    const std::string forced = environment(StationFolderVariable);
    if (!forced.empty())
        return withSlash(forced);
    const std::string exe = exeFolder.empty() ? executableFolder() : exeFolder;
    if (!exe.empty() && folderIsWritablePath(exe))
        return withSlash(exe);
    const std::string data = userDataFolder();
    std::error_code ec;
    std::filesystem::create_directories(data, ec);
    return withSlash(data);
}

std::string controlSocketPath() {
    const std::string forced = environment(ControlSocketVariable);
    if (!forced.empty())
        return forced;
    for (const char* folder : {"RUNTIME_DIRECTORY", "XDG_RUNTIME_DIR"}) {
        std::string base = environment(folder);
        // systemd may list several folders, separated by colons: the first is ours.
        base = base.substr(0, base.find(':'));
        if (!base.empty())
            return withSlash(base) + "tarvexd.sock";
    }
    return "/tmp/tarvexd-" + std::to_string(::getuid()) + ".sock";
}

std::vector<std::string> controlSocketCandidates() {
    const std::string forced = environment(ControlSocketVariable);
    if (!forced.empty())
        return {forced};
    std::vector<std::string> out;
    const std::string runtime = environment("XDG_RUNTIME_DIR");
    if (!runtime.empty())
        out.push_back(withSlash(runtime) + "tarvexd.sock");
    out.push_back("/run/tarvex/tarvexd.sock");
    out.push_back("/tmp/tarvexd-" + std::to_string(::getuid()) + ".sock");
    return out;
}

} // namespace tarvex
