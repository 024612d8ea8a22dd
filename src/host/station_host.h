#pragma once
// The station as the window and tarvexd run it, put together in one place: the event loop's
// clock, pump and scheduler, the engine on the audio output and keying line the front end
// opened, the network inputs (page queue, pager directory and every registered input) and the
// off-air monitor. Front ends choose what they show and which settings they read; how the
// pieces are built and joined, and the order they end in, lives here. All of it lives on the
// thread that creates the host, the engine's; the network inputs run on threads of their own
// and reach the engine only through the page queue (network_inputs.h).
#include "monitor/monitor_settings.h"
#include "network/inputs/network_settings.h"
#include "network/service_logger.h"
#include "station/auto_send_input.h"
#include "station/station.h"

#include <memory>
#include <string>

namespace tarvex {

class NetworkInputs;
class PagerDirectory;
class QtEventPump;
class QtScheduler;
class StationMonitor;
struct DapnetOverrides;

struct HostSetup {
    std::shared_ptr<AudioOutput> audio;
    std::unique_ptr<KeyingLine> line;
    std::string folder; ///< the station folder: page queue, pager directory, logins
    ServiceLogger log;  ///< the inputs' and the monitor's lines; called from any thread
};

class StationHost {
public:
    explicit StationHost(HostSetup setup);
    /// Ends the station in order (see shutDown).
    ~StationHost();
    StationHost(const StationHost&) = delete;
    StationHost& operator=(const StationHost&) = delete;

    Station& station() { return *m_station; }
    /// The auto-send input: its settings, its poll and its status.
    AutoSendInput& autoSend() { return *m_autoSend; }
    /// The front end's own event-processing wait (DelayMs) on the station's clock, for
    /// handlers that wait for a transmission to end, as the window's SEND does.
    EventWait& waits() { return *m_wait; }
    NetworkInputs& network() { return *m_network; }
    /// Null once the station has shut down.
    StationMonitor* monitor() { return m_monitor.get(); }
    const std::string& folder() const { return m_folder; }

    /// Starts the network inputs as `net` says, or starts them anew. A DAPNET link whose key or
    /// overrides do not hold stays off, with *dapnetError saying why, while the rest starts.
    /// False with *error when the page queue cannot be opened (no input runs without it).
    bool startNetwork(NetworkSettings net, const DapnetOverrides& overrides,
                      std::string* dapnetError, std::string* error);
    /// Stops the servers and the link; the page queue keeps what it holds.
    void stopNetwork();
    /// Starts the off-air monitor as the settings say (or stops it), for the station's
    /// polarity; the decoder reads national letters as the pager directory has them.
    void startMonitor(const MonitorSettings& settings, bool inverted);

    /// The station ends: the inputs stop taking pages, the monitor writes the page-log lines
    /// still waiting for a verdict, and the engine stops, releases and holds the transmitter
    /// released. Safe to call again.
    void shutDown();

private:
    std::string m_folder;
    std::unique_ptr<SteadyTickClock> m_clock;
    std::unique_ptr<QtEventPump> m_pump;
    std::unique_ptr<QtScheduler> m_scheduler;
    std::unique_ptr<EventWait> m_wait;
    std::unique_ptr<Station> m_station;
    std::unique_ptr<AutoSendInput> m_autoSend;
    std::unique_ptr<NetworkInputs> m_network;
    std::unique_ptr<StationMonitor> m_monitor;
};

/// The character set of the directory's first pager that is not plain US-ASCII ("de", ...),
/// for the off-air decoder; empty when there is none.
std::string firstNationalCharset(const PagerDirectory& directory);

} // namespace tarvex
