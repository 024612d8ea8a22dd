#include "station/keying_method.h"

#include <algorithm>

namespace tarvex {

// The keying method's names close the list of values beyond the 38.
static_assert(std::equal(PttSettingNames.begin(), PttSettingNames.end(),
                         ExtraSettingNames.end() - PttSettingCount));

namespace {

int32_t readClamped(const StoredLookup& lookup, std::string_view name, int32_t fallback, int lo,
                    int hi) {
    const auto raw = lookup(name);
    return std::clamp(readInteger(raw ? StoredText(*raw) : std::nullopt, fallback), lo, hi);
}

} // namespace

PttSettings readPttSettings(const StoredLookup& lookup) {
    PttSettings s;
    if (const auto method = lookup(PttSettingNames[0]))
        s.method = parsePttMethod(*method).value_or(PttMethod::ParallelPort);
    const auto device = lookup(PttSettingNames[1]);
    s.device = readText(device ? StoredText(*device) : std::nullopt, "");
    s.cm108Pin = readClamped(lookup, PttSettingNames[2], 3, 1, 8);
    s.gpioLine = static_cast<unsigned>(readClamped(lookup, PttSettingNames[3], 0, 0, MaxGpioLine));
    s.rigModel = readClamped(lookup, PttSettingNames[4], 1, 1, MaxRigModel);
    s.rigSpeed = readClamped(lookup, PttSettingNames[5], 0, 0, MaxRigSpeed);
    return s;
}

std::array<std::string, PttSettingCount> pttSettingsTexts(const PttSettings& s) {
    return {std::string(pttMethodName(s.method)),
            s.device,
            integerText(s.cm108Pin),
            integerText(static_cast<int32_t>(s.gpioLine)),
            integerText(s.rigModel),
            integerText(s.rigSpeed)};
}

bool samePttSettings(const PttSettings& a, const PttSettings& b) {
    return a.method == b.method && a.device == b.device && a.cm108Pin == b.cm108Pin &&
           a.gpioLine == b.gpioLine && a.rigModel == b.rigModel && a.rigSpeed == b.rigSpeed;
}

} // namespace tarvex
