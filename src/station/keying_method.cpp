#include "station/keying_method.h"

#include <algorithm>

namespace tarvex {

// The keying method's names close the list of values beyond the 38.
static_assert(std::equal(PttSettingNames.begin(), PttSettingNames.end(),
                         ExtraSettingNames.end() - PttSettingCount));

PttSettings readPttSettings(const StoredLookup& lookup) {
    PttSettings s;
    if (const auto method = lookup(PttSettingNames[0]))
        s.method = pttMethod(*method).name;
    const StoredReader r(lookup);
    s.device = r.text(PttSettingNames[1], "");
    s.cm108Pin = r.clamped(PttSettingNames[2], 3, 1, 8);
    s.gpioLine = static_cast<unsigned>(r.clamped(PttSettingNames[3], 0, 0, MaxGpioLine));
    s.rigModel = r.clamped(PttSettingNames[4], 1, 1, MaxRigModel);
    s.rigSpeed = r.clamped(PttSettingNames[5], 0, 0, MaxRigSpeed);
    return s;
}

std::array<std::string, PttSettingCount> pttSettingsTexts(const PttSettings& s) {
    return {std::string(pttMethod(s.method).name),
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
