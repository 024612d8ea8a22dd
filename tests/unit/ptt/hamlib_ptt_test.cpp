// Rig CAT keying: for real against hamlib's dummy rig (PTT set, then read back with
// rig_get_ptt), and through scripted hamlib calls for the order of calls and the failures.
#include "fake_posix_io.h"
#include "txcontrol/ptt/hamlib_ptt.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace tarvex;
using tarvex::test::StationLine;

namespace {

TEST(HamlibDummyRig, KeyingIsReadBackFromTheRig) {
    auto line = std::make_unique<HamlibPtt>(HamlibDummyRig, "", 0);
    HamlibPtt* rig = line.get();
    StationLine ptt(std::move(line), nullptr);
    ASSERT_TRUE(ptt.lastStatus().success) << ptt.lastStatus().text;
    EXPECT_EQ(rig->readBack(), false);
    EXPECT_TRUE(ptt.key());
    EXPECT_EQ(rig->readBack(), true);
    EXPECT_TRUE(ptt.release());
    EXPECT_EQ(rig->readBack(), false);
}

TEST(HamlibDummyRig, InvertedReleaseLeavesPttOnAndDeviceAndSpeedAreAccepted) {
    auto line = std::make_unique<HamlibPtt>(HamlibDummyRig, "/dev/null", 9600);
    HamlibPtt* rig = line.get();
    StationLine ptt(std::move(line), [] { return true; });
    ASSERT_TRUE(ptt.lastStatus().success) << ptt.lastStatus().text;
    EXPECT_EQ(rig->readBack(), true);
    ptt.key();
    EXPECT_EQ(rig->readBack(), false);
}

TEST(HamlibRealLibrary, UnknownModelIsRefusedWithAHint) {
    HamlibPtt line(999999, "/dev/ttyUSB0", 4800);
    EXPECT_FALSE(line.setLine(false));
    EXPECT_FALSE(line.isOpen());
    EXPECT_EQ(line.lastStatus().text, "rig CAT model 999999 on /dev/ttyUSB0: hamlib has no rig "
                                      "model 999999 \u2014 choose a model from the list that "
                                      "rigctl -l prints");
    EXPECT_EQ(line.readBack(), std::nullopt);
}

// Scripted calls: records what the backend asks of hamlib, fails where told.
class ScriptedHamlib : public HamlibApi {
public:
    explicit ScriptedHamlib(std::vector<std::string>& log) : m_log(log) {}
    bool init(int model) override {
        m_log.push_back("init " + std::to_string(model));
        return true;
    }
    int setConf(const char* name, const char* value) override {
        m_log.push_back(std::string("conf ") + name + "=" + value);
        return failFor("conf");
    }
    int open() override {
        m_log.push_back("open");
        return failFor("open");
    }
    int setPtt(bool on) override {
        m_log.push_back(on ? "ptt on" : "ptt off");
        return failFor("ptt");
    }
    int getPtt(bool* on) override {
        *on = false;
        return 0;
    }
    void close() override { m_log.push_back("close"); }
    std::string errorText(int error) override { return "error " + std::to_string(error); }

    std::string failing;
    int code = -5;

private:
    int failFor(const char* what) { return failing == what ? code : 0; }
    std::vector<std::string>& m_log;
};

TEST(HamlibPtt, ConfiguresOpensReleasesAndClosesInOrder) {
    std::vector<std::string> log;
    {
        StationLine ptt(std::make_unique<HamlibPtt>(3073, "/dev/ttyUSB0", 19200,
                                                    std::make_unique<ScriptedHamlib>(log)),
                        nullptr);
        ptt.key();
    }
    EXPECT_EQ(log, (std::vector<std::string>{"init 3073", "conf rig_pathname=/dev/ttyUSB0",
                                             "conf serial_speed=19200", "open", "ptt off", "ptt on",
                                             "ptt off", "close"}));
}

TEST(HamlibPtt, OpenFailureCleansUpAndIsRetriedAtTheNextCall) {
    std::vector<std::string> log;
    auto api = std::make_unique<ScriptedHamlib>(log);
    ScriptedHamlib* scripted = api.get();
    scripted->failing = "open";
    HamlibPtt line(3073, "/dev/ttyUSB0", 0, std::move(api));
    EXPECT_FALSE(line.setLine(false));
    EXPECT_EQ(line.lastStatus().errorCode, 5);
    EXPECT_EQ(line.lastStatus().text,
              "rig CAT model 3073 on /dev/ttyUSB0: opening the rig: error -5 \u2014 check that "
              "the rig is on, and its device, speed and model");
    EXPECT_EQ(log, (std::vector<std::string>{"init 3073", "conf rig_pathname=/dev/ttyUSB0", "open",
                                             "close"}));
    scripted->failing.clear();
    log.clear();
    EXPECT_TRUE(line.setLine(true));
    EXPECT_EQ(log, (std::vector<std::string>{"init 3073", "conf rig_pathname=/dev/ttyUSB0", "open",
                                             "ptt on"}));
}

TEST(HamlibPtt, PttFailureKeepsTheRigOpen) {
    std::vector<std::string> log;
    auto api = std::make_unique<ScriptedHamlib>(log);
    ScriptedHamlib* scripted = api.get();
    HamlibPtt line(2, "", 0, std::move(api));
    ASSERT_TRUE(line.setLine(false));
    scripted->failing = "ptt";
    EXPECT_FALSE(line.setLine(true));
    EXPECT_TRUE(line.isOpen());
    EXPECT_NE(line.lastStatus().text.find("setting PTT on: error -5"), std::string::npos);
}

} // namespace
