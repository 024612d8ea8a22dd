#include "app/keying_form.h"
#include "app/dialog_support.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>

namespace tarvex {

TKeyingForm::TKeyingForm(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("KeyingForm"));
    setWindowTitle(QStringLiteral("Keying"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(300, 262);

    placeLabel(this, QStringLiteral("Port"), 12, 16);
    m_port = new QComboBox(this);
    m_port->setObjectName(QStringLiteral("Port"));
    m_port->addItems({QStringLiteral("LPT1"), QStringLiteral("LPT2")});
    m_port->setGeometry(48, 12, 80, 22);

    auto* pins = new QGroupBox(QStringLiteral("Pin"), this);
    pins->setGeometry(12, 44, 276, 100);
    m_pin = new QButtonGroup(this);
    for (int i = 0; i < 8; ++i) {
        auto* pin = new QRadioButton(QStringLiteral("D%1 (pin%2)").arg(i).arg(i + 2), pins);
        pin->setGeometry(10 + (i / 4) * 135, 18 + (i % 4) * 19, 125, 18);
        m_pin->addButton(pin, i);
    }

    placeLabel(this, QStringLiteral("Delay between keying and sending"), 12, 158);
    m_keyDelay = new QSpinBox(this);
    m_keyDelay->setObjectName(QStringLiteral("KeyDelay"));
    m_keyDelay->setGeometry(200, 154, 56, 22);
    m_keyDelay->setRange(100, 900);
    m_keyDelay->setSingleStep(100);
    if (auto* text = m_keyDelay->findChild<QLineEdit*>())
        text->setReadOnly(true); // the arrows only
    placeLabel(this, QStringLiteral("ms"), 262, 158);

    m_allowKeying = new QCheckBox(QStringLiteral("AllowKeying"), this);
    m_allowKeying->setObjectName(QStringLiteral("AllowKeying"));
    m_allowKeying->setGeometry(12, 184, 130, 20);
    m_invKey = new QCheckBox(QStringLiteral("Inverted Keying"), this);
    m_invKey->setObjectName(QStringLiteral("InvKey"));
    m_invKey->setGeometry(150, 184, 140, 20);
    connect(m_invKey, &QCheckBox::clicked, this, [this] {
        if (m_invKeyAction)
            m_invKeyAction();
    });

    placeLabel(this, QStringLiteral("Note :- Pins 18 to 25 are GND"), 12, 210);
    auto* done = new QPushButton(QStringLiteral("&Done"), this);
    done->setObjectName(QStringLiteral("btDone"));
    done->setGeometry(212, 228, 75, 25);
    connect(done, &QPushButton::clicked, this, &QDialog::accept);

    setSettings(KeyingSettings{});
}

KeyingSettings TKeyingForm::settings() const {
    KeyingSettings s;
    s.Port = m_port->currentIndex();
    s.Pin = m_pin->checkedId();
    s.KeyDelay = m_keyDelay->value();
    s.AllowKeying = m_allowKeying->isChecked();
    s.InvKey = m_invKey->isChecked();
    return s;
}

void TKeyingForm::setSettings(const KeyingSettings& s) {
    m_port->setCurrentIndex(s.Port == 0 || s.Port == 1 ? s.Port : -1);
    setPin(s.Pin);
    m_keyDelay->setValue(s.KeyDelay);
    m_allowKeying->setChecked(s.AllowKeying);
    m_invKey->setChecked(s.InvKey);
}

void TKeyingForm::setPin(int index) {
    if (QAbstractButton* pin = m_pin->button(index)) {
        pin->setChecked(true);
    } else if (QAbstractButton* checked = m_pin->checkedButton()) {
        // No pin: an exclusive group only lets go of its button while not exclusive.
        m_pin->setExclusive(false);
        checked->setChecked(false);
        m_pin->setExclusive(true);
    }
}

bool TKeyingForm::event(QEvent* e) {
    // Each activation (or showing, where the platform activates nothing) picks LPT1 when
    // no port is selected.
    const bool opening = e->type() == QEvent::WindowActivate || e->type() == QEvent::Show;
    if (opening && m_port->currentIndex() < 0)
        m_port->setCurrentIndex(0);
    return QDialog::event(e);
}

} // namespace tarvex
