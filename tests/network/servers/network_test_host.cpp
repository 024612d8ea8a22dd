// network_test_host: runs the SNPP and WCTP servers of a station folder the way tarvexd will,
// with the real durable queue (or, with --record, a sink that only records), and prints one
// line per accepted page on standard output. Used by the real-client tests and the
// benchmark; not installed.
//
//   network_test_host --folder DIR [--snpp-port P] [--wctp-port P] [--listen ADDR]...
//                     [--require-login] [--record] [--pages-per-minute N]
//                     [--max-connections N] [--idle-seconds N] [--request-seconds N]
//                     [--hold-logins FILE] [--quiet]
//   network_test_host --folder DIR --dump-queue     print the pages waiting in the queue
//
// Output: "SNPP_PORT n", "WCTP_PORT n", "READY", then "PAGE id=… source=… to=… from=…
// text=…" per page (text with \\, \n and \xHH escapes). Log lines go to standard error.
// With --hold-logins, every password check waits while FILE exists (a slow check on demand).
#include "network/durable_queue.h"
#include "network/intake/page_intake.h"
#include "network/intake/user_store.h"
#include "network/snpp/snpp_server.h"
#include "network/wctp/wctp_server.h"
#include "paging/station_folder.h"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

using namespace tarvex;

namespace {

volatile std::sig_atomic_t g_stop = 0;

std::string escaped(const std::string& text) {
    std::string out;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '\\')
            out += "\\\\";
        else if (c == '\n')
            out += "\\n";
        else if (byte < 0x20 || byte >= 0x7F || c == ' ') {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", byte);
            out += hex;
        } else
            out += c;
    }
    return out;
}

void printPage(const QueuedPage& page, int64_t id) {
    std::printf("PAGE id=%lld source=%s to=%s from=%s text=%s\n", static_cast<long long>(id),
                page.source.c_str(), escaped(page.recipient).c_str(), escaped(page.origin).c_str(),
                escaped(page.page.message).c_str());
    std::fflush(stdout);
}

/// Commits to the durable queue (or only counts, with --record) and prints each page.
class PrintingSink : public PageSink {
public:
    explicit PrintingSink(std::unique_ptr<DurableQueue> queue) : m_queue(std::move(queue)) {}
    std::optional<int64_t> accept(const QueuedPage& page, std::string* error) override {
        std::optional<int64_t> id;
        if (m_queue)
            id = m_queue->add(page, error);
        const std::lock_guard lock(m_mutex);
        if (!m_queue)
            id = ++m_recorded;
        if (id)
            printPage(page, *id);
        return id;
    }

private:
    std::unique_ptr<DurableQueue> m_queue;
    std::mutex m_mutex;
    int64_t m_recorded = 0;
};

/// The station's authenticator, made to wait while a file exists.
class HeldAuthenticator : public Authenticator {
public:
    HeldAuthenticator(Authenticator& real, std::string holdFile)
        : m_real(real), m_holdFile(std::move(holdFile)) {}
    AuthResult verify(std::string_view user, std::string_view password) override {
        while (!m_holdFile.empty() && std::filesystem::exists(m_holdFile))
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        return m_real.verify(user, password);
    }

private:
    Authenticator& m_real;
    std::string m_holdFile;
};

struct Options {
    std::string folder;
    int snppPort = 0;
    int wctpPort = 0;
    std::vector<std::string> listen;
    bool requireLogin = false;
    bool record = false;
    bool dump = false;
    bool quiet = false;
    std::string holdLogins;
    InboundLimits limits;
};

Options parse(int argc, char** argv) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const auto next = [&]() -> std::string {
            if (i + 1 >= argc)
                throw std::runtime_error(a + " needs a value");
            return argv[++i];
        };
        if (a == "--folder")
            o.folder = next();
        else if (a == "--snpp-port")
            o.snppPort = std::stoi(next());
        else if (a == "--wctp-port")
            o.wctpPort = std::stoi(next());
        else if (a == "--listen")
            o.listen.push_back(next());
        else if (a == "--require-login")
            o.requireLogin = true;
        else if (a == "--record")
            o.record = true;
        else if (a == "--dump-queue")
            o.dump = true;
        else if (a == "--quiet")
            o.quiet = true;
        else if (a == "--hold-logins")
            o.holdLogins = next();
        else if (a == "--pages-per-minute")
            o.limits.pagesPerMinute = std::stoi(next());
        else if (a == "--max-connections")
            o.limits.maxConnections = std::stoi(next());
        else if (a == "--request-seconds")
            o.limits.requestSeconds = std::stoi(next());
        else if (a == "--idle-seconds")
            o.limits.idleSeconds = std::stoi(next());
        else
            throw std::runtime_error("unknown option " + a);
    }
    if (o.folder.empty())
        throw std::runtime_error("--folder is required");
    if (o.folder.back() != '/')
        o.folder += '/';
    return o;
}

int dumpQueue(const Options& o) {
    std::string error;
    auto queue = DurableQueue::open(o.folder + DurableQueueFile, &error);
    if (!queue) {
        std::cerr << "network_test_host: " << error << "\n";
        return 1;
    }
    for (const auto& page : queue->pending(1'000'000, &error))
        printPage(page, page.id);
    return error.empty() ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    Options o;
    try {
        o = parse(argc, argv);
    } catch (const std::exception& e) {
        std::cerr << "network_test_host: " << e.what() << "\n";
        return 2;
    }
    if (o.dump)
        return dumpQueue(o);
    std::unique_ptr<DurableQueue> queue;
    std::string error;
    if (!o.record && !(queue = DurableQueue::open(o.folder + DurableQueueFile, &error))) {
        std::cerr << "network_test_host: " << error << "\n";
        return 1;
    }
    const ServiceLogger log = [quiet = o.quiet](const std::string& line) {
        if (!quiet)
            std::cerr << "LOG " << line << std::endl;
    };
    PrintingSink sink(std::move(queue));
    DirectoryWatch directory(o.folder + PagerDirectoryFile, log);
    PageIntake intake(directory, sink, o.limits, log);
    UserFileAuthenticator stored(o.folder + SnppUsersFile, log);
    HeldAuthenticator users(stored, o.holdLogins);
    const auto listen = o.listen.empty() ? std::vector<std::string>{"127.0.0.1"} : o.listen;
    SnppServer snpp({listen, static_cast<uint16_t>(o.snppPort), o.requireLogin}, intake, &users);
    WctpServer wctp({listen, static_cast<uint16_t>(o.wctpPort), o.requireLogin}, intake, &users);
    if (!snpp.start(&error) || !wctp.start(&error)) {
        std::cerr << "network_test_host: " << error << "\n";
        return 1;
    }
    std::printf("SNPP_PORT %u\nWCTP_PORT %u\nREADY\n", snpp.port(), wctp.port());
    std::fflush(stdout);
    std::signal(SIGTERM, [](int) { g_stop = 1; });
    std::signal(SIGINT, [](int) { g_stop = 1; });
    // The servers run on their own threads; this one only waits for the signal to stop.
    while (!g_stop)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    snpp.stop();
    wctp.stop();
    return 0;
}
