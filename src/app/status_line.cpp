#include "app/status_line.h"
#include "app/on_air_bar.h"

#include <QFile>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QResizeEvent>
#include <QSaveFile>
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
        if (m_waiting)
            setMessage(*m_waiting, false);
        m_waiting.reset();
    });
    m_audio = new ElidingLabel("StatusAudio", panel);
    m_port = new ElidingLabel("StatusPort", panel);
    for (ElidingLabel* label : {m_audio, m_port}) {
        label->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
        label->setMinimumWidth(60);
        label->setMaximumWidth(190);
    }
    // The DAPNET link's state, shown only while the link is configured.
    m_station = new QLabel(panel);
    m_station->setObjectName(QStringLiteral("StatusStation"));
    m_station->setMaximumWidth(220);
    m_station->hide();
    line->addWidget(m_message, 1);
    line->addWidget(m_station);
    line->addWidget(m_audio);
    line->addWidget(m_port);
    rows->addLayout(line);
    addPermanentWidget(panel, 1);
    setOnAir(OnAirState::Idle, TxSource::Operator);
}

QWidget* StatusLine::buildOnAirStrip() {
    auto* strip = new QWidget(this);
    strip->setObjectName(QStringLiteral("OnAirStrip"));
    auto* row = new QHBoxLayout(strip);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(6);
    m_lamp = new QLabel(strip);
    m_lamp->setObjectName(QStringLiteral("OnAirLamp"));
    m_lamp->setAutoFillBackground(true);
    m_lamp->setAlignment(Qt::AlignCenter);
    QFont big = font();
    big.setPixelSize(15);
    big.setBold(true);
    m_lamp->setFont(big);
    m_lamp->setFixedHeight(StripHeight);
    m_lamp->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
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
    // The off-air alarm stands beside the lamp, in red, while it lasts.
    m_alarm = new QLabel(strip);
    m_alarm->setObjectName(QStringLiteral("StatusAlarm"));
    m_alarm->setStyleSheet(QStringLiteral("QLabel { color: white; background: #c00000; "
                                          "font-weight: bold; padding: 0 4px; }"));
    m_alarm->setFixedHeight(StripHeight);
    m_alarm->setMaximumWidth(260);
    m_alarm->hide();
    row->addWidget(m_lamp, 1);
    row->addWidget(m_alarm);
    row->addWidget(m_progress);
    row->addWidget(m_stop);
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
}

void StatusLine::setNotSent(const QString& why) {
    m_notSent = why;
    if (m_state == OnAirState::Idle) {
        if (why.isEmpty())
            showLamp(*m_lamp, m_state, TxSource::Operator);
        else
            showNotSentLamp(*m_lamp);
        m_lamp->setToolTip(why);
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
                        failure.isEmpty() ? folder : failure + '\n' + folder);
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
    if (!held && m_holdTimer->isActive()) {
        m_waiting = text; // shown when the warning's time is up
        return;
    }
    m_waiting.reset();
    if (held)
        m_holdTimer->start(HoldMs);
    else
        m_holdTimer->stop();
    setMessage(text, failure);
}

void StatusLine::setMessage(const QString& text, bool failure) {
    QPalette palette = m_message->palette();
    palette.setColor(QPalette::WindowText,
                     failure ? QColor(0xC0, 0, 0) : this->palette().color(QPalette::WindowText));
    m_message->setPalette(palette);
    m_message->setWhole(text);
}

void StatusLine::remember(const QString& text) {
    const QDateTime now = QDateTime::currentDateTime();
    if (!m_history.empty() && m_history.back().text == text) {
        ++m_history.back().count;
        m_history.back().last = now;
        return;
    }
    m_history.push_back({now, text, 1, now});
    while (m_history.size() > MaxHistory)
        m_history.pop_front();
}

// One entry a line: time of the first, count, time of the last, text; tabs apart, and the
// text's own line breaks and tabs escaped.
bool StatusLine::loadHistory(const QString& path) {
    QFile file(path);
    if (!file.exists())
        return true;
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return false;
    std::deque<Entry> earlier;
    while (!file.atEnd()) {
        QString line = QString::fromUtf8(file.readLine());
        if (line.endsWith('\n'))
            line.chop(1);
        const QStringList f = line.split('\t');
        if (f.size() != 4)
            continue;
        QString text = f[3];
        text.replace(QStringLiteral("\\n"), QStringLiteral("\n"))
            .replace(QStringLiteral("\\t"), QStringLiteral("\t"));
        earlier.push_back({QDateTime::fromString(f[0], Qt::ISODate), text,
                           std::max(1, f[1].toInt()), QDateTime::fromString(f[2], Qt::ISODate)});
    }
    m_history.insert(m_history.begin(), earlier.begin(), earlier.end());
    while (m_history.size() > MaxHistory)
        m_history.pop_front();
    return true;
}

bool StatusLine::saveHistory(const QString& path, QString* reason) const {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text)) {
        *reason = file.errorString();
        return false;
    }
    for (const Entry& e : m_history) {
        QString text = e.text;
        text.replace('\n', QStringLiteral("\\n")).replace('\t', QStringLiteral("\\t"));
        file.write(QStringLiteral("%1\t%2\t%3\t%4\n")
                       .arg(e.when.toString(Qt::ISODate))
                       .arg(e.count)
                       .arg(e.last.toString(Qt::ISODate), text)
                       .toUtf8());
    }
    if (!file.commit()) {
        *reason = file.errorString();
        return false;
    }
    return true;
}

QString StatusLine::currentMessage() const {
    return m_message->whole();
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
