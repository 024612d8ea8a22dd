// tarvex-cli status, stop, resume, queue and search: requests to a running tarvexd over its control
// socket. Plain POSIX sockets, so these commands load nothing beyond the C and C++ runtime.
#include "cli/commands.h"
#include "cli/page_options.h"
#include "paging/entry_format.h"
#include "paging/station_folder.h"

#include <cerrno>
#include <cstring>
#include <iostream>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace tarvex::cli {

namespace {

/// Exit status when no service answered.
constexpr int NoService = 3;
constexpr int AnswerTimeoutMs = 10000;
constexpr std::size_t MaxAnswer = 1 << 20;

class Socket {
public:
    Socket() : m_fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0)) {}
    ~Socket() {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;
    int fd() const { return m_fd; }

private:
    int m_fd;
};

bool connectTo(const Socket& socket, const std::string& path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path) {
        errno = ENAMETOOLONG;
        return false;
    }
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    return ::connect(socket.fd(), reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
}

/// How an answer is printed and what the exit status says.
enum class Answer {
    Plain,      ///< the text after "OK", then the body; 0
    Status,     ///< the health summary, then the body; the health's exit status
    StatusJson, ///< the body (one JSON object) alone; the health's exit status
};

/// The exit status of a health word ("OK CRITICAL: ..."), as monitoring plugins exit.
int healthExit(const std::string& summary) {
    const std::string word = summary.substr(0, summary.find(':'));
    if (word == "OK")
        return 0;
    if (word == "WARNING")
        return 1;
    if (word == "CRITICAL")
        return 2;
    return NoService; // UNKNOWN: a service that gave no verdict
}

/// Sends one request line and prints the answer; the exit status.
int request(const std::string& line, Answer mode = Answer::Plain) {
    Socket socket;
    std::string tried;
    bool connected = false;
    for (const std::string& path : controlSocketCandidates()) {
        if (connectTo(socket, path)) {
            connected = true;
            break;
        }
        tried += "\n  " + path + ": " + std::strerror(errno);
    }
    if (!connected) {
        std::cerr << "tarvex-cli: no tarvexd is running (no control socket answered):" << tried
                  << "\n";
        return NoService;
    }
    const std::string text = line + "\n";
    // A service that refuses the connection (busy) answers and closes before it reads: the
    // request then cannot be sent, but its answer is there to read.
    const bool sent = ::send(socket.fd(), text.data(), text.size(), MSG_NOSIGNAL) ==
                      static_cast<ssize_t>(text.size());
    const int sendError = errno;
    std::string answer;
    char buffer[4096];
    for (;;) {
        pollfd ready{socket.fd(), POLLIN, 0};
        if (::poll(&ready, 1, AnswerTimeoutMs) <= 0) {
            std::cerr << "tarvex-cli: tarvexd did not answer within " << AnswerTimeoutMs << " ms\n";
            return 1;
        }
        const ssize_t n = ::recv(socket.fd(), buffer, sizeof buffer, 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        answer.append(buffer, static_cast<std::size_t>(n));
        if (answer.size() > MaxAnswer)
            break;
    }
    if (!sent && answer.empty()) {
        std::cerr << "tarvex-cli: the request could not be sent: " << std::strerror(sendError)
                  << "\n";
        return 1;
    }
    const std::size_t end = answer.find('\n');
    const std::string first = answer.substr(0, end);
    const std::string body = end == std::string::npos ? std::string() : answer.substr(end + 1);
    if (first.rfind("OK", 0) != 0) {
        std::cerr << "tarvex-cli: tarvexd: "
                  << (first.rfind("ERR ", 0) == 0 ? first.substr(4) : first) << "\n";
        return first.rfind("ERR ", 0) == 0 ? 2 : 1;
    }
    const std::string rest = first.size() > 3 ? first.substr(3) : std::string();
    if (mode != Answer::StatusJson && !rest.empty())
        std::cout << rest << "\n";
    std::cout << body << std::flush;
    return mode == Answer::Plain ? 0 : healthExit(rest);
}

} // namespace

int runStatus(const Args& argv) {
    const Arguments args(argv, {{"--json", false}});
    if (args.has("--json"))
        return request("STATUS JSON", Answer::StatusJson);
    return request("STATUS", Answer::Status);
}

int runStop(const Args& argv) {
    const Arguments args(argv, {});
    return request("STOP");
}

int runResume(const Args& argv) {
    const Arguments args(argv, {});
    return request("RESUME");
}

int runQueue(const Args& argv) {
    const Arguments args(argv, pageOptionRules());
    const PageParams page = readPage(args);
    const auto line = entryLine(page);
    if (!line)
        throw UsageError("the page cannot be handed over as one entry line (RIC " + page.ric +
                         "; a message may not hold line breaks)");
    return request("QUEUE " + *line);
}

int runSearch(const Args& argv) {
    const Arguments args(
        argv, {{"--from"}, {"--to"}, {"--fast", false}, {"--baud"}, {"--inverted", false}});
    if (!args.has("--from") || !args.has("--to"))
        throw UsageError("search needs --from N and --to N (0 to 2097151)");
    const int from = args.intValue("--from", 0, 0, 2097151);
    const int to = args.intValue("--to", 0, 0, 2097151);
    if (from > to)
        throw UsageError("search: --from " + std::to_string(from) + " is above --to " +
                         std::to_string(to));
    const int baud = args.choice("--baud", 1200, {512, 1200, 2400});
    // SEARCH [FAST] <from> <to> <baud> [INVERTED]; tarvexd bounds it again.
    return request(std::string("SEARCH ") + (args.has("--fast") ? "FAST " : "") +
                   std::to_string(from) + " " + std::to_string(to) + " " + std::to_string(baud) +
                   (args.has("--inverted") ? " INVERTED" : ""));
}

} // namespace tarvex::cli
