#pragma once
// The Keying dialog: which parallel port and data pin key the transmitter, with which
// polarity, and how long to wait between keying and sending. The keying operations read
// these controls at every call, so a change applies at once. Beside them, the keying method
// (parallel port, serial line, CM108 or GPIO pin, rig CAT, none) with the fields it needs;
// the main window takes a new method on when the dialog closes.
#include "app/dialog_support.h"
#include "txcontrol/keying.h"
#include "txcontrol/ptt/ptt_factory.h"

#include <QDialog>

#include <functional>

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QSpinBox;

namespace tarvex {

class TKeyingForm : public QDialog {
    Q_OBJECT
public:
    explicit TKeyingForm(QWidget* parent = nullptr);

    /// The settings as the controls hold them now (-1 for a list with nothing selected).
    KeyingSettings settings() const;
    /// Puts the values into the controls; no click actions run.
    void setSettings(const KeyingSettings& settings);
    /// Selects pin D0..D7 by index; any other index leaves no pin selected.
    void setPin(int index);

    /// The keying method and its fields as the controls hold them.
    PttSettings pttSettings() const;
    /// Puts a method and its fields into the controls.
    void setPttSettings(const PttSettings& settings);

    /// While the transmitter is keyed, port, pin, polarity and key delay cannot change: the
    /// line must release the way it keyed. They are free again at the release.
    void setKeyed(bool keyed);
    bool keyed() const { return m_keyed; }

    /// Runs when "Inverted Keying" is clicked (the owner releases the transmitter).
    void setInvKeyAction(std::function<void()> action) { m_invKeyAction = std::move(action); }
    /// Runs on Test: the owner keys the chosen line for a second and releases it.
    void setTestAction(std::function<void()> action) { m_testAction = std::move(action); }
    QPushButton* btTestKeying() const { return m_test; }

    QComboBox* Port() const { return m_port; }
    QButtonGroup* Pin() const { return m_pin; }
    QSpinBox* KeyDelay() const { return m_keyDelay; }
    /// The transmit watchdog: seconds keyed at most (0: no limit).
    QSpinBox* TxWatchdog() const { return m_watchdog; }
    QCheckBox* AllowKeying() const { return m_allowKeying; }
    QCheckBox* InvKey() const { return m_invKey; }
    QComboBox* Method() const { return m_method; }
    QComboBox* PttDevice() const { return m_device; }
    QSpinBox* Cm108Pin() const { return m_cm108Pin; }
    QSpinBox* GpioLine() const { return m_gpioLine; }
    QSpinBox* RigModel() const { return m_rigModel; }
    QSpinBox* RigSpeed() const { return m_rigSpeed; }
    /// The rig by maker and name, from hamlib's own list (filled when Rig CAT is chosen).
    QComboBox* RigName() const { return m_rigName; }

    /// Esc and the close box put back what the dialog opened with; Done keeps the changes.
    void reject() override;

protected:
    bool event(QEvent* event) override;

private:
    void buildMethodPanel();
    /// Shows the fields the chosen method needs and fills the device list for it.
    void methodChanged();
    void enableLineControls();
    /// Lists the devices found for the chosen method, keeping the device text.
    void fillDevices();
    const PttMethodInfo& chosenMethod() const;
    /// hamlib's rigs into the name list, once; the number stays the setting.
    void fillRigNames();
    void showRigName(int model);

    QLabel* m_portLabel = nullptr;
    QComboBox* m_port = nullptr;
    QWidget* m_pinBox = nullptr;
    QButtonGroup* m_pin = nullptr;
    QSpinBox* m_keyDelay = nullptr;
    QSpinBox* m_watchdog = nullptr;
    QCheckBox* m_allowKeying = nullptr;
    QCheckBox* m_invKey = nullptr;
    std::function<void()> m_invKeyAction;
    std::function<void()> m_testAction;
    QPushButton* m_test = nullptr;

    QComboBox* m_method = nullptr;
    QComboBox* m_device = nullptr;
    QSpinBox* m_cm108Pin = nullptr;
    QSpinBox* m_gpioLine = nullptr;
    QSpinBox* m_rigModel = nullptr;
    QSpinBox* m_rigSpeed = nullptr;
    QComboBox* m_rigName = nullptr;
    QLabel* m_deviceLabel = nullptr;
    QLabel* m_cm108Label = nullptr;
    QLabel* m_gpioLabel = nullptr;
    QLabel* m_rigModelLabel = nullptr;
    QLabel* m_rigSpeedLabel = nullptr;
    QLabel* m_hint = nullptr;
    QLabel* m_keyedNote = nullptr;
    bool m_keyed = false;
    DialogValues m_opened;
};

} // namespace tarvex
