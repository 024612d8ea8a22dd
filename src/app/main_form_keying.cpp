// The main window's keying: the port the Keyer writes, which forwards to the keying method
// the Keying dialog chose (the parallel port by default), and the status line's port text.
#include "app/keying_form.h"
#include "app/main_form.h"
#include "app/status_line.h"

#include <QCheckBox>
#include <QPointer>

namespace tarvex {

void TMainForm::createKeying() {
    m_pttFactory = makePttPortWriter;
    m_keyingPort = std::make_shared<KeyingPort>(
        [this](uint8_t value) { return isKeyedByte(keyerSettings(), value); });
    m_keyingPort->switchTo([port = m_port](std::string*) { return port; });
    m_keyingPort->setSwitchedAction([this] { describePort(); });
    m_keyer = std::make_unique<Keyer>(*m_keyingPort, [this] { return keyerSettings(); });
}

KeyingSettings TMainForm::keyerSettings() const {
    return keyerSettingsFor(m_methodInUse, keying());
}

void TMainForm::applyKeyingMethod() {
    if (m_dialogs.keying == nullptr)
        return;
    const PttSettings chosen = m_dialogs.keying->pttSettings();
    if (samePttSettings(chosen, m_pttChosen))
        return;
    m_pttChosen = chosen;
    KeyingPort::Builder build;
    if (chosen.method == PttMethod::ParallelPort) {
        build = [this](std::string*) {
            m_methodInUse = PttMethod::ParallelPort;
            return m_port;
        };
    } else {
        // The polarity is asked at every write; the last one seen stays in force should the
        // dialog be gone when the writer releases the line at the very end.
        auto lastInverted = std::make_shared<bool>(false);
        std::function<bool()> invKey = [dialog = QPointer<TKeyingForm>(m_dialogs.keying),
                                        lastInverted] {
            if (dialog)
                *lastInverted = dialog->InvKey()->isChecked();
            return *lastInverted;
        };
        build = [this, chosen, invKey](std::string* error) -> std::shared_ptr<PortWriter> {
            m_methodInUse = chosen.method;
            m_methodDescription = pttDescription(chosen);
            return m_pttFactory(chosen, invKey, error);
        };
    }
    if (m_keyingPort->switchTo(std::move(build))) {
        m_keyer->UnkeyTransmitter(); // the new method starts released, its outcome reported
        reportOnAirFailures();
    } else {
        m_status->note(QStringLiteral("The keying method changes when the transmitter is "
                                      "released."));
    }
}

void TMainForm::describePort() {
    if (m_methodInUse != PttMethod::ParallelPort) {
        m_status->setPort(QString::fromStdString(m_methodDescription));
        return;
    }
    const int port = keying().Port;
    const uint16_t address = lptDataAddress(port);
    QString path = m_portName;
    if (path.isEmpty())
        path = QString::fromStdString(parportDeviceForAddress(address).value_or("direct I/O"));
    m_status->setPort(QStringLiteral("LPT%1 %2").arg(port == 1 ? 2 : 1).arg(path));
}

} // namespace tarvex
