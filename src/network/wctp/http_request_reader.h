#pragma once
// Reads HTTP/1.1 requests from the bytes of one connection, bounding every part before it is
// kept: the request line, each header line, the number of headers and their bytes in all, and
// the body whether it comes with Content-Length or chunked. The head is offered for checks
// before any body is read. Standard C++ only: no sockets, no library, so it is fuzzed whole.
#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tarvex {

struct HttpLimits {
    std::size_t requestLine = 2048;  ///< bytes of "METHOD target HTTP/1.1", else 414
    std::size_t headerLine = 4096;   ///< bytes of one header line, else 431
    std::size_t headerCount = 50;    ///< header lines (trailers included), else 431
    std::size_t headerBytes = 16384; ///< bytes of every header line together, else 431
    std::size_t body = 65536;        ///< body bytes after any chunked framing, else 413
};

struct HttpRequest {
    std::string method;
    std::string target;
    int minorVersion = 1;                                     ///< HTTP/1.x
    std::vector<std::pair<std::string, std::string>> headers; ///< names in lower case
    std::string body;

    /// The value of the first header with that (lower-case) name, empty when there is none.
    std::string_view header(std::string_view name) const;
    bool hasHeader(std::string_view name) const;
    /// False when the client asked to close, or spoke HTTP/1.0 without keep-alive.
    bool keepAlive() const;
};

class HttpRequestReader {
public:
    enum class State {
        NeedMore, ///< feed more bytes
        Head,     ///< request line and headers read: check them, then call readBody()
        Complete, ///< the whole request is read
        Failed,   ///< the request is refused with status() and reason(); close afterwards
    };

    explicit HttpRequestReader(HttpLimits limits = {}) : m_limits(limits) {}

    /// Takes the bytes (copied only as far as a bounded part needs them; the rest stay in a
    /// buffer of at most one part's bound) and reads on as far as they allow.
    State feed(std::string_view bytes);
    /// After Head: goes on to read the body; returns the new state.
    State readBody();
    /// Forgets the request read and starts the next one with the bytes that came after it.
    State next();

    State state() const { return m_state; }
    const HttpRequest& request() const { return m_request; }
    int status() const { return m_status; }
    const std::string& reason() const { return m_reason; }
    /// True once any byte of the current request has arrived.
    bool started() const { return m_started; }
    /// True when the head asked for "100-continue" and no body byte has come yet.
    bool expectsContinue() const;
    /// Bytes held now (the buffer plus the request read): never more than the limits allow.
    std::size_t heldBytes() const;

private:
    enum class Phase { RequestLine, Headers, Body, ChunkSize, ChunkData, ChunkEnd, Trailers };
    State run();
    State fail(int status, std::string reason);
    bool takeLine(std::size_t limit, std::string_view& line, bool& tooLong);
    /// Moves up to m_left bytes of what has arrived into the body; returns what is still due.
    std::size_t takeBody();
    State requestLine(std::string_view line);
    State headerLine(std::string_view line, bool trailer);
    State endOfHead();
    State chunkSize(std::string_view line);

    HttpLimits m_limits;
    HttpRequest m_request;
    std::string m_buffer;
    std::size_t m_pos = 0; ///< bytes of m_buffer already read
    Phase m_phase = Phase::RequestLine;
    State m_state = State::NeedMore;
    std::size_t m_headerBytes = 0;
    std::size_t m_headerCount = 0;
    std::size_t m_left = 0; ///< body or chunk bytes still to come
    bool m_chunked = false;
    bool m_started = false;
    int m_status = 0;
    std::string m_reason;
};

} // namespace tarvex
