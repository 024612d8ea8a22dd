#pragma once
// The off-air monitor's settings: whether it runs, the receiver's input ("command:CMD",
// "qt:DEVICE", "alsa:NAME"), whether the receiver inverts the audio, the margin after
// release, the alarm count and the alarm command; with their stored names and text values
// (the settings store keeps every value as text) and their checks. Standard C++ only.
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tarvex {

struct MonitorSettings {
    bool enabled = false;
    std::string input; ///< "command:CMD", "qt:DEVICE" ("qt:" the default), "alsa:NAME"
    bool receiverInverts = false;
    int marginMs = 1500;      ///< 0..60000
    int alarmCount = 3;       ///< 1..1000 pages in a row not heard
    std::string alarmCommand; ///< run through /bin/sh with the details in its environment
};

inline constexpr int MaxMonitorMarginMs = 60000;
inline constexpr int MaxMonitorAlarmCount = 1000;

enum class MonitorInputKind { Command, QtDevice, Alsa };

struct MonitorInputChoice {
    MonitorInputKind kind = MonitorInputKind::Command;
    std::string value; ///< the command, the device's description (empty: default), the ALSA name
};

/// The input a setting names; nullopt, with *error saying why, for an unknown prefix, an
/// empty command or ALSA name, or a line break in it.
std::optional<MonitorInputChoice> parseMonitorInput(std::string_view text, std::string* error);

/// "field: reason" for the first value out of range; nullopt when all are usable. An enabled
/// monitor needs a valid input; a disabled one may keep anything.
std::optional<std::string> validateMonitorSettings(const MonitorSettings& settings);

/// The stored names, in the order they are written.
inline constexpr std::string_view MonitorSettingNames[] = {
    "MonitorEnabled",  "MonitorInput",      "MonitorInverts",
    "MonitorMarginMs", "MonitorAlarmCount", "MonitorAlarmCommand"};

/// A stored value by name; nullopt when the store has none.
using MonitorSettingLookup = std::function<std::optional<std::string>(std::string_view name)>;

/// Reads the settings; a missing or unreadable number or flag keeps its default, a number out
/// of range is brought into it.
MonitorSettings readMonitorSettings(const MonitorSettingLookup& lookup);

/// Name and text of every value, for the store.
std::vector<std::pair<std::string_view, std::string>>
monitorSettingValues(const MonitorSettings& settings);

/// The settings with the input replaced by a command (tarvexd --monitor-command) and the
/// monitor switched on.
MonitorSettings withMonitorCommand(MonitorSettings settings, std::string_view command);

} // namespace tarvex
