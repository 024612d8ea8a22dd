// The main window's audio output: the one the setup forces (tests, TARVEX_AUDIO) or the one
// the operator chose under Setup > Audio Output, kept by backend and device name. A new
// choice never cuts into a transmission: the engine takes it on once the transmitter has
// been released.
#include "app/audio_form.h"
#include "app/main_form.h"
#include "app/status_line.h"
#include "signal/audio_choice.h"
#include "signal/audio_output.h"
#include "station/settings_values.h"

namespace tarvex {

namespace {

QString qtext(const std::string& text) {
    return QString::fromStdString(text);
}

QString choiceText(const QString& backend, const QString& device) {
    return qtext(audioChoiceText(backend.toStdString(), device.toStdString()));
}

} // namespace

std::shared_ptr<AudioOutput> TMainForm::createAudio(const MainFormSetup& setup) {
    m_openAudio = setup.openAudio;
    if (!m_openAudio)
        m_openAudio = [](std::string_view backend, std::string_view device, std::string* note,
                         std::string* error) {
            return openStoredAudioOutput(backend, device, note, error);
        };
    AudioBackend = QString::fromLatin1(DefaultAudioBackend);
    m_audioForced = setup.audio != nullptr || !setup.audioChoice.empty();
    std::shared_ptr<AudioOutput> audio = setup.audio;
    if (!audio) {
        // Until the settings are loaded the default output stands in for the stored choice.
        const std::string choice = setup.audioChoice.empty() ? "default" : setup.audioChoice;
        std::string error;
        audio = std::shared_ptr<AudioOutput>(makeAudioOutput(choice, &error));
        if (!audio) {
            m_status->setFailure(
                QStringLiteral("Audio output \"%1\": %2").arg(qtext(choice), qtext(error)));
            audio = std::shared_ptr<AudioOutput>(makeAudioOutput("null", nullptr));
        }
    }
    return audio;
}

void TMainForm::openStoredAudio() {
    if (m_audioForced)
        return;
    // The stock choice is the output made at creation already.
    if (AudioBackend == QLatin1String(DefaultAudioBackend) && AudioDevice.isEmpty())
        return;
    std::string note;
    std::string error;
    std::shared_ptr<AudioOutput> output(
        m_openAudio(AudioBackend.toStdString(), AudioDevice.toStdString(), &note, &error));
    if (!output) {
        m_status->setFailure(QStringLiteral("Audio output %1 cannot be opened (%2); using %3.")
                                 .arg(choiceText(AudioBackend, AudioDevice), qtext(error),
                                      qtext(m_station->status().audio)));
        return;
    }
    m_station->setAudioOutput(std::move(output));
    if (!note.empty())
        m_status->setFailure(qtext(note));
}

void TMainForm::AudioOutput1Click() {
    if (m_dialogs.audio == nullptr)
        return;
    m_dialogs.audio->setChoice(AudioBackend.toStdString(), AudioDevice.toStdString());
    showDialog(m_dialogs.audio);
}

void TMainForm::applyAudioChoice(const QString& backend, const QString& device) {
    std::string note;
    std::string error;
    std::shared_ptr<AudioOutput> output(
        m_openAudio(backend.toStdString(), device.toStdString(), &note, &error));
    if (!output) {
        // The old output stays, and so does the stored choice that made it.
        m_status->setFailure(
            QStringLiteral("Audio output %1 cannot be opened (%2); still playing through %3.")
                .arg(choiceText(backend, device), qtext(error), qtext(m_station->status().audio)));
        return;
    }
    AudioBackend = backend;
    AudioDevice = device;
    if (!note.empty())
        m_status->setFailure(qtext(note));
    else if (m_status->failureText().startsWith(QStringLiteral("Audio")))
        m_status->setFailure({});
    m_station->setAudioOutput(std::move(output));
}

} // namespace tarvex
