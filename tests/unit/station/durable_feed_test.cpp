// The page queue's bounds: a flood from one input fills only its own share, the whole queue
// has a ceiling, pages kept over a restart count, and a page that leaves frees its room.
#include "network/inputs/durable_feed.h"
#include "recording_output.h"
#include "station_fakes.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace tarvex;
using namespace tarvex::test;

namespace {

QueuedPage pageFrom(const std::string& source, std::size_t bytes = 10) {
    QueuedPage page;
    page.source = source;
    page.page.ric = "1234";
    page.page.message = std::string(bytes, 'x');
    return page;
}

/// A page queue of its own in a fresh folder, and an engine on a recording output.
struct FeedRig {
    explicit FeedRig(const std::string& name)
        : folder(std::filesystem::temp_directory_path() / name) {
        std::filesystem::remove_all(folder);
        std::filesystem::create_directories(folder);
        queue = DurableQueue::open((folder / "PageQueue.db").string(), &error);
    }
    ~FeedRig() {
        queue.reset();
        std::filesystem::remove_all(folder);
    }
    std::filesystem::path folder;
    StationRig rig{std::make_shared<RecordingOutput>()};
    std::string error;
    std::unique_ptr<DurableQueue> queue;
};

} // namespace

TEST(DurableFeedBounds, OneInputCannotCrowdOutTheRest) {
    FeedRig f("tarvex-feed-bounds");
    ASSERT_TRUE(f.queue) << f.error;
    auto& queue = f.queue;
    auto& rig = f.rig;
    std::string& error = f.error;
    DurableFeed::Bounds bounds{5, 1000, 3, 25};
    {
        DurableFeed feed(
            *queue, *rig.station, [](const std::string&) {}, 0);
        feed.setBounds(bounds);
        EXPECT_TRUE(feed.accept(pageFrom("snpp"), &error));
        EXPECT_TRUE(feed.accept(pageFrom("snpp"), &error));
        // Bytes per input: a third page of 10 bytes would pass 25.
        EXPECT_FALSE(feed.accept(pageFrom("snpp"), &error));
        EXPECT_EQ(error.rfind(PageQueueFull, 0), 0u) << error;
        EXPECT_NE(error.find("for snpp"), std::string::npos) << error;
        EXPECT_TRUE(feed.accept(pageFrom("wctp", 1), &error)) << "another input still has room";
        EXPECT_TRUE(feed.accept(pageFrom("wctp", 1), &error));
        EXPECT_TRUE(feed.accept(pageFrom("dapnet", 1), &error));
        // Five pages in all: the ceiling holds for every input.
        EXPECT_FALSE(feed.accept(pageFrom("control", 1), &error));
        EXPECT_EQ(queue->size(), 5u);
    }
    // After a restart the kept pages count; a page that leaves frees its room.
    DurableFeed again(
        *queue, *rig.station, [](const std::string&) {}, 0);
    again.setBounds(bounds);
    EXPECT_FALSE(again.accept(pageFrom("control", 1), &error));
    rig.station->addFeed(&again);
    rig.station->wake();
    rig.run(30000);
    EXPECT_EQ(queue->size(), 0u) << "the kept pages went out";
    EXPECT_TRUE(again.accept(pageFrom("snpp"), &error)) << error;
    rig.station->removeFeed(&again);
}

// A page is followed by its queue number: on the air (its pages carry the number to whoever
// watches the key-up) and to its end; a page the encoder refuses is told failed, with why.
TEST(DurableFeedFates, EachPageIsToldByItsNumber) {
    FeedRig f("tarvex-feed-fates");
    ASSERT_TRUE(f.queue) << f.error;
    auto& queue = f.queue;
    auto& rig = f.rig;
    std::string& error = f.error;
    DurableFeed feed(
        *queue, *rig.station, [](const std::string&) {}, 0);
    std::vector<std::string> told;
    feed.setFateHook([&](int64_t id, const char* fate, const std::string& why) {
        told.push_back(std::to_string(id) + " " + fate + (why.empty() ? "" : ": error"));
    });
    std::vector<int64_t> keyed;
    rig.station->subscribe([&](const StationEvent& e) {
        if (e.kind == StationEvent::Kind::KeyedUp && e.outcome != nullptr)
            for (const SentPage& page : e.outcome->pages)
                keyed.push_back(page.queueId);
    });
    QueuedPage bad = pageFrom("snpp");
    bad.page.ric = "x1";
    const auto good = feed.accept(pageFrom("snpp"), &error);
    const auto refused = feed.accept(bad, &error);
    ASSERT_TRUE(good && refused) << error;
    rig.station->addFeed(&feed);
    rig.station->wake();
    rig.run(30000);
    rig.station->removeFeed(&feed);
    EXPECT_EQ(keyed, std::vector<int64_t>{*good});
    const std::string g = std::to_string(*good), r = std::to_string(*refused);
    // (the refused page is found out while the transmission is built, before the key)
    EXPECT_EQ(told, (std::vector<std::string>{r + " failed: error", g + " on air", g + " sent"}));
}
