#pragma once
// The Qt Multimedia backend (sound output, and the receiver's input for the off-air monitor)
// as a module that tarvexd loads only when a setting chooses it: a service playing through
// ALSA then never loads Qt's GUI, X11, GL or PulseAudio libraries. The module is built from
// the same sources the desktop program links; the objects it makes belong to the program
// that loaded it, which deletes them.
#include <string>

namespace tarvex {

class AudioOutput;
class MonitorInput;

struct QtAudioModule {
    /// A Qt Multimedia output; empty device: the system's default output.
    AudioOutput* (*makeOutput)(const char* device);
    /// Calls add once per output device, by its description.
    void (*outputDevices)(void (*add)(void* context, const char* name), void* context);
    /// A Qt Multimedia input for the off-air monitor, by device name.
    MonitorInput* (*makeInput)(const char* device);
};

/// The module's one exported function: returns its table.
inline constexpr char QtAudioModuleEntry[] = "tarvex_qt_audio_module";

/// Loads the module on first use (beside the program in a build, else its installed place,
/// or $TARVEX_QT_AUDIO_MODULE); nullptr with *error, naming where it looked, when it cannot.
const QtAudioModule* loadQtAudioModule(std::string* error);

} // namespace tarvex
