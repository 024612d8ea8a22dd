// The engine's searches on a fake clock: a RIC/CAP search sends exactly its range, one page
// per code with the gap after each on a timer, STOP ends it with nothing more keyed, a code
// that meets the ident on air goes after it, one that does not go out ends the search, and
// fast-search blocks stop at the stop value.
#include "recording_output.h"
#include "station_fakes.h"

#include <gtest/gtest.h>

using namespace tarvex;
using namespace tarvex::test;

namespace {

struct SearchTest : ::testing::Test {
    std::shared_ptr<RecordingOutput> output = std::make_shared<RecordingOutput>();
    StationRig rig{output};
    Station& station = *rig.station;
    std::vector<TxOutcome> ended;
    std::vector<uint32_t> keyedAt;
    std::vector<SearchState> progress;
    std::optional<SearchState> end;

    SearchTest() {
        station.subscribe([this](const StationEvent& e) {
            if (e.kind == StationEvent::Kind::Ended)
                ended.push_back(*e.outcome);
            if (e.kind == StationEvent::Kind::KeyedUp)
                keyedAt.push_back(rig.clock.now);
            if (e.kind == StationEvent::Kind::SearchProgress)
                progress.push_back(*e.search);
            if (e.kind == StationEvent::Kind::SearchEnded)
                end = *e.search;
        });
    }
    static SearchJob codes(int64_t from, int64_t to) {
        SearchJob job;
        job.from = from;
        job.to = to;
        return job;
    }
    std::string rics() const {
        std::string out;
        for (const TxOutcome& o : ended)
            out += (out.empty() ? "" : " ") + o.ric + (o.ric == o.message ? "" : "!");
        return out;
    }
};

TEST_F(SearchTest, RicSearchSendsExactlyItsRangeWithTheGapOnATimer) {
    SearchJob job = codes(100, 105);
    job.fromText = "100"; // the first code as typed, the rest as seven digits
    ASSERT_TRUE(station.startSearch(job));
    EXPECT_TRUE(ended.empty()) << "the search must not run inside startSearch";
    ASSERT_TRUE(station.status().search);
    rig.run(60000);
    EXPECT_EQ(rics(), "100 0000101 0000102 0000103 0000104 0000105");
    ASSERT_TRUE(end);
    EXPECT_EQ(end->end, SearchEnd::Done);
    EXPECT_EQ(end->sent, 6);
    EXPECT_EQ(end->nextText, "0000106");
    EXPECT_FALSE(station.status().search.has_value());
    EXPECT_FALSE(station.status().search);
    for (const TxOutcome& o : ended)
        EXPECT_EQ(o.source, TxSource::Search);
    // Each code waits for the one before: its Duration and 100 ms after its release.
    ASSERT_EQ(keyedAt.size(), 6u);
    for (std::size_t i = 1; i < ended.size(); ++i)
        EXPECT_GE(keyedAt[i], ended[i - 1].releasedAtMs + ended[i - 1].durationMs + 100);
    EXPECT_EQ(rig.port->values().size(), 12u); // six key-ups, each released
}

TEST_F(SearchTest, StopEndsTheSearchAtOnceAndTheCodeCutShortIsNotCounted) {
    ASSERT_TRUE(station.startSearch(codes(0, 2097151)));
    rig.jumping.onPass = [this] {
        if (ended.size() == 1 && station.state() == OnAirState::OnAir)
            station.stop();
    };
    rig.run(60000);
    ASSERT_TRUE(end);
    EXPECT_EQ(end->end, SearchEnd::Stopped);
    EXPECT_EQ(end->sent, 1);
    EXPECT_EQ(end->nextText, "0000001"); // the code cut short goes first next time
    ASSERT_EQ(ended.size(), 2u);
    EXPECT_TRUE(ended[1].stopped);
    EXPECT_EQ(rig.port->values(), (std::vector<uint8_t>{1, 0, 1, 0})) << "nothing keyed after";

    // Cancel between codes ends a search at once too; close ends one that runs.
    end.reset();
    ASSERT_TRUE(station.startSearch(codes(10, 20)));
    rig.jumping.onPass = nullptr;
    for (const std::size_t before = ended.size(); ended.size() == before;)
        rig.run(10); // the first code goes; the search waits out its gap
    station.cancelSearch();
    ASSERT_TRUE(end);
    EXPECT_EQ(end->end, SearchEnd::Cancelled);
    ASSERT_TRUE(station.startSearch(codes(10, 20)));
    station.close();
    EXPECT_EQ(end->end, SearchEnd::Closing);
    EXPECT_FALSE(station.status().search.has_value());
}

TEST_F(SearchTest, ACodeThatDoesNotGoOutEndsTheSearch) {
    // A sound output that fails, then a keying line that fails: each search ends at its first
    // code, saying why, instead of running through the range sending nothing.
    for (const bool keying : {false, true}) {
        end.reset();
        ended.clear();
        output->failPlaysWith(keying ? "" : "device gone");
        if (keying)
            rig.port->failWith(5);
        ASSERT_TRUE(station.startSearch(codes(10, 20)));
        rig.run(60000);
        ASSERT_TRUE(end) << keying;
        EXPECT_EQ(end->end, SearchEnd::Failed);
        EXPECT_EQ(ended.size(), 1u) << keying;
        EXPECT_EQ(end->error.rfind(
                      keying ? "the transmitter could not be keyed: " : "not sent: device gone", 0),
                  0u)
            << end->error;
    }
}

TEST_F(SearchTest, ACodeThatMeetsTheIdentOnAirGoesAfterIt) {
    IdentSettings ident;
    ident.callsign = "GX";
    station.setIdent(ident);
    bool started = false;
    rig.jumping.onPass = [&] {
        if (!started && station.status().identInProgress) {
            started = true;
            EXPECT_TRUE(station.startSearch(codes(7, 8)));
        }
    };
    ASSERT_TRUE(station.sendIdent(true));
    rig.run(60000);
    ASSERT_TRUE(started);
    ASSERT_EQ(ended.size(), 3u);
    EXPECT_EQ(ended[0].kind, TxKind::Ident);
    EXPECT_EQ(ended[1].ric + " " + ended[2].ric, "0000007 0000008");
    EXPECT_EQ(end->end, SearchEnd::Done);
}

TEST_F(SearchTest, FastSearchStopsAtItsStopValueAndRangesAreBounded) {
    SearchJob job;
    job.fast = true;
    job.from = 1000;
    job.to = 2000;
    ASSERT_TRUE(station.startSearch(job));
    rig.run(120000);
    ASSERT_EQ(ended.size(), 4u);
    for (const TxOutcome& o : ended)
        EXPECT_EQ(o.kind, TxKind::FastSearch);
    EXPECT_EQ(end->sent, 4);
    EXPECT_EQ(end->next, 2024);
    EXPECT_EQ(progress.back().lastDurationMs, ended.back().durationMs);

    // A stop value lowered while the search runs ends it there.
    ended.clear();
    job.to = 100000;
    ASSERT_TRUE(station.startSearch(job));
    rig.jumping.onPass = [&] {
        if (ended.size() == 1)
            station.setSearchEnd(1200);
    };
    rig.run(120000);
    rig.jumping.onPass = nullptr;
    EXPECT_EQ(ended.size(), 1u);
    EXPECT_EQ(end->end, SearchEnd::Done);
    EXPECT_FALSE(station.setSearchEnd(5000)) << "no search runs";

    std::string why;
    EXPECT_FALSE(station.startSearch(codes(6, 5), &why));
    EXPECT_EQ(why, "the first code is above the last");
    EXPECT_FALSE(station.startSearch(codes(0, 2097152), &why));
    EXPECT_EQ(why, "search codes run from 0 to 2097151");
    ASSERT_TRUE(station.startSearch(codes(0, 1)));
    EXPECT_FALSE(station.startSearch(codes(0, 1), &why));
    EXPECT_EQ(why, "a search is already running");
}

} // namespace
