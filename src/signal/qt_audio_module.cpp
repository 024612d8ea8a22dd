// The module's side: the table of makers over the Qt Multimedia classes.
#include "signal/qt_audio_module.h"

#include "monitor/qt_audio_input.h"
#include "signal/qt_audio_output.h"

namespace {

tarvex::AudioOutput* makeOutput(const char* device) {
    return new tarvex::QtAudioOutput(device != nullptr ? std::string(device) : std::string());
}

void outputDevices(void (*add)(void* context, const char* name), void* context) {
    for (const std::string& name : tarvex::QtAudioOutput::deviceDescriptions())
        add(context, name.c_str());
}

tarvex::MonitorInput* makeInput(const char* device) {
    return new tarvex::QtAudioInput(QString::fromUtf8(device != nullptr ? device : ""));
}

const tarvex::QtAudioModule Table{makeOutput, outputDevices, makeInput};

} // namespace

extern "C" __attribute__((visibility("default"))) const tarvex::QtAudioModule*
tarvex_qt_audio_module() {
    return &Table;
}
