#pragma once
// The transport under the station's TCP servers (SNPP, and HTTP for WCTP, the status pages
// and the web interface): one listening socket per address, each with its accepting thread,
// and a bounded pool of worker threads that serve one connection each, start to end, with
// blocking reads and writes. The connection limits hold over all addresses; a connection
// over a limit is answered at once by the accepting thread and never reaches a worker. Every
// thread here is the server's own: what a connection hands the station goes through the page
// intake, which is safe from any thread. POSIX sockets, no Qt.
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace tarvex {

/// Worker threads, started as needed up to a maximum, with a bounded backlog: when it is full
/// the accepting thread waits (new connections then wait in the kernel).
class BoundedPool {
public:
    BoundedPool(std::size_t maxThreads, std::size_t maxWaiting);
    ~BoundedPool();
    void enqueue(std::function<void()> fn);
    /// Runs what was queued and joins every thread.
    void shutdown();

private:
    void work();
    std::size_t m_maxThreads;
    std::size_t m_maxWaiting;
    std::mutex m_mutex;
    std::condition_variable m_jobReady;
    std::condition_variable m_roomFree;
    std::deque<std::function<void()>> m_jobs;
    std::vector<std::thread> m_threads;
    std::size_t m_idle = 0;
    bool m_shutdown = false;
};

/// Why a connection was not admitted.
enum class Admission { Admitted, OverLimit, OverAddressLimit, Stopping };

/// The connections being served (over every listening socket).
class ConnectionBook {
public:
    ConnectionBook(int limit, int perAddress) : m_limit(limit), m_perAddress(perAddress) {}
    /// Registers the socket of the client counted under `address`; anything but Admitted
    /// when it is over the limit, over the address's own limit, or the server is stopping (it
    /// is registered all the same and must be left).
    Admission enter(int fd, const std::string& address);
    void leave(int fd);
    bool stopping();
    /// Marks the server as stopping and shuts every open socket down as `how` says
    /// (SHUT_RD lets a connection still say goodbye; SHUT_RDWR cuts it).
    void cutAll(int how);
    /// Waits until every connection has left, at most `ms`.
    void waitEmpty(int ms);

private:
    std::mutex m_mutex;
    std::condition_variable m_left;
    std::map<int, std::string> m_open; ///< socket and the address it is counted under
    std::map<std::string, int> m_perKey;
    int m_limit;
    int m_perAddress;
    bool m_stopping = false;
};

struct TcpServerConfig {
    std::string name;                   ///< "SNPP", "WCTP": how errors name the server
    std::vector<std::string> addresses; ///< numeric addresses
    uint16_t port = 0; ///< 0 picks a free port (tests); every address gets the same one
    int maxConnections = 32;
    int perAddress = 28;
    std::size_t spareThreads = 0; ///< workers beyond the limit (connections admitted late)
    /// Sent, without waiting, to a connection over a limit before it is closed.
    std::string busyReply;
    /// On stop, a connection first has its reading side shut (its read then ends) and this
    /// long to say goodbye before it is cut; 0 cuts it at once.
    int goodbyeMs = 0;
};

class TcpServer {
public:
    /// Serves one admitted connection on a worker thread; the server closes the socket after.
    using Serve = std::function<void(int fd)>;
    /// Told of a connection over a limit (on an accepting thread), with the peer's address.
    using Refused = std::function<void(const std::string& peer, Admission why)>;
    /// A line for the log (an address skipped); called on the thread that calls start().
    using Note = std::function<void(const std::string& line)>;

    TcpServer(TcpServerConfig config, Serve serve, Refused refused, Note note);
    ~TcpServer();
    TcpServer(const TcpServer&) = delete;
    TcpServer& operator=(const TcpServer&) = delete;

    /// Binds every address (one this computer lacks is skipped while another is left) and
    /// starts accepting; false with *error, and nothing listening, when one fails.
    bool start(std::string* error);
    /// Closes the listening sockets, ends every connection and joins every thread.
    void stop();
    uint16_t port() const { return m_port; }
    /// The addresses listened on.
    const std::vector<std::string>& addresses() const { return m_addresses; }
    /// True once stop() has begun (for the connections' loops).
    bool stopping();

private:
    struct Running;
    void acceptOn(int listener);
    TcpServerConfig m_config;
    Serve m_serve;
    Refused m_refused;
    Note m_note;
    uint16_t m_port = 0;
    std::vector<std::string> m_addresses;
    std::unique_ptr<Running> m_running;
};

} // namespace tarvex
