#include "network/station/network_settings.h"

#include "network/dapnet/auth_key_file.h"
#include "station/settings_values.h"

#include <algorithm>

namespace tarvex {

namespace {

class Reader {
public:
    explicit Reader(const StoredLookup& lookup) : m_lookup(lookup) {}
    int32_t number(std::string_view name, int32_t fallback, int32_t lo, int32_t hi) const {
        const auto raw = m_lookup(name);
        return std::clamp(readInteger(raw ? StoredText(*raw) : std::nullopt, fallback), lo, hi);
    }
    bool flag(std::string_view name, bool fallback) const {
        const auto raw = m_lookup(name);
        return readFlag(raw ? StoredText(*raw) : std::nullopt, fallback);
    }
    std::string text(std::string_view name, std::string_view fallback) const {
        const auto raw = m_lookup(name);
        return readText(raw ? StoredText(*raw) : std::nullopt, fallback);
    }
    std::vector<std::string> addresses(std::string_view name) const {
        std::vector<std::string> out;
        std::string rest = text(name, "");
        while (!rest.empty()) {
            const std::size_t comma = rest.find(',');
            std::string item = rest.substr(0, comma);
            item.erase(0, item.find_first_not_of(" \t"));
            item.erase(item.find_last_not_of(" \t") + 1);
            if (!item.empty())
                out.push_back(item);
            rest = comma == std::string::npos ? std::string() : rest.substr(comma + 1);
        }
        return out.empty() ? LoopbackAddresses : out;
    }

private:
    const StoredLookup& m_lookup;
};

} // namespace

std::string addressListText(const std::vector<std::string>& addresses) {
    std::string text;
    for (const auto& a : addresses)
        text += (text.empty() ? "" : ",") + a;
    return text;
}

std::vector<std::pair<std::string_view, std::string>>
networkSettingValues(const NetworkSettings& s) {
    const auto n = [](auto value) { return std::to_string(value); };
    const auto f = [](bool value) { return std::string(value ? "1" : "0"); };
    const InboundLimits& l = s.limits;
    return {{"SnppEnabled", f(s.snpp.enabled)},
            {"SnppListen", addressListText(s.snpp.listen)},
            {"SnppPort", n(s.snpp.port)},
            {"WctpEnabled", f(s.wctp.enabled)},
            {"WctpListen", addressListText(s.wctp.listen)},
            {"WctpPort", n(s.wctp.port)},
            {"NetRequireLogin", f(s.requireLogin)},
            {"NetMaxLineLength", n(l.maxLineLength)},
            {"NetMaxMessageLength", n(l.maxMessageLength)},
            {"NetMaxRecipients", n(l.maxRecipients)},
            {"NetMaxConnections", n(l.maxConnections)},
            {"NetIdleSeconds", n(l.idleSeconds)},
            {"NetPagesPerMinute", n(l.pagesPerMinute)},
            {"NetLoginFailuresPerMinute", n(l.loginFailuresPerMinute)},
            {"WctpMaxBodyBytes", n(l.maxBodyBytes)},
            {"WctpRequestSeconds", n(l.requestSeconds)},
            {"QueueMaxAgeMinutes", n(s.maxAgeMinutes)},
            {"DapnetEnabled", f(s.dapnet.enabled)},
            {"DapnetHost", s.dapnet.host},
            {"DapnetPort", n(s.dapnet.port)},
            {"DapnetCallsign", s.dapnet.callsign}};
}

NetworkSettings readNetworkSettings(const StoredLookup& lookup, bool service) {
    const Reader r(lookup);
    NetworkSettings s;
    s.snpp.enabled = r.flag("SnppEnabled", service);
    s.snpp.listen = r.addresses("SnppListen");
    s.snpp.port = static_cast<uint16_t>(r.number("SnppPort", 444, 1, 65535));
    s.wctp.enabled = r.flag("WctpEnabled", service);
    s.wctp.listen = r.addresses("WctpListen");
    s.wctp.port = static_cast<uint16_t>(r.number("WctpPort", 8444, 1, 65535));
    s.requireLogin = r.flag("NetRequireLogin", false);
    InboundLimits& l = s.limits;
    l.maxLineLength = static_cast<std::size_t>(r.number("NetMaxLineLength", 512, 64, 4096));
    l.maxMessageLength = static_cast<std::size_t>(r.number("NetMaxMessageLength", 1024, 16, 65536));
    l.maxRecipients = static_cast<std::size_t>(r.number("NetMaxRecipients", 16, 1, 256));
    l.maxConnections = r.number("NetMaxConnections", 32, 1, 1024);
    l.idleSeconds = r.number("NetIdleSeconds", 120, 5, 3600);
    l.pagesPerMinute = r.number("NetPagesPerMinute", 60, 1, 100000);
    l.loginFailuresPerMinute = r.number("NetLoginFailuresPerMinute", 10, 1, 1000);
    l.maxBodyBytes = static_cast<std::size_t>(r.number("WctpMaxBodyBytes", 65536, 1024, 1 << 24));
    l.requestSeconds = r.number("WctpRequestSeconds", 30, 1, 600);
    s.maxAgeMinutes = r.number("QueueMaxAgeMinutes", 60, 0, 10080);
    s.dapnet.enabled = r.flag("DapnetEnabled", false);
    s.dapnet.host = r.text("DapnetHost", "");
    s.dapnet.port = static_cast<uint16_t>(r.number("DapnetPort", DapnetDefaultPort, 1, 65535));
    s.dapnet.callsign = r.text("DapnetCallsign", "");
    s.keyFile = r.text("DapnetKeyFile", "");
    if (s.keyFile.empty())
        s.keyFile = defaultAuthKeyFile();
    return s;
}

} // namespace tarvex
