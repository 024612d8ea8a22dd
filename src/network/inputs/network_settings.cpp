#include "network/inputs/network_settings.h"

#include "network/dapnet/auth_key_file.h"
#include "station/settings_values.h"

#include <algorithm>

namespace tarvex {

namespace {

/// A comma-separated list of listening addresses; loopback when it names none.
std::vector<std::string> addressList(const StoredReader& r, std::string_view name) {
    std::vector<std::string> out;
    std::string rest = r.text(name, "");
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
    const StoredReader r(lookup);
    NetworkSettings s;
    s.snpp.enabled = r.flag("SnppEnabled", service);
    s.snpp.listen = addressList(r, "SnppListen");
    s.snpp.port = static_cast<uint16_t>(r.clamped("SnppPort", 444, 1, 65535));
    s.wctp.enabled = r.flag("WctpEnabled", service);
    s.wctp.listen = addressList(r, "WctpListen");
    s.wctp.port = static_cast<uint16_t>(r.clamped("WctpPort", 8444, 1, 65535));
    s.statusPages = r.flag("StatusPagesEnabled", s.wctp.enabled);
    s.requireLogin = r.flag("NetRequireLogin", false);
    InboundLimits& l = s.limits;
    l.maxLineLength = static_cast<std::size_t>(r.clamped("NetMaxLineLength", 512, 64, 4096));
    l.maxMessageLength =
        static_cast<std::size_t>(r.clamped("NetMaxMessageLength", 1024, 16, 65536));
    l.maxRecipients = static_cast<std::size_t>(r.clamped("NetMaxRecipients", 16, 1, 256));
    l.maxConnections = r.clamped("NetMaxConnections", 32, 1, 1024);
    l.idleSeconds = r.clamped("NetIdleSeconds", 120, 5, 3600);
    l.pagesPerMinute = r.clamped("NetPagesPerMinute", 60, 1, 100000);
    l.loginFailuresPerMinute = r.clamped("NetLoginFailuresPerMinute", 10, 1, 1000);
    l.maxBodyBytes = static_cast<std::size_t>(r.clamped("WctpMaxBodyBytes", 65536, 1024, 1 << 24));
    l.requestSeconds = r.clamped("WctpRequestSeconds", 30, 1, 600);
    s.maxAgeMinutes = r.clamped("QueueMaxAgeMinutes", 60, 0, 10080);
    s.dapnet.enabled = r.flag("DapnetEnabled", false);
    s.dapnet.host = r.text("DapnetHost", "");
    s.dapnet.port = static_cast<uint16_t>(r.clamped("DapnetPort", DapnetDefaultPort, 1, 65535));
    s.dapnet.callsign = r.text("DapnetCallsign", "");
    s.keyFile = r.text("DapnetKeyFile", "");
    if (s.keyFile.empty())
        s.keyFile = defaultAuthKeyFile();
    return s;
}

} // namespace tarvex
