#include "app/on_air_bar.h"
#include "station/station.h"

#include <QDialog>
#include <QFontInfo>
#include <QFontMetrics>
#include <QLabel>
#include <QPointer>
#include <QPushButton>

namespace tarvex {

namespace {

struct LampLook {
    QColor face;
    QColor ink;
};

LampLook lookFor(OnAirState state) {
    switch (state) {
    case OnAirState::Idle:
        return {QColor(0x50, 0x54, 0x5C), QColor(0xE8, 0xE8, 0xE8)};
    case OnAirState::Waiting:
        return {QColor(0x1C, 0x4E, 0x9A), Qt::white};
    case OnAirState::Held:
        return {QColor(0x8A, 0x5A, 0x00), Qt::white};
    case OnAirState::Preparing:
        return {QColor(0xE0, 0x9A, 0x10), Qt::black};
    case OnAirState::KeyingFailed:
        return {QColor(0x7B, 0x1F, 0xA2), Qt::white}; // not the keyed red: it may not be

    case OnAirState::ManualKey:
    case OnAirState::Keyed:
    case OnAirState::OnAir:
    case OnAirState::Releasing:
        break;
    }
    return {QColor(0xC8, 0x10, 0x10), Qt::white}; // the transmitter is keyed
}

QString lampCaption(OnAirState state, TxSource source) {
    const QString name = QString::fromLatin1(stateName(state).data(),
                                             static_cast<qsizetype>(stateName(state).size()))
                             .toUpper();
    if (state == OnAirState::Idle || state == OnAirState::Held)
        return name;
    const std::string_view from =
        sourceName(state == OnAirState::ManualKey ? TxSource::ManualKey : source);
    return QStringLiteral("%1 \u2014 %2")
        .arg(name, QString::fromLatin1(from.data(), static_cast<qsizetype>(from.size())));
}

} // namespace

void showNotSentLamp(QLabel& lamp) {
    QPalette palette = lamp.palette();
    palette.setColor(QPalette::Window, QColor(0xF2, 0xC8, 0x00));
    palette.setColor(QPalette::WindowText, Qt::black);
    lamp.setPalette(palette);
    lamp.setText(QStringLiteral("NOT SENT"));
}

void fitLampText(QLabel& lamp, int largestPixels) {
    QFont f = lamp.font();
    const int room = lamp.contentsRect().width() - 8;
    for (int px = largestPixels; px >= 8; --px) {
        f.setPixelSize(px);
        if (QFontMetrics(f).horizontalAdvance(lamp.text()) <= room || px == 8)
            break;
    }
    if (f != lamp.font())
        lamp.setFont(f);
}

bool notSent(const TxOutcome& out) {
    return out.built && !out.stopped && (!out.played || !out.portError.empty());
}

void showLamp(QLabel& lamp, OnAirState state, TxSource source) {
    const LampLook look = lookFor(state);
    QPalette palette = lamp.palette();
    palette.setColor(QPalette::Window, look.face);
    palette.setColor(QPalette::WindowText, look.ink);
    lamp.setPalette(palette);
    lamp.setText(lampCaption(state, source));
}

OnAirBar::OnAirBar(Station& station, std::function<void()> stop, QWidget* parent)
    : QWidget(parent) {
    setObjectName(QStringLiteral("OnAirBar"));
    m_lamp = new QLabel(this);
    m_lamp->setObjectName(QStringLiteral("DialogLamp"));
    m_lamp->setAutoFillBackground(true);
    m_lamp->setAlignment(Qt::AlignCenter);
    QFont bold = font();
    bold.setBold(true);
    m_lamp->setFont(bold);
    m_lampPixels = QFontInfo(bold).pixelSize();
    m_stop = new QPushButton(QStringLiteral("STOP"), this);
    m_stop->setObjectName(QStringLiteral("btDialogStop"));
    m_stop->setFont(bold);
    m_stop->setAutoDefault(false); // Enter in a field never stops, nor Esc closes by it
    m_stop->setFocusPolicy(Qt::NoFocus);
    m_stop->setToolTip(
        QStringLiteral("Ends whatever is on air and releases the transmitter (Esc)"));
    connect(m_stop, &QPushButton::clicked, this, std::move(stop));
    const StationStatus now = station.status();
    m_state = now.state;
    m_source = now.source;
    paintLamp();
    // The dialogs live as long as the window, which ends the station before them: the
    // listener is never removed, and checks that the bar is still there.
    station.subscribe([bar = QPointer<OnAirBar>(this)](const StationEvent& e) {
        if (!bar)
            return;
        if (e.kind == StationEvent::Kind::State) {
            bar->m_state = e.state;
            bar->m_source = e.source;
            if (e.state != OnAirState::Idle)
                bar->m_notSent = false; // a new transmission (or STOP's hold) takes it over
        } else if (e.kind == StationEvent::Kind::Ended && e.outcome != nullptr) {
            bar->m_notSent = notSent(*e.outcome);
        } else {
            return;
        }
        bar->paintLamp();
    });
}

void OnAirBar::paintLamp() {
    // As the main window's lamp: released after a transmission that did not go out, NOT SENT.
    if (m_state == OnAirState::Idle && m_notSent)
        showNotSentLamp(*m_lamp);
    else
        showLamp(*m_lamp, m_state, m_source);
    fitLampText(*m_lamp, m_lampPixels); // a small dialog's lamp is narrow
}

OnAirBar* OnAirBar::attach(QDialog& dialog, Station& station, std::function<void()> stop,
                           bool withStop) {
    const QSize size = dialog.size();
    auto* bar = new OnAirBar(station, std::move(stop), &dialog);
    bar->setGeometry(0, size.height(), size.width(), Height);
    // Placed like the dialogs' own controls: the lamp takes what the STOP leaves.
    constexpr int margin = 6;
    constexpr int stopWidth = 76;
    bar->m_stop->setGeometry(size.width() - margin - stopWidth, 4, stopWidth, Height - 8);
    bar->m_lamp->setGeometry(margin, 4, size.width() - 3 * margin - stopWidth, Height - 8);
    if (!withStop) {
        bar->m_stop->hide();
        bar->m_lamp->setGeometry(margin, 4, size.width() - 2 * margin, Height - 8);
    }
    dialog.setFixedSize(size.width(), size.height() + Height);
    bar->paintLamp();
    return bar;
}

QString OnAirBar::lampText() const {
    return m_lamp->text();
}

} // namespace tarvex
