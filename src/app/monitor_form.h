#pragma once
// The "Off-air monitor" dialog under Setup: whether the station listens to a receiver to
// confirm each page it sends, where the receiver's audio comes from (an input device of the
// sound server or ALSA, or a command such as an SDR's), the receiver's polarity, the margin
// after a key-up, and the alarm: after how many pages not heard, and what command it runs.
#include "monitor/monitor_settings.h"

#include <QDialog>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QSpinBox;

namespace tarvex {

class TMonitorForm : public QDialog {
    Q_OBJECT
public:
    explicit TMonitorForm(QWidget* parent = nullptr);

    void setSettings(const MonitorSettings& settings);
    MonitorSettings settings() const;

signals:
    void settingsChanged();

private:
    void kindChanged();
    void accepting();

    QCheckBox* m_enabled = nullptr;
    QComboBox* m_kind = nullptr;
    QComboBox* m_device = nullptr;
    QLineEdit* m_command = nullptr;
    QCheckBox* m_inverts = nullptr;
    QSpinBox* m_margin = nullptr;
    QSpinBox* m_alarmCount = nullptr;
    QLineEdit* m_alarmCommand = nullptr;
    MonitorSettings m_opened;
};

} // namespace tarvex
