// Every transmission path of the station engine driven into every failure it can meet, on a
// fake clock: after each run the last byte written to the port must be the released byte for
// the keying settings in force, and no key byte may stand without a release after it. Runs
// over all eight pins, normal and inverted keying.
#include "encoder/errors.h"
#include "paging/auto_send_poll.h"
#include "paging/release_on_signal.h"
#include "recording_port_writer.h"
#include "station/auto_send_input.h"
#include "station_fakes.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

using namespace tarvex;

namespace {

using test::FakeClock;
using FakePump = test::JumpingPump;

enum class Fault {
    None,
    AudioOpenFails,   ///< play() refuses (no device)
    AudioThrows,      ///< play() throws (the backend gave up)
    AudioNeverDrains, ///< the output claims samples in flight for ever
    AudioDiesMidPlay, ///< the output stops on its own and reports an error
    PortFails,        ///< every port write fails
    StopDuringPlay,   ///< Stop on the generator and a stop request while the sound plays
    RefusedPage,      ///< the encoder refuses the page (paths that build pages)
    ProgramEnds,      ///< the window is closed while the sound plays
    Signal,           ///< SIGTERM arrives while the sound plays
    EndsInKeyDelay,   ///< the window is closed between keying and the first sound
    SignalInKeyDelay, ///< SIGTERM arrives between keying and the first sound
};

const char* faultName(Fault f) {
    switch (f) {
    case Fault::None:
        return "none";
    case Fault::AudioOpenFails:
        return "audio open fails";
    case Fault::AudioThrows:
        return "audio throws";
    case Fault::AudioNeverDrains:
        return "audio never drains";
    case Fault::AudioDiesMidPlay:
        return "audio dies mid-play";
    case Fault::PortFails:
        return "port fails";
    case Fault::StopDuringPlay:
        return "stop during play";
    case Fault::RefusedPage:
        return "refused page";
    case Fault::ProgramEnds:
        return "program ends";
    case Fault::Signal:
        return "signal";
    case Fault::EndsInKeyDelay:
        return "program ends in the key delay";
    case Fault::SignalInKeyDelay:
        return "signal in the key delay";
    }
    return "?";
}

class FaultyOutput : public AudioOutput {
public:
    FaultyOutput(Fault fault, FakeClock& clock) : m_fault(fault), m_clock(clock) {}
    bool play(std::span<const uint8_t>, PlayMode mode) override {
        ++plays;
        if (m_fault == Fault::AudioThrows)
            throw std::runtime_error("sound server went away");
        if (m_fault == Fault::AudioOpenFails) {
            m_error = "no sound device";
            return false;
        }
        m_playing = mode != PlayMode::Blocking;
        m_startedAt = m_clock.now;
        if (mode == PlayMode::Blocking && duringBlockingPlay)
            duringBlockingPlay(); // no events run meanwhile; what arrives waits until after
        return true;
    }
    void stop() override {
        m_playing = false;
        if (onStop)
            onStop();
    }
    bool playing() const override {
        if (m_fault == Fault::AudioNeverDrains)
            return true;
        if (m_fault == Fault::AudioDiesMidPlay && m_clock.now > m_startedAt + 50) {
            m_error = "device unplugged";
            m_playing = false;
        }
        return m_playing;
    }
    void setDeviceLevel(DeviceLevel level) override { m_level = level; }
    DeviceLevel deviceLevel() const override { return m_level; }
    std::string lastError() const override { return m_error; }
    std::string name() const override { return "faulty"; }

    int plays = 0;
    std::function<void()> duringBlockingPlay;
    std::function<void()> onStop;

private:
    Fault m_fault;
    FakeClock& m_clock;
    mutable bool m_playing = false;
    mutable std::string m_error;
    uint32_t m_startedAt = 0;
    DeviceLevel m_level = 0xFFFFFFFF;
};

/// The station engine with a recording port, faulty audio and the waits a program without a
/// window has (a signal ends them), wired as tarvex-cli wires it.
struct SweepRig {
    FakeClock clock;
    FakePump jumping{clock};
    InterruptiblePump interruptible{&jumping};
    BasicScheduler scheduler{clock};
    SchedulingPump pump{scheduler, interruptible};
    EventWait wait{clock, pump};
    std::shared_ptr<RecordingPortWriter> recorder = std::make_shared<RecordingPortWriter>();
    RecordingPortWriter& port = *recorder;
    KeyingSettings keying;
    std::shared_ptr<FaultyOutput> output;
    std::unique_ptr<tarvex::Station> station;
    Fault fault;

    SweepRig(Fault f, int pin, bool inv)
        : output(std::make_shared<FaultyOutput>(f, clock)), fault(f) {
        keying.Pin = pin;
        keying.InvKey = inv;
        StationSetup setup;
        setup.audio = output;
        setup.line = std::make_unique<ParallelPortLine>(recorder, [this] { return keying; });
        setup.clock = &clock;
        setup.scheduler = &scheduler;
        setup.soundClock = test::fakeSteadyClock(clock);
        station = std::make_unique<tarvex::Station>(std::move(setup));
        interruptible.onInterrupt = [this](int) { station->close(); };
        if (f == Fault::PortFails)
            port.failWith(5);
        station->releaseNow(); // as at start-up
        // The faults that strike from inside a wait, as event handlers and signals do.
        jumping.onPass = [this] {
            const auto v = port.values();
            const bool keyedNow =
                !v.empty() && v.back() == keyByte(keying.Pin, keying.InvKey, true);
            if (!keyedNow)
                return;
            const bool inKeyDelay = output->plays == 0;
            const bool playing = output->plays > 0 && !station->signal().silent;
            if ((fault == Fault::EndsInKeyDelay || fault == Fault::SignalInKeyDelay) && inKeyDelay)
                strike();
            else if (playing)
                strike();
        };
        output->duringBlockingPlay = [this] { strike(); };
    }

    void strike() {
        switch (fault) {
        case Fault::StopDuringPlay:
            station->stop(); // the fast search's Stop, the window's Stop
            break;
        case Fault::ProgramEnds:
        case Fault::EndsInKeyDelay:
            station->close(); // what the window does when it closes
            break;
        case Fault::Signal:
        case Fault::SignalInKeyDelay:
            std::raise(SIGTERM);
            break;
        default:
            break;
        }
    }

    PageJob page(const std::string& ric, const std::string& message) const {
        PageJob job;
        job.page = PageParams{ric, 3, Coding::Alphanumeric, 2400, false, message};
        if (fault == Fault::RefusedPage)
            job.page.ric = "12x4"; // not a whole number: the conversion error
        return job;
    }
    SendResult sendPage(const PageJob& job) { return sendAndWait(*station, wait, job); }
    /// Runs the event loop until nothing is on air or on its way.
    void waitFree() {
        while (station->busy() || station->status().search)
            wait.DelayMs(10);
    }
};

using Path = std::function<void(SweepRig&)>;

struct NamedPath {
    const char* name;
    Path run;
    bool buildsPages;
};

std::filesystem::path autoSendFolder() {
    const auto dir =
        std::filesystem::temp_directory_path() /
        ("tarvex-safety-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()));
    std::filesystem::create_directories(dir);
    return dir;
}

std::vector<NamedPath> allPaths() {
    return {
        {"page", [](SweepRig& s) { s.sendPage(s.page("1234", "Keying sweep")); }, true},
        {"tune-up",
         [](SweepRig& s) {
             s.station->tuneUp(
                 TuneJob{.seconds = 1, .baud = 2400, .inverted = false, .level = 100});
             s.waitFree();
         },
         false},
        {"ident",
         [](SweepRig& s) {
             s.station->setIdent({"E", 0, 40, false});
             s.station->sendIdent(true);
             s.waitFree();
         },
         false},
        {"RIC/CAP search",
         [](SweepRig& s) {
             for (int code = 8; code <= 24; code += 8) {
                 if (s.sendPage(s.page(std::to_string(code), std::to_string(code))) ==
                     SendResult::Failed)
                     break;
                 s.wait.DelayMs(s.station->signal().durationMs + 100);
             }
         },
         true},
        {"fast search",
         [](SweepRig& s) {
             SearchJob job;
             job.fast = true;
             job.to = 1; // one block of 256 codes
             job.block.baud = 2400;
             s.station->startSearch(job);
             s.waitFree();
         },
         false},
        {"auto send",
         [](SweepRig& s) {
             const auto dir = autoSendFolder();
             {
                 std::ofstream file(dir / DefaultAutoSendFile, std::ios::binary | std::ios::trunc);
                 const char* ric = s.fault == Fault::RefusedPage ? "00012x4" : "0001234";
                 file << "11A2400N" << ric << "First\r\n11A2400N0004321Second\r\n";
             }
             AutoSendSettings settings;
             settings.folder = dir.string();
             settings.autoDelaySeconds = 1;
             AutoSendInput input(*s.station, s.scheduler, s.clock);
             input.setSettings(settings);
             try {
                 input.poll();
                 s.wait.DelayMs(10); // the engine takes the first entry from the event loop
                 s.waitFree();
             } catch (...) {
                 std::filesystem::remove_all(dir);
                 throw;
             }
             std::filesystem::remove_all(dir);
         },
         false},
    };
}

const Fault AllFaults[] = {Fault::None,
                           Fault::AudioOpenFails,
                           Fault::AudioThrows,
                           Fault::AudioNeverDrains,
                           Fault::AudioDiesMidPlay,
                           Fault::PortFails,
                           Fault::StopDuringPlay,
                           Fault::RefusedPage,
                           Fault::ProgramEnds,
                           Fault::Signal,
                           Fault::EndsInKeyDelay,
                           Fault::SignalInKeyDelay};

class KeyingSweep : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(ReleaseSignals::install());
        ReleaseSignals::reset();
    }
    void TearDown() override { ReleaseSignals::reset(); }
};

/// Checks the writes of one run; the text names the run for the failure report.
void checkReleased(const SweepRig& s, const std::string& run, bool expectKeying) {
    const std::vector<uint8_t> v = s.port.values();
    const uint8_t released = keyByte(s.keying.Pin, s.keying.InvKey, false);
    const uint8_t keyed = keyByte(s.keying.Pin, s.keying.InvKey, true);
    ASSERT_FALSE(v.empty()) << run;
    EXPECT_EQ(v.back(), released) << run << ": the transmitter was left keyed";
    bool open = false;
    int keys = 0;
    for (const uint8_t b : v) {
        ASSERT_TRUE(b == keyed || b == released) << run << ": stray byte " << int(b);
        if (b == keyed) {
            open = true;
            ++keys;
        } else {
            open = false;
        }
    }
    EXPECT_FALSE(open) << run;
    if (expectKeying) {
        EXPECT_GT(keys, 0) << run << ": the path never keyed, so the check proved nothing";
    }
}

} // namespace

TEST_F(KeyingSweep, EveryPathEveryFaultEveryPinLeavesTheTransmitterReleased) {
    int runs = 0;
    for (const NamedPath& path : allPaths()) {
        for (const Fault fault : AllFaults) {
            for (int pin = 0; pin < 8; ++pin) {
                for (const bool inv : {false, true}) {
                    ReleaseSignals::reset();
                    SweepRig s(fault, pin, inv);
                    const std::string run = std::string(path.name) + ", " + faultName(fault) +
                                            ", pin D" + std::to_string(pin) +
                                            (inv ? ", inverted" : ", normal");
                    std::string escaped;
                    try {
                        path.run(s);
                        // The program's next wait: a signal that arrived during a blocking
                        // play (nothing runs then) is seen here at the latest.
                        s.wait.DelayMs(10);
                    } catch (const Interrupted&) {
                        escaped = "interrupted";
                    } catch (const std::exception& e) {
                        escaped = e.what();
                    }
                    // A signal ends the caller's wait; nothing else escapes (an output that
                    // throws is one that did not play).
                    const bool refusedBeforeKeying =
                        fault == Fault::RefusedPage && path.buildsPages;
                    std::string expected;
                    if (fault == Fault::Signal || fault == Fault::SignalInKeyDelay)
                        expected = "interrupted";
                    EXPECT_EQ(escaped, expected) << run;
                    checkReleased(s, run, !refusedBeforeKeying);
                    ++runs;
                }
            }
        }
    }
    EXPECT_EQ(runs, 6 * 12 * 16);
}

TEST_F(KeyingSweep, AfterTheProgramEndsNoLaterStepKeysOrPlays) {
    // A search whose window is closed during its first page: the later steps are refused and
    // neither key nor play.
    SweepRig s(Fault::ProgramEnds, 3, false);
    for (int code = 8; code <= 40; code += 8)
        s.sendPage(s.page(std::to_string(code), "x"));
    EXPECT_EQ(s.output->plays, 1);
    const std::vector<uint8_t> v = s.port.values();
    ASSERT_GE(v.size(), 3u);
    EXPECT_EQ(std::count(v.begin(), v.end(), uint8_t{0x08}), 1) << "keyed again after the end";
    EXPECT_EQ(v.back(), 0x00);
}

TEST_F(KeyingSweep, ASignalStopsTheSoundBeforeTheRelease) {
    SweepRig s(Fault::Signal, 0, true);
    bool stoppedBeforeRelease = false;
    s.output->onStop = [&] {
        if (s.port.values().back() == keyByte(0, true, true))
            stoppedBeforeRelease = true;
    };
    s.interruptible.onInterrupt = [&](int signal) {
        EXPECT_EQ(signal, SIGTERM);
        s.station->close(); // as tarvex-cli does
    };
    EXPECT_THROW(s.sendPage(s.page("77", "signal")), Interrupted);
    EXPECT_TRUE(stoppedBeforeRelease);
    EXPECT_TRUE(s.station->signal().silent);
    EXPECT_EQ(s.port.values().back(), 0x01);
    EXPECT_EQ(ReleaseSignals::received(), SIGTERM);
    EXPECT_FALSE(s.station->busy()) << "the engine must be free again after the unwinding";
}
