#include "app/status_line.h"
#include "app/on_air_bar.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QResizeEvent>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

namespace tarvex {

/// A one-line label that shows as much of its text as fits, ending in "...", and the whole
/// text in its tooltip when it is cut.
class ElidingLabel : public QLabel {
public:
    explicit ElidingLabel(const char* name, QWidget* parent) : QLabel(parent) {
        setObjectName(QString::fromLatin1(name));
        setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
        setFixedHeight(fontMetrics().height() + 4);
    }
    void setWhole(const QString& text, const QString& tip = {}) {
        m_whole = text;
        m_tip = tip;
        refresh();
    }
    const QString& whole() const { return m_whole; }
    QSize sizeHint() const override {
        return {fontMetrics().horizontalAdvance(m_whole) + 8, height()};
    }

protected:
    void resizeEvent(QResizeEvent* event) override {
        QLabel::resizeEvent(event);
        refresh();
    }

private:
    void refresh() {
        const QString shown =
            fontMetrics().elidedText(m_whole, Qt::ElideRight, contentsRect().width());
        setText(shown);
        QString tip = shown != m_whole ? m_whole : QString();
        if (!m_tip.isEmpty())
            tip += (tip.isEmpty() ? QString() : QStringLiteral("\n")) + m_tip;
        setToolTip(tip);
    }
    QString m_whole;
    QString m_tip;
};

namespace {

constexpr int StripHeight = 26;

} // namespace

StatusLine::StatusLine(QWidget* parent) : QStatusBar(parent) {
    setObjectName(QStringLiteral("StatusLine"));
    setSizeGripEnabled(false);
    auto* panel = new QWidget(this);
    auto* rows = new QVBoxLayout(panel);
    rows->setContentsMargins(0, 2, 0, 0);
    rows->setSpacing(2);
    rows->addWidget(buildOnAirStrip());

    auto* line = new QHBoxLayout;
    line->setSpacing(8);
    m_message = new ElidingLabel("StatusMessage", panel);
    m_message->setMinimumWidth(MessageMinWidth);
    m_holdTimer = new QTimer(this);
    m_holdTimer->setSingleShot(true);
    connect(m_holdTimer, &QTimer::timeout, this, [this] {
        if (m_standing)
            return;
        if (m_waiting)
            setMessage(*m_waiting, false);
        m_waiting.reset();
    });
    m_ack = new QPushButton(QStringLiteral("OK"), panel);
    m_ack->setObjectName(QStringLiteral("StatusAck"));
    m_ack->setToolTip(QStringLiteral("I have read this: show the next messages"));
    m_ack->setFixedSize(m_ack->fontMetrics().horizontalAdvance(QStringLiteral("OK")) + 16,
                        m_message->height());
    m_ack->hide();
    connect(m_ack, &QPushButton::clicked, this, &StatusLine::acknowledge);
    m_audio = new ElidingLabel("StatusAudio", panel);
    m_port = new ElidingLabel("StatusPort", panel);
    // The DAPNET link's state, shown only while the link is configured. No text beside the
    // message asks for its own width: the window's width never follows them.
    m_station = new ElidingLabel("StatusStation", panel);
    m_station->hide();
    for (ElidingLabel* label : {m_audio, m_port, m_station}) {
        label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
        label->setMinimumWidth(60);
        label->setMaximumWidth(190);
    }
    line->addWidget(m_message, 3);
    line->addWidget(m_ack);
    line->addWidget(m_station, 2);
    line->addWidget(m_audio, 1);
    line->addWidget(m_port, 1);
    rows->addLayout(line);
    addPermanentWidget(panel, 1);
    setOnAir(OnAirState::Idle, TxSource::Operator);
}

QWidget* StatusLine::buildOnAirStrip() {
    // Placed by hand (placeStrip): STOP at the right edge, the progress and the alarm left of
    // it, the lamp in what remains. Nothing in the strip asks for width, so the window never
    // widens and STOP never moves, whatever the lamp and the alarm say.
    m_strip = new QWidget(this);
    QWidget* strip = m_strip;
    strip->setObjectName(QStringLiteral("OnAirStrip"));
    strip->setFixedHeight(StripHeight);
    strip->installEventFilter(this);
    m_lamp = new QLabel(strip);
    m_lamp->setObjectName(QStringLiteral("OnAirLamp"));
    m_lamp->setAutoFillBackground(true);
    m_lamp->setAlignment(Qt::AlignCenter);
    QFont big = font();
    big.setPixelSize(15);
    big.setBold(true);
    m_lamp->setFont(big);
    m_lamp->setFixedHeight(StripHeight);
    // The lamp's text never widens the window: the lamp takes the room the strip leaves, and
    // its text is drawn smaller when that room is short (fitLampText).
    m_lamp->installEventFilter(this);
    m_progress = new QLabel(strip);
    m_progress->setObjectName(QStringLiteral("StatusProgress"));
    m_progress->setAlignment(Qt::AlignCenter);
    m_progress->setFixedSize(118, StripHeight);
    m_stop = new QPushButton(QStringLiteral("STOP"), strip);
    m_stop->setObjectName(QStringLiteral("btStop"));
    m_stop->setFocusPolicy(Qt::NoFocus); // the Tab order stays with the page fields
    m_stop->setToolTip(
        QStringLiteral("Ends whatever is on air and releases the transmitter (Esc)"));
    QFont bold = font();
    bold.setBold(true);
    m_stop->setFont(bold);
    m_stop->setFixedSize(86, StripHeight);
    connect(m_stop, &QPushButton::clicked, this, &StatusLine::stopClicked);
    // The off-air alarm stands beside the lamp while it lasts: red on white in a red frame, so
    // it cannot be taken for the keyed lamp's solid red; its details are in its tooltip and on
    // the message line.
    m_alarm = new ElidingLabel("StatusAlarm", strip);
    m_alarm->setStyleSheet(QStringLiteral("QLabel { color: #b00000; background: white; "
                                          "border: 2px solid #c00000; font-weight: bold; "
                                          "padding: 0 3px; }"));
    m_alarm->setFixedSize(170, StripHeight);
    m_alarm->hide();
    return strip;
}

void StatusLine::setOnAir(OnAirState state, TxSource source) {
    m_state = state;
    if (state != OnAirState::Idle)
        m_notSent.clear(); // a new transmission (or STOP's hold) takes the lamp over
    if (state == OnAirState::Idle && !m_notSent.isEmpty())
        showNotSentLamp(*m_lamp);
    else
        showLamp(*m_lamp, state, source);
    m_lamp->setToolTip(m_notSent);
    fitLampText();
}

void StatusLine::setNotSent(const QString& why) {
    m_notSent = why;
    if (m_state == OnAirState::Idle) {
        if (why.isEmpty())
            showLamp(*m_lamp, m_state, TxSource::Operator);
        else
            showNotSentLamp(*m_lamp);
        m_lamp->setToolTip(why);
        fitLampText();
    }
}

QString StatusLine::lampText() const {
    return m_lamp->text();
}

void StatusLine::setAudio(const QString& name, const QString& failure) {
    m_audioName = name;
    m_audioFailure = failure;
    refreshOutputs();
}

void StatusLine::setPort(const QString& name, const QString& failure) {
    m_portName = name;
    m_portFailure = failure;
    refreshOutputs();
}

void StatusLine::setFolder(const QString& folder) {
    m_folder = folder;
    refreshOutputs();
}

void StatusLine::refreshOutputs() {
    const QString folder = QStringLiteral("Program folder: %1").arg(m_folder);
    const QColor normal = palette().color(QPalette::WindowText);
    const auto show = [&folder, &normal](ElidingLabel* label, const QString& what,
                                         const QString& name, const QString& failure) {
        QPalette palette = label->palette();
        palette.setColor(QPalette::WindowText, failure.isEmpty() ? normal : QColor(0xC0, 0, 0));
        label->setPalette(palette);
        label->setWhole(failure.isEmpty()
                            ? QStringLiteral("%1: %2").arg(what, name)
                            : QStringLiteral("%1: %2 failed: %3").arg(what, name, failure),
                        folder); // the failure is in the text (or the tip's whole text) once
    };
    show(m_audio, QStringLiteral("Audio"), m_audioName, m_audioFailure);
    show(m_port, QStringLiteral("Port"), m_portName, m_portFailure);
}

void StatusLine::setFailure(const QString& text) {
    const bool shown = !m_failure.isEmpty() && m_message->whole() == m_failure;
    m_failure = text;
    if (!text.isEmpty()) {
        warn(text);
    } else if (shown) {
        m_holdTimer->stop();
        setStanding(false);
        setMessage(m_waiting.value_or(QString()), false);
        m_waiting.reset();
    }
}

void StatusLine::setProblem(const QString& text) {
    if (!text.isEmpty() && text != m_failure)
        remember(text);
    m_failure = text;
}

void StatusLine::setProgress(double elapsedSeconds, double totalSeconds) {
    if (totalSeconds < 0) {
        m_progress->clear();
        return;
    }
    m_progress->setText(QStringLiteral("On air %1 / %2 s")
                            .arg(std::clamp(elapsedSeconds, 0.0, totalSeconds), 0, 'f', 1)
                            .arg(totalSeconds, 0, 'f', 1));
}

void StatusLine::setKeyedTime(int seconds, int limitSeconds) {
    const auto clock = [](int s) {
        return QStringLiteral("%1:%2").arg(s / 60).arg(s % 60, 2, 10, QLatin1Char('0'));
    };
    m_progress->setText(
        limitSeconds > 0 ? QStringLiteral("Keyed %1 / %2").arg(clock(seconds), clock(limitSeconds))
                         : QStringLiteral("Keyed %1").arg(clock(seconds)));
}

void StatusLine::note(const QString& text, const QString& record) {
    showMessage(text, false, false, record);
}

void StatusLine::showMessage(const QString& text, bool failure, bool held, const QString& record) {
    if (!text.isEmpty())
        remember(record.isEmpty() ? text : record);
    if (!held && (m_holdTimer->isActive() || m_standing)) {
        m_waiting = text; // shown when the warning's time is up, or it has been read
        return;
    }
    if (m_standing && !failure) {
        m_waiting = text; // a notice waits behind a standing failure too
        return;
    }
    m_waiting.reset();
    setStanding(failure && held && !text.isEmpty());
    if (held && !m_standing)
        m_holdTimer->start(HoldMs);
    else
        m_holdTimer->stop();
    setMessage(text, failure);
}

void StatusLine::acknowledge() {
    setStanding(false);
    setMessage(m_waiting.value_or(m_message->whole()), false);
    m_waiting.reset();
}

void StatusLine::setStanding(bool standing) {
    // A standing warning has the whole line, so that more of it is read at once: the texts
    // beside the message step aside until it has been read (the warning says what failed).
    m_standing = standing;
    m_ack->setVisible(standing);
    m_audio->setVisible(!standing);
    m_port->setVisible(!standing);
    m_station->setVisible(!standing && !m_station->whole().isEmpty());
}

void StatusLine::setMessage(const QString& text, bool failure) {
    QPalette palette = m_message->palette();
    palette.setColor(QPalette::WindowText,
                     failure ? QColor(0xC0, 0, 0) : this->palette().color(QPalette::WindowText));
    m_message->setPalette(palette);
    m_message->setWhole(text);
}

QString StatusLine::currentMessage() const {
    return m_message->whole();
}

void StatusLine::setStation(const QString& text) {
    m_station->setWhole(text);
    m_station->setVisible(!text.isEmpty() && !m_standing);
}

QString StatusLine::stationText() const {
    return m_station->whole();
}

void StatusLine::setAlarm(const QString& text) {
    const bool raised = !text.isEmpty() && m_alarm->whole().isEmpty();
    // The badge says what it is in words that always fit; the details are its tooltip and
    // stand on the message line.
    m_alarm->setWhole(text.isEmpty() ? QString() : QStringLiteral("\u26a0 OFF-AIR ALARM"), text);
    m_alarm->setVisible(!text.isEmpty());
    placeStrip();
    if (raised)
        warn(text);
    fitLampText();
}

void StatusLine::fitLampText() {
    tarvex::fitLampText(*m_lamp, 15); // the design's size when the text fits
}

void StatusLine::placeStrip() {
    constexpr int gap = 6;
    int right = m_strip->width();
    for (QWidget* w : {static_cast<QWidget*>(m_stop), static_cast<QWidget*>(m_progress),
                       static_cast<QWidget*>(m_alarm)}) {
        if (w->isHidden())
            continue;
        right -= w->width();
        w->move(right, 0);
        right -= gap;
    }
    m_lamp->setGeometry(0, 0, std::max(0, right), StripHeight);
}

bool StatusLine::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_strip && event->type() == QEvent::Resize)
        placeStrip();
    if (watched == m_lamp && event->type() == QEvent::Resize)
        fitLampText();
    return QStatusBar::eventFilter(watched, event);
}

QString StatusLine::audioText() const {
    return QStringLiteral("Audio: %1").arg(m_audioName);
}
QString StatusLine::portText() const {
    return QStringLiteral("Port: %1").arg(m_portName);
}
QString StatusLine::shownAudioText() const {
    return m_audio->whole();
}
QString StatusLine::shownPortText() const {
    return m_port->whole();
}
QString StatusLine::progressText() const {
    return m_progress->text();
}

} // namespace tarvex
