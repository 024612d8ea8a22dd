#pragma once
// The Keying dialog: which parallel port and data pin key the transmitter, with which
// polarity, and how long to wait between keying and sending. The keying operations read
// these controls at every call, so a change applies at once.
#include "txcontrol/keying.h"

#include <QDialog>

#include <functional>

class QButtonGroup;
class QCheckBox;
class QComboBox;
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

    /// Runs when "Inverted Keying" is clicked (the owner releases the transmitter).
    void setInvKeyAction(std::function<void()> action) { m_invKeyAction = std::move(action); }

    QComboBox* Port() const { return m_port; }
    QButtonGroup* Pin() const { return m_pin; }
    QSpinBox* KeyDelay() const { return m_keyDelay; }
    QCheckBox* AllowKeying() const { return m_allowKeying; }
    QCheckBox* InvKey() const { return m_invKey; }

protected:
    bool event(QEvent* event) override;

private:
    QComboBox* m_port = nullptr;
    QButtonGroup* m_pin = nullptr;
    QSpinBox* m_keyDelay = nullptr;
    QCheckBox* m_allowKeying = nullptr;
    QCheckBox* m_invKey = nullptr;
    std::function<void()> m_invKeyAction;
};

} // namespace tarvex
