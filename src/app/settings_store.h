#pragma once
// The settings store: the 38 named string values the main window loads into its controls at
// start-up and writes back when it closes. On Windows they sit in the registry under
// HKCU "software\dovrik-apps", section "Tarvex"; elsewhere in the INI file
// <config folder>/dovrik-apps/Tarvex.ini, section [Tarvex].
#include "station/settings_values.h"

#include <QString>

#include <memory>

class QSettings;

namespace tarvex {

/// Opens the store with its section as the current group. `file` names an INI file to use
/// instead of the per-user store (tests); empty gives the per-user store.
std::unique_ptr<QSettings> openSettingsStore(const QString& file);

/// How messages name the store: the registry key path, or the INI file's path.
QString settingsStoreName(const QString& file);

/// One value as the store holds it; nullopt when it is missing.
std::optional<std::string> storedValue(const QSettings& store, std::string_view name);

} // namespace tarvex
