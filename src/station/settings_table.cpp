#include "station/settings_table.h"

#include "station/keying_method.h"

#include "encoder/conversions.h"

#include <algorithm>
#include <array>
#include <climits>
#include <map>
#include <memory>

namespace tarvex {

namespace {

using K = SettingKind;
using R = OutOfRange;
constexpr unsigned Both = ReadByWindow | ReadByService;
constexpr int32_t Any0 = INT32_MIN;
constexpr int32_t Any1 = INT32_MAX;
const std::string PttMethods = pttMethodNames("|");

constexpr SettingRow row(std::string_view name, SettingKind kind, int32_t min, int32_t max,
                         std::string_view fallback, unsigned readers = Both,
                         OutOfRange outOfRange = R::Default, std::string_view allowed = {}) {
    return SettingRow{name, kind, min, max, fallback, readers, outOfRange, allowed};
}

// SnppEnabled and WctpEnabled default to 1 for tarvexd; the window runs the servers only when
// they are switched on.
const auto Table = std::to_array<SettingRow>({
    row("Left", K::Integer, Any0, Any1, "10", ReadByWindow),
    row("Top", K::Integer, Any0, Any1, "10", ReadByWindow),
    row("Vol1", K::Integer, 0, 255, "25", Both, R::LowByte),
    row("Vol2", K::Integer, 0, 255, "20", Both, R::LowByte),
    row("Vol3", K::Integer, 0, 255, "30", Both, R::LowByte),
    row("Sync", K::Hex, 0, 0, "7CD215D8"),
    row("Idle", K::Hex, 0, 0, "7A89C197"),
    row("TuneTime", K::Integer, 1, 15, "5", ReadByWindow, R::Clamp),
    row("BitLen512", K::Integer, Any0, Any1, "750", ReadByWindow),
    row("BitLen1200", K::Integer, Any0, Any1, "640", ReadByWindow),
    row("BitLen2400", K::Integer, Any0, Any1, "320", ReadByWindow),
    row("DataFolder", K::Text, 0, 0, ""),
    row("LogPages", K::Flag, 0, 1, "0"),
    row("AutoSend", K::Flag, 0, 1, "0"),
    row("CheckRate", K::Integer, 2, 600, "2", Both, R::Clamp),
    row("AutoFile", K::Text, 0, 0, "AutoSend.Txt"),
    row("LockFile", K::Text, 0, 0, "Lock.Lck"),
    row("AutoDelay", K::Integer, 0, 10, "0", Both, R::Clamp),
    row("Frequency", K::Integer, 0, 60, "0", Both, R::Clamp),
    row("StationID", K::Text, 0, 0, "GXZYX"),
    row("MorseDev", K::Integer, 0, 100, "10", Both, R::Clamp),
    row("Port", K::Integer, 0, 1, "0", Both, R::ListIndex),
    row("Pin", K::Integer, -1, 7, "0", Both, R::Clamp),
    row("Delay", K::Integer, 100, 900, "200", Both, R::Clamp),
    row("InvKey", K::Flag, 0, 1, "0"),
    row("Keying", K::Flag, 0, 1, "0", ReadByWindow),
    row("Baud1", K::Flag, 0, 1, "0"),
    row("Baud2", K::Flag, 0, 1, "1"),
    row("Baud3", K::Flag, 0, 1, "0"),
    row("Func1", K::Flag, 0, 1, "0", ReadByWindow),
    row("Func2", K::Flag, 0, 1, "0", ReadByWindow),
    row("Func3", K::Flag, 0, 1, "0", ReadByWindow),
    row("Func4", K::Flag, 0, 1, "1", ReadByWindow),
    row("A-N1", K::Flag, 0, 1, "1", ReadByWindow),
    row("A-N2", K::Flag, 0, 1, "0", ReadByWindow),
    row("NI1", K::Flag, 0, 1, "1"),
    row("NI2", K::Flag, 0, 1, "0"),
    row("LastRIC", K::Text, 0, 0, "1234567", ReadByWindow),
    row("AudioBackend", K::Choice, 0, 0, "qt", Both, R::Default, "qt|alsa"),
    row("AudioDevice", K::Text, 0, 0, ""),
    row("AudioFallbackDefault", K::Flag, 0, 1, "0", ReadByService),
    row("PttMethod", K::Choice, 0, 0, "parallel", Both, R::Default, PttMethods),
    row("PttDevice", K::Text, 0, 0, ""),
    row("PttCm108Pin", K::Integer, 1, 8, "3"),
    row("PttGpioLine", K::Integer, 0, MaxGpioLine, "0"),
    row("PttRigModel", K::Integer, 1, MaxRigModel, "1"),
    row("PttRigSpeed", K::Integer, 0, MaxRigSpeed, "0"),
    row("TxWatchdog", K::Integer, 0, 3600, "180", Both, R::Clamp),
    row("SnppEnabled", K::Flag, 0, 1, "1"),
    row("SnppListen", K::Addresses, 0, 0, "127.0.0.1,::1"),
    row("SnppPort", K::Integer, 1, 65535, "444"),
    row("WctpEnabled", K::Flag, 0, 1, "1"),
    row("WctpListen", K::Addresses, 0, 0, "127.0.0.1,::1"),
    row("WctpPort", K::Integer, 1, 65535, "8444"),
    row("NetRequireLogin", K::Flag, 0, 1, "0"),
    row("NetMaxLineLength", K::Integer, 64, 4096, "512"),
    row("NetMaxMessageLength", K::Integer, 16, 65536, "1024"),
    row("NetMaxRecipients", K::Integer, 1, 256, "16"),
    row("NetMaxConnections", K::Integer, 1, 1024, "32"),
    row("NetIdleSeconds", K::Integer, 5, 3600, "120"),
    row("NetPagesPerMinute", K::Integer, 1, 100000, "60"),
    row("NetLoginFailuresPerMinute", K::Integer, 1, 1000, "10"),
    row("WctpMaxBodyBytes", K::Integer, 1024, 1 << 24, "65536"),
    row("WctpRequestSeconds", K::Integer, 1, 600, "30"),
    row("StatusPagesEnabled", K::Flag, 0, 1, "1"),
    row("QueueMaxAgeMinutes", K::Integer, 0, 10080, "60"),
    row("DapnetEnabled", K::Flag, 0, 1, "0"),
    row("DapnetHost", K::Text, 0, 0, ""),
    row("DapnetPort", K::Integer, 1, 65535, "43434"),
    row("DapnetCallsign", K::Text, 0, 0, ""),
    row("DapnetKeyFile", K::Text, 0, 0, ""),
    row("StatusMaxWaitSeconds", K::Integer, 1, 604800, "600", ReadByService),
    row("MonitorEnabled", K::Flag, 0, 1, "0"),
    row("MonitorInput", K::Text, 0, 0, ""),
    row("MonitorInverts", K::Flag, 0, 1, "0"),
    row("MonitorMarginMs", K::Integer, 0, 60000, "1500"),
    row("MonitorAlarmCount", K::Integer, 1, 1000, "3"),
    row("MonitorAlarmCommand", K::Text, 0, 0, ""),
});

std::string lower(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return out;
}

std::vector<std::string_view> choices(const SettingRow& entry) {
    std::vector<std::string_view> out;
    std::string_view rest = entry.allowed;
    while (!rest.empty()) {
        const std::size_t bar = rest.find('|');
        out.push_back(rest.substr(0, bar));
        rest = bar == std::string_view::npos ? std::string_view() : rest.substr(bar + 1);
    }
    return out;
}

std::string defaultWords(const SettingRow& entry) {
    if (entry.name == "DataFolder")
        return "the station folder is used instead";
    return (entry.fallback.empty() ? std::string("an empty value") : std::string(entry.fallback)) +
           " (the default) is used instead";
}

/// The problem with one stored value and the text the readers take instead; nullopt when
/// the value is fine (the text may still be rewritten, a flag word as "1"/"0").
std::optional<SettingProblem> checkValue(const SettingRow& entry, const std::string& value,
                                         std::string* replacement) {
    SettingProblem p{std::string(entry.name), value, {}, {}, false};
    switch (entry.kind) {
    case K::Text:
    case K::Addresses:
        return std::nullopt;
    case K::Flag:
        if (const auto flag = parseFlagWord(value)) {
            *replacement = *flag ? "1" : "0";
            return std::nullopt;
        }
        p.problem = "is not a flag (1/0, true/false, yes/no, on/off)";
        *replacement = entry.fallback;
        p.instead = defaultWords(entry);
        return p;
    case K::Hex:
        if (hexToCodeword(value))
            return std::nullopt;
        p.problem = "is not a codeword of up to 8 hexadecimal digits";
        *replacement = entry.fallback;
        p.instead = defaultWords(entry);
        return p;
    case K::Choice:
        for (const std::string_view choice : choices(entry))
            if (lower(value) == choice) {
                *replacement = choice;
                return std::nullopt;
            }
        p.problem = "is not one of " + settingRangeText(entry);
        p.instead = entry.name == "PttMethod" ? "nothing is keyed" : "nothing is played";
        p.fault = true;
        return p;
    case K::Integer:
        break;
    }
    const auto number = parseDecimal(value);
    if (!number) {
        p.problem = "is not a whole number";
        *replacement = entry.fallback;
        p.instead = defaultWords(entry);
        return p;
    }
    *replacement = std::to_string(*number);
    if (*number >= entry.min && *number <= entry.max)
        return std::nullopt;
    p.problem = "is outside " + settingRangeText(entry);
    switch (entry.outOfRange) {
    case R::Clamp:
        *replacement = std::to_string(std::clamp(*number, entry.min, entry.max));
        p.instead = *replacement + " (the nearest end) is used instead";
        break;
    case R::LowByte:
        *replacement = std::to_string(lowByte(*number));
        p.instead = *replacement + " (its low 8 bits) is used instead";
        break;
    case R::ListIndex:
        *replacement = "-1";
        p.instead = "none is chosen";
        break;
    case R::Default:
        *replacement = entry.fallback;
        p.instead = defaultWords(entry);
        break;
    }
    return p;
}

} // namespace

std::span<const SettingRow> settingsTable() {
    return Table;
}

const SettingRow* findSetting(std::string_view name) {
    const auto it = std::find_if(Table.begin(), Table.end(),
                                 [name](const SettingRow& s) { return s.name == name; });
    return it == Table.end() ? nullptr : &*it;
}

std::string settingRangeText(const SettingRow& entry) {
    switch (entry.kind) {
    case K::Integer:
        if (entry.min == Any0 && entry.max == Any1)
            return "a whole number";
        return std::to_string(entry.min) + ".." + std::to_string(entry.max);
    case K::Flag:
        return "1 or 0";
    case K::Hex:
        return "up to 8 hexadecimal digits";
    case K::Choice: {
        std::string text;
        for (const std::string_view choice : choices(entry))
            text += (text.empty() ? "" : ", ") + std::string(choice);
        return text;
    }
    case K::Addresses:
        return "addresses separated by commas";
    case K::Text:
        break;
    }
    return "any text";
}

std::string SettingProblem::text() const {
    return key + "=" + value + ": " + problem + (instead.empty() ? "" : "; " + instead);
}

std::optional<bool> parseFlagWord(std::string_view text) {
    if (const auto number = parseDecimal(text))
        return *number != 0;
    const std::string word = lower(text);
    if (word == "true" || word == "yes" || word == "on")
        return true;
    if (word == "false" || word == "no" || word == "off")
        return false;
    return std::nullopt;
}

CheckedSettings checkStoredSettings(const StoredLookup& stored, std::span<const std::string> keys,
                                    unsigned reader) {
    CheckedSettings out;
    auto values = std::make_shared<std::map<std::string, std::string, std::less<>>>();
    for (const std::string& key : keys) {
        if (findSetting(key) != nullptr)
            continue;
        SettingProblem p{key, stored(key).value_or(""), "is not a setting any program reads",
                         "it is ignored", false};
        for (const SettingRow& entry : Table)
            if (lower(entry.name) == lower(key))
                p.problem += " (names are case-sensitive: " + std::string(entry.name) + "?)";
        out.problems.push_back(std::move(p));
    }
    for (const SettingRow& entry : Table) {
        const auto value = stored(entry.name);
        if (!value || (entry.readers & reader) == 0)
            continue;
        std::string replacement = *value;
        if (auto problem = checkValue(entry, *value, &replacement)) {
            if (problem->fault)
                (entry.name == "PttMethod" ? out.keyingFault : out.audioFault) = problem->text();
            out.problems.push_back(std::move(*problem));
        }
        (*values)[std::string(entry.name)] = replacement;
    }
    const auto value = [&values](std::string_view name) -> std::optional<std::string> {
        const auto it = values->find(name);
        return it == values->end() ? std::nullopt : std::optional<std::string>(it->second);
    };
    // Values that are fine alone but not together.
    if ((reader & ReadByService) != 0) {
        const PttMethodInfo* method =
            findPttMethod(value("PttMethod").value_or(std::string(DefaultPttMethod)));
        // A method whose device is optional (a rig reached through its own default) needs
        // none: the line is built without one, as the Keying dialog allows.
        if (method && method->uses(PttDeviceField) && !method->uses(PttDeviceOptional) &&
            value("PttDevice").value_or("").empty()) {
            SettingProblem p{"PttDevice", value("PttDevice").value_or(""),
                             "is empty, and PttMethod=" + std::string(method->name) +
                                 " needs a device",
                             "nothing is keyed", true};
            out.keyingFault = p.text();
            out.problems.push_back(std::move(p));
        }
        const int minutes =
            static_cast<int>(parseDecimal(value("Frequency").value_or("0")).value_or(0));
        const auto callsign = value("StationID");
        if (minutes > 0 && (!callsign || callsign->find_first_not_of(' ') == std::string::npos)) {
            SettingProblem p{"StationID", callsign.value_or(""),
                             (callsign ? "is empty" : "is missing") +
                                 std::string(", and Frequency=") + std::to_string(minutes) +
                                 " asks for an ident",
                             "no ident is sent", true};
            out.problems.push_back(std::move(p));
            (*values)["Frequency"] = "0";
        }
    }
    out.lookup = [stored, values](std::string_view name) -> std::optional<std::string> {
        const auto it = values->find(name);
        if (it != values->end())
            return it->second;
        return stored(name);
    };
    return out;
}

} // namespace tarvex
