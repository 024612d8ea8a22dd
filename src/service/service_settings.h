#pragma once
// tarvexd's settings as it reads them: the store checked against the settings table first,
// one line per problem naming the file, the key, the value and what is used instead, and the
// faults that leave the keying line or the audio output unusable (an unreadable file, a
// missing section, a method or backend nobody wrote), so nothing is keyed or played for a
// line or output the administrator did not choose.
#include "station/settings_table.h"

#include <QSettings>
#include <QString>

#include <memory>
#include <string>
#include <vector>

namespace tarvex {

struct ServiceSettings {
    std::unique_ptr<QSettings> store;
    std::string storeName; ///< the settings file's path
    CheckedSettings checked;
    std::vector<std::string> lines; ///< "settings FILE: ..." per problem, for the log
    bool faulty = false;            ///< a problem that is a fault
};

ServiceSettings readServiceSettings(const QString& file);

} // namespace tarvex
