// The station engine under a random mix of everything that can happen to it, on the fake
// clock: pages from the window, the control socket, the auto-send file and the durable queue,
// idents, tune-ups, manual key-ups, time slots, STOP and resume at any moment, audio and
// keying failures, modal dialogs opened while on air, and the program ending. Whatever the mix, the
// transmitter is keyed only with its sound, nothing from other systems keys up during the hold
// after STOP, and every page taken ends sent, failed with its marker, returned to its file, or
// still queued.
#include "air_invariant.h"

#include "network/durable_queue.h"
#include "network/inputs/durable_feed.h"
#include "paging/auto_send_poll.h"
#include "station/auto_send_input.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <random>
#include <sstream>

using namespace tarvex;
using namespace tarvex::test;

namespace {

namespace fs = std::filesystem;

/// DAPNET-like slots: an allowed run of `runMs` in every `periodMs`.
struct TestSlots : SlotPlanner {
    int64_t runMs = 6400, periodMs = 25600;
    bool allowed(int64_t t) const { return t % periodMs < runMs; }
    int64_t remainingMs(int64_t t) override { return allowed(t) ? runMs - t % periodMs : 0; }
    std::optional<int64_t> nextRunStart(int64_t t) override { return t - t % periodMs + periodMs; }
    int64_t longestRunMs() override { return runMs; }
};

constexpr int64_t Epoch = 1'700'000'000'000; ///< Unix ms at the fake clock's 0

} // namespace

TEST(StationInvariant, RandomMixesKeepTheRules) {
    constexpr unsigned Seeds = 40;
    constexpr int StepsPerSeed = 150;
    int steps = 0;
    for (unsigned seed = 1; seed <= Seeds; ++seed) {
        const fs::path folder = fs::temp_directory_path() / ("tarvex-mix-" + std::to_string(seed));
        fs::remove_all(folder);
        fs::create_directories(folder);
        AirTimeline tl;
        auto output = std::make_shared<TimedOutput>(tl);
        auto port = std::make_shared<TimedPort>(tl);
        const FakeClock* fake = nullptr; // the slots are planned on the rig's fake time
        StationRig rig(output, nullptr, port, [&fake] { return Epoch + fake->now; });
        fake = &rig.clock;
        tl.clock = &rig.clock;
        Station& station = *rig.station;
        std::mt19937 rng(seed);
        const auto chance = [&](int percent) {
            return std::uniform_int_distribution<int>(0, 99)(rng) < percent;
        };

        std::string error;
        auto queue = DurableQueue::open((folder / "PageQueue.db").string(), &error);
        ASSERT_TRUE(queue) << error;
        DurableFeed feed(
            *queue, station, [](const std::string&) {}, 0, [&] { return Epoch + rig.clock.now; });
        TestSlots slots;
        const bool slotted = chance(30);
        if (slotted)
            station.setSlotPlanner(&slots);
        Station::Options options;
        options.logPages = true;
        options.dataFolder = folder.string() + "/";
        station.setOptions(options);
        station.setIdent({"TEST", 0, 10, false});
        AutoSendSettings autoSend;
        autoSend.enabled = true;
        autoSend.checkRateSeconds = 2;
        autoSend.autoDelaySeconds = std::uniform_int_distribution<int>(0, 3)(rng);
        autoSend.folder = folder.string() + "/";
        // Auto send is asked first, as in the station assembly.
        AutoSendInput autoInput(station, rig.scheduler, rig.clock);
        autoInput.setSettings(autoSend);
        station.addFeed(&feed);

        AirLimits limits;
        std::map<std::string, int> finishedCalls;
        std::vector<std::string> autoEntries, feedPages;
        uint32_t heldUntil = 0;
        bool held = false;
        int next = 0;
        const auto message = [&] { return "m" + std::to_string(next++) + "z"; };
        station.subscribe([&](const StationEvent& e) {
            if (e.kind != StationEvent::Kind::KeyedUp)
                return;
            const bool other = e.source == TxSource::AutoSend || e.source == TxSource::Network;
            if (other && held && static_cast<int32_t>(heldUntil - rig.clock.now) > 0)
                ADD_FAILURE() << "seed " << seed << ": " << sourceName(e.source)
                              << " keyed during the hold after STOP at " << rig.clock.now;
        });
        const auto windowPage = [&](TxSource source, bool queued) {
            PageJob job = pageJob("1234", message(), source);
            job.log = true;
            const std::string text = job.page.message;
            job.finished = [&finishedCalls, text](const TxOutcome&) { ++finishedCalls[text]; };
            const SendResult r =
                queued ? station.enqueue(std::move(job)) : station.sendPage(std::move(job));
            if (r != SendResult::Skipped)
                finishedCalls.emplace(text, 0);
        };

        // Each action runs at a pass of the event loop, inside whatever wait is going on.
        std::vector<std::function<void()>> actions = {
            [&] { windowPage(TxSource::Operator, false); },
            [&] { windowPage(TxSource::Preset, true); },
            [&] {
                const std::string text = message();
                autoEntries.push_back(text);
                std::ofstream(folder / DefaultAutoSendFile, std::ios::app)
                    << "11A1200N0000100" << text << "\r\n";
            },
            [&] {
                QueuedPage page;
                page.source = "snpp";
                page.page.ric = "2000";
                page.page.message = message();
                feedPages.push_back(page.page.message);
                std::string why;
                EXPECT_TRUE(feed.accept(page, &why)) << why;
            },
            [&] {
                held = true;
                heldUntil = rig.clock.now + Station::StopHoldMs;
                station.stop();
            },
            [&] {
                held = false;
                station.resume();
            },
            [&] {
                // A device that has gone can neither be opened nor played.
                const std::string gone = chance(50) ? "" : "device gone";
                output->failReadyWith(gone);
                output->failPlaysWith(gone);
            },
            [&] { output->failPlaysWith(chance(60) ? "" : "underrun"); },
            [&] {
                limits.keyingMayFail = true;
                port->failWith(chance(60) ? 0 : 5);
            },
            [&] {
                const bool on = !port->keyed && chance(50);
                station.setManualKey(on);
                if (on && port->keyed)
                    tl.add(AirTimeline::Event::Kind::ManualOn);
            },
            [&] { station.tuneUp(TuneJob{.seconds = 1}); },
            [&] { station.sendIdent(true); },
            [&] {
                // A modal dialog: an event loop of its own, nested in whatever wait runs.
                EventWait dialog(rig.clock, rig.pump);
                dialog.DelayMs(std::uniform_int_distribution<uint32_t>(0, 8000)(rng));
            },
        };
        const std::vector<int> weights = {14, 10, 16, 16, 6, 3, 4, 4, 3, 4, 3, 3, 5};
        std::discrete_distribution<std::size_t> pick(weights.begin(), weights.end());
        // Each action is a timer of the event loop at a random moment, so it runs inside
        // whatever wait is going on then (a page on air, a pause, a slot wait, idle).
        std::vector<std::unique_ptr<StationTimer>> due;
        for (int i = 0; i < StepsPerSeed; ++i, ++steps) {
            const std::size_t a = pick(rng);
            due.push_back(rig.scheduler.createTimer([&actions, a] { actions[a](); }, false));
            due.back()->start(std::uniform_int_distribution<uint32_t>(0, 3000)(rng));
            rig.run(std::uniform_int_distribution<uint32_t>(1, 3000)(rng));
        }
        // Let what is pending go, then the program ends (SIGTERM, the window closing).
        output->failReadyWith("");
        output->failPlaysWith("");
        rig.run(Station::StopHoldMs);
        station.close();

        for (const std::string& v : airViolations(tl, limits))
            ADD_FAILURE() << "seed " << seed << ": " << v;
        // In time slots every key-up begins and ends inside one allowed run.
        uint32_t keyedAt = 0;
        for (const auto& e : tl.events) {
            if (e.kind == AirTimeline::Event::Kind::Key)
                keyedAt = e.at;
            else if (slotted && e.kind == AirTimeline::Event::Kind::Release &&
                     e.at - keyedAt > slots.remainingMs(Epoch + keyedAt))
                ADD_FAILURE() << "seed " << seed << ": key-up at " << keyedAt << " left its slot";
        }
        for (const auto& [text, calls] : finishedCalls)
            EXPECT_EQ(calls, 1) << "seed " << seed << ": page " << text << " must end exactly once";
        // Unattended pages: each in the log (sent, or with its marker), back in its file, or
        // still in the page queue; never sent and kept, never sent twice.
        const std::string log = readFile(folder / "Tarvex-LOG.txt");
        const std::string back = readFile(folder / DefaultAutoSendFile) +
                                 readFile(folder / (std::string(DefaultAutoSendFile) + ".unsent"));
        std::string kept;
        for (const QueuedPage& page : queue->pending(100000, &error))
            kept += page.page.message + "\n";
        const auto ends = [&](const std::string& text, const std::string& where) {
            std::size_t sent = 0, lines = 0;
            std::istringstream in(log);
            for (std::string line; std::getline(in, line);) {
                if (line.find(" - " + text + " - ") == std::string::npos)
                    continue;
                ++lines;
                sent += line.find(" - stopped") == std::string::npos &&
                        line.find(" - not sent") == std::string::npos &&
                        line.find(" - keying failed") == std::string::npos;
            }
            const bool waiting = where.find(text) != std::string::npos;
            EXPECT_TRUE(lines > 0 || waiting) << "seed " << seed << ": page " << text << " lost";
            EXPECT_LE(sent + (waiting ? 1 : 0), 1u)
                << "seed " << seed << ": page " << text << " sent twice, or sent and kept";
        };
        for (const std::string& text : autoEntries)
            ends(text, back);
        for (const std::string& text : feedPages)
            ends(text, kept);
        fs::remove_all(folder);
    }
    std::cout << "[ mixes ] " << Seeds << " seeds, " << steps << " steps\n";
}
