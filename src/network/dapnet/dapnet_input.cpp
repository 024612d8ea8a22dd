#include "network/dapnet/dapnet_input.h"

#include "network/dapnet/dapnet_link.h"
#include "station/station.h"

#include <chrono>
#include <limits>

namespace tarvex {

namespace {

int64_t unixNowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

} // namespace

/// The link's allowed time slots as the engine plans its key-ups (on the engine's thread; the
/// link's status is read under its lock).
class DapnetInput::Slots : public SlotPlanner {
public:
    explicit Slots(DapnetLink& link) : m_link(link) {}
    int64_t remainingMs(int64_t unixMs) override {
        const int64_t left = m_link.allowedSlots().remainingMs(unixMs);
        return left == TimeSlots::Forever ? std::numeric_limits<int64_t>::max() : left;
    }
    std::optional<int64_t> nextRunStart(int64_t unixMs) override {
        return m_link.allowedSlots().nextRunStart(unixMs);
    }
    int64_t longestRunMs() override { return m_link.allowedSlots().longestRunMs(); }

private:
    DapnetLink& m_link;
};

DapnetInput::DapnetInput() = default;

DapnetInput::~DapnetInput() {
    stop();
}

bool DapnetInput::start(const InputContext& context, std::string* why) {
    (void)why; // the link reconnects by itself: nothing for the assembly to try again
    stop();
    if (!context.settings.dapnet.enabled)
        return true;
    m_link = std::make_unique<DapnetLink>(context.intake, context.log);
    m_link->setOnChange(context.changed);
    m_slots = std::make_unique<Slots>(*m_link);
    m_station = &context.station;
    // While the link is on the station keys only inside its slots, whatever asks.
    m_station->setSlotPlanner(m_slots.get());
    if (const std::string problem = m_link->apply(context.settings.dapnet); !problem.empty())
        context.log.error("DAPNET: " + problem);
    return true;
}

void DapnetInput::stop() {
    if (!m_link)
        return;
    m_station->setSlotPlanner(nullptr);
    m_link->stop();
    m_link.reset();
    m_slots.reset();
}

void DapnetInput::fillHealth(HealthFacts& facts) {
    facts.dapnetEnabled = m_link != nullptr;
    if (!m_link)
        return;
    const DapnetLinkStatus link = m_link->status();
    facts.dapnetOnline = link.state == DapnetLinkState::Online;
    facts.dapnetState = std::string(dapnetLinkStateText(link.state));
    if (!link.lastError.empty() && !facts.dapnetOnline)
        facts.dapnetState += ": " + link.lastError;
    facts.clockWarning = link.clockWarning;
}

std::string DapnetInput::statusLines(std::size_t waiting) {
    if (!m_link)
        return {};
    return "dapnet: " + dapnetStatusLine(m_link->status(), waiting, unixNowMs()) + "\n";
}

std::optional<DapnetLinkStatus> DapnetInput::status() const {
    return m_link ? std::optional<DapnetLinkStatus>(m_link->status()) : std::nullopt;
}

std::unique_ptr<NetworkInput> makeDapnetInput() {
    return std::make_unique<DapnetInput>();
}

} // namespace tarvex
