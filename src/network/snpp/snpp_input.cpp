#include "network/snpp/snpp_input.h"

#include "network/snpp/snpp_server.h"

namespace tarvex {

SnppInput::SnppInput() = default;

SnppInput::~SnppInput() {
    stop();
}

bool SnppInput::start(const InputContext& context, std::string* why) {
    stop();
    const ServerSettings& s = context.settings.snpp;
    m_enabled = s.enabled;
    if (!s.enabled)
        return true;
    auto server = std::make_unique<SnppServer>(
        SnppServerConfig{s.listen, s.port, context.settings.requireLogin}, context.intake,
        context.users);
    std::string error;
    if (!server->start(&error)) {
        m_text = "SNPP not running: " + error;
        *why = m_text;
        return false;
    }
    m_server = std::move(server);
    m_text = listeningText("SNPP", m_server->addresses(), m_server->port());
    context.log(m_text);
    return true;
}

void SnppInput::stop() {
    if (m_server)
        m_server->stop();
    m_server.reset();
    m_enabled = false;
    m_text = "SNPP off";
}

void SnppInput::fillHealth(HealthFacts& facts) {
    facts.inputs.push_back({"SNPP", m_enabled, m_server != nullptr, m_text});
    // Pages to SNPP name the pagers of the directory.
    facts.directoryNeeded = facts.directoryNeeded || m_enabled;
}

uint16_t SnppInput::port() const {
    return m_server ? m_server->port() : 0;
}

std::unique_ptr<NetworkInput> makeSnppInput() {
    return std::make_unique<SnppInput>();
}

} // namespace tarvex
