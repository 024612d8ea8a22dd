#include "network/dapnet/dapnet_session.h"

#include <cstdio>

namespace tarvex {

namespace {

bool allOf(std::string_view text, bool (*ok)(char)) {
    for (const char c : text)
        if (!ok(c))
            return false;
    return true;
}

bool isAlnum(char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}
bool isNameChar(char c) {
    return isAlnum(c) || c == '/' || c == '-';
}
bool isCallChar(char c) {
    return isAlnum(c) || c == '_';
}
bool isVersionChar(char c) {
    return c > ' ' && c < 127 && c != '[' && c != ']';
}

} // namespace

// ---- LineSplitter -------------------------------------------------------------------------

void LineSplitter::feed(std::string_view bytes, std::vector<Line>& out) {
    while (!bytes.empty()) {
        const auto lf = bytes.find('\n');
        const std::string_view part = bytes.substr(0, lf);
        if (!m_overlong) {
            const std::size_t room = DapnetMaxLine + 1 - m_buffer.size(); // +1: a CR before LF
            m_buffer.append(part.substr(0, room));
            if (part.size() > room)
                m_overlong = true;
        }
        if (lf == std::string_view::npos)
            return;
        bytes.remove_prefix(lf + 1);
        if (!m_buffer.empty() && m_buffer.back() == '\r' && !m_overlong)
            m_buffer.pop_back();
        if (m_buffer.size() > DapnetMaxLine)
            m_overlong = true;
        if (m_overlong)
            m_buffer.resize(OverlongPrefix);
        out.push_back({std::move(m_buffer), m_overlong});
        clear();
    }
}

void LineSplitter::clear() {
    m_buffer.clear();
    m_overlong = false;
}

// ---- identity and text --------------------------------------------------------------------

std::string dapnetIdentityProblem(const DapnetIdentity& id) {
    if (id.name.empty() || !allOf(id.name, isNameChar))
        return "The program name may hold only letters, digits, '/' and '-'.";
    if (id.version.size() < 2 || id.version[0] < '0' || id.version[0] > '9' ||
        !(id.version[1] == '.' || (id.version[1] >= '0' && id.version[1] <= '9')) ||
        !allOf(id.version, isVersionChar))
        return "The program version must start with a digit followed by a digit or '.'.";
    if (id.callsign.empty())
        return "No DAPNET callsign is set.";
    if (id.callsign.size() > 64 || !allOf(id.callsign, isCallChar))
        return "The DAPNET callsign may hold only letters, digits and '_' (at most 64).";
    if (id.authKey.empty())
        return "No DAPNET auth key is set.";
    if (id.authKey.size() > 256 || !allOf(id.authKey, isAlnum))
        return "The DAPNET auth key may hold only letters and digits (at most 256).";
    return {};
}

std::string dapnetLoginLine(const DapnetIdentity& id) {
    return "[" + id.name + " v" + id.version + " " + id.callsign + " " + id.authKey + "]";
}

std::string dapnetPagerText(std::string_view raw, int* replaced) {
    std::string out;
    out.reserve(raw.size());
    int count = 0;
    for (std::size_t i = 0; i < raw.size();) {
        const auto b = static_cast<unsigned char>(raw[i]);
        if (b < 0x80) {
            out += raw[i++];
            continue;
        }
        // A two-byte UTF-8 sequence for one of the German letters takes its 7-bit place.
        if (i + 1 < raw.size() && b == 0xC3) {
            static constexpr std::string_view from = "\x84\x96\x9C\xA4\xB6\xBC\x9F";
            static constexpr std::string_view to = "[\\]{|}~";
            const auto at = from.find(raw[i + 1]);
            if (at != std::string_view::npos) {
                out += to[at];
                i += 2;
                continue;
            }
        }
        // Anything else: one '?' for a whole UTF-8 sequence, or for a byte that starts none.
        std::size_t length = 1;
        if (b >= 0xC2 && b <= 0xF4) {
            const std::size_t want = b < 0xE0 ? 2 : b < 0xF0 ? 3 : 4;
            std::size_t n = 1;
            while (n < want && i + n < raw.size() && (raw[i + n] & 0xC0) == 0x80)
                ++n;
            if (n == want)
                length = want;
        }
        out += '?';
        ++count;
        i += length;
    }
    if (replaced)
        *replaced = count;
    return out;
}

std::string dapnetPrintable(std::string_view text, std::size_t limit) {
    std::string out;
    for (const char c : text) {
        if (out.size() >= limit) {
            out += "…";
            break;
        }
        const auto b = static_cast<unsigned char>(c);
        if (b >= 32 && b < 127 && b != '\\') {
            out += c;
        } else {
            char hex[5];
            std::snprintf(hex, sizeof hex, "\\x%02X", b);
            out += hex;
        }
    }
    return out;
}

} // namespace tarvex
