#pragma once
// Where the settings store lives and how its values are read: the registry key
// HKCU "software\\dovrik-apps" on Windows, elsewhere the INI file
// <config folder>/dovrik-apps/Tarvex.ini, section [Tarvex]. The desktop program and tarvexd
// open the same store.
#include "station/settings_values.h"

#include <QSettings>
#include <QString>

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarvex {

/// Opens the store with its section as the current group. `file` names an INI file to use
/// instead of the per-user store (tests); empty gives the per-user store.
std::unique_ptr<QSettings> openSettingsStore(const QString& file);

/// How messages name the store: the registry key path, or the INI file's path.
QString settingsStoreName(const QString& file);

/// One value as the store holds it; nullopt when it is missing.
std::optional<std::string> storedValue(const QSettings& store, std::string_view name);

/// What stands between a store and its values. A file that cannot be read, that Qt cannot
/// read as INI, or that has no section [Tarvex] is a fault: none of its values would be read.
/// A file that does not exist, or holds nothing, only gets a note: every value is its default.
struct StoreInspection {
    std::string fault;
    std::string note;
    std::vector<std::string> keys; ///< the keys in the section
};
StoreInspection inspectSettingsStore(const QString& file);

} // namespace tarvex
