#include "app/monitor_form.h"

#include "app/dialog_support.h"
#include "app/ui_font.h"
#include "monitor/qt_audio_input.h"
#ifdef TARVEX_HAVE_ALSA_INPUT
#include "monitor/alsa_input.h"
#endif

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>
#include <QVBoxLayout>

namespace tarvex {

namespace {

enum Kind { QtInput = 0, AlsaInput = 1, CommandInput = 2 };

bool sameSettings(const MonitorSettings& a, const MonitorSettings& b) {
    return a.enabled == b.enabled && a.input == b.input && a.receiverInverts == b.receiverInverts &&
           a.marginMs == b.marginMs && a.alarmCount == b.alarmCount &&
           a.alarmCommand == b.alarmCommand;
}

} // namespace

TMonitorForm::TMonitorForm(QWidget* parent) : QDialog(parent) {
    useWindowFont(*this);
    setObjectName(QStringLiteral("MonitorForm"));
    setWindowTitle(QStringLiteral("Off-air monitor"));
    auto* layout = new QVBoxLayout(this);
    m_enabled = new QCheckBox(QStringLiteral("Confirm each page from a receiver"), this);
    m_enabled->setObjectName(QStringLiteral("cbMonitor"));
    layout->addWidget(m_enabled);
    auto* form = new QFormLayout;
    m_kind = new QComboBox(this);
    m_kind->setObjectName(QStringLiteral("cbMonitorKind"));
    m_kind->addItems({QStringLiteral("Sound input (sound server)"),
                      QStringLiteral("Sound input (ALSA)"),
                      QStringLiteral("Command (raw 16-bit mono at 22050 Hz)")});
    m_device = new QComboBox(this);
    m_device->setObjectName(QStringLiteral("cbMonitorDevice"));
    m_device->setEditable(true);
    m_command = new QLineEdit(this);
    m_command->setObjectName(QStringLiteral("edMonitorCommand"));
    m_command->setPlaceholderText(QStringLiteral("rtl_fm -f 439.9875M -s 22050 -"));
    m_inverts = new QCheckBox(QStringLiteral("The receiver inverts the audio"), this);
    m_inverts->setObjectName(QStringLiteral("cbReceiverInverts"));
    m_margin = new QSpinBox(this);
    m_margin->setObjectName(QStringLiteral("seMonitorMargin"));
    m_margin->setRange(0, MaxMonitorMarginMs);
    m_margin->setSingleStep(100);
    m_margin->setSuffix(QStringLiteral(" ms"));
    m_alarmCount = new QSpinBox(this);
    m_alarmCount->setObjectName(QStringLiteral("seAlarmCount"));
    m_alarmCount->setRange(1, MaxMonitorAlarmCount);
    m_alarmCommand = new QLineEdit(this);
    m_alarmCommand->setObjectName(QStringLiteral("edAlarmCommand"));
    m_alarmCommand->setPlaceholderText(
        QStringLiteral("mail -s \"$TARVEX_ALARM_SUMMARY\" operator"));
    form->addRow(QStringLiteral("Receiver audio from"), m_kind);
    form->addRow(QStringLiteral("Input device"), m_device);
    form->addRow(QStringLiteral("Command"), m_command);
    form->addRow(QString(), m_inverts);
    form->addRow(QStringLiteral("Margin after release"), m_margin);
    form->addRow(QStringLiteral("Alarm after pages not heard"), m_alarmCount);
    form->addRow(QStringLiteral("Alarm command"), m_alarmCommand);
    layout->addLayout(form);
    auto* note =
        new QLabel(QStringLiteral("The alarm command gets the details in its environment "
                                  "(TARVEX_ALARM, TARVEX_ALARM_SUMMARY, TARVEX_ALARM_RIC_1, ...)."),
                   this);
    note->setWordWrap(true);
    layout->addWidget(note);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &TMonitorForm::accepting);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_kind, &QComboBox::currentIndexChanged, this, &TMonitorForm::kindChanged);
    setMinimumWidth(480);
    kindChanged();
}

void TMonitorForm::kindChanged() {
    const int kind = m_kind->currentIndex();
    m_device->setEnabled(kind != CommandInput);
    m_command->setEnabled(kind == CommandInput);
    const QString kept = m_device->currentText();
    m_device->clear();
    if (kind == QtInput) {
        m_device->addItem(QString()); // the default input
        m_device->addItems(QtAudioInput::deviceNames());
    }
#ifdef TARVEX_HAVE_ALSA_INPUT
    if (kind == AlsaInput)
        m_device->addItems(AlsaInput::deviceNames());
#endif
    m_device->setCurrentText(kept);
}

void TMonitorForm::setSettings(const MonitorSettings& s) {
    m_enabled->setChecked(s.enabled);
    const QString input = QString::fromStdString(s.input);
    const int kind = input.startsWith(QStringLiteral("command:")) ? CommandInput
                     : input.startsWith(QStringLiteral("alsa:"))  ? AlsaInput
                                                                  : QtInput;
    m_kind->setCurrentIndex(kind);
    kindChanged();
    const QString rest = input.section(QLatin1Char(':'), 1);
    if (kind == CommandInput)
        m_command->setText(rest);
    else
        m_device->setCurrentText(rest);
    m_inverts->setChecked(s.receiverInverts);
    m_margin->setValue(s.marginMs);
    m_alarmCount->setValue(s.alarmCount);
    m_alarmCommand->setText(QString::fromStdString(s.alarmCommand));
    m_opened = s;
}

MonitorSettings TMonitorForm::settings() const {
    MonitorSettings s;
    s.enabled = m_enabled->isChecked();
    static const char* const Prefix[] = {"qt:", "alsa:", "command:"};
    const int kind = m_kind->currentIndex();
    s.input = std::string(Prefix[kind]) +
              (kind == CommandInput ? m_command->text() : m_device->currentText())
                  .trimmed()
                  .toStdString();
    s.receiverInverts = m_inverts->isChecked();
    s.marginMs = m_margin->value();
    s.alarmCount = m_alarmCount->value();
    s.alarmCommand = m_alarmCommand->text().trimmed().toStdString();
    return s;
}

void TMonitorForm::accepting() {
    const MonitorSettings s = settings();
    if (s.enabled)
        if (const auto problem = validateMonitorSettings(s)) {
            showPlainMessage(this, QString::fromStdString(*problem));
            return;
        }
    accept();
    if (!sameSettings(s, m_opened)) {
        m_opened = s;
        emit settingsChanged();
    }
}

} // namespace tarvex
