// tarvexd's web interface: the API answers on the HTTP server's threads from what the engine's
// thread publishes here after every event and every second, and STOP from a browser is posted
// to the engine's thread, so neither side ever waits for the other.
#include "network/dapnet/dapnet_link.h"
#include "network/station/network_inputs.h"
#include "network/web/web_api.h"
#include "service/service_log.h"
#include "service/station_service.h"

#include <chrono>

namespace tarvex {

void StationService::startWeb(const NetworkSettings& net) {
    WebApiConfig config;
    config.folder = m_folder;
    config.loginOnLoopback = net.requireLogin;
    m_web = std::make_shared<WebApi>(config, *m_board);
    m_board->setStopAction([this](const std::string& who) {
        QMetaObject::invokeMethod(
            this,
            [this, who] {
                log("web: stop by " + who, LogLevel::Notice);
                m_station->stop();
            },
            Qt::QueuedConnection);
    });
    m_network->setWebApp(m_web);
    setServiceLogTap([board = m_board.get()](LogLevel level, const std::string& text) {
        using namespace std::chrono;
        board->addServiceLine(
            levelWord(level), text,
            duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count());
    });
}

void StationService::publishWebStatus(const HealthFacts& facts,
                                      const std::vector<HealthFault>& faults) {
    using namespace std::chrono;
    const int64_t now = duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
    std::optional<std::string> allowed;
    if (DapnetLink* link = m_network->dapnet()) {
        const DapnetLinkStatus status = link->status();
        allowed = status.slotsAssigned ? status.allowedSlots.text() : std::string("*");
    }
    m_board->publish(webStatusJson(facts, faults, m_network->waitingPages(20), now, allowed));
}

} // namespace tarvex
