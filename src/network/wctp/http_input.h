#pragma once
// The station's HTTP server as one of its network inputs: WCTP (WctpEnabled, WctpListen,
// WctpPort), and beside it, or alone, the status pages and the web interface when the front
// end serves them (StatusPagesEnabled).
#include "network/inputs/network_input.h"

#include <cstdint>
#include <memory>

namespace tarvex {

class WctpServer;

class HttpInput : public NetworkInput {
public:
    HttpInput();
    ~HttpInput() override;
    bool start(const InputContext& context, std::string* why) override;
    void stop() override;
    void fillHealth(HealthFacts& facts) override;
    /// The port listened on; 0 while not running.
    uint16_t port() const;

private:
    std::unique_ptr<WctpServer> m_server;
    bool m_wctp = false;    ///< WCTP is switched on
    bool m_enabled = false; ///< WCTP or the status pages are
    std::string m_text = "WCTP off";
};

std::unique_ptr<NetworkInput> makeHttpInput();

} // namespace tarvex
