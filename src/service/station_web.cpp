// tarvexd's web interface: the API answers on the HTTP server's threads from what the engine's
// thread publishes here after every event and every second, and STOP from a browser is posted
// to the engine's thread. The engine never waits for a browser; a search request waits at most
// SearchAnswerMs for the engine to say whether it started.
#include "host/station_host.h"
#include "monitor/station_monitor.h"
#include "network/dapnet/dapnet_input.h"
#include "network/inputs/durable_feed.h"
#include "network/inputs/network_inputs.h"
#include "network/web/web_api.h"
#include "service/service_log.h"
#include "service/station_service.h"
#include "station/control_protocol.h"
#include "station/settings_values.h"

#include <chrono>
#include <cstdlib>
#include <future>
#include <memory>

namespace tarvex {

namespace {

constexpr auto SearchAnswerMs = std::chrono::milliseconds(2000);

int64_t unixNowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

} // namespace

void StationService::startWeb(const NetworkSettings& net) {
    WebApiConfig config;
    config.folder = m_folder;
    config.loginOnLoopback = net.requireLogin;
    // A shorter session for a shared screen, or for a test that watches one end.
    if (const char* seconds = std::getenv("TARVEX_WEB_SESSION_SECONDS"))
        if (const auto n = parseDecimal(seconds); n && *n >= 1 && *n <= 86400)
            config.sessionMs = int64_t{*n} * 1000;
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
    m_board->setSearchAction([this](const std::string& line, const std::string& who) {
        const ControlParse parsed = parseControlRequest(line);
        if (!parsed.request || parsed.request->kind != ControlRequest::Kind::Search)
            return WebBoard::SearchAnswer{400, parsed.error};
        auto answer = std::make_shared<std::promise<WebBoard::SearchAnswer>>();
        std::future<WebBoard::SearchAnswer> future = answer->get_future();
        QMetaObject::invokeMethod(
            this,
            [this, answer, request = *parsed.request, who] {
                const RequestedSearch search = startRequestedSearch(*m_station, request, who);
                log("web: " + search.what + (search.started ? " started by " : " by ") + who +
                        (search.started ? std::string() : " not started: " + search.why),
                    LogLevel::Notice);
                answer->set_value(search.started ? WebBoard::SearchAnswer{202, search.what}
                                                 : WebBoard::SearchAnswer{409, search.why});
            },
            Qt::QueuedConnection);
        if (future.wait_for(SearchAnswerMs) != std::future_status::ready)
            return WebBoard::SearchAnswer{503, "the station did not answer in time"};
        return future.get();
    });
    m_network->setWebApp(m_web);
    setServiceLogTap([board = m_board.get()](LogLevel level, const std::string& text) {
        board->addServiceLine(levelWord(level), text, unixNowMs());
    });
}

void StationService::followPages() {
    if (DurableFeed* feed = m_network->feed())
        feed->setFateHook([this](int64_t id, const char* fate, const std::string& why) {
            m_fates.note(id, fate, why, unixNowMs());
        });
    if (StationMonitor* monitor = m_host->monitor())
        connect(monitor, &StationMonitor::pageHeard, this, [this](qint64 id, bool confirmed) {
            m_fates.judge(id, confirmed, unixNowMs());
            refreshStatusPages();
        });
}

void StationService::publishWebStatus(const HealthFacts& facts,
                                      const std::vector<HealthFault>& faults) {
    WebStatusExtras extras;
    extras.nowMs = unixNowMs();
    if (const DapnetInput* dapnet = m_network->find<DapnetInput>())
        if (const std::optional<DapnetLinkStatus> link = dapnet->status())
            extras.dapnetSlots = link->slotsAssigned ? link->allowedSlots.text() : std::string("*");
    const StationTotals totals{m_counters.pagesSent, m_counters.pagesFailed, m_counters.keyedMs,
                               facts.confirmed, facts.notHeard};
    m_hours.note(totals, extras.nowMs);
    extras.hoursJson = m_hours.json(totals);
    extras.fatesJson = m_fates.json();
    extras.elapsedSeconds = m_elapsed;
    extras.totalSeconds = m_total;
    m_board->publish(webStatusJson(facts, faults, m_network->waitingPages(20), extras));
}

} // namespace tarvex
