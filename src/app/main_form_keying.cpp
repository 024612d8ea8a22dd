// The main window's keying: the keying method the Keying dialog chose (the parallel port by
// default) handed to the engine as its keying line, the status line's port and audio texts,
// the manual key-up and the Keying dialog's Test.
#include "app/keying_form.h"
#include "app/main_form.h"
#include "app/status_line.h"
#include "signal/audio_output.h"
#include "station/keying_method.h"

#include <QAction>
#include <QPointer>
#include <QTimer>

namespace tarvex {

void TMainForm::applyKeyingMethod() {
    if (m_dialogs.keying == nullptr)
        return;
    const PttSettings chosen = m_dialogs.keying->pttSettings();
    if (samePttSettings(chosen, m_pttChosen))
        return;
    m_pttChosen = chosen;
    m_methodDescription = pttDescription(chosen);
    // The settings are asked at every call; the last ones seen stay in force should the
    // dialog be gone when the line releases the transmitter at the very end.
    auto last = std::make_shared<KeyingSettings>(keying());
    std::function<KeyingSettings()> settings = [dialog = QPointer<TKeyingForm>(m_dialogs.keying),
                                                last] {
        if (dialog)
            *last = dialog->settings();
        return *last;
    };
    m_station->setKeyingLine(m_lineFactory(chosen, m_port, m_portName.toStdString(), settings));
    describeBackends();
}

void TMainForm::describeBackends() {
    if (m_station == nullptr)
        return;
    const bool parallel = pttMethod(m_pttChosen.method).uses(PttPortField);
    const StationStatus status = m_station->status();
    // A method chosen while keyed is not in force until the release: the line keying the
    // transmitter stays named until then.
    if (!status.keyingSwitchPending)
        m_status->setPort(QString::fromStdString(parallel ? status.keying : m_methodDescription),
                          QString::fromStdString(status.keyingError));
    m_status->setAudio(QString::fromStdString(status.audio),
                       QString::fromStdString(status.audioError));
}

void TMainForm::KeyTx1Click() {
    m_station->setManualKey(KeyTx1->isChecked());
}

void TMainForm::testKeying() {
    if (transmitterInUse())
        return;          // the line is busy: its keying shows already
    applyKeyingMethod(); // the method the dialog holds now, not the one it opened with
    m_station->setManualKey(true);
    m_status->note(QStringLiteral("Test: the transmitter is keyed for one second."));
    QTimer::singleShot(1000, this, [this] {
        // The test's own key-up ends, whether the line keyed or failed to; one the operator
        // took over by hand, or a transmission that came meanwhile, is left alone.
        const StationStatus now = m_station->status();
        const bool testKeyUp =
            now.source == TxSource::ManualKey &&
            (now.state == OnAirState::ManualKey || now.state == OnAirState::KeyingFailed);
        if (!KeyTx1->isChecked() && testKeyUp)
            m_station->setManualKey(false);
    });
}

} // namespace tarvex
