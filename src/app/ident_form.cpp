#include "app/ident_form.h"
#include "app/ui_font.h"

#include "app/key_filter.h"
#include "app/main_form.h"

#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>

namespace tarvex {

namespace {

constexpr int MaxCallsignLength = 10;

QLabel* placeLabel(QWidget* parent, const QString& text, QRect area, bool wrap = false) {
    auto* label = new QLabel(text, parent);
    label->setGeometry(area);
    label->setWordWrap(wrap);
    return label;
}

/// Letters, digits and the fraction bar of a portable callsign (M0XYZ/P).
bool isCallsignCharacter(QChar c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '/';
}

/// Leading and trailing spaces only; other characters (a stored text may hold any) stay.
QString trimSpaces(const QString& text) {
    qsizetype first = 0;
    qsizetype last = text.size();
    while (first < last && text.at(first) == ' ')
        ++first;
    while (last > first && text.at(last - 1) == ' ')
        --last;
    return text.mid(first, last - first);
}

} // namespace

TIdentForm::TIdentForm(TMainForm& main, QWidget* parent) : QDialog(parent), m_main(main) {
    setObjectName(QStringLiteral("IdentForm"));
    useWindowFont(*this);
    setWindowTitle(QStringLiteral("Station Ident"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(300, 214);
    buildControls();

    connect(m_frequency, &QSpinBox::valueChanged, this, &TIdentForm::IdentFrequencyChange);
    connect(m_ident, &QLineEdit::textChanged, this, &TIdentForm::pushSettings);
    connect(m_volume, &QSlider::valueChanged, this, &TIdentForm::pushSettings);
    connect(m_test, &QPushButton::clicked, this, &TIdentForm::btTestClick);
    connect(m_done, &QPushButton::clicked, this, &QDialog::accept);
    IdentFrequencyChange();
}

void TIdentForm::buildControls() {
    placeLabel(this, QStringLiteral("Station Identification is sent in Morse code"),
               {12, 8, 276, 16});
    placeLabel(this, QStringLiteral("Station Ident"), {12, 36, 80, 16});
    m_ident = new QLineEdit(QStringLiteral("GXZYX"), this);
    m_ident->setObjectName(QStringLiteral("edIdent"));
    m_ident->setGeometry(100, 32, 100, 22);
    m_ident->setMaxLength(MaxCallsignLength);
    KeyFilter::install(m_ident, isCallsignCharacter);
    m_ident->installEventFilter(this);
    // Shown and kept in upper case, however the text arrives (typed or stored).
    connect(m_ident, &QLineEdit::textChanged, this, [this](const QString& text) {
        const QString upper = text.toUpper();
        if (upper != text) {
            const int cursor = m_ident->cursorPosition();
            m_ident->setText(upper);
            m_ident->setCursorPosition(cursor);
        }
    });

    placeLabel(this, QStringLiteral("Send Ident every"), {12, 68, 100, 16});
    m_frequency = new QSpinBox(this);
    m_frequency->setObjectName(QStringLiteral("IdentFrequency"));
    m_frequency->setGeometry(116, 64, 48, 22);
    m_frequency->setRange(0, 60);
    m_frequency->setValue(0);
    placeLabel(this, QStringLiteral("Minutes"), {172, 68, 60, 16});

    placeLabel(this, QStringLiteral("Set the deviation level for the station ident"),
               {12, 98, 276, 16});
    m_volume = new QSlider(Qt::Horizontal, this);
    m_volume->setObjectName(QStringLiteral("SetVolume"));
    m_volume->setGeometry(12, 116, 240, 22);
    m_volume->setRange(0, 100);
    m_volume->setValue(10);
    m_volume->setTickPosition(QSlider::TicksAbove);
    m_volume->setTickInterval(10);
    // The level as a number beside the slider, as the main window shows its own.
    auto* level = placeLabel(this, QStringLiteral("10"), {258, 119, 30, 16});
    level->setObjectName(QStringLiteral("SetVolumeText"));
    connect(m_volume, &QSlider::valueChanged, level,
            [level](int value) { level->setText(QString::number(value)); });

    placeLabel(this, QStringLiteral("To Disable Station Ident set the interval to zero."),
               {12, 146, 276, 16});
    m_test = new QPushButton(QStringLiteral("&Test"), this);
    m_test->setObjectName(QStringLiteral("btTest"));
    m_test->setGeometry(52, 176, 75, 25);
    m_done = new QPushButton(QStringLiteral("&Done"), this);
    m_done->setObjectName(QStringLiteral("btDone"));
    m_done->setGeometry(172, 176, 75, 25);
    // Enter in the callsign field must not press a button (Test would key the transmitter).
    m_test->setAutoDefault(false);
    m_done->setAutoDefault(false);
}

bool TIdentForm::eventFilter(QObject* watched, QEvent* e) {
    if (watched == m_ident && e->type() == QEvent::FocusOut) {
        const QString trimmed = trimSpaces(m_ident->text());
        if (trimmed != m_ident->text())
            m_ident->setText(trimmed);
    }
    return QDialog::eventFilter(watched, e);
}

void TIdentForm::pushSettings() {
    IdentSettings s = m_main.station().identSettings();
    // Latin-1 keeps one byte per character; characters without a Morse entry are skipped.
    s.callsign = m_ident->text().toLatin1().toStdString();
    s.minutes = m_frequency->value();
    s.level = m_volume->value();
    m_main.station().setIdent(s);
}

void TIdentForm::IdentFrequencyChange() {
    pushSettings();
}

void TIdentForm::setTimerEnabled(bool on) {
    m_timerEnabled = on;
    pushSettings();
    m_main.station().setIdentTimerEnabled(on);
}

void TIdentForm::btTestClick() {
    pushSettings();
    m_main.sendIdent(true);
}

void TIdentForm::IdentTimer() {
    pushSettings();
    m_main.sendIdent(false);
}

void TIdentForm::showEvent(QShowEvent* event) {
    m_opened.take(*this);
    QDialog::showEvent(event);
}

void TIdentForm::reject() {
    m_opened.restore();
    QDialog::reject();
}

} // namespace tarvex
