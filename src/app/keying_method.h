#pragma once
// The keying method the Keying dialog chooses (parallel port, a serial line, a CM108 or GPIO
// pin, the rig's CAT commands, or none): its caption, its stored values, and the port the
// Keyer drives, which forwards to the method's writer and changes method only while released.
#include "app/settings_values.h"
#include "txcontrol/keying.h"
#include "txcontrol/ptt/ptt_factory.h"

#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace tarvex {

/// The Keying dialog's caption of a method: "Parallel port", "Serial RTS", ...
std::string_view pttMethodCaption(PttMethod method);

/// The stored values of the keying method, kept apart from the 38 values and in this order.
inline constexpr int PttSettingCount = 6;
inline constexpr std::array<std::string_view, PttSettingCount> PttSettingNames{
    "PttMethod", "PttDevice", "PttCm108Pin", "PttGpioLine", "PttRigModel", "PttRigSpeed"};

inline constexpr int MaxGpioLine = 65535;
inline constexpr int MaxRigModel = 999999;
inline constexpr int MaxRigSpeed = 10000000;

/// Finds a stored value by name; nullopt when it is missing.
using StoredLookup = std::function<std::optional<std::string>(std::string_view name)>;

/// The keying method's values with their defaults: a missing or unknown method is the
/// parallel port, an unparsable number its default, a number out of range the nearest end.
PttSettings readPttSettings(const StoredLookup& lookup);
/// The values as the store keeps them, in PttSettingNames order.
std::array<std::string, PttSettingCount> pttSettingsTexts(const PttSettings& settings);

bool samePttSettings(const PttSettings& a, const PttSettings& b);

/// Whether a method uses the device field, the CM108 pin, the GPIO line, the rig's values.
bool pttUsesDevice(PttMethod method);

/// "Serial RTS /dev/ttyUSB0", "Rig CAT (hamlib) model 1", for the status line.
std::string pttDescription(const PttSettings& settings);

/// The settings the Keyer forms its byte from. A line takes any non-zero byte as asserted
/// and ignores which pin it names, so with no pin chosen D0 stands in: otherwise the line
/// would never assert, and with inverted keying would never release the transmitter.
KeyingSettings keyerSettingsFor(PttMethod method, KeyingSettings settings);

/// Whether a key byte is the keyed one for these settings (never, when keyed and released
/// write the same byte).
bool isKeyedByte(const KeyingSettings& settings, uint8_t value);

/// Builds a line method's writer (makePttPortWriter by default; tests hand in their own).
using PttWriterFactory = std::function<std::unique_ptr<PortWriter>(
    const PttSettings&, std::function<bool()> invKey, std::string* error)>;

/// The port the Keyer writes: each write goes to the writer of the method in force. A new
/// method takes over only while the transmitter is released, so a transmission is never
/// keyed on one line and released on another.
class KeyingPort : public PortWriter {
public:
    /// Makes the next writer; null, with *error set, when the method cannot be used at all.
    using Builder = std::function<std::shared_ptr<PortWriter>(std::string* error)>;
    using KeyedTest = std::function<bool(uint8_t value)>;

    explicit KeyingPort(KeyedTest isKeyed);

    /// Forwards the write. After a write that releases, a waiting method takes over and
    /// gets the same (released) byte, so it starts released with its outcome reported.
    bool writeByte(uint16_t port, uint8_t value) override;

    /// Lets the writer in force go and builds the next one: at once when the transmitter is
    /// released (returns true), else straight after the write that releases it.
    bool switchTo(Builder build);

    bool keyed() const { return m_keyed; }
    bool switchPending() const { return static_cast<bool>(m_pending); }
    /// Why the method in force has no writer; empty when it has one.
    const std::string& buildError() const { return m_buildError; }
    /// Runs after each switch (for the status line).
    void setSwitchedAction(std::function<void()> action) { m_switched = std::move(action); }

private:
    bool forward(uint16_t port, uint8_t value);
    void applyPending();

    KeyedTest m_isKeyed;
    std::shared_ptr<PortWriter> m_target;
    std::string m_buildError = "no keying method chosen";
    Builder m_pending;
    bool m_keyed = false;
    std::function<void()> m_switched;
};

} // namespace tarvex
