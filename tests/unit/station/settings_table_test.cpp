// tarvexd's check of the settings store against the one settings table: what each bad value
// becomes, which problems are faults, and that the table's defaults are the readers' own.
#include "monitor/monitor_settings.h"
#include "network/inputs/network_settings.h"
#include "station/settings_table.h"

#include <gtest/gtest.h>

#include <map>

namespace tarvex {
namespace {

using Values = std::map<std::string, std::string, std::less<>>;

CheckedSettings check(const Values& values) {
    std::vector<std::string> keys;
    for (const auto& [key, value] : values)
        keys.push_back(key);
    return checkStoredSettings(
        [values](std::string_view name) -> std::optional<std::string> {
            const auto it = values.find(name);
            return it == values.end() ? std::nullopt : std::optional<std::string>(it->second);
        },
        keys, ReadByService);
}

struct Case {
    Values stored;
    std::string key;     ///< the value the readers then see
    std::string readAs;  ///< "" with `missing`
    std::string problem; ///< a part of the one problem's text; "" for none
    bool fault = false;
};

TEST(SettingsTable, ServiceReadsEachBadValueAsTheProblemSays) {
    const Case cases[] = {
        {{{"LogPages", "true"}}, "LogPages", "1", ""},
        {{{"LogPages", "Off"}}, "LogPages", "0", ""},
        {{{"LogPages", "2"}}, "LogPages", "1", ""},
        {{{"LogPages", "maybe"}}, "LogPages", "0", "LogPages=maybe: is not a flag"},
        {{{"SnppPort", "99999"}}, "SnppPort", "444", "SnppPort=99999: is outside 1..65535; 444"},
        {{{"Frequency", "ten"}}, "Frequency", "0", "Frequency=ten: is not a whole number; 0"},
        {{{"NetMaxRecipients", "0"}}, "NetMaxRecipients", "16", "is outside 1..256; 16"},
        {{{"Delay", "50"}}, "Delay", "100", "Delay=50: is outside 100..900; 100 (the nearest"},
        {{{"Vol1", "300"}}, "Vol1", "44", "its low 8 bits"},
        {{{"Port", "5"}}, "Port", "-1", "none is chosen"},
        {{{"Sync", "XYZ"}}, "Sync", "7CD215D8", "Sync=XYZ: is not a codeword"},
        {{{"PttMethod", "Serial-RTS"}, {"PttDevice", "/dev/ttyUSB0"}},
         "PttMethod",
         "serial-rts",
         ""},
        {{{"PttMethod", "rts"}}, "PttMethod", "rts", "PttMethod=rts: is not one of parallel", true},
        {{{"AudioBackend", "pulse"}}, "AudioBackend", "pulse", "is not one of qt, alsa", true},
        {{{"PttMethod", "cm108"}}, "PttDevice", "", "needs a device; nothing is keyed", true},
        {{{"Frequency", "10"}}, "Frequency", "0", "StationID=: is missing, and Frequency=10", true},
        {{{"Frequency", "10"}, {"StationID", " "}}, "Frequency", "0", "is empty", true},
        {{{"Frequency", "10"}, {"StationID", "DL1ABC"}}, "Frequency", "10", ""},
        {{{"snppport", "445"}},
         "SnppPort",
         "",
         "snppport=445: is not a setting any program reads "
         "(names are case-sensitive: SnppPort?)"},
        {{{"TuneTime", "99"}}, "TuneTime", "99", ""}, // the window's value, not the service's
    };
    for (const Case& c : cases) {
        const CheckedSettings checked = check(c.stored);
        const std::string where = c.stored.begin()->first + "=" + c.stored.begin()->second;
        EXPECT_EQ(checked.lookup(c.key).value_or(""), c.readAs) << where;
        if (c.problem.empty()) {
            EXPECT_TRUE(checked.problems.empty()) << where << ": " << checked.problems[0].text();
            continue;
        }
        ASSERT_EQ(checked.problems.size(), 1u) << where;
        EXPECT_NE(checked.problems[0].text().find(c.problem), std::string::npos)
            << where << ": " << checked.problems[0].text();
        EXPECT_EQ(checked.problems[0].fault, c.fault) << where;
    }
    EXPECT_FALSE(check({{"PttMethod", "rts"}}).keyingFault.empty());
    EXPECT_FALSE(check({{"PttMethod", "serial-dtr"}}).keyingFault.empty()); // no device
    EXPECT_TRUE(check({{"PttMethod", "none"}}).keyingFault.empty());
    EXPECT_TRUE(check({{"PttMethod", "hamlib"}}).keyingFault.empty()); // the rig's own device
    EXPECT_FALSE(check({{"AudioBackend", "pulse"}}).audioFault.empty());
}

TEST(SettingsTable, DefaultsAreTheReadersOwn) {
    const StoredLookup none = [](std::string_view) { return std::nullopt; };
    std::vector<std::pair<std::string_view, std::string>> values =
        networkSettingValues(readNetworkSettings(none, true));
    for (const auto& pair : monitorSettingValues(readMonitorSettings(none)))
        values.push_back(pair);
    const auto ptt = pttSettingsTexts(readPttSettings(none));
    for (int i = 0; i < PttSettingCount; ++i)
        values.emplace_back(PttSettingNames[i], ptt[i]);
    for (const auto& [name, text] : values) {
        const SettingRow* entry = findSetting(name);
        ASSERT_NE(entry, nullptr) << name;
        EXPECT_EQ(entry->fallback, text) << name;
    }
    for (const std::string_view name : SettingNames)
        EXPECT_NE(findSetting(name), nullptr) << name;
    for (const std::string_view name : ExtraSettingNames)
        EXPECT_NE(findSetting(name), nullptr) << name;
}

} // namespace
} // namespace tarvex
