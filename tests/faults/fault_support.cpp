#include "fault_support.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <grp.h>
#include <sstream>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace tarvex::faults {

namespace {

[[noreturn]] void giveUp(const std::string& why) {
    std::fprintf(stderr, "fault tests cannot inject faults here: %s\n", why.c_str());
    std::exit(3);
}

} // namespace

void runAsOrdinaryUser() {
    if (::geteuid() == 0) {
        constexpr uid_t Nobody = 65534;
        if (::setgroups(0, nullptr) != 0 || ::setgid(Nobody) != 0 || ::setuid(Nobody) != 0)
            giveUp(std::string("cannot leave root: ") + std::strerror(errno));
        // Changing the user makes the process undumpable, which stops LeakSanitizer.
        ::prctl(PR_SET_DUMPABLE, 1, 0, 0, 0);
    }
    char pattern[] = "/tmp/tarvex_probe_XXXXXX";
    if (::mkdtemp(pattern) == nullptr)
        giveUp(std::string("no temporary folder: ") + std::strerror(errno));
    const std::string folder = pattern;
    bool refused = false;
    {
        FolderLock lock(folder);
        lock.readOnly();
        refused = !canCreateIn(folder);
    }
    std::filesystem::remove_all(folder);
    if (!refused)
        giveUp("a read-only folder still takes new files");
}

bool canCreateIn(const std::string& folder) {
    const std::string probe = folder + "/.probe";
    const int fd = ::open(probe.c_str(), O_CREAT | O_EXCL | O_WRONLY, 0644);
    if (fd < 0)
        return false;
    ::close(fd);
    ::unlink(probe.c_str());
    return true;
}

void FolderLock::readOnly() {
    ::chmod(m_folder.c_str(), 0555);
}

void FolderLock::writable() {
    ::chmod(m_folder.c_str(), 0755);
}

std::string runWithFileSizeLimit(long limitBytes, const std::function<std::string()>& body) {
    int fds[2];
    if (::pipe(fds) != 0)
        return std::string("child failed: pipe: ") + std::strerror(errno);
    std::fflush(nullptr);
    const pid_t pid = ::fork();
    if (pid < 0)
        return std::string("child failed: fork: ") + std::strerror(errno);
    if (pid == 0) {
        ::close(fds[0]);
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{static_cast<rlim_t>(limitBytes), static_cast<rlim_t>(limitBytes)};
        std::string result = ::setrlimit(RLIMIT_FSIZE, &limit) == 0
                                 ? body()
                                 : std::string("child failed: setrlimit");
        size_t done = 0;
        while (done < result.size()) {
            const ssize_t n = ::write(fds[1], result.data() + done, result.size() - done);
            if (n <= 0)
                break;
            done += static_cast<size_t>(n);
        }
        ::_exit(0);
    }
    ::close(fds[1]);
    std::string result;
    char chunk[4096];
    ssize_t n = 0;
    while ((n = ::read(fds[0], chunk, sizeof chunk)) > 0)
        result.append(chunk, static_cast<size_t>(n));
    ::close(fds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return "child failed: status " + std::to_string(status);
    return result;
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

void writeFile(const std::string& path, std::string_view text) {
    std::ofstream(path, std::ios::binary) << text;
}

} // namespace tarvex::faults
