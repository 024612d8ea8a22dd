#pragma once
// The settings store's value encoding, free of any toolkit: every value is kept as text
// (integers as decimal, flags "1"/"0", texts unchanged), read back with a default for a
// missing or unparsable value, and the 38 value names in the order they are read and written.
#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace tarvex {

/// A value as the store holds it: nullopt when it is missing.
using StoredText = std::optional<std::string_view>;

/// Decimal text of a signed 32-bit value: an optional sign, then at least one digit, and
/// nothing else. nullopt for any other text and for a value outside 32 bits.
std::optional<int32_t> parseDecimal(std::string_view text);

/// An integer value: the default when missing or unparsable.
int32_t readInteger(StoredText stored, int32_t fallback);
/// A flag: an integer with default 1 or 0, true when not 0 ("2" is true, "x" the default).
bool readFlag(StoredText stored, bool fallback);
/// A text: the default only when missing; an empty stored text stays empty.
std::string readText(StoredText stored, std::string_view fallback);

std::string integerText(int32_t value);

/// A stored deviation level keeps its low 8 bits ("300" gives 44, "-1" gives 255).
constexpr uint8_t lowByte(int32_t value) {
    return static_cast<uint8_t>(static_cast<uint32_t>(value) & 0xFFu);
}

/// A stored list index: the index when it names an item, else -1 (nothing selected).
constexpr int listIndex(int32_t value, int itemCount) {
    return value >= 0 && value < itemCount ? value : -1;
}

/// The values' names, in table order.
inline constexpr int SettingCount = 38;
inline constexpr std::array<std::string_view, SettingCount> SettingNames{
    "Left",      "Top",       "Vol1",       "Vol2",       "Vol3",       "Sync",      "Idle",
    "TuneTime",  "BitLen512", "BitLen1200", "BitLen2400", "DataFolder", "LogPages",  "AutoSend",
    "CheckRate", "AutoFile",  "LockFile",   "AutoDelay",  "Frequency",  "StationID", "MorseDev",
    "Port",      "Pin",       "Delay",      "InvKey",     "Keying",     "Baud1",     "Baud2",
    "Baud3",     "Func1",     "Func2",      "Func3",      "Func4",      "A-N1",      "A-N2",
    "NI1",       "NI2",       "LastRIC"};

/// Values beyond those 38, for choices the program has gained since (the audio output, the
/// keying method). They sit in the same section; a store without them loads with their
/// defaults, and the 38 above keep their names, order and meaning.
inline constexpr auto ExtraSettingNames =
    std::to_array<std::string_view>({"AudioBackend", "AudioDevice", "PttMethod", "PttDevice",
                                     "PttCm108Pin", "PttGpioLine", "PttRigModel", "PttRigSpeed"});
inline constexpr int ExtraSettingCount = static_cast<int>(ExtraSettingNames.size());

/// The transmit watchdog's seconds: written once it differs from the default (or was stored),
/// so a store that never had it stays as it was.
inline constexpr std::string_view TxWatchdogSetting = "TxWatchdog";

/// The audio output when the store names none: the Qt Multimedia backend's default device.
inline constexpr std::string_view DefaultAudioBackend = "qt";

/// Where the store lives: the section every value sits in, and on Windows the key path.
inline constexpr std::string_view SettingsSection = "Tarvex";
inline constexpr std::string_view SettingsKeyPath = "software\\dovrik-apps";
inline constexpr std::string_view DefaultAutoFile = "AutoSend.Txt";

/// Finds a stored value by name; nullopt when it is missing.
using StoredLookup = std::function<std::optional<std::string>(std::string_view name)>;

/// Reads values through a lookup with the store's rules: the default for a missing or
/// unparsable value, an integer out of range the nearest end.
class StoredReader {
public:
    explicit StoredReader(const StoredLookup& lookup) : m_lookup(lookup) {}
    int32_t integer(std::string_view name, int32_t fallback) const {
        const auto raw = m_lookup(name);
        return readInteger(raw ? StoredText(*raw) : std::nullopt, fallback);
    }
    int32_t clamped(std::string_view name, int32_t fallback, int32_t lo, int32_t hi) const;
    bool flag(std::string_view name, bool fallback) const {
        const auto raw = m_lookup(name);
        return readFlag(raw ? StoredText(*raw) : std::nullopt, fallback);
    }
    std::string text(std::string_view name, std::string_view fallback) const {
        const auto raw = m_lookup(name);
        return readText(raw ? StoredText(*raw) : std::nullopt, fallback);
    }

private:
    const StoredLookup& m_lookup;
};

} // namespace tarvex
