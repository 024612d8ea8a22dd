#pragma once
// Every value of the settings section [Tarvex] that a program reads: its name, kind, range or
// allowed values, default and which programs read it. tarvexd checks its store against this
// one table before it reads anything (one problem per value that is not what was written,
// with what is used instead), its readers get the checked values, and the manual page of the
// settings file lists the same rows. Standard C++ only.
#include "station/settings_values.h"

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tarvex {

enum class SettingKind {
    Integer,
    Flag,     ///< "1"/"0"; tarvexd also takes true/false, yes/no, on/off
    Text,     ///< anything, an empty text included
    Hex,      ///< a codeword as up to 8 hexadecimal digits
    Choice,   ///< one of `allowed`, case aside
    Addresses ///< listening addresses separated by commas
};

/// What a number outside its range becomes: the nearest end (the window's controls), its low
/// 8 bits (the deviation levels), no item of a list (-1), or the default.
enum class OutOfRange { Clamp, LowByte, ListIndex, Default };

/// The programs reading a value, as bits.
enum SettingReader : unsigned { ReadByWindow = 1, ReadByService = 2 };

struct SettingRow {
    std::string_view name;
    SettingKind kind;
    int32_t min = 0;
    int32_t max = 0;
    std::string_view fallback; ///< the default as stored ("" for DataFolder: the station folder)
    unsigned readers = ReadByWindow | ReadByService;
    OutOfRange outOfRange = OutOfRange::Default;
    std::string_view allowed; ///< Choice: the values, separated by '|'
};

/// The whole table, in the order the manual page lists it.
std::span<const SettingRow> settingsTable();
/// The row of a name (exact case); nullptr for a name no program reads.
const SettingRow* findSetting(std::string_view name);

/// "1..65535", "0 or 1", "parallel, none, ..." for messages and the manual page.
std::string settingRangeText(const SettingRow& entry);

struct SettingProblem {
    std::string key;
    std::string value;   ///< as stored (empty when the value is missing)
    std::string problem; ///< "is outside 1..65535"
    std::string instead; ///< "444 is used instead"
    /// The station cannot be what was written (a keying method or audio output it does not
    /// know, an ident without a callsign): a fault, not only a note.
    bool fault = false;
    /// "SnppPort=99999: is outside 1..65535; 444 is used instead"
    std::string text() const;
};

/// The values a reader takes after the check, and the problems found on the way.
struct CheckedSettings {
    std::vector<SettingProblem> problems;
    /// A fault that leaves the keying line or the audio output unusable, empty when none:
    /// nothing is keyed for it instead of a line or output nobody wrote.
    std::string keyingFault;
    std::string audioFault;
    /// The stored values with each problem's replacement in place.
    StoredLookup lookup;
};

/// Checks every value `reader` reads from `stored`, and names every key in `keys` (the keys
/// present in the section) that no program reads. Flags given as words read as "1"/"0"; a
/// value that cannot be used reads as what the problem says is used instead.
CheckedSettings checkStoredSettings(const StoredLookup& stored, std::span<const std::string> keys,
                                    unsigned reader);

/// A flag as tarvexd reads it: "1"/"0" (any integer, not 0 being true) and the words
/// true/false, yes/no, on/off in any case; nullopt for anything else.
std::optional<bool> parseFlagWord(std::string_view text);

} // namespace tarvex
