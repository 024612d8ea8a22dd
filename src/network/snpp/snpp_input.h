#pragma once
// The SNPP server as one of the station's network inputs: runs as the settings say (SnppEnabled,
// SnppListen, SnppPort, the shared limits) and shows where it listens, or why not.
#include "network/inputs/network_input.h"

#include <cstdint>
#include <memory>

namespace tarvex {

class SnppServer;

class SnppInput : public NetworkInput {
public:
    SnppInput();
    ~SnppInput() override;
    bool start(const InputContext& context, std::string* why) override;
    void stop() override;
    void fillHealth(HealthFacts& facts) override;
    /// The port listened on; 0 while not running.
    uint16_t port() const;

private:
    std::unique_ptr<SnppServer> m_server;
    bool m_enabled = false;
    std::string m_text = "SNPP off";
};

std::unique_ptr<NetworkInput> makeSnppInput();

} // namespace tarvex
