#include "station/station_settings.h"

#include <algorithm>

namespace tarvex {

int StationSettings::selectedBaud() const {
    if (baud[2])
        return 2400;
    if (baud[1])
        return 1200;
    return baud[0] ? 512 : 1200;
}

bool StationSettings::selectedInverted() const {
    return polarity[1];
}

StationSettings readStationSettings(const StoredLookup& lookup, const std::string& dataFolder) {
    const StoredReader r(lookup);
    StationSettings s;
    s.left = r.integer("Left", 10);
    s.top = r.integer("Top", 10);
    s.levels = {lowByte(r.integer("Vol1", 25)), lowByte(r.integer("Vol2", 20)),
                lowByte(r.integer("Vol3", 30))};
    s.syncText = r.text("Sync", s.syncText);
    s.idleText = r.text("Idle", s.idleText);
    s.tuneTime = r.clamped("TuneTime", 5, 1, 15);
    s.bitLen = {r.integer("BitLen512", 750), r.integer("BitLen1200", 640),
                r.integer("BitLen2400", 320)};
    s.dataFolder = r.text("DataFolder", dataFolder);
    s.logPages = r.flag("LogPages", false);

    s.autoSend = r.flag("AutoSend", false);
    s.checkRate = r.clamped("CheckRate", 2, 2, 600);
    s.autoFile = r.text("AutoFile", DefaultAutoFile);
    if (s.autoFile.empty())
        s.autoFile = DefaultAutoFile;
    s.lockFile = r.text("LockFile", "Lock.Lck");
    s.autoDelay = r.clamped("AutoDelay", 0, 0, 10);

    s.identMinutes = r.clamped("Frequency", 0, 0, 60);
    s.stationId = r.text("StationID", "GXZYX");
    s.morseDev = r.clamped("MorseDev", 10, 0, 100);

    s.keying.Port = listIndex(r.integer("Port", 0), 2);
    s.keying.Pin = r.clamped("Pin", 0, -1, 7);
    s.keying.KeyDelay = r.clamped("Delay", 200, 100, 900);
    s.keying.InvKey = r.flag("InvKey", false);
    s.keying.AllowKeying = r.flag("Keying", false);
    s.ptt = readPttSettings(lookup);
    s.txWatchdog = r.clamped(TxWatchdogSetting, s.txWatchdog, 0, 3600);

    s.baud = {r.flag("Baud1", false), r.flag("Baud2", true), r.flag("Baud3", false)};
    s.func = {r.flag("Func1", false), r.flag("Func2", false), r.flag("Func3", false),
              r.flag("Func4", true)};
    s.alphaNumeric = {r.flag("A-N1", true), r.flag("A-N2", false)};
    s.polarity = {r.flag("NI1", true), r.flag("NI2", false)};
    s.lastRic = r.text("LastRIC", "1234567");

    s.audioBackend = r.text("AudioBackend", DefaultAudioBackend);
    if (s.audioBackend.empty())
        s.audioBackend = DefaultAudioBackend;
    s.audioDevice = r.text("AudioDevice", "");
    return s;
}

} // namespace tarvex
