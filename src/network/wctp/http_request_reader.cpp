#include "network/wctp/http_request_reader.h"

#include <algorithm>
#include <charconv>
#include <cstdint>

namespace tarvex {

namespace {

constexpr std::size_t ChunkLineLimit = 256; ///< a chunk size with its extensions

char lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string lowered(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(), lower);
    return out;
}

bool isTokenChar(char c) {
    const auto u = static_cast<unsigned char>(c);
    if (u <= 32 || u >= 127)
        return false;
    return std::string_view("\"(),/:;<=>?@[\\]{}").find(c) == std::string_view::npos;
}

bool isToken(std::string_view text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), isTokenChar);
}

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    return text;
}

/// Whether the comma-separated list holds the word (case-insensitive).
bool listHas(std::string_view list, std::string_view word) {
    while (!list.empty()) {
        const auto comma = list.find(',');
        if (lowered(trimmed(list.substr(0, comma))) == word)
            return true;
        list = comma == std::string_view::npos ? std::string_view() : list.substr(comma + 1);
    }
    return false;
}

} // namespace

std::string_view HttpRequest::header(std::string_view name) const {
    for (const auto& [key, value] : headers)
        if (key == name)
            return value;
    return {};
}

bool HttpRequest::hasHeader(std::string_view name) const {
    return std::any_of(headers.begin(), headers.end(),
                       [&](const auto& entry) { return entry.first == name; });
}

bool HttpRequest::keepAlive() const {
    const std::string_view connection = header("connection");
    if (listHas(connection, "close"))
        return false;
    return minorVersion >= 1 || listHas(connection, "keep-alive");
}

bool HttpRequestReader::expectsContinue() const {
    return m_state == State::Head && lowered(m_request.header("expect")) == "100-continue" &&
           m_pos == m_buffer.size();
}

std::size_t HttpRequestReader::heldBytes() const {
    std::size_t held =
        m_buffer.size() + m_request.body.size() + m_request.method.size() + m_request.target.size();
    for (const auto& [name, value] : m_request.headers)
        held += name.size() + value.size();
    return held;
}

HttpRequestReader::State HttpRequestReader::fail(int status, std::string reason) {
    m_status = status;
    m_reason = std::move(reason);
    m_buffer.clear();
    m_pos = 0;
    return m_state = State::Failed;
}

HttpRequestReader::State HttpRequestReader::feed(std::string_view bytes) {
    if (m_state == State::Failed)
        return m_state;
    if (!bytes.empty())
        m_started = true;
    m_buffer.erase(0, m_pos); // only the part not yet read is kept
    m_pos = 0;
    m_buffer.append(bytes);
    return m_state == State::NeedMore ? run() : m_state;
}

HttpRequestReader::State HttpRequestReader::readBody() {
    if (m_state != State::Head)
        return m_state;
    m_state = State::NeedMore;
    return run();
}

HttpRequestReader::State HttpRequestReader::next() {
    if (m_state == State::Failed)
        return m_state;
    m_buffer.erase(0, m_pos);
    m_pos = 0;
    m_request = {};
    m_phase = Phase::RequestLine;
    m_state = State::NeedMore;
    m_headerBytes = m_headerCount = m_left = 0;
    m_chunked = false;
    m_started = !m_buffer.empty();
    return run();
}

std::size_t HttpRequestReader::takeBody() {
    const std::size_t take = std::min(m_left, m_buffer.size() - m_pos);
    m_request.body.append(m_buffer, m_pos, take);
    m_pos += take;
    m_left -= take;
    return m_left;
}

bool HttpRequestReader::takeLine(std::size_t limit, std::string_view& line, bool& tooLong) {
    const std::string_view rest = std::string_view(m_buffer).substr(m_pos);
    const auto end = rest.find('\n');
    const std::size_t length = end == std::string_view::npos ? rest.size() : end;
    // A line over its bound (one byte more for its CR) is refused before the rest of it is
    // waited for.
    tooLong = length > limit + 1;
    if (tooLong || end == std::string_view::npos)
        return false;
    line = rest.substr(0, end);
    if (!line.empty() && line.back() == '\r')
        line.remove_suffix(1);
    tooLong = line.size() > limit;
    if (tooLong)
        return false;
    m_pos += end + 1;
    return true;
}

HttpRequestReader::State HttpRequestReader::run() {
    for (;;) {
        std::string_view line;
        bool tooLong = false;
        switch (m_phase) {
        case Phase::RequestLine:
            if (!takeLine(m_limits.requestLine, line, tooLong))
                return tooLong ? fail(414, "request line longer than " +
                                               std::to_string(m_limits.requestLine) + " bytes")
                               : m_state;
            if (line.empty() && m_request.method.empty())
                continue; // blank lines before a request are allowed
            if (requestLine(line) == State::Failed)
                return m_state;
            m_phase = Phase::Headers;
            break;
        case Phase::Headers:
        case Phase::Trailers: {
            if (!takeLine(m_limits.headerLine, line, tooLong))
                return tooLong ? fail(431, "header line longer than " +
                                               std::to_string(m_limits.headerLine) + " bytes")
                               : m_state;
            const bool trailer = m_phase == Phase::Trailers;
            if (line.empty())
                return trailer ? (m_state = State::Complete) : endOfHead();
            if (headerLine(line, trailer) == State::Failed)
                return m_state;
            break;
        }
        case Phase::Body:
            if (takeBody() > 0)
                return m_state;
            return m_state = State::Complete;
        case Phase::ChunkSize:
            if (!takeLine(ChunkLineLimit, line, tooLong))
                return tooLong ? fail(400, "chunk size line too long") : m_state;
            if (chunkSize(line) == State::Failed)
                return m_state;
            break;
        case Phase::ChunkData:
            if (takeBody() > 0)
                return m_state;
            m_phase = Phase::ChunkEnd;
            break;
        case Phase::ChunkEnd: {
            // Exactly CR LF (or LF) after the data; anything else is refused at once.
            const std::string_view rest = std::string_view(m_buffer).substr(m_pos);
            const bool cr = !rest.empty() && rest[0] == '\r';
            if (rest.size() > (cr ? 1u : 0u) && rest[cr ? 1 : 0] != '\n')
                return fail(400, "chunk not followed by its line end");
            if (rest.size() < (cr ? 2u : 1u))
                return m_state;
            m_pos += cr ? 2 : 1;
            m_phase = Phase::ChunkSize;
            break;
        }
        }
    }
}

HttpRequestReader::State HttpRequestReader::requestLine(std::string_view line) {
    const auto space1 = line.find(' ');
    const auto space2 = space1 == std::string_view::npos ? space1 : line.find(' ', space1 + 1);
    if (space2 == std::string_view::npos || line.find(' ', space2 + 1) != std::string_view::npos)
        return fail(400, "malformed request line");
    const std::string_view method = line.substr(0, space1);
    const std::string_view target = line.substr(space1 + 1, space2 - space1 - 1);
    const std::string_view version = line.substr(space2 + 1);
    if (!isToken(method) || target.empty() || std::any_of(target.begin(), target.end(), [](char c) {
            return static_cast<unsigned char>(c) <= 32 || static_cast<unsigned char>(c) >= 127;
        }))
        return fail(400, "malformed request line");
    if (version == "HTTP/1.1")
        m_request.minorVersion = 1;
    else if (version == "HTTP/1.0")
        m_request.minorVersion = 0;
    else if (version.starts_with("HTTP/"))
        return fail(505, "HTTP version not supported");
    else
        return fail(400, "malformed request line");
    m_request.method = std::string(method);
    m_request.target = std::string(target);
    return m_state;
}

HttpRequestReader::State HttpRequestReader::headerLine(std::string_view line, bool trailer) {
    m_headerBytes += line.size();
    if (++m_headerCount > m_limits.headerCount)
        return fail(431, "more than " + std::to_string(m_limits.headerCount) + " header lines");
    if (m_headerBytes > m_limits.headerBytes)
        return fail(431, "headers longer than " + std::to_string(m_limits.headerBytes) +
                             " bytes in all");
    const auto colon = line.find(':');
    if (colon == std::string_view::npos || !isToken(line.substr(0, colon)))
        return fail(400, "malformed header line"); // folded lines included
    const std::string_view value = trimmed(line.substr(colon + 1));
    if (std::any_of(value.begin(), value.end(), [](char c) {
            const auto u = static_cast<unsigned char>(c);
            return (u < 32 && c != '\t') || u == 127;
        }))
        return fail(400, "control character in a header");
    if (!trailer) // a trailer's fields are counted, never kept
        m_request.headers.emplace_back(lowered(line.substr(0, colon)), std::string(value));
    return m_state;
}

HttpRequestReader::State HttpRequestReader::endOfHead() {
    std::string_view length;
    int lengths = 0;
    for (const auto& [name, value] : m_request.headers) {
        if (name != "content-length")
            continue;
        if (lengths++ > 0 && value != length)
            return fail(400, "conflicting Content-Length headers");
        length = value;
    }
    const bool chunked = m_request.hasHeader("transfer-encoding");
    if (chunked) {
        // Both framings at once is how requests are smuggled past a proxy: refuse it.
        if (lengths > 0)
            return fail(400, "both Content-Length and Transfer-Encoding");
        for (const auto& [name, value] : m_request.headers)
            if (name == "transfer-encoding" && lowered(value) != "chunked")
                return fail(501, "transfer coding other than chunked");
        m_chunked = true;
        m_phase = Phase::ChunkSize;
    } else if (lengths > 0) {
        uint64_t value = 0;
        const auto [end, ec] = std::from_chars(length.data(), length.data() + length.size(), value);
        if (ec == std::errc::result_out_of_range)
            return fail(413, "body larger than " + std::to_string(m_limits.body) + " bytes");
        if (ec != std::errc() || end != length.data() + length.size())
            return fail(400, "malformed Content-Length");
        if (value > m_limits.body)
            return fail(413, "body larger than " + std::to_string(m_limits.body) + " bytes");
        m_left = static_cast<std::size_t>(value);
        m_phase = Phase::Body;
    } else {
        m_left = 0;
        m_phase = Phase::Body;
    }
    return m_state = State::Head;
}

HttpRequestReader::State HttpRequestReader::chunkSize(std::string_view line) {
    const std::string_view digits = trimmed(line.substr(0, line.find(';')));
    uint64_t size = 0;
    const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), size, 16);
    if (ec == std::errc::result_out_of_range)
        return fail(413, "body larger than " + std::to_string(m_limits.body) + " bytes");
    if (digits.empty() || ec != std::errc() || end != digits.data() + digits.size())
        return fail(400, "malformed chunk size");
    if (size > m_limits.body - m_request.body.size())
        return fail(413, "body larger than " + std::to_string(m_limits.body) + " bytes");
    if (size == 0) {
        m_phase = Phase::Trailers;
        return m_state;
    }
    m_left = static_cast<std::size_t>(size);
    m_phase = Phase::ChunkData;
    return m_state;
}

} // namespace tarvex
