// The pieces around the DAPNET session: splitting the byte stream into bounded lines, pager
// text, the reconnection back-off, the server option, the key file's permissions, the status
// line and the clock warning.
#include "network/dapnet/auth_key_file.h"
#include "network/dapnet/clock_sync.h"
#include "network/dapnet/dapnet_session.h"
#include "network/dapnet/dapnet_status.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <sys/stat.h>

using namespace tarvex;
namespace fs = std::filesystem;

namespace {

std::vector<LineSplitter::Line> split(LineSplitter& s, std::string_view bytes) {
    std::vector<LineSplitter::Line> out;
    s.feed(bytes, out);
    return out;
}

TEST(LineSplitter, LinesUpTo2048BytesAndNothingLonger) {
    LineSplitter s;
    auto lines = split(s, "2:00");
    EXPECT_TRUE(lines.empty());
    lines = split(s, "FF\r\n4:01\n\n#0");
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0].text, "2:00FF");
    EXPECT_EQ(lines[1].text, "4:01");
    EXPECT_EQ(lines[2].text, "");
    EXPECT_EQ(s.pending(), "#0");
    s.clear();

    const std::string atLimit(DapnetMaxLine, 'a');
    for (const std::string& ending : {std::string("\n"), std::string("\r\n")}) {
        lines = split(s, atLimit + ending);
        ASSERT_EQ(lines.size(), 1u);
        EXPECT_FALSE(lines[0].overlong);
        EXPECT_EQ(lines[0].text.size(), DapnetMaxLine);
    }
    // One byte more, in pieces: reported once, its first bytes kept, the next line intact.
    lines = split(s, "#12 " + std::string(DapnetMaxLine - 3, 'b'));
    EXPECT_TRUE(lines.empty());
    lines = split(s, std::string(100'000, 'c'));
    EXPECT_TRUE(s.pendingOverlong());
    EXPECT_LE(s.pending().size(), DapnetMaxLine + 1) << "memory stays bounded";
    lines = split(s, "c\r\n+\n");
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_TRUE(lines[0].overlong);
    EXPECT_EQ(lines[0].text, "#12 bbbbbbbbbbbb");
    EXPECT_FALSE(lines[1].overlong);
    EXPECT_EQ(lines[1].text, "+");
}

TEST(PagerText, SevenBitBytesGoThroughAndOthersAreReplaced) {
    const struct {
        std::string raw;
        std::string text;
        int replaced;
    } cases[] = {
        {"Gr{~e [x] |y| ~", "Gr{~e [x] |y| ~", 0}, // already the pager's German set
        {"\xC3\x84\xC3\x96\xC3\x9C\xC3\xA4\xC3\xB6\xC3\xBC\xC3\x9F", "[\\]{|}~", 0},
        {"caf\xC3\xA9!", "caf?!", 1},
        {"\xE2\x82\xAC 5", "? 5", 1},
        {"\xF0\x9F\x98\x80", "?", 1},
        {"a\xFF\xC3", "a??", 2},
        {"\xC3(", "?(", 1},
        {"tab\there", "tab\there", 0},
    };
    for (const auto& c : cases) {
        int replaced = -1;
        EXPECT_EQ(dapnetPagerText(c.raw, &replaced), c.text) << c.raw;
        EXPECT_EQ(replaced, c.replaced) << c.raw;
    }
}

TEST(Backoff, DoublesUpToTheMaximumAndStartsOver) {
    DapnetLinkTiming timing;
    DapnetBackoff b(timing);
    std::vector<int64_t> waits;
    for (int i = 0; i < 9; ++i)
        waits.push_back(b.next() / 1000);
    EXPECT_EQ(waits, (std::vector<int64_t>{5, 10, 20, 40, 80, 160, 300, 300, 300}));
    b.reset();
    EXPECT_EQ(b.next(), 5000);
    for (int i = 0; i < 1000; ++i)
        b.next();
    EXPECT_EQ(b.next(), 300'000) << "no overflow after many failures";
}

TEST(DapnetServerOption, HostAndPort) {
    const struct {
        const char* text;
        bool ok;
        const char* host;
        uint16_t port;
    } cases[] = {
        {"dapnet.afu.rwth-aachen.de:43434", true, "dapnet.afu.rwth-aachen.de", 43434},
        {"db0abc", true, "db0abc", DapnetDefaultPort},
        {"127.0.0.1:5000", true, "127.0.0.1", 5000},
        {"[::1]:5000", true, "::1", 5000},
        {"[::1]", true, "::1", DapnetDefaultPort},
        {"::1", true, "::1", DapnetDefaultPort},
        {"host:", false, "", 0},
        {"host:0", false, "", 0},
        {"host:65536", false, "", 0},
        {"host:12x", false, "", 0},
        {":43434", false, "", 0},
        {"", false, "", 0},
        {"ho st:1", false, "", 0},
        {"[::1:5", false, "", 0},
    };
    for (const auto& c : cases) {
        std::string host, error;
        uint16_t port = 0;
        EXPECT_EQ(parseDapnetServer(c.text, &host, &port, &error), c.ok) << c.text;
        if (c.ok) {
            EXPECT_EQ(host, c.host);
            EXPECT_EQ(port, c.port);
        } else {
            EXPECT_FALSE(error.empty()) << c.text;
        }
    }
}

class KeyFile : public ::testing::Test {
protected:
    void SetUp() override {
        m_dir = fs::temp_directory_path() /
                ("tarvex_dapnet_key_" +
                 std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::remove_all(m_dir);
    }
    void TearDown() override { fs::remove_all(m_dir); }
    std::string path(const char* name) const { return (m_dir / name).string(); }
    fs::path m_dir;
};

TEST_F(KeyFile, WrittenPrivateAndReadBack) {
    const mode_t old = ::umask(0); // a careless umask must not make the file readable
    std::string error;
    const bool written = writeAuthKeyFile(path("sub/DapnetAuthKey"), "s3cret", &error);
    ::umask(old);
    ASSERT_TRUE(written) << error;
    struct stat st {};
    ASSERT_EQ(::stat(path("sub/DapnetAuthKey").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    ASSERT_EQ(::stat(path("sub").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    EXPECT_EQ(readAuthKeyFile(path("sub/DapnetAuthKey"), &error), "s3cret");
    // Replacing keeps it private; no temporary file is left.
    ASSERT_TRUE(writeAuthKeyFile(path("sub/DapnetAuthKey"), "n3w", &error));
    EXPECT_EQ(readAuthKeyFile(path("sub/DapnetAuthKey"), &error), "n3w");
    EXPECT_EQ(std::distance(fs::directory_iterator(m_dir / "sub"), fs::directory_iterator()), 1);
    EXPECT_FALSE(writeAuthKeyFile(path("sub/DapnetAuthKey"), "bad key", &error));
    EXPECT_FALSE(error.empty());
}

TEST_F(KeyFile, RefusesFilesOthersCanReadAndKeysItCannotUse) {
    fs::create_directories(m_dir);
    const struct {
        const char* content;
        mode_t mode;
        bool ok;
        const char* message;
    } cases[] = {
        {"  s3cret \r\nsecond line\n", 0600, true, ""},
        {"s3cret\n", 0400, true, ""},
        {"s3cret\n", 0640, false, "chmod 600"},
        {"s3cret\n", 0604, false, "is open to other users (mode 0604)"},
        {"s3cret\n", 0602, false, "is open to other users (mode 0602)"},
        {"s3cret\n", 0620, false, "chmod 600"},
        {"\n", 0600, false, "holds no key"},
        {"s3 cret\n", 0600, false, "letters and digits"},
        {"", 0600, false, "holds no key"},
    };
    for (const auto& c : cases) {
        const std::string file = path("key");
        fs::remove(file);
        std::ofstream(file) << c.content;
        fs::permissions(file, static_cast<fs::perms>(c.mode));
        std::string error;
        const auto key = readAuthKeyFile(file, &error);
        EXPECT_EQ(key.has_value(), c.ok) << c.content << " " << error;
        if (c.ok) {
            EXPECT_EQ(*key, "s3cret");
        } else {
            EXPECT_NE(error.find(c.message), std::string::npos) << error;
            EXPECT_EQ(error.find("s3"), std::string::npos) << "the key is never quoted: " << error;
        }
    }
    std::string error;
    EXPECT_FALSE(readAuthKeyFile(path("missing"), &error));
    EXPECT_NE(error.find("No such file"), std::string::npos) << error;
    EXPECT_FALSE(readAuthKeyFile(m_dir.string(), &error));
    EXPECT_NE(error.find("not a regular file"), std::string::npos) << error;
    std::ofstream(path("big")) << std::string(AuthKeyFileLimit + 1, 'k');
    fs::permissions(path("big"), fs::perms::owner_read);
    EXPECT_FALSE(readAuthKeyFile(path("big"), &error));
    EXPECT_NE(error.find("too large"), std::string::npos) << error;
}

TEST_F(KeyFile, CommandLineOverrides) {
    std::string error;
    ASSERT_TRUE(writeAuthKeyFile(path("stored"), "st0red", &error)) << error;
    ASSERT_TRUE(writeAuthKeyFile(path("given"), "g1ven", &error)) << error;
    DapnetSettings stored;
    stored.host = "db0abc";
    stored.callsign = "dl1abc";
    const struct {
        const char* name;
        bool enabled;
        DapnetOverrides overrides;
        bool ok;
        const char* host;
        const char* callsign;
        const char* key;
    } cases[] = {
        {"off, nothing given: no key read", false, {}, true, "db0abc", "dl1abc", ""},
        {"on: the stored key", true, {}, true, "db0abc", "dl1abc", "st0red"},
        {"--dapnet turns it on",
         false,
         {"127.0.0.1:4000", std::nullopt, std::nullopt},
         true,
         "127.0.0.1",
         "dl1abc",
         "st0red"},
        {"all three", false, {"h:1", "db0xyz", path("given")}, true, "h", "db0xyz", "g1ven"},
        {"bad server", false, {"h:x", std::nullopt, std::nullopt}, false, "", "", ""},
        {"missing key file", true, {std::nullopt, std::nullopt, path("none")}, false, "", "", ""},
    };
    for (const auto& c : cases) {
        DapnetSettings s = stored;
        s.enabled = c.enabled;
        EXPECT_EQ(applyDapnetOverrides(s, c.overrides, path("stored"), &error), c.ok) << c.name;
        if (!c.ok)
            continue;
        EXPECT_EQ(s.host, c.host) << c.name;
        EXPECT_EQ(s.callsign, c.callsign) << c.name;
        EXPECT_EQ(s.authKey, c.key) << c.name;
    }
}

TEST(DapnetStatus, StatusLineAndNextSlot) {
    constexpr int64_t cycle = 1'700'000'000'000 + 8 * TimeSlots::SlotMs; // slot 0
    DapnetLinkStatus s;
    EXPECT_EQ(dapnetStatusLine(s, 0, cycle), "DAPNET off");
    s.state = DapnetLinkState::Online;
    s.server = "db0abc:43434";
    s.callsign = "dl1abc";
    s.allowedSlots = *TimeSlots::parse("23");
    s.slotsAssigned = true;
    s.pagesReceived = 12;
    EXPECT_EQ(dapnetStatusLine(s, 2, cycle + 100),
              "DAPNET online (db0abc:43434 as dl1abc) · slots 23 · 12 received · 2 waiting for "
              "a slot · next slot 2 in 12.7 s");
    EXPECT_EQ(describeNextSlot(s.allowedSlots, cycle + 2 * TimeSlots::SlotMs + 3300),
              "slot 2 now, 9.5 s left");
    s.state = DapnetLinkState::Refused;
    s.refusal = "Invalid credentials";
    s.nextAttemptMs = cycle + 20'000;
    EXPECT_EQ(dapnetStatusLine(s, 0, cycle).substr(0, 84),
              "DAPNET refused (db0abc:43434 as dl1abc): Invalid credentials, next attempt in 20.0 "
              "s");
    EXPECT_EQ(describeNextSlot(TimeSlots(), cycle), "any time");
    EXPECT_EQ(describeNextSlot(TimeSlots(0), cycle), "no slot allowed");
}

TEST(DapnetStatus, SettingsProblems) {
    DapnetSettings s;
    s.enabled = true;
    s.host = "db0abc";
    s.callsign = "dl1abc";
    s.authKey = "s3cret";
    EXPECT_EQ(dapnetSettingsProblem(s), "");
    s.authKey.clear();
    EXPECT_NE(dapnetSettingsProblem(s), "");
    s.authKey = "s3cret";
    s.host.clear();
    EXPECT_NE(dapnetSettingsProblem(s), "");
}

TEST(ClockSync, WarnsUnlessSynchronised) {
    EXPECT_EQ(clockSyncWarning({ClockSyncState::Kind::Synchronised, "estimated error 1 ms"}), "");
    EXPECT_NE(
        clockSyncWarning({ClockSyncState::Kind::Unsynchronised, "x"}).find("not synchronised"),
        std::string::npos);
    EXPECT_NE(clockSyncWarning({ClockSyncState::Kind::Unknown, "x"}).find("not known"),
              std::string::npos);
#if defined(__linux__)
    // Reading needs no privilege; the answer depends on the machine.
    EXPECT_NE(systemClockSync().kind, ClockSyncState::Kind::Unknown);
#endif
}

} // namespace
