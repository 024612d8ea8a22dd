// Every transmission path driven into every failure it can meet, on a fake clock: after
// each run the last byte written to the port must be the released byte for the keying
// settings in force, and no key byte may stand without a release after it. Runs over all
// eight pins, normal and inverted keying.
#include "encoder/errors.h"
#include "encoder/page_encoder.h"
#include "paging/auto_send_poll.h"
#include "paging/entry_format.h"
#include "paging/fast_search.h"
#include "paging/release_on_signal.h"
#include "paging/transmission.h"

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

struct FakeClock : TickClock {
    uint32_t now = 5000;
    uint32_t tickMs() override { return now; }
};

/// Sleeping jumps to the deadline; `onPass` stands for the handlers that run in a wait.
struct FakePump : EventPump {
    FakeClock& clock;
    std::function<void()> onPass;
    explicit FakePump(FakeClock& c) : clock(c) {}
    void processEvents() override {
        if (onPass)
            onPass();
    }
    void waitForEvents(uint32_t maxMs) override { clock.now += maxMs; }
};

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
    void stop() override { m_playing = false; }
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

private:
    Fault m_fault;
    FakeClock& m_clock;
    mutable bool m_playing = false;
    mutable std::string m_error;
    uint32_t m_startedAt = 0;
    DeviceLevel m_level = 0xFFFFFFFF;
};

/// A generator, a recording port, keying and waits, wired as the programs wire them.
struct Station {
    FakeClock clock;
    FakePump pump{clock};
    InterruptiblePump interruptible{&pump};
    RecordingPortWriter port;
    KeyingSettings keying;
    std::shared_ptr<FaultyOutput> output;
    TSignalGen gen;
    Keyer keyer{port, [this] { return keying; }};
    EventWait wait{clock, interruptible};
    Transmitter tx{keyer, wait, gen};
    PageEncoder encoder;
    Fault fault;

    Station(Fault f, int pin, bool inv)
        : output(std::make_shared<FaultyOutput>(f, clock)), gen(output), fault(f) {
        keying.Pin = pin;
        keying.InvKey = inv;
        gen.setBaud(2400);
        if (f == Fault::PortFails)
            port.failWith(5);
        keyer.UnkeyTransmitter(); // as at start-up
        // The faults that strike from inside a wait, as event handlers and signals do.
        pump.onPass = [this] {
            const auto v = port.values();
            const bool keyedNow =
                !v.empty() && v.back() == keyByte(keying.Pin, keying.InvKey, true);
            if (!keyedNow)
                return;
            const bool inKeyDelay = output->plays == 0;
            const bool playing = output->plays > 0 && !gen.Stopped();
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
            gen.Stop();
            wait.StopRequest = true;
            break;
        case Fault::ProgramEnds:
        case Fault::EndsInKeyDelay:
            // What the window does when it closes.
            gen.Stop();
            wait.StopRequest = true;
            keyer.holdReleased();
            break;
        case Fault::Signal:
        case Fault::SignalInKeyDelay:
            std::raise(SIGTERM);
            break;
        default:
            break;
        }
    }

    PageParams page(const std::string& ric, const std::string& message) const {
        PageParams p{ric, 3, Coding::Alphanumeric, 2400, false, message};
        if (fault == Fault::RefusedPage)
            p.ric = "12x4"; // not a whole number: the conversion error
        return p;
    }
    void sendPage(const PageParams& p) {
        encoder.BuildTransmission(p);
        encoder.CodewordBuffer[encoder.LastSlot + 1] = EndMarker;
        tx.transmit(encoder.CodewordBuffer.from(SlotBuffer::FirstSlot));
    }
};

using Path = std::function<void(Station&)>;

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
        {"page", [](Station& s) { s.sendPage(s.page("1234", "Keying sweep")); }, true},
        {"tune-up", [](Station& s) { s.tx.TuneUp(s.encoder.CodewordBuffer, 1, 2400); }, false},
        {"ident", [](Station& s) { s.tx.SendIdent(s.encoder.CodewordBuffer, "E", 40); }, false},
        {"RIC/CAP search",
         [](Station& s) {
             for (int code = 8; code <= 24; code += 8) {
                 s.sendPage(s.page(std::to_string(code), std::to_string(code)));
                 s.wait.DelayMs(s.gen.Duration() + 100);
             }
         },
         true},
        {"fast search",
         [](Station& s) {
             BuildFastSearch(s.encoder, 0);
             s.encoder.CodewordBuffer[s.encoder.LastSlot + 1] = EndMarker;
             s.tx.transmit(s.encoder.CodewordBuffer.from(SlotBuffer::FirstSlot));
         },
         false},
        {"auto send",
         [](Station& s) {
             const auto dir = autoSendFolder();
             {
                 std::ofstream file(dir / DefaultAutoSendFile, std::ios::binary | std::ios::trunc);
                 const char* ric = s.fault == Fault::RefusedPage ? "00012x4" : "0001234";
                 file << "11A2400N" << ric << "First\r\n11A2400N0004321Second\r\n";
             }
             PageParams pending;
             AutoSendActions actions;
             actions.apply = [&](const std::string& line) {
                 const EntryParse parsed = parsePageEntry(line);
                 if (!parsed.ok())
                     return false;
                 pending = toPageParams(parsed.entry);
                 return true;
             };
             actions.send = [&] { s.sendPage(pending); };
             actions.delayMs = [&](uint32_t ms) { s.wait.DelayMs(ms); };
             actions.suppressListSave = [](bool) {};
             actions.report = [](const std::string&) {};
             try {
                 runAutoSendPoll(dir.string(), "", "", 0, 1, actions);
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
void checkReleased(const Station& s, const std::string& run, bool expectKeying) {
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
                    Station s(fault, pin, inv);
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
                    } catch (const ConversionError&) {
                        escaped = "refused";
                    } catch (const std::exception& e) {
                        escaped = e.what();
                    }
                    // Faults that must reach the caller do, and nothing else escapes.
                    const bool refusedBeforeKeying =
                        fault == Fault::RefusedPage && path.buildsPages;
                    std::string expected;
                    if (fault == Fault::Signal || fault == Fault::SignalInKeyDelay)
                        expected = "interrupted";
                    else if (fault == Fault::AudioThrows)
                        expected = "sound server went away";
                    else if (refusedBeforeKeying)
                        expected = "refused";
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
    // A search whose window is closed during its first page: the later steps still run
    // (they unwind through the same code) but must neither key nor play.
    Station s(Fault::ProgramEnds, 3, false);
    for (int code = 8; code <= 40; code += 8)
        s.sendPage(s.page(std::to_string(code), "x"));
    EXPECT_EQ(s.output->plays, 1);
    const std::vector<uint8_t> v = s.port.values();
    ASSERT_GE(v.size(), 3u);
    EXPECT_EQ(std::count(v.begin(), v.end(), uint8_t{0x08}), 1) << "keyed again after the end";
    EXPECT_EQ(v.back(), 0x00);
}

TEST_F(KeyingSweep, ASignalStopsTheSoundBeforeTheRelease) {
    Station s(Fault::Signal, 0, true);
    bool stoppedBeforeRelease = false;
    s.interruptible.onInterrupt = [&](int signal) {
        EXPECT_EQ(signal, SIGTERM);
        s.gen.Stop();
        stoppedBeforeRelease = s.port.values().back() == keyByte(0, true, true);
    };
    EXPECT_THROW(s.sendPage(s.page("77", "signal")), Interrupted);
    EXPECT_TRUE(stoppedBeforeRelease);
    EXPECT_TRUE(s.gen.Stopped());
    EXPECT_EQ(s.port.values().back(), 0x01);
    EXPECT_EQ(ReleaseSignals::received(), SIGTERM);
}
