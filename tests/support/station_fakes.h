#pragma once
// Test doubles for the station engine and its framing: a millisecond clock the test moves,
// an event pump that jumps the clock to each deadline (so waits take no real time) and runs
// a hook at every pass, standing for the handlers that run inside a wait, and a station
// wired with them, a recording port and a sink.
#include "paging/event_wait.h"
#include "recording_port_writer.h"
#include "signal/audio_output.h"
#include "station/basic_scheduler.h"
#include "station/station.h"
#include "station/station_wait.h"
#include "txcontrol/keying.h"

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <vector>

namespace tarvex::test {

struct FakeClock : TickClock {
    uint32_t now = 10000;
    uint32_t tickMs() override { return now; }
};

/// Sleeping jumps to the deadline; `onPass` plays an event handler at each pass.
struct JumpingPump : EventPump {
    FakeClock& clock;
    std::function<void()> onPass;
    explicit JumpingPump(FakeClock& c) : clock(c) {}
    void processEvents() override {
        if (onPass)
            onPass();
    }
    void waitForEvents(uint32_t maxMs) override { clock.now += maxMs; }
};

/// The generator's release timing on the fake clock.
inline TSignalGen::Clock fakeSteadyClock(FakeClock& clock) {
    return [&clock] {
        return std::chrono::steady_clock::time_point(std::chrono::milliseconds(clock.now));
    };
}

/// A station on the fake clock: its timers run from the same pump its waits use, the
/// parallel port records its bytes, and the audio goes to `output`.
struct StationRig {
    FakeClock clock;
    JumpingPump jumping{clock};
    BasicScheduler scheduler{clock};
    SchedulingPump pump{scheduler, jumping};
    EventWait wait{clock, pump};
    std::shared_ptr<RecordingPortWriter> port = std::make_shared<RecordingPortWriter>();
    KeyingSettings keying;
    std::unique_ptr<Station> station;

    explicit StationRig(std::shared_ptr<AudioOutput> output,
                        std::shared_ptr<LogClock> logClock = nullptr,
                        std::shared_ptr<RecordingPortWriter> ownPort = nullptr,
                        std::function<int64_t()> unixClock = nullptr) {
        if (ownPort)
            port = std::move(ownPort);
        StationSetup setup;
        setup.audio = std::move(output);
        setup.line = std::make_unique<ParallelPortLine>(port, [this] { return keying; });
        setup.clock = &clock;
        setup.scheduler = &scheduler;
        setup.logClock = std::move(logClock);
        setup.unixClock = std::move(unixClock);
        setup.soundClock = fakeSteadyClock(clock);
        station = std::make_unique<Station>(std::move(setup));
        station->releaseNow();
        port->clear();
    }
    /// Lets `ms` of fake time pass with the event loop running (timers fire).
    void run(uint32_t ms) { wait.DelayMs(ms); }
    /// Sends the page as SEND does: returns once it (and what queued behind it) has gone.
    SendResult send(PageJob job) { return sendAndWait(*station, wait, std::move(job)); }
    SendResult tuneUp(TuneJob job) { return tuneUpAndWait(*station, wait, std::move(job)); }
    /// Runs the event loop until the station is free (nothing on air or queued).
    void settle() {
        while (station->busy())
            wait.DelayMs(10);
    }
};

/// A file's whole text; empty when it cannot be read.
inline std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

/// A page with the given RIC and message at 1200 bit/s.
inline PageJob pageJob(const std::string& ric, const std::string& message,
                       TxSource source = TxSource::Operator) {
    PageJob job;
    job.source = source;
    job.page.ric = ric;
    job.page.message = message;
    return job;
}

} // namespace tarvex::test
