// The DAPNET link against the stand-in server: handshake and time sync, a refused login and
// its back-off, slot changes mid-session, a burst of pages, ':' in text and the line limit,
// sequence numbers past FF, a link dropped mid-page or right after one, a silent server,
// garbage and over-long lines, and a queue that fails. The link runs on its own thread and
// hands its pages to the page intake, as in the station. In every case the pages the server
// saw acknowledged are exactly those the sink took, once each and in order, and no log line
// holds the key.
#include "network/dapnet/dapnet_link.h"
#include "network/intake/page_intake.h"
#include "standin_harness.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>

#include <memory>
#include <mutex>
#include <string>
#include <vector>

using namespace tarvex;
using namespace tarvex::test;
using Texts = std::vector<std::string>;

namespace {

constexpr char Key[] = "s3cretKey42";

QJsonObject scenario(const char* json) {
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(QByteArray(json), &error);
    EXPECT_EQ(error.error, QJsonParseError::NoError) << json;
    return doc.object();
}

Texts texts(const QJsonValue& list, const char* field = "text") {
    Texts out;
    for (const QJsonValue& v : list.toArray())
        out.push_back(v.toObject().value(field).toString().toStdString());
    return out;
}

class Link : public ::testing::Test {
protected:
    void SetUp() override {
        m_link = std::make_unique<DapnetLink>(m_intake, m_logger);
        DapnetLinkTiming timing;
        timing.silenceTimeoutMs = 1500;
        timing.connectTimeoutMs = 3000;
        timing.firstBackoffMs = 200;
        timing.maxBackoffMs = 1600;
        m_link->setTiming(timing);
        m_link->setClockCheck([] {
            return ClockSyncState{ClockSyncState::Kind::Synchronised, ""};
        });
        // On the link's thread: the slots as each new assignment came, and each new state.
        m_link->setOnChange([this] {
            const DapnetLinkStatus status = m_link->status();
            const std::lock_guard lock(m_mutex);
            if (status.slotsAssigned &&
                (m_masks.empty() || m_masks.back() != status.allowedSlots.mask()))
                m_masks.push_back(status.allowedSlots.mask());
            if (m_states.empty() || m_states.back() != status.state)
                m_states.push_back(status.state);
        });
    }
    void TearDown() override {
        m_link->stop();
        for (const std::string& line : log())
            EXPECT_EQ(line.find(Key), std::string::npos) << "key in the log: " << line;
    }
    /// Plays the scenario (credentials dl1abc / Key unless it says otherwise) to its end.
    QJsonObject play(QJsonObject plan, int timeoutMs = 20'000) {
        if (!plan.contains("key"))
            plan["key"] = Key;
        if (!m_server.start(plan)) {
            ADD_FAILURE() << m_server.error();
            return {};
        }
        DapnetSettings settings;
        settings.enabled = true;
        settings.host = "127.0.0.1";
        settings.port = m_server.port();
        settings.callsign = "dl1abc";
        settings.authKey = Key;
        EXPECT_EQ(m_link->apply(settings), "");
        EXPECT_TRUE(m_server.waitFinished(timeoutMs)) << "the scenario did not finish";
        const QJsonObject report = m_server.report();
        EXPECT_TRUE(report.value("errors").toArray().isEmpty())
            << QJsonDocument(report.value("errors").toArray()).toJson().toStdString();
        // Acknowledged exactly what the queue took, in the same order.
        EXPECT_EQ(texts(report.value("acked")), sinkTexts());
        return report;
    }
    Texts sinkTexts() const {
        Texts out;
        for (const QueuedPage& p : m_sink.pages())
            out.push_back(p.page.message);
        return out;
    }
    std::vector<std::string> log() const {
        const std::lock_guard lock(m_mutex);
        return m_log;
    }
    bool logHas(const std::string& part) const {
        for (const std::string& line : log())
            if (line.find(part) != std::string::npos)
                return true;
        return false;
    }
    template <typename T> T locked(const T& value) const {
        const std::lock_guard lock(m_mutex);
        return value;
    }

    mutable std::mutex m_mutex; ///< what the link's thread writes below
    std::vector<std::string> m_log;
    std::vector<quint16> m_masks;
    std::vector<DapnetLinkState> m_states;
    ServiceLogger m_logger{[this](const std::string& line) {
        const std::lock_guard lock(m_mutex);
        m_log.push_back(line);
    }};
    RecordingSink m_sink;
    DirectoryWatch m_directory{"/nonexistent/Pagers.txt", {}};
    PageIntake m_intake{m_directory, m_sink, InboundLimits{}, m_logger};
    StandInServer m_server;
    std::unique_ptr<DapnetLink> m_link;
};

TEST_F(Link, HandshakeTimeSyncAndAPage) {
    m_link->setClockCheck([] {
        return ClockSyncState{ClockSyncState::Kind::Unsynchronised, "test"};
    });
    const QJsonObject report = play(scenario(R"({"correction": "-0012", "connections": [
        {"steps": [{"page": {"type": 5, "speed": 2, "ric": 2504, "func": 0,
                             "text": "123456   091224"}}]}]})"));
    const QJsonObject login = report.value("logins").toArray().at(0).toObject();
    EXPECT_EQ(login.value("name").toString(), "Tarvex");
    EXPECT_EQ(login.value("version").toString(), TARVEX_PROJECT_VERSION);
    EXPECT_EQ(login.value("callsign").toString(), "dl1abc");
    EXPECT_EQ(report.value("sync_answers").toInt(), 5);
    EXPECT_EQ(report.value("slots_acked").toInt(), 1);
    const std::vector<QueuedPage> pages = m_sink.pages();
    ASSERT_EQ(pages.size(), 1u);
    const QueuedPage& page = pages[0];
    EXPECT_EQ(page.source, "dapnet");
    EXPECT_EQ(page.recipient, "2504");
    EXPECT_EQ(page.page.ric, "2504");
    EXPECT_EQ(page.page.coding, Coding::Numeric);
    EXPECT_EQ(page.page.baud, 2400);
    EXPECT_EQ(page.page.functionBits, 0);
    EXPECT_GT(page.acceptedAtMs, 0);
    EXPECT_EQ(m_link->status().pagesReceived, 1u);
    EXPECT_EQ(m_link->allowedSlots().text(), "0246AC");
    EXPECT_TRUE(m_link->status().slotsAssigned);
    EXPECT_EQ(m_link->status().lastCorrectionTenths, -18);
    EXPECT_TRUE(logHas("time correction -1.8 s"));
    EXPECT_TRUE(logHas("logged in to 127.0.0.1:"));
    EXPECT_TRUE(logHas("The system clock is not synchronised (test)"));
    EXPECT_NE(dapnetStatusLine(m_link->status(), 0, 0).find("clock not synchronised"),
              std::string::npos);
    const std::vector<DapnetLinkState> states = locked(m_states);
    ASSERT_GE(states.size(), 4u);
    const std::vector<DapnetLinkState> seen(states.begin(), states.begin() + 4);
    EXPECT_EQ(seen,
              (std::vector<DapnetLinkState>{DapnetLinkState::Connecting, DapnetLinkState::LoggingIn,
                                            DapnetLinkState::Online, DapnetLinkState::BackingOff}));
}

TEST_F(Link, ARefusedLoginIsReportedAndBacksOff) {
    const QJsonObject report = play(scenario(R"({"key": "otherKey", "connections": [
        {}, {}, {"refuse": "Transmitter disabled", "refusal_without_newline": true},
        {"refuse": "login refused for key s3cretKey42"}]})"));
    const QJsonArray connections = report.value("connections").toArray();
    ASSERT_EQ(connections.size(), 4);
    std::vector<double> gaps;
    for (int i = 1; i < connections.size(); ++i)
        gaps.push_back(connections[i].toObject().value("start").toDouble() -
                       connections[i - 1].toObject().value("start").toDouble());
    // Waits of 0.2 s, 0.4 s, 0.8 s: each about twice the one before, none a spin.
    EXPECT_GE(gaps[0], 0.19);
    EXPECT_GT(gaps[1], gaps[0] * 1.5);
    EXPECT_GT(gaps[2], gaps[1] * 1.5);
    EXPECT_TRUE(logHas("the server refused the login: Invalid credentials"));
    EXPECT_TRUE(logHas("the server refused the login: Transmitter disabled"));
    EXPECT_EQ(m_link->status().state, DapnetLinkState::Refused);
    // The status shows a refusal as the log does: with the key hidden.
    EXPECT_EQ(m_link->status().refusal, "login refused for key [key]");
    EXPECT_EQ(m_link->status().lastError, "refused: login refused for key [key]");
    EXPECT_GT(m_link->status().nextAttemptMs, 0);
    EXPECT_TRUE(m_sink.pages().empty());
}

TEST_F(Link, SlotChangesMidSession) {
    play(scenario(R"({"connections": [{"steps": [
        {"page": {"text": "A"}}, {"slots": "13"}, {"page": {"text": "B"}}, {"slots": "F0"}]}]})"));
    EXPECT_EQ(locked(m_masks), (std::vector<quint16>{0x1455, 0x000A, 0x8001}));
    EXPECT_EQ(m_link->allowedSlots().text(), "0F");
    EXPECT_EQ(sinkTexts(), (Texts{"A", "B"}));
}

TEST_F(Link, ABurstOf40PagesArrivesOnceInOrder) {
    const QJsonObject report = play(scenario(R"({"connections": [{"steps": [{"burst": 40}]}]})"));
    Texts want;
    for (int i = 0; i < 40; ++i)
        want.push_back((i < 10 ? "burst 0" : "burst ") + std::to_string(i));
    EXPECT_EQ(sinkTexts(), want);
    const std::vector<QueuedPage> pages = m_sink.pages();
    ASSERT_EQ(pages.size(), 40u);
    for (int i = 0; i < 40; ++i)
        EXPECT_EQ(pages[static_cast<size_t>(i)].page.ric, std::to_string(1000 + i));
    EXPECT_EQ(report.value("connections").toArray().size(), 1);
}

TEST_F(Link, ColonsTheLineLimitAndBeyond) {
    // "#01 6:1:9C8:3:" is 14 bytes: 2034 more make a line of exactly 2048.
    const std::string atLimit(2034, 'L');
    QJsonObject plan = scenario(R"({"connections": [{"steps": [
        {"page": {"text": "a:b::c: 1:2"}}, {"page": {"text": "LIMIT"}},
        {"overlong": 2049, "as_page": true}, {"page": {"text": "after"}}]}]})");
    QJsonArray connections = plan["connections"].toArray();
    QJsonObject first = connections[0].toObject();
    QJsonArray steps = first["steps"].toArray();
    steps[1] = QJsonObject{{"page", QJsonObject{{"text", QString::fromStdString(atLimit)}}}};
    first["steps"] = steps;
    connections[0] = first;
    plan["connections"] = connections;
    const QJsonObject report = play(plan);
    // The line at the limit is read whole, and refused as a page no pager could be sent
    // (2034 characters); the one beyond the limit is refused unread.
    EXPECT_EQ(sinkTexts(), (Texts{"a:b::c: 1:2", "after"}));
    EXPECT_EQ(report.value("answers_to_overlong").toArray().at(0).toString(), "#02 -");
    EXPECT_EQ(m_link->status().pagesRefused, 2u);
}

TEST_F(Link, SequenceNumbersWrapAfterFF) {
    const QJsonObject report = play(scenario(R"({"connections": [{"seq_start": 252, "steps": [
        {"pages": [{"text": "1"}, {"text": "2"}, {"text": "3"}, {"text": "4"},
                   {"text": "5"}, {"text": "6"}]}]}]})"));
    Texts seqs;
    for (const QJsonValue& v : report.value("acked").toArray())
        seqs.push_back(std::to_string(v.toObject().value("seq").toInt()));
    EXPECT_EQ(seqs, (Texts{"252", "253", "254", "255", "0", "1"}));
    EXPECT_EQ(sinkTexts(), (Texts{"1", "2", "3", "4", "5", "6"}));
}

TEST_F(Link, ADroppedLinkLosesNoPageAndQueuesNoneTwice) {
    // B is cut in half by the drop; D is taken but its acknowledgement is lost. The server
    // sends each again first on the next connection.
    const QJsonObject report = play(scenario(R"({"connections": [
        {"steps": [{"page": {"text": "A"}}, {"drop_mid_page": {"text": "B"}}]},
        {"steps": [{"page": {"text": "C"}}, {"drop_after_page": {"text": "D"}}]},
        {"steps": [{"page": {"text": "E"}}]}]})"));
    EXPECT_EQ(sinkTexts(), (Texts{"A", "B", "C", "D", "E"}));
    EXPECT_EQ(report.value("connections").toArray().size(), 3);
    EXPECT_EQ(m_link->status().duplicates, 1u);
    EXPECT_TRUE(logHas("unfinished line dropped"));
    EXPECT_TRUE(logHas("already queued"));
}

TEST_F(Link, ASilentServerIsLeftAfterTheSilenceTimeout) {
    const QJsonObject report = play(scenario(R"({"connections": [
        {"steps": [{"page": {"text": "A"}}, {"silent": true, "limit": 15}]},
        {"steps": [{"page": {"text": "B"}}]}]})"));
    const double after = report.value("connections")
                             .toArray()
                             .at(0)
                             .toObject()
                             .value("closed_by_client_after")
                             .toDouble();
    EXPECT_GE(after, 1.3);
    EXPECT_LT(after, 4.0);
    EXPECT_TRUE(logHas("no line from the server for 1.5 s"));
    EXPECT_EQ(sinkTexts(), (Texts{"A", "B"}));
}

TEST_F(Link, GarbageAndOverlongLinesDoNotBreakTheLink) {
    const std::string echo = std::string("[Tarvex v3.0.0 dl1abc ") + Key + "]";
    QJsonObject plan = scenario(R"({"connections": [{"steps": [
        {"send": ["hello", "+", "9:x", "#ZZ nope", "2:12345", "4:XYZ", "-"]},
        {"send_bytes": "00ff0d0a"}, {"overlong": 5000}, {"page": {"text": "A"}},
        {"send": ["ECHO"]}, {"page": {"text": "B"}}]}]})");
    QByteArray json = QJsonDocument(plan).toJson();
    json.replace("ECHO", QByteArray::fromStdString(echo));
    const QJsonObject report = play(QJsonDocument::fromJson(json).object());
    EXPECT_EQ(sinkTexts(), (Texts{"A", "B"}));
    EXPECT_EQ(report.value("connections").toArray().size(), 1) << "the link stayed up";
    EXPECT_TRUE(logHas("unexpected line from the server ignored: hello"));
    EXPECT_TRUE(logHas("line longer than 2048 bytes ignored"));
    EXPECT_TRUE(logHas("[key]")) << "the echoed login line is logged without the key";
}

TEST_F(Link, APageTheQueueCannotTakeIsAskedForAgain) {
    m_sink.failText("retry me", 1);
    m_sink.failText("never", 99);
    const QJsonObject report = play(scenario(R"({"connections": [{"steps": [
        {"page": {"text": "retry me"}}, {"page": {"text": "never"}}, {"page": {"text": "fine"}}]}]})"));
    EXPECT_EQ(sinkTexts(), (Texts{"retry me", "fine"}));
    // Once for the first, five tries for the one the queue never takes; the server gives up.
    EXPECT_EQ(texts(report.value("retried")),
              (Texts{"retry me", "never", "never", "never", "never", "never"}));
    EXPECT_EQ(m_sink.refusals(), 6);
    EXPECT_TRUE(logHas("could not be queued (the queue is full (test))"));
}

TEST_F(Link, UnusableSettingsKeepItOff) {
    DapnetSettings settings;
    settings.enabled = true;
    settings.host = "127.0.0.1";
    settings.callsign = "dl1abc";
    settings.authKey = "bad key";
    EXPECT_NE(m_link->apply(settings), "");
    EXPECT_EQ(m_link->status().state, DapnetLinkState::Off);
    EXPECT_FALSE(m_link->status().lastError.empty());
    settings.enabled = false;
    settings.authKey = Key;
    EXPECT_EQ(m_link->apply(settings), "");
    EXPECT_EQ(m_link->status().state, DapnetLinkState::Off);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
