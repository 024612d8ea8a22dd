#include "station/station_hold.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

namespace tarvex {

namespace {

std::string environment(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? std::string(value) : std::string();
}

/// "/dev/ttyUSB0" → "ttyUSB0"; a name safe in a file name.
std::string lockName(const std::string& device) {
    std::string base = device.substr(device.find_last_of('/') + 1);
    for (char& c : base)
        if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_' || c == '.'))
            c = '_';
    return base.empty() ? "device" : base;
}

/// Opens (creating when needed) a lock file that every user may open: another user's
/// station must be able to test the same lock.
int openLockFile(const std::string& path, std::string* why) {
    int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0 && errno == ENOENT) {
        fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
        if (fd >= 0)
            (void)::fchmod(fd, 0666);
        else if (errno == EEXIST)
            fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW);
    }
    if (fd < 0)
        fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0 && why != nullptr)
        *why = path + ": " + std::strerror(errno);
    return fd;
}

} // namespace

std::vector<std::string> stationHoldPaths(const PttSettings& keying,
                                          const std::string& parallelDevice) {
    std::vector<std::string> paths;
    std::string own = environment(StationLockVariable);
    // A system service's runtime folder (/run/tarvex) before the user's: every program of
    // that station sees it, where the service's private /tmp would hide the lock.
    for (const char* folder : {"RUNTIME_DIRECTORY", "XDG_RUNTIME_DIR"}) {
        // systemd may list several folders, separated by colons: the first is the service's.
        const std::string base = environment(folder).substr(0, environment(folder).find(':'));
        if (own.empty() && !base.empty())
            own = base + "/tarvex-station.lock";
    }
    if (own.empty())
        own = "/tmp/tarvex-station-" + std::to_string(::getuid()) + ".lock";
    paths.push_back(own);
    std::string device;
    const PttMethodInfo& method = pttMethod(keying.method);
    if (method.uses(PttPortField))
        device = parallelDevice;
    else if (method.uses(PttDeviceField))
        device = keying.device;
    if (!device.empty() && environment(StationLockVariable).empty())
        paths.push_back("/run/lock/tarvex-" + lockName(device) + ".lock");
    return paths;
}

StationHold::~StationHold() {
    release();
}

StationHold::StationHold(StationHold&& other) noexcept : m_fds(std::move(other.m_fds)) {
    other.m_fds.clear();
}

StationHold& StationHold::operator=(StationHold&& other) noexcept {
    if (this != &other) {
        release();
        m_fds = std::move(other.m_fds);
        other.m_fds.clear();
    }
    return *this;
}

bool StationHold::acquire(const std::vector<std::string>& paths, std::string* holder,
                          std::vector<std::string>* notes) {
    release();
    for (const std::string& path : paths) {
        std::string why;
        const int fd = openLockFile(path, &why);
        if (fd < 0) {
            if (notes != nullptr)
                notes->push_back("station hold not kept: " + why);
            continue;
        }
        // A lock file another user made without write access for us still takes a read
        // lock, which a writing holder's lock excludes.
        const bool writable = (::fcntl(fd, F_GETFL) & O_ACCMODE) == O_RDWR;
        struct flock lock {};
        lock.l_type = writable ? F_WRLCK : F_RDLCK;
        lock.l_whence = SEEK_SET;
        if (::fcntl(fd, F_SETLK, &lock) == 0) {
            m_fds.push_back(fd);
            continue;
        }
        struct flock probe {};
        probe.l_type = F_WRLCK;
        probe.l_whence = SEEK_SET;
        const bool known = ::fcntl(fd, F_GETLK, &probe) == 0 && probe.l_type != F_UNLCK;
        ::close(fd);
        release();
        if (holder != nullptr)
            *holder = known && probe.l_pid > 0 ? describeProcess(probe.l_pid)
                                               : "another program (" + path + ")";
        return false;
    }
    return true;
}

void StationHold::release() {
    for (const int fd : m_fds)
        ::close(fd); // closing the file lets the record lock go
    m_fds.clear();
}

std::string describeProcess(pid_t pid) {
    std::ifstream comm("/proc/" + std::to_string(pid) + "/comm");
    std::string name;
    std::getline(comm, name);
    if (name.empty())
        name = "a program";
    return name + " (PID " + std::to_string(pid) + ")";
}

} // namespace tarvex
