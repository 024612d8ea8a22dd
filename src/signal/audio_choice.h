#pragma once
// The audio output an operator chose, kept by backend and device name (not by index, which
// changes when cards come and go), and opened again at the next start: a device that has
// gone falls back to the backend's default and says so.
#include "signal/audio_output.h"

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace tarvex {

/// Backends an operator can choose: "qt" (Qt Multimedia) and, where built, "alsa".
std::vector<std::string> audioBackends();

/// Device names the backend offers now; empty for an unknown backend. The Qt backend needs a
/// QCoreApplication.
std::vector<std::string> audioDeviceNames(std::string_view backend);

/// The device to open for a stored name: the name itself when it is available (or empty, the
/// default), else empty (the default) with *note telling the operator.
std::string resolveStoredDevice(const std::vector<std::string>& available, std::string_view stored,
                                std::string* note);

/// The factory choice text for a backend and device: "default", "qt:NAME", "alsa",
/// "alsa:NAME".
std::string audioChoiceText(std::string_view backend, std::string_view device);

/// Opens the stored choice. An unknown backend falls back to "qt", a device that is gone to
/// the backend's default; *note (when not null) says what was done instead. nullptr only if
/// even the fallback cannot be made, with *error set.
std::unique_ptr<AudioOutput> openStoredAudioOutput(std::string_view backend,
                                                   std::string_view device, std::string* note,
                                                   std::string* error);

} // namespace tarvex
