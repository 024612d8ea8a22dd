#pragma once
// The DAPNET link as one of the station's network inputs: runs as the settings say
// (DapnetEnabled, DapnetHost, DapnetPort, DapnetCallsign and the key read from its file), and
// while it runs the engine keys only inside the time slots the network allows, whatever asks.
#include "network/dapnet/dapnet_status.h"
#include "network/inputs/network_input.h"

#include <memory>
#include <optional>

namespace tarvex {

class DapnetLink;

class DapnetInput : public NetworkInput {
public:
    DapnetInput();
    ~DapnetInput() override;
    bool start(const InputContext& context, std::string* why) override;
    void stop() override;
    void fillHealth(HealthFacts& facts) override;
    /// "dapnet: DAPNET online (...) · slots 0246AC · ..." while the link is on.
    std::string statusLines(std::size_t waiting) override;
    /// The link's status; nullopt while it is off.
    std::optional<DapnetLinkStatus> status() const;

private:
    class Slots;
    std::unique_ptr<DapnetLink> m_link;
    std::unique_ptr<Slots> m_slots;
    Station* m_station = nullptr;
};

std::unique_ptr<NetworkInput> makeDapnetInput();

} // namespace tarvex
