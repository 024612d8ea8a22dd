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

namespace tarvex {

/// Opens the store with its section as the current group. `file` names an INI file to use
/// instead of the per-user store (tests); empty gives the per-user store.
std::unique_ptr<QSettings> openSettingsStore(const QString& file);

/// How messages name the store: the registry key path, or the INI file's path.
QString settingsStoreName(const QString& file);

/// One value as the store holds it; nullopt when it is missing.
std::optional<std::string> storedValue(const QSettings& store, std::string_view name);

} // namespace tarvex
