// GPIO chip keying through scripted libgpiod calls (there is no GPIO chip to test on):
// the line requested at the released level, the values for keyed and released in both
// polarities, and the failures with their hints. The real library is asked once, for a
// chip that does not exist.
#include "fake_posix_io.h"
#include "txcontrol/ptt/gpiod_ptt.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <vector>

using namespace tarvex;
using tarvex::test::StationLine;
using Log = std::vector<std::string>;

namespace {

class ScriptedGpiod : public GpiodApi {
public:
    explicit ScriptedGpiod(Log& log) : m_log(log) {}
    int openChip(const std::string& chip) override {
        m_log.push_back("open " + chip);
        return take(openError);
    }
    int requestOutput(unsigned offset, const char* consumer, int value) override {
        m_log.push_back("request " + std::to_string(offset) + " " + consumer + " " +
                        std::to_string(value));
        return take(requestError);
    }
    int setValue(int value) override {
        m_log.push_back("set " + std::to_string(value));
        return take(setError);
    }
    void close() override { m_log.push_back("close"); }

    int openError = 0, requestError = 0, setError = 0;

private:
    static int take(int& error) {
        const int e = error;
        error = 0;
        return -e;
    }
    Log& m_log;
};

TEST(GpiodPtt, RequestedAtTheReleasedLevelThenSet) {
    Log log;
    {
        StationLine ptt(
            std::make_unique<GpiodPtt>("gpiochip0", 17, std::make_unique<ScriptedGpiod>(log)),
            nullptr);
        ASSERT_TRUE(ptt.lastStatus().success);
        ptt.key();
        ptt.release();
        EXPECT_EQ(ptt.name(), "GPIO gpiochip0 line 17");
    }
    EXPECT_EQ(log,
              (Log{"open gpiochip0", "request 17 tarvex 0", "set 1", "set 0", "set 0", "close"}));
}

TEST(GpiodPtt, InvertedKeyingRequestsHighAndDrivesLowWhenKeyed) {
    Log log;
    {
        StationLine ptt(std::make_unique<GpiodPtt>("1", 4, std::make_unique<ScriptedGpiod>(log)),
                        [] { return true; });
        ptt.key();
    }
    EXPECT_EQ(log, (Log{"open 1", "request 4 tarvex 1", "set 0", "set 1", "close"}));
}

TEST(GpiodPtt, FailuresCarryHintsAndTheLineIsRequestedAgainLater) {
    Log log;
    auto api = std::make_unique<ScriptedGpiod>(log);
    ScriptedGpiod* scripted = api.get();
    GpiodPtt line("gpiochip0", 23, std::move(api));

    scripted->openError = EACCES;
    EXPECT_FALSE(line.setLine(false));
    EXPECT_EQ(line.lastStatus().text, "cannot open GPIO chip gpiochip0: Permission denied "
                                      "\u2014 add the user to the gpio group, or give it "
                                      "access to /dev/gpiochip*");

    scripted->requestError = EBUSY;
    EXPECT_FALSE(line.setLine(false));
    EXPECT_FALSE(line.isOpen());
    EXPECT_EQ(line.lastStatus().errorCode, EBUSY);
    EXPECT_NE(line.lastStatus().text.find("gpioinfo shows who"), std::string::npos);

    EXPECT_TRUE(line.setLine(false));
    scripted->setError = EIO;
    EXPECT_FALSE(line.setLine(true));
    EXPECT_FALSE(line.isOpen());
    log.clear();
    EXPECT_TRUE(line.setLine(true));
    EXPECT_EQ(log, (Log{"open gpiochip0", "request 23 tarvex 1"}));
}

TEST(GpiodPtt, RealLibraryRefusesAMissingChip) {
    GpiodPtt line("tarvex-no-such-chip", 0);
    EXPECT_FALSE(line.setLine(false));
    EXPECT_FALSE(line.isOpen());
    EXPECT_NE(line.lastStatus().errorCode, 0);
    EXPECT_EQ(line.lastStatus().text.rfind("cannot open GPIO chip tarvex-no-such-chip: ", 0), 0u);
}

} // namespace
