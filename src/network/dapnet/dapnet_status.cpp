#include "network/dapnet/dapnet_status.h"

#include <algorithm>
#include <charconv>
#include <cstdio>

namespace tarvex {

namespace {

bool hostOk(std::string_view host) {
    if (host.empty() || host.size() > 253)
        return false;
    return std::all_of(host.begin(), host.end(),
                       [](char c) { return c > ' ' && c < 127 && c != '/' && c != '@'; });
}

std::string seconds(int64_t ms) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f s", static_cast<double>(ms) / 1000.0);
    return text;
}

} // namespace

std::string dapnetSettingsProblem(const DapnetSettings& settings) {
    if (!hostOk(settings.host))
        return "No valid DAPNET server is set.";
    if (settings.port == 0)
        return "The DAPNET server port must be 1 to 65535.";
    DapnetIdentity id;
    id.version = "1.0";
    id.callsign = settings.callsign;
    id.authKey = settings.authKey;
    return dapnetIdentityProblem(id);
}

bool parseDapnetServer(std::string_view text, std::string* host, uint16_t* port,
                       std::string* error) {
    std::string_view name = text;
    std::string_view portText;
    if (text.starts_with('[')) {
        const auto close = text.find(']');
        if (close == std::string_view::npos ||
            (close + 1 < text.size() && text[close + 1] != ':')) {
            *error = "The DAPNET server must be HOST:PORT, HOST or [ADDRESS]:PORT.";
            return false;
        }
        name = text.substr(1, close - 1);
        if (close + 1 < text.size())
            portText = text.substr(close + 2);
    } else if (std::count(text.begin(), text.end(), ':') == 1) {
        name = text.substr(0, text.find(':'));
        portText = text.substr(text.find(':') + 1);
    }
    if (!hostOk(name)) {
        *error = "The DAPNET server name is empty or holds characters a name cannot have.";
        return false;
    }
    unsigned value = DapnetDefaultPort;
    if (!portText.empty() || text.ends_with(':')) {
        const auto [end, ec] =
            std::from_chars(portText.data(), portText.data() + portText.size(), value);
        if (ec != std::errc() || end != portText.data() + portText.size() || value == 0 ||
            value > 65535) {
            *error = "The DAPNET server port must be a number from 1 to 65535.";
            return false;
        }
    }
    *host = std::string(name);
    *port = static_cast<uint16_t>(value);
    return true;
}

bool applyDapnetOverrides(DapnetSettings& settings, const DapnetOverrides& overrides,
                          const std::string& keyFile, std::string* error) {
    if (overrides.server) {
        if (!parseDapnetServer(*overrides.server, &settings.host, &settings.port, error))
            return false;
        settings.enabled = true;
    }
    if (overrides.callsign)
        settings.callsign = *overrides.callsign;
    if (!settings.enabled)
        return true;
    const std::optional<std::string> key =
        readAuthKeyFile(overrides.authKeyFile.value_or(keyFile), error);
    if (!key)
        return false;
    settings.authKey = *key;
    return true;
}

int64_t DapnetBackoff::next() {
    int64_t wait = std::max<int64_t>(m_timing.firstBackoffMs, 1);
    for (int i = 0; i < m_failures && wait < m_timing.maxBackoffMs; ++i)
        wait *= 2;
    m_failures = std::min(m_failures + 1, 64);
    return std::min(wait, std::max(m_timing.maxBackoffMs, m_timing.firstBackoffMs));
}

std::string_view dapnetLinkStateText(DapnetLinkState state) {
    switch (state) {
    case DapnetLinkState::Off:
        return "off";
    case DapnetLinkState::Connecting:
        return "connecting";
    case DapnetLinkState::LoggingIn:
        return "logging in";
    case DapnetLinkState::Online:
        return "online";
    case DapnetLinkState::Refused:
        return "refused";
    case DapnetLinkState::BackingOff:
        return "waiting to reconnect";
    }
    return "?";
}

std::string describeNextSlot(const TimeSlots& slots, int64_t nowMs) {
    if (slots.all())
        return "any time";
    if (slots.none())
        return "no slot allowed";
    const int now = TimeSlots::slotAt(nowMs);
    if (slots.allowed(now))
        return "slot " + std::string(1, "0123456789ABCDEF"[now]) + " now, " +
               seconds(slots.remainingMs(nowMs)) + " left";
    const int64_t start = *slots.nextRunStart(nowMs);
    return "next slot " + std::string(1, "0123456789ABCDEF"[TimeSlots::slotAt(start)]) + " in " +
           seconds(start - nowMs);
}

std::string dapnetStatusLine(const DapnetLinkStatus& status, std::size_t waiting, int64_t nowMs) {
    std::string line = "DAPNET " + std::string(dapnetLinkStateText(status.state));
    if (status.state == DapnetLinkState::Off)
        return line;
    line += " (" + status.server + " as " + status.callsign + ")";
    if (status.state == DapnetLinkState::Refused && !status.refusal.empty())
        line += ": " + status.refusal;
    if ((status.state == DapnetLinkState::Refused || status.state == DapnetLinkState::BackingOff) &&
        status.nextAttemptMs > nowMs)
        line += ", next attempt in " + seconds(status.nextAttemptMs - nowMs);
    line += " · slots " +
            (status.slotsAssigned
                 ? (status.allowedSlots.none() ? std::string("none") : status.allowedSlots.text())
                 : std::string("not assigned yet"));
    line += " · " + std::to_string(status.pagesReceived) + " received · " +
            std::to_string(waiting) + " waiting for a slot";
    if (status.slotsAssigned)
        line += " · " + describeNextSlot(status.allowedSlots, nowMs);
    if (!status.clockWarning.empty())
        line += " · clock not synchronised";
    return line;
}

} // namespace tarvex
