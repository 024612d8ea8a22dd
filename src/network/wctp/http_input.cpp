#include "network/wctp/http_input.h"

#include "network/wctp/wctp_server.h"

namespace tarvex {

HttpInput::HttpInput() = default;

HttpInput::~HttpInput() {
    stop();
}

bool HttpInput::start(const InputContext& context, std::string* why) {
    stop();
    const NetworkSettings& s = context.settings;
    const bool statusPages = s.statusPages && context.statusPages;
    m_wctp = s.wctp.enabled;
    m_enabled = s.wctp.enabled || statusPages;
    if (!m_enabled)
        return true;
    WctpServerConfig config;
    config.listenAddresses = s.wctp.listen;
    config.port = s.wctp.port;
    config.requireLogin = s.requireLogin;
    config.wctp = s.wctp.enabled;
    if (statusPages) {
        config.statusPages = context.statusPages;
        config.app = context.webApp;
    }
    auto server = std::make_unique<WctpServer>(config, context.intake, context.users);
    const std::string name = s.wctp.enabled ? "WCTP" : "HTTP status pages";
    std::string error;
    if (!server->start(&error)) {
        m_text = name + " not running: " + error;
        *why = m_text;
        return false;
    }
    m_server = std::move(server);
    std::string paths = s.wctp.enabled ? "POST /wctp" : "";
    if (statusPages)
        paths += std::string(s.wctp.enabled ? ", " : "") + "GET /metrics, /health" +
                 (context.webApp ? ", the web interface" : "");
    m_text = listeningText(name, m_server->addresses(), m_server->port()) + " (" + paths + ")";
    context.log(m_text);
    return true;
}

void HttpInput::stop() {
    if (m_server)
        m_server->stop();
    m_server.reset();
    m_wctp = false;
    m_enabled = false;
    m_text = "WCTP off";
}

void HttpInput::fillHealth(HealthFacts& facts) {
    facts.inputs.push_back({m_wctp ? "WCTP" : "HTTP", m_enabled, m_server != nullptr, m_text});
    // Pages to WCTP name the pagers of the directory.
    facts.directoryNeeded = facts.directoryNeeded || m_wctp;
}

uint16_t HttpInput::port() const {
    return m_server ? m_server->port() : 0;
}

std::unique_ptr<NetworkInput> makeHttpInput() {
    return std::make_unique<HttpInput>();
}

} // namespace tarvex
