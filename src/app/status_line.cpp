#include "app/status_line.h"

#include <QLabel>

namespace tarvex {

StatusLine::StatusLine(QWidget* parent) : QStatusBar(parent) {
    setObjectName(QStringLiteral("StatusLine"));
    setSizeGripEnabled(false);
    m_progress = new QLabel(this);
    m_progress->setObjectName(QStringLiteral("StatusProgress"));
    m_audio = new QLabel(this);
    m_audio->setObjectName(QStringLiteral("StatusAudio"));
    m_port = new QLabel(this);
    m_port->setObjectName(QStringLiteral("StatusPort"));
    m_station = new QLabel(this);
    m_station->setObjectName(QStringLiteral("StatusStation"));
    m_station->hide();
    m_alarm = new QLabel(this);
    m_alarm->setObjectName(QStringLiteral("StatusAlarm"));
    m_alarm->setStyleSheet(QStringLiteral("QLabel { color: white; background: #c00000; "
                                          "font-weight: bold; padding: 0 4px; }"));
    m_alarm->hide();
    // Permanent widgets, so that a failure text on the left never hides them.
    addPermanentWidget(m_alarm);
    addPermanentWidget(m_station);
    addPermanentWidget(m_progress);
    addPermanentWidget(m_audio);
    addPermanentWidget(m_port);
}

void StatusLine::setAudio(const QString& name) {
    m_audio->setText(QStringLiteral("Audio: %1").arg(name));
}

void StatusLine::setPort(const QString& name) {
    m_port->setText(QStringLiteral("Port: %1").arg(name));
}

void StatusLine::setFolder(const QString& folder) {
    m_folder = folder;
    const QString tip = QStringLiteral("Program folder: %1").arg(folder);
    m_audio->setToolTip(tip);
    m_port->setToolTip(tip);
}

void StatusLine::setFailure(const QString& text) {
    m_failure = text;
    setToolTip(text); // the whole text when the line is too short for it
    refreshMessage();
}

void StatusLine::setProgress(double elapsedSeconds, double totalSeconds) {
    if (totalSeconds < 0) {
        m_progress->clear();
    } else {
        m_progress->setText(QStringLiteral("On air %1 / %2 s")
                                .arg(elapsedSeconds, 0, 'f', 1)
                                .arg(totalSeconds, 0, 'f', 1));
    }
}

void StatusLine::note(const QString& text) {
    showMessage(text);
}

void StatusLine::refreshMessage() {
    if (m_failure.isEmpty())
        clearMessage();
    else
        showMessage(m_failure);
}

void StatusLine::setStation(const QString& text) {
    m_station->setText(text);
    m_station->setToolTip(text);
    m_station->setVisible(!text.isEmpty());
}

QString StatusLine::stationText() const {
    return m_station->text();
}

void StatusLine::setAlarm(const QString& text) {
    m_alarm->setText(text);
    m_alarm->setToolTip(text);
    m_alarm->setVisible(!text.isEmpty());
}

QString StatusLine::alarmText() const {
    return m_alarm->text();
}

QString StatusLine::audioText() const {
    return m_audio->text();
}
QString StatusLine::portText() const {
    return m_port->text();
}
QString StatusLine::progressText() const {
    return m_progress->text();
}

} // namespace tarvex
