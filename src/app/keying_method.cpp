#include "app/keying_method.h"

#include <algorithm>
#include <cerrno>

namespace tarvex {

// The keying method's names close the list of values beyond the 38.
static_assert(std::equal(PttSettingNames.begin(), PttSettingNames.end(),
                         ExtraSettingNames.end() - PttSettingCount));

std::string_view pttMethodCaption(PttMethod method) {
    switch (method) {
    case PttMethod::ParallelPort:
        return "Parallel port";
    case PttMethod::SerialRts:
        return "Serial RTS";
    case PttMethod::SerialDtr:
        return "Serial DTR";
    case PttMethod::Cm108:
        return "CM108 GPIO";
    case PttMethod::Gpio:
        return "Linux GPIO";
    case PttMethod::Hamlib:
        return "Rig CAT (hamlib)";
    case PttMethod::None:
        return "None (VOX)";
    }
    return "Parallel port";
}

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

bool pttUsesDevice(PttMethod method) {
    return method != PttMethod::ParallelPort && method != PttMethod::None;
}

std::string pttDescription(const PttSettings& s) {
    std::string text(pttMethodCaption(s.method));
    switch (s.method) {
    case PttMethod::Cm108:
        text += " pin " + std::to_string(s.cm108Pin);
        break;
    case PttMethod::Gpio:
        text += " line " + std::to_string(s.gpioLine);
        break;
    case PttMethod::Hamlib:
        text += " model " + std::to_string(s.rigModel);
        break;
    default:
        break;
    }
    if (pttUsesDevice(s.method) && !s.device.empty())
        text += " on " + s.device;
    return text;
}

KeyingSettings keyerSettingsFor(PttMethod method, KeyingSettings settings) {
    if (method != PttMethod::ParallelPort && pinMask(settings.Pin) == 0)
        settings.Pin = 0;
    return settings;
}

bool isKeyedByte(const KeyingSettings& s, uint8_t value) {
    const uint8_t keyed = keyByte(s.Pin, s.InvKey, true);
    return value == keyed && keyed != keyByte(s.Pin, s.InvKey, false);
}

KeyingPort::KeyingPort(KeyedTest isKeyed) : m_isKeyed(std::move(isKeyed)) {
    if (!m_isKeyed)
        m_isKeyed = [](uint8_t value) { return value != 0; };
}

bool KeyingPort::forward(uint16_t port, uint8_t value) {
    if (!m_target)
        return fail(EINVAL, m_buildError);
    if (m_target->writeByte(port, value))
        return succeed();
    const PortStatus& status = m_target->lastStatus();
    return fail(status.errorCode, status.text);
}

bool KeyingPort::writeByte(uint16_t port, uint8_t value) {
    bool ok = forward(port, value);
    m_keyed = m_isKeyed(value);
    if (!m_keyed && m_pending) {
        applyPending();
        ok = forward(port, value);
    }
    return ok;
}

bool KeyingPort::switchTo(Builder build) {
    m_pending = std::move(build);
    if (m_keyed)
        return false;
    applyPending();
    return true;
}

void KeyingPort::applyPending() {
    Builder build = std::move(m_pending);
    m_pending = nullptr;
    // The old writer goes first: a line writer releases and closes its device, which the
    // next method may want to open.
    m_target.reset();
    m_buildError.clear();
    m_target = build ? build(&m_buildError) : nullptr;
    if (!m_target && m_buildError.empty())
        m_buildError = "the keying method could not be set up";
    if (m_target)
        m_buildError.clear();
    if (m_switched)
        m_switched();
}

} // namespace tarvex
