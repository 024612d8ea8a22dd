#include "host/station_host.h"

#include "monitor/station_monitor.h"
#include "network/charset.h"
#include "network/dapnet/dapnet_status.h"
#include "network/inputs/network_inputs.h"
#include "network/pager_directory.h"
#include "paging/qt/qt_event_pump.h"
#include "station/qt/qt_log_clock.h"
#include "station/qt/qt_scheduler.h"

namespace tarvex {

StationHost::StationHost(HostSetup setup)
    : m_folder(std::move(setup.folder)), m_clock(std::make_unique<SteadyTickClock>()),
      m_pump(std::make_unique<QtEventPump>()), m_scheduler(std::make_unique<QtScheduler>()),
      m_wait(std::make_unique<EventWait>(*m_clock, *m_pump)) {
    StationSetup s;
    s.audio = std::move(setup.audio);
    s.line = std::move(setup.line);
    s.clock = m_clock.get();
    s.scheduler = m_scheduler.get();
    s.logClock = std::make_shared<QtLogClock>();
    m_station = std::make_unique<Station>(std::move(s));
    // Asked before the network's page queue whenever the transmitter is free.
    m_autoSend = std::make_unique<AutoSendInput>(*m_station, *m_scheduler, *m_clock);
    m_network = std::make_unique<NetworkInputs>(*m_station, m_folder, setup.log);
    m_monitor = std::make_unique<StationMonitor>(*m_station, setup.log);
}

StationHost::~StationHost() {
    shutDown();
    // The inputs and the monitor go before the engine they feed.
    m_monitor.reset();
    m_network.reset();
    m_autoSend.reset();
    m_station.reset();
}

bool StationHost::startNetwork(NetworkSettings net, const DapnetOverrides& overrides,
                               std::string* dapnetError, std::string* error) {
    dapnetError->clear();
    // The overrides may switch the link on (tarvexd --dapnet); its key is read only then.
    if (!applyDapnetOverrides(net.dapnet, overrides, net.keyFile, dapnetError))
        net.dapnet.enabled = false;
    return m_network->start(net, error);
}

void StationHost::stopNetwork() {
    m_network->stop();
}

void StationHost::startMonitor(const MonitorSettings& settings, bool inverted) {
    if (m_monitor)
        m_monitor->apply(settings, inverted, firstNationalCharset(*m_network->pagers()));
}

void StationHost::shutDown() {
    if (m_network)
        m_network->stop();
    // Deleting the monitor writes the page-log lines that wait for its verdict.
    m_monitor.reset();
    if (m_station)
        m_station->close();
}

std::string firstNationalCharset(const PagerDirectory& directory) {
    for (const Pager& pager : directory.pagers())
        if (pager.charset != Charset::UsAscii)
            return std::string(charsetCode(pager.charset));
    return {};
}

} // namespace tarvex
