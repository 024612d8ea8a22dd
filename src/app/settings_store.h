#pragma once
// The settings store: the 38 named string values the main window loads into its controls at
// start-up and writes back when it closes. On Windows they sit in the registry under
// HKCU "software\dovrik-apps", section "Tarvex"; elsewhere in the INI file
// <config folder>/dovrik-apps/Tarvex.ini, section [Tarvex].
#include "station/qt/settings_file.h"
#include "station/settings_values.h"

#include <QString>

#include <memory>

class QSettings;

namespace tarvex {} // namespace tarvex
