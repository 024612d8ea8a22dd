#pragma once
// The station's settings as the settings store holds them, read with the store's rules
// (defaults for missing or unparsable values, the controls' ranges, the low byte of the
// levels): the desktop program loads them into its controls, tarvexd runs a station from
// them, so both read one store the same way. Standard C++ only.
#include "station/keying_method.h"
#include "station/settings_values.h"
#include "txcontrol/keying.h"

#include <array>
#include <cstdint>
#include <string>

namespace tarvex {

struct StationSettings {
    int left = 10;
    int top = 10;
    std::array<uint8_t, 3> levels{25, 20, 30}; ///< Vol1..Vol3: 512, 1200, 2400 bit/s
    std::string syncText = "7CD215D8";
    std::string idleText = "7A89C197";
    int tuneTime = 5; ///< 1..15
    std::array<int32_t, 3> bitLen{750, 640, 320};
    std::string dataFolder;
    bool logPages = false;

    bool autoSend = false;
    int checkRate = 2; ///< 2..600
    std::string autoFile = "AutoSend.Txt";
    std::string lockFile = "Lock.Lck";
    int autoDelay = 0; ///< 0..10

    int identMinutes = 0; ///< 0..60
    std::string stationId = "GXZYX";
    int morseDev = 10; ///< 0..100

    int txWatchdog = 180;  ///< TxWatchdog: seconds keyed at most, 0..3600 (0: no limit)
    KeyingSettings keying; ///< Port (-1: none chosen), Pin (-1..7), Delay, InvKey, Keying
    PttSettings ptt;

    std::array<bool, 3> baud{false, true, false};        ///< Baud1..Baud3
    std::array<bool, 4> func{false, false, false, true}; ///< Func1..Func4
    std::array<bool, 2> alphaNumeric{true, false};       ///< A-N1, A-N2
    std::array<bool, 2> polarity{true, false};           ///< NI1, NI2
    std::string lastRic = "1234567";

    std::string audioBackend = "qt";
    std::string audioDevice;

    /// The page buttons as they load: the bit rate of the last rate flag that is set (the
    /// group keeps one), 1200 when none is.
    int selectedBaud() const;
    /// Inverted when NI2 is set (the start-up selection is NI1).
    bool selectedInverted() const;
};

/// Reads every value by name with its default. `dataFolder` is the default data folder (the
/// program folder).
StationSettings readStationSettings(const StoredLookup& lookup, const std::string& dataFolder);

} // namespace tarvex
