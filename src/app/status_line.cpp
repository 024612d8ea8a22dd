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
    // Permanent widgets, so that a failure text on the left never hides them.
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
