#include "paging/station_folder.h"

#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>
#include <sys/stat.h>
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

bool isSystemFolder(const std::string& folder) {
    for (const char* top : {"/usr", "/bin", "/sbin", "/lib", "/lib32", "/lib64", "/libx32", "/etc",
                            "/boot", "/var", "/run", "/proc", "/sys", "/dev"}) {
        const std::string_view path(folder);
        const std::string_view prefix(top);
        if (path.starts_with(prefix) &&
            (path.size() == prefix.size() || path[prefix.size()] == '/'))
            return true;
    }
    return false;
}

std::string stationFolder(const std::string& exeFolder) {
    const std::string forced = environment(StationFolderVariable);
    if (!forced.empty())
        return withSlash(forced);
    // The program's own folder makes a portable install; an installed program's folder
    // (/usr/bin, which root may write) is never a station's.
    const std::string exe = exeFolder.empty() ? executableFolder() : exeFolder;
    if (!exe.empty() && !isSystemFolder(exe) && folderIsWritablePath(exe))
        return withSlash(exe);
    const std::string data = userDataFolder();
    std::error_code ec;
    std::filesystem::create_directories(data, ec);
    return withSlash(data);
}

std::string installedServiceFolder() {
    std::error_code ec;
    bool installed = false;
    for (const char* unit :
         {"/usr/lib/systemd/system/tarvexd.service", "/lib/systemd/system/tarvexd.service",
          "/etc/systemd/system/tarvexd.service"})
        installed = installed || std::filesystem::exists(unit, ec);
    if (!installed || !std::filesystem::is_directory(ServiceStationFolder, ec) ||
        !folderIsWritablePath(ServiceStationFolder))
        return {};
    return withSlash(ServiceStationFolder);
}

void handOverToService(const std::string& file) {
    const std::filesystem::path path(file);
    struct stat folder {};
    if (withSlash(path.parent_path().string()) != withSlash(ServiceStationFolder) ||
        ::stat(ServiceStationFolder, &folder) != 0)
        return;
    // Root gives the file to the service's user; a member of its group shares it with the
    // group (a failure leaves the file as it is: the service's log then names it).
    if (::geteuid() == 0) {
        [[maybe_unused]] const int ignored = ::chown(file.c_str(), folder.st_uid, folder.st_gid);
        return;
    }
    struct stat own {};
    if (::chown(file.c_str(), static_cast<uid_t>(-1), folder.st_gid) == 0 &&
        ::stat(file.c_str(), &own) == 0)
        ::chmod(file.c_str(), (own.st_mode & 07777) | S_IRGRP);
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
