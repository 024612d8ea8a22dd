#include "monitor/monitor_settings.h"

#include <algorithm>
#include <charconv>

namespace tarvex {
namespace {

std::optional<int> parseInt(const std::optional<std::string>& text) {
    if (!text || text->empty())
        return std::nullopt;
    int value = 0;
    const char* end = text->data() + text->size();
    const auto [ptr, ec] = std::from_chars(text->data(), end, value);
    if (ec != std::errc() || ptr != end)
        return std::nullopt;
    return value;
}

} // namespace

std::optional<MonitorInputChoice> parseMonitorInput(std::string_view text, std::string* error) {
    auto refuse = [&](const std::string& why) -> std::optional<MonitorInputChoice> {
        if (error)
            *error = why;
        return std::nullopt;
    };
    if (text.find_first_of("\r\n") != std::string_view::npos)
        return refuse("the input holds a line break");
    MonitorInputChoice input;
    if (text.starts_with("command:")) {
        input.kind = MonitorInputKind::Command;
        input.value = text.substr(8);
        if (input.value.find_first_not_of(' ') == std::string::npos)
            return refuse("the command is empty");
    } else if (text.starts_with("qt:")) {
        input.kind = MonitorInputKind::QtDevice;
        input.value = text.substr(3);
    } else if (text.starts_with("alsa:")) {
        input.kind = MonitorInputKind::Alsa;
        input.value = text.substr(5);
        if (input.value.empty())
            return refuse("the ALSA device name is empty");
    } else {
        return refuse("the input must begin with command:, qt: or alsa:");
    }
    return input;
}

std::optional<std::string> validateMonitorSettings(const MonitorSettings& settings) {
    if (settings.marginMs < 0 || settings.marginMs > MaxMonitorMarginMs)
        return "margin: " + std::to_string(settings.marginMs) + " is outside 0.." +
               std::to_string(MaxMonitorMarginMs) + " ms";
    if (settings.alarmCount < 1 || settings.alarmCount > MaxMonitorAlarmCount)
        return "alarm count: " + std::to_string(settings.alarmCount) + " is outside 1.." +
               std::to_string(MaxMonitorAlarmCount);
    if (settings.alarmCommand.find_first_of("\r\n") != std::string::npos)
        return std::string("alarm command: it holds a line break");
    std::string why;
    if (settings.enabled && !parseMonitorInput(settings.input, &why))
        return "input: " + why;
    return std::nullopt;
}

MonitorSettings readMonitorSettings(const MonitorSettingLookup& lookup) {
    MonitorSettings s;
    if (const auto v = parseInt(lookup("MonitorEnabled")))
        s.enabled = *v != 0;
    if (auto v = lookup("MonitorInput"))
        s.input = std::move(*v);
    if (const auto v = parseInt(lookup("MonitorInverts")))
        s.receiverInverts = *v != 0;
    if (const auto v = parseInt(lookup("MonitorMarginMs")))
        s.marginMs = std::clamp(*v, 0, MaxMonitorMarginMs);
    if (const auto v = parseInt(lookup("MonitorAlarmCount")))
        s.alarmCount = std::clamp(*v, 1, MaxMonitorAlarmCount);
    if (auto v = lookup("MonitorAlarmCommand"))
        s.alarmCommand = std::move(*v);
    return s;
}

std::vector<std::pair<std::string_view, std::string>>
monitorSettingValues(const MonitorSettings& settings) {
    return {{"MonitorEnabled", settings.enabled ? "1" : "0"},
            {"MonitorInput", settings.input},
            {"MonitorInverts", settings.receiverInverts ? "1" : "0"},
            {"MonitorMarginMs", std::to_string(settings.marginMs)},
            {"MonitorAlarmCount", std::to_string(settings.alarmCount)},
            {"MonitorAlarmCommand", settings.alarmCommand}};
}

MonitorSettings withMonitorCommand(MonitorSettings settings, std::string_view command) {
    settings.input = "command:" + std::string(command);
    settings.enabled = true;
    return settings;
}

} // namespace tarvex
