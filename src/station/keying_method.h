#pragma once
// The keying method the Keying dialog chooses (parallel port, a serial line, a CM108 or GPIO
// pin, the rig's CAT commands, or none): its stored values, read with their defaults and
// written as the settings store keeps them.
#include "station/settings_values.h"
#include "txcontrol/keying.h"
#include "txcontrol/ptt/ptt_factory.h"

#include <array>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace tarvex {

/// The stored values of the keying method, kept apart from the 38 values and in this order.
inline constexpr int PttSettingCount = 6;
inline constexpr std::array<std::string_view, PttSettingCount> PttSettingNames{
    "PttMethod", "PttDevice", "PttCm108Pin", "PttGpioLine", "PttRigModel", "PttRigSpeed"};

inline constexpr int MaxGpioLine = 65535;
inline constexpr int MaxRigModel = 999999;
inline constexpr int MaxRigSpeed = 10000000;

/// The keying method's values with their defaults: a missing or unknown method is the
/// parallel port, an unparsable number its default, a number out of range the nearest end.
PttSettings readPttSettings(const StoredLookup& lookup);
/// The values as the store keeps them, in PttSettingNames order.
std::array<std::string, PttSettingCount> pttSettingsTexts(const PttSettings& settings);

bool samePttSettings(const PttSettings& a, const PttSettings& b);

} // namespace tarvex
