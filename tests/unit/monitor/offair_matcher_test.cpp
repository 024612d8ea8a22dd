// The off-air verdicts with time passed in by hand: windows from key-up to release plus the
// margin, what a decode must carry to confirm a page, foreign pages, and the alarm.
#include "monitor/offair_matcher.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace tarvex;

namespace {

struct Recorder : OffAirListener {
    std::vector<PageVerdict> verdicts;
    std::vector<HeardElsewhere> elsewhere;
    std::vector<AlarmEvent> alarms;
    void pageDecided(const PageVerdict& v) override { verdicts.push_back(v); }
    void heardElsewhere(const HeardElsewhere& h) override { elsewhere.push_back(h); }
    void alarmChanged(const AlarmEvent& a) override { alarms.push_back(a); }
};

PageRecord alpha(uint32_t ric, std::string text, int function = 3) {
    return PageRecord{ric, function, Coding::Alphanumeric, std::move(text), {}};
}
PageRecord numeric(uint32_t ric, std::string text, int function = 0) {
    return PageRecord{ric, function, Coding::Numeric, std::move(text), {}};
}
Decode decoded(uint32_t ric, int function, DecodeKind kind, std::string text) {
    return Decode{1200, ric, function, kind, std::move(text)};
}
/// Settings with the fields a test cares about.
MatcherSettings with(int marginMs, int latencyMs = 0, int alarmCount = 3,
                     int64_t maxKeyedMs = 600000) {
    MatcherSettings s;
    s.marginMs = marginMs;
    s.inputLatencyMs = latencyMs;
    s.alarmCount = alarmCount;
    s.maxKeyedMs = maxKeyedMs;
    return s;
}

TransmissionRecord keyed(uint64_t id, int64_t keyUp, std::vector<PageRecord> pages) {
    TransmissionRecord r;
    r.id = id;
    r.keyUpMs = keyUp;
    r.pages = std::move(pages);
    return r;
}

// decodeMatchesPage: what a decode must show for each kind of page.
struct MatchCase {
    const char* what;
    PageRecord page;
    Decode decode;
    const char* charset;
    bool matches;
};

TEST(OffAirMatch, ComparesTheWayTheDecoderShowsThePage) {
    const MatchCase cases[] = {
        {"alpha with padding", alpha(5, "Hello"),
         decoded(5, 3, DecodeKind::Alpha, "Hello<EOT><EOT>"), "", true},
        {"alpha, other text", alpha(5, "Hello"), decoded(5, 3, DecodeKind::Alpha, "Hellp<EOT>"), "",
         false},
        {"alpha, text cut short", alpha(5, "Hello"), decoded(5, 3, DecodeKind::Alpha, "Hell"), "",
         false},
        {"other RIC", alpha(5, "Hi"), decoded(6, 3, DecodeKind::Alpha, "Hi<EOT>"), "", false},
        {"other function bits", alpha(5, "Hi"), decoded(5, 2, DecodeKind::Alpha, "Hi<EOT>"), "",
         false},
        {"control codes by name", alpha(5, "a\nb\x13"),
         decoded(5, 3, DecodeKind::Alpha, "a<LF>b<CR><EOT>"), "", true},
        {"eighth bit is not sent", alpha(5, "\xC1"), decoded(5, 3, DecodeKind::Alpha, "A<EOT>"), "",
         true},
        {"German set", alpha(5, "Gr}~e [x]"), decoded(5, 3, DecodeKind::Alpha, "Grüße ÄxÜ<EOT>"),
         "DE", true},
        {"German bytes, plain decoder", alpha(5, "Gr}~e"),
         decoded(5, 3, DecodeKind::Alpha, "Gr}~e<EOT>"), "", true},
        {"set the decoder does not use", alpha(5, "Gr}~e"),
         decoded(5, 3, DecodeKind::Alpha, "Grüße<EOT>"), "", false},
        {"French set", alpha(5, "{t{ $5 @"), decoded(5, 3, DecodeKind::Alpha, "été £5 à<EOT>"),
         "fr", true},
        {"Slovenian keeps backslash", alpha(5, "\\^"), decoded(5, 3, DecodeKind::Alpha, "\\Č<EOT>"),
         "SI", true},
        {"numeric with fill", numeric(8, "123"), decoded(8, 0, DecodeKind::Numeric, "123  "), "",
         true},
        {"numeric specials", numeric(8, "-U[] :"), decoded(8, 0, DecodeKind::Numeric, "-5[]0."), "",
         true},
        {"numeric, alpha rendering", numeric(8, "123"), decoded(8, 0, DecodeKind::Alpha, "!<ACK>"),
         "", false},
        {"tone only", numeric(12, "", 2), decoded(12, 2, DecodeKind::ToneOnly, ""), "", true},
        {"tone only expected, message heard", numeric(12, "", 2),
         decoded(12, 2, DecodeKind::Numeric, "1"), "", false},
        {"empty alpha is an end code", alpha(99, "", 1),
         decoded(99, 1, DecodeKind::Alpha, "<EOT><EOT>"), "", true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(decodeMatchesPage(c.decode, c.page, c.charset), c.matches) << c.what;
}

TEST(OffAirMatch, DecoderBufferDropsNamesWhenFull) {
    // 250 control codes do not fit the decoder's 1023-byte line; it keeps plain characters.
    const std::string sent = "A" + std::string(250, '\x01') + "B";
    std::string shown = "A";
    for (int i = 0; i < 204; ++i)
        shown += "<SOH>";
    shown += "B";
    EXPECT_TRUE(decodeMatchesPage(decoded(5, 2, DecodeKind::Alpha, shown), alpha(5, sent, 2), ""));
}

// Windows: a decode confirms from key-up until release + margin + input latency.
struct WindowCase {
    const char* what;
    int64_t decodeAt;
    int latency;
    bool confirmed;
};

TEST(OffAirMatcher, ConfirmsOnlyInsideTheWindow) {
    const WindowCase cases[] = {
        {"before key-up", 999, 0, false},    {"while keyed", 1500, 0, true},
        {"at the margin", 3500, 0, true},    {"after the margin", 3501, 0, false},
        {"within latency", 3700, 300, true}, {"after latency", 3801, 300, false},
    };
    for (const auto& c : cases) {
        Recorder rec;
        OffAirMatcher m(rec, with(1500, c.latency));
        ASSERT_TRUE(m.expect(keyed(1, 1000, {alpha(77, "hi")})));
        m.released(1, 2000);
        m.decoded(decoded(77, 3, DecodeKind::Alpha, "hi<EOT>"), c.decodeAt);
        m.poll(10000);
        ASSERT_EQ(rec.verdicts.size(), 1u) << c.what;
        EXPECT_EQ(rec.verdicts[0].verdict == Verdict::Confirmed, c.confirmed) << c.what;
        if (c.confirmed) {
            EXPECT_EQ(rec.verdicts[0].sinceReleaseMs, c.decodeAt - 2000) << c.what;
        }
        // Our own page late or early is not another station's.
        EXPECT_EQ(rec.elsewhere.size(), c.decodeAt < 1000 ? 1u : 0u) << c.what;
    }
}

TEST(OffAirMatcher, NotHeardIsDecidedWhenTheWindowCloses) {
    Recorder rec;
    OffAirMatcher m(rec);
    m.expect(keyed(1, 0, {alpha(77, "hi")}));
    m.poll(5000);
    EXPECT_TRUE(rec.verdicts.empty()) << "no verdict before release";
    m.released(1, 5000);
    EXPECT_EQ(m.nextDeadline(), 6501);
    m.poll(6500);
    EXPECT_TRUE(rec.verdicts.empty());
    m.poll(6501);
    ASSERT_EQ(rec.verdicts.size(), 1u);
    EXPECT_EQ(rec.verdicts[0].verdict, Verdict::NotHeard);
    EXPECT_EQ(rec.verdicts[0].decidedMs, 6501);
}

TEST(OffAirMatcher, TwoPagesInOneTransmissionInEitherOrder) {
    Recorder rec;
    OffAirMatcher m(rec);
    m.expect(keyed(7, 0, {alpha(100, "first"), numeric(200, "42")}));
    m.decoded(decoded(200, 0, DecodeKind::Numeric, "42   "), 900);
    m.decoded(decoded(200, 0, DecodeKind::Alpha, "#<NUL>"), 900); // the other rendering
    m.released(7, 1000);
    m.decoded(decoded(100, 3, DecodeKind::Alpha, "first<EOT>"), 1200);
    m.poll(9000);
    ASSERT_EQ(rec.verdicts.size(), 2u);
    EXPECT_EQ(rec.verdicts[0].pageIndex, 1u);
    EXPECT_EQ(rec.verdicts[0].sinceReleaseMs, -100);
    EXPECT_EQ(rec.verdicts[1].pageIndex, 0u);
    for (const auto& v : rec.verdicts)
        EXPECT_EQ(v.verdict, Verdict::Confirmed);
    EXPECT_TRUE(rec.elsewhere.empty());
}

TEST(OffAirMatcher, GarbledTextIsNotHeardAndSaysWhatWasHeard) {
    Recorder rec;
    OffAirMatcher m(rec);
    m.expect(keyed(1, 0, {alpha(77, "hello")}));
    m.released(1, 1000);
    m.decoded(decoded(77, 3, DecodeKind::Alpha, "hel#o<EOT>"), 1100);
    m.poll(9000);
    ASSERT_EQ(rec.verdicts.size(), 1u);
    EXPECT_EQ(rec.verdicts[0].verdict, Verdict::NotHeard);
    EXPECT_TRUE(rec.verdicts[0].heardGarbled);
    EXPECT_EQ(rec.verdicts[0].heardText, "hel#o<EOT>");
    EXPECT_TRUE(rec.elsewhere.empty());
}

TEST(OffAirMatcher, ForeignPageIsReportedOnceWithBothRenderings) {
    Recorder rec;
    OffAirMatcher m(rec, with(1500));
    m.decoded(decoded(4242, 3, DecodeKind::Numeric, "6]-1"), 1000);
    m.decoded(decoded(4242, 3, DecodeKind::Alpha, "Hi<EOT>"), 1010);
    m.decoded(decoded(3, 0, DecodeKind::ToneOnly, ""), 1020); // idle artifact
    m.poll(1499);
    EXPECT_TRUE(rec.elsewhere.empty()) << "waits for the other rendering";
    m.poll(1500);
    ASSERT_EQ(rec.elsewhere.size(), 1u);
    EXPECT_EQ(rec.elsewhere[0].text(), "Hi<EOT>");
    EXPECT_EQ(rec.elsewhere[0].numericText, "6]-1");
    EXPECT_EQ(m.counts().ignored, 1u);
    // Function bits 0 are numeric by custom.
    m.decoded(decoded(4243, 0, DecodeKind::Numeric, "112"), 2000);
    m.decoded(decoded(4243, 0, DecodeKind::Alpha, "x"), 2000);
    m.poll(3000);
    ASSERT_EQ(rec.elsewhere.size(), 2u);
    EXPECT_EQ(rec.elsewhere[1].text(), "112");
    // Tone only: both decoders print the same line.
    m.decoded(decoded(4244, 1, DecodeKind::ToneOnly, ""), 4000);
    m.decoded(decoded(4244, 1, DecodeKind::ToneOnly, ""), 4001);
    m.poll(5000);
    ASSERT_EQ(rec.elsewhere.size(), 3u);
    EXPECT_TRUE(rec.elsewhere[2].toneOnly);
}

TEST(OffAirMatcher, OwnSignalMisreadIsNotAnotherStation) {
    Recorder rec;
    OffAirMatcher m(rec, with(1500));
    m.expect(keyed(1, 0, {alpha(77, "hi")}));
    // A decoder of another rate reading our bits while we are keyed (seen on a busy machine).
    m.decoded(Decode{2400, 1090080, 1, DecodeKind::Alpha, "22"}, 400);
    m.decoded(decoded(582920, 0, DecodeKind::Numeric, "[0090"), 600);
    m.released(1, 1000);
    m.decoded(decoded(77, 3, DecodeKind::Alpha, "hi<EOT>"), 900);
    m.decoded(decoded(5, 1, DecodeKind::Alpha, "x"), 1150); // the decoders' lag
    m.decoded(decoded(4242, 3, DecodeKind::Alpha, "a message"), 1200);
    m.decoded(decoded(336776, 2, DecodeKind::ToneOnly, ""), 1900); // noise after the release
    m.poll(9000);
    ASSERT_EQ(rec.elsewhere.size(), 1u) << "a decode with a message after the release counts";
    EXPECT_EQ(rec.elsewhere[0].ric, 4242u);
    EXPECT_EQ(rec.verdicts.at(0).verdict, Verdict::Confirmed);
    m.decoded(decoded(336776, 2, DecodeKind::ToneOnly, ""), 9500); // outside every window
    m.poll(20000);
    EXPECT_EQ(rec.elsewhere.size(), 2u);
}

TEST(OffAirMatcher, AlarmAfterNInARowClearedByTheNextConfirmation) {
    Recorder rec;
    OffAirMatcher m(rec, with(100, 0, 3));
    auto send = [&](uint64_t id, bool heard) {
        const int64_t t = static_cast<int64_t>(id) * 1000;
        m.expect(keyed(id, t, {alpha(static_cast<uint32_t>(id), "x")}));
        m.released(id, t + 500);
        if (heard)
            m.decoded(decoded(static_cast<uint32_t>(id), 3, DecodeKind::Alpha, "x<EOT>"), t + 550);
        m.poll(t + 700);
    };
    send(1, false);
    send(2, false);
    send(3, true); // breaks the run
    send(4, false);
    send(5, false);
    EXPECT_TRUE(rec.alarms.empty());
    send(6, false);
    ASSERT_EQ(rec.alarms.size(), 1u);
    EXPECT_TRUE(rec.alarms[0].raised);
    EXPECT_EQ(rec.alarms[0].consecutive, 3);
    ASSERT_EQ(rec.alarms[0].missed.size(), 3u);
    EXPECT_EQ(rec.alarms[0].missed.front().page.ric, 4u);
    send(7, false);
    EXPECT_EQ(rec.alarms.size(), 1u) << "raised once";
    EXPECT_TRUE(m.alarmRaised());
    send(8, true);
    ASSERT_EQ(rec.alarms.size(), 2u);
    EXPECT_FALSE(rec.alarms[1].raised);
    EXPECT_EQ(rec.alarms[1].clearedBy.page.ric, 8u);
    EXPECT_FALSE(m.alarmRaised());
}

TEST(OffAirMatcher, RefusesDuplicatesAndClosesForgottenTransmissions) {
    Recorder rec;
    OffAirMatcher m(rec, with(0, 0, 3, 60000));
    EXPECT_TRUE(m.expect(keyed(1, 0, {alpha(1, "a")})));
    std::string why;
    EXPECT_FALSE(m.expect(keyed(1, 10, {alpha(1, "a")}), &why));
    EXPECT_FALSE(why.empty());
    EXPECT_FALSE(m.released(99, 10));
    m.poll(60000);
    EXPECT_TRUE(rec.verdicts.empty());
    m.poll(60001); // never released: closed after maxKeyedMs
    ASSERT_EQ(rec.verdicts.size(), 1u);
    EXPECT_EQ(rec.verdicts[0].verdict, Verdict::NotHeard);
}

TEST(OffAirMatcher, TooManyOpenTransmissionsDecidesTheOldest) {
    Recorder rec;
    OffAirMatcher m(rec);
    for (uint64_t id = 0; id <= OffAirMatcher::MaxOpenTransmissions; ++id)
        m.expect(keyed(id, static_cast<int64_t>(id), {alpha(1, "a")}));
    ASSERT_EQ(rec.verdicts.size(), 1u);
    EXPECT_EQ(rec.verdicts[0].transmissionId, 0u);
    EXPECT_EQ(m.openTransmissions(), OffAirMatcher::MaxOpenTransmissions);
}

// A listener may key the next transmission from inside a verdict.
struct Rekeying : Recorder {
    OffAirMatcher* matcher = nullptr;
    void pageDecided(const PageVerdict& v) override {
        Recorder::pageDecided(v);
        if (v.transmissionId < 3)
            matcher->expect(keyed(v.transmissionId + 1, v.decidedMs, {alpha(1, "a")}));
    }
};

TEST(OffAirMatcher, ListenerMayCallBackIn) {
    Rekeying rec;
    OffAirMatcher m(rec, with(0, 0, 3, 10));
    rec.matcher = &m;
    m.expect(keyed(1, 0, {alpha(1, "a")}));
    for (int64_t t = 0; t < 100; t += 5)
        m.poll(t);
    EXPECT_EQ(rec.verdicts.size(), 3u);
}

} // namespace
