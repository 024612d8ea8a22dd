#include "monitor/monitor_input.h"

#include "monitor/command_input.h"
#ifdef TARVEX_QT_AUDIO_MODULE
#include "signal/qt_audio_module.h"
#else
#include "monitor/qt_audio_input.h"
#endif
#ifdef TARVEX_HAVE_ALSA_INPUT
#include "monitor/alsa_input.h"
#endif

namespace tarvex {
namespace {

/// Stands in for an input this build cannot offer: it says so when started.
class MissingInput : public MonitorInput {
public:
    MissingInput(QString description, QString why)
        : m_description(std::move(description)), m_why(std::move(why)) {}
    bool start() override {
        m_lastError = m_why;
        return false;
    }
    void stop() override {}
    QString description() const override { return m_description; }

private:
    QString m_description;
    QString m_why;
};

} // namespace

std::unique_ptr<MonitorInput> makeMonitorInput(const MonitorInputChoice& input) {
    const QString value = QString::fromStdString(input.value);
    switch (input.kind) {
    case MonitorInputKind::Command:
        return std::make_unique<CommandInput>(value);
    case MonitorInputKind::QtDevice: {
#ifdef TARVEX_QT_AUDIO_MODULE
        std::string error;
        if (const QtAudioModule* module = loadQtAudioModule(&error))
            return std::unique_ptr<MonitorInput>(module->makeInput(input.value.c_str()));
        return std::make_unique<MissingInput>(QStringLiteral("qt:") + value,
                                              QString::fromStdString(error));
#else
        return std::make_unique<QtAudioInput>(value);
#endif
    }
    case MonitorInputKind::Alsa:
#ifdef TARVEX_HAVE_ALSA_INPUT
        return std::make_unique<AlsaInput>(value);
#else
        return std::make_unique<MissingInput>(QStringLiteral("alsa:") + value,
                                              QStringLiteral("this build has no ALSA input"));
#endif
    }
    return nullptr;
}

} // namespace tarvex
