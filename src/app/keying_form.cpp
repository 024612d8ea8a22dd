#include "app/keying_form.h"
#include "app/dialog_support.h"
#include "app/ui_font.h"
#include "station/keying_method.h"
#include "txcontrol/ptt/ptt_devices.h"
#ifdef TARVEX_HAVE_HAMLIB
#include "txcontrol/ptt/hamlib_ptt.h"
#endif

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

#include <algorithm>

namespace tarvex {

TKeyingForm::TKeyingForm(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("KeyingForm"));
    useWindowFont(*this);
    setWindowTitle(QStringLiteral("Keying"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(560, 328);

    m_portLabel = placeLabel(this, QStringLiteral("Port"), 12, 16);
    m_port = new QComboBox(this);
    m_port->setObjectName(QStringLiteral("Port"));
    m_port->addItems({QStringLiteral("LPT1"), QStringLiteral("LPT2")});
    m_port->setGeometry(48, 12, 80, 22);

    auto* pins = new QGroupBox(QStringLiteral("Pin"), this);
    pins->setObjectName(QStringLiteral("PinBox"));
    pins->setGeometry(12, 44, 276, 100);
    m_pinBox = pins;
    m_pin = new QButtonGroup(this);
    for (int i = 0; i < 8; ++i) {
        auto* pin = new QRadioButton(QStringLiteral("D%1 (pin%2)").arg(i).arg(i + 2), pins);
        pin->setGeometry(10 + (i / 4) * 135, 18 + (i % 4) * 19, 125, 18);
        m_pin->addButton(pin, i);
    }

    // Two lines when the font makes the caption wider than the room left of the box.
    QLabel* delayLabel =
        placeLabel(this, QStringLiteral("Delay between keying and sending"), 12, 158);
    if (delayLabel->width() > 184) {
        delayLabel->setWordWrap(true);
        delayLabel->setGeometry(12, 148, 184, 34);
    }
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
    // The box does not hold the transmitter off the air: stored settings rely on keying
    // whatever it holds, so it stays, and says so.
    m_allowKeying->setToolTip(
        QStringLiteral("Not a safety switch: the transmitter is keyed whether this box is ticked "
                       "or not. Keying is set by Method; this box is kept for older settings."));
    m_invKey = new QCheckBox(QStringLiteral("Inverted Keying"), this);
    m_invKey->setObjectName(QStringLiteral("InvKey"));
    m_invKey->setGeometry(150, 184, 140, 20);
    connect(m_invKey, &QCheckBox::clicked, this, [this] {
        if (m_invKeyAction)
            m_invKeyAction();
    });

    placeLabel(this, QStringLiteral("Note :- Pins 18 to 25 are GND"), 12, 206);
    auto* allowNote =
        new QLabel(QStringLiteral("AllowKeying: Keying is set by Method; this box is kept for "
                                  "older settings."),
                   this);
    allowNote->setObjectName(QStringLiteral("AllowKeyingNote"));
    allowNote->setWordWrap(true);
    allowNote->setGeometry(12, 222, 280, 34);
    m_keyedNote = new QLabel(
        QStringLiteral("Keyed: port, pin, polarity and delay can change after the release."), this);
    m_keyedNote->setObjectName(QStringLiteral("KeyedNote"));
    m_keyedNote->setWordWrap(true);
    m_keyedNote->setStyleSheet(QStringLiteral("QLabel { color: #b00000; }"));
    m_keyedNote->setGeometry(300, 224, 248, 34);
    m_keyedNote->hide();
    // The watchdog belongs with the settings, above the button that closes the dialog.
    placeLabel(this, QStringLiteral("Transmit watchdog: release after"), 12, 266);
    m_watchdog = new QSpinBox(this);
    m_watchdog->setObjectName(QStringLiteral("TxWatchdog"));
    m_watchdog->setGeometry(200, 262, 64, 22);
    m_watchdog->setRange(0, 3600);
    m_watchdog->setValue(180);
    m_watchdog->setSpecialValueText(QStringLiteral("never"));
    m_watchdog->setToolTip(QStringLiteral(
        "The longest the transmitter stays keyed, by hand or for a transmission; then it is "
        "released as STOP does. 0: no limit."));
    placeLabel(this, QStringLiteral("seconds keyed (0: no limit)"), 270, 266);
    auto* done = new QPushButton(QStringLiteral("&Done"), this);
    done->setObjectName(QStringLiteral("btDone"));
    done->setGeometry(473, 294, 75, 25);
    connect(done, &QPushButton::clicked, this, &QDialog::accept);
    // A check of the wiring without a page: the radio keys for a second and is released.
    m_test = new QPushButton(QStringLiteral("&Test keying"), this);
    m_test->setObjectName(QStringLiteral("btTestKeying"));
    m_test->setAutoDefault(false);
    m_test->setGeometry(473 - 8 - 100, 294, 100, 25);
    m_test->setToolTip(QStringLiteral("Keys the transmitter through the method chosen here for "
                                      "one second, then releases it"));
    connect(m_test, &QPushButton::clicked, this, [this] {
        if (m_testAction)
            m_testAction();
    });

    buildMethodPanel();
    setSettings(KeyingSettings{});
    setPttSettings(PttSettings{});
}

namespace {

QSpinBox* placeSpin(QWidget* parent, const char* name, int left, int top, int width, int lo,
                    int hi) {
    auto* box = new QSpinBox(parent);
    box->setObjectName(QString::fromLatin1(name));
    box->setGeometry(left, top, width, 22);
    box->setRange(lo, hi);
    return box;
}

/// The methods this build offers, in the table's order but with those that key nothing
/// (VOX) last.
std::vector<const PttMethodInfo*> listedMethods() {
    std::vector<const PttMethodInfo*> listed;
    for (const PttMethodInfo& m : pttMethods())
        if (m.available)
            listed.push_back(&m);
    std::stable_partition(listed.begin(), listed.end(),
                          [](const PttMethodInfo* m) { return m->uses(PttPolarityField); });
    return listed;
}

} // namespace

void TKeyingForm::buildMethodPanel() {
    auto* panel = new QGroupBox(QStringLiteral("Keying method"), this);
    panel->setObjectName(QStringLiteral("MethodPanel"));
    panel->setGeometry(300, 8, 248, 214);

    placeLabel(panel, QStringLiteral("Method"), 10, 26);
    m_method = new QComboBox(panel);
    m_method->setObjectName(QStringLiteral("Method"));
    m_method->setGeometry(80, 22, 158, 22);
    for (const PttMethodInfo* m : listedMethods())
        m_method->addItem(QString::fromLatin1(m->caption), QString::fromLatin1(m->name));

    m_deviceLabel = placeLabel(panel, QStringLiteral("Device"), 10, 56);
    m_device = new QComboBox(panel);
    m_device->setObjectName(QStringLiteral("PttDevice"));
    m_device->setGeometry(80, 52, 158, 22);
    m_device->setEditable(true);
    m_device->setInsertPolicy(QComboBox::NoInsert);

    m_cm108Label = placeLabel(panel, QStringLiteral("CM108 pin"), 10, 86);
    m_cm108Pin = placeSpin(panel, "Cm108Pin", 80, 82, 60, 1, 8);
    m_gpioLabel = placeLabel(panel, QStringLiteral("GPIO line"), 10, 86);
    m_gpioLine = placeSpin(panel, "GpioLine", 80, 82, 80, 0, MaxGpioLine);
    m_rigModelLabel = placeLabel(panel, QStringLiteral("Rig model"), 10, 86);
    m_rigModel = placeSpin(panel, "RigModel", 80, 82, 90, 1, MaxRigModel);
    // The rig is chosen by name; the number beside it is what the settings keep.
    m_rigName = new QComboBox(panel);
    m_rigName->setObjectName(QStringLiteral("RigName"));
    m_rigName->setGeometry(10, 110, 228, 22);
    m_rigName->setMaxVisibleItems(20);
    connect(m_rigName, &QComboBox::activated, this, [this](int index) {
        const QVariant model = m_rigName->itemData(index);
        if (model.isValid())
            m_rigModel->setValue(model.toInt());
    });
    connect(m_rigModel, &QSpinBox::valueChanged, this, &TKeyingForm::showRigName);
    m_rigSpeedLabel = placeLabel(panel, QStringLiteral("Speed"), 10, 144);
    m_rigSpeed = placeSpin(panel, "RigSpeed", 80, 140, 90, 0, MaxRigSpeed);
    m_rigSpeed->setSpecialValueText(QStringLiteral("default"));

    m_hint = new QLabel(panel);
    m_hint->setObjectName(QStringLiteral("MethodHint"));
    m_hint->setWordWrap(true);
    m_hint->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_hint->setGeometry(10, 168, 228, 40);

    connect(m_method, &QComboBox::currentIndexChanged, this, &TKeyingForm::methodChanged);
}

void TKeyingForm::fillRigNames() {
    if (m_rigName->count() > 0)
        return;
#ifdef TARVEX_HAVE_HAMLIB
    std::string error;
    for (const HamlibModel& m : hamlibModels(&error))
        m_rigName->addItem(QStringLiteral("%1 %2 (%3)")
                               .arg(QString::fromStdString(m.maker), QString::fromStdString(m.name))
                               .arg(m.model),
                           m.model);
#else
    const std::string error = "this build has no hamlib";
#endif
    if (m_rigName->count() == 0) {
        m_rigName->addItem(QStringLiteral("No list of rigs: %1; type the model number")
                               .arg(QString::fromStdString(error)));
        m_rigName->setEnabled(false);
    }
    showRigName(m_rigModel->value());
}

void TKeyingForm::showRigName(int model) {
    const int index = m_rigName->findData(model);
    if (index >= 0)
        m_rigName->setCurrentIndex(index);
    else if (m_rigName->isEnabled())
        m_rigName->setCurrentIndex(-1); // a number hamlib does not list
}

const PttMethodInfo& TKeyingForm::chosenMethod() const {
    return pttMethod(m_method->currentData().toString().toStdString());
}

void TKeyingForm::methodChanged() {
    const PttMethodInfo& method = chosenMethod();
    const bool device = method.uses(PttDeviceField);
    const bool rig = method.uses(PttRigFields);
    m_deviceLabel->setVisible(device);
    m_device->setVisible(device);
    m_cm108Label->setVisible(method.uses(PttCm108PinField));
    m_cm108Pin->setVisible(method.uses(PttCm108PinField));
    m_gpioLabel->setVisible(method.uses(PttGpioLineField));
    m_gpioLine->setVisible(method.uses(PttGpioLineField));
    for (QWidget* w : std::initializer_list<QWidget*>{m_rigModelLabel, m_rigModel, m_rigName,
                                                      m_rigSpeedLabel, m_rigSpeed})
        w->setVisible(rig);
    if (rig)
        fillRigNames();
    m_hint->setText(QString::fromLatin1(method.hint));
    fillDevices();
    enableLineControls();
}

void TKeyingForm::enableLineControls() {
    // Port and pin belong to the parallel port alone; the polarity to every line; none of
    // them while keyed.
    const PttMethodInfo& method = chosenMethod();
    const bool parallel = method.uses(PttPortField) && !m_keyed;
    m_portLabel->setEnabled(parallel);
    m_port->setEnabled(parallel);
    m_pinBox->setEnabled(parallel);
    m_invKey->setEnabled(method.uses(PttPolarityField) && !m_keyed);
    m_keyDelay->setEnabled(!m_keyed);
    m_keyedNote->setVisible(m_keyed);
}

void TKeyingForm::setKeyed(bool keyed) {
    if (keyed == m_keyed)
        return;
    m_keyed = keyed;
    enableLineControls();
}

void TKeyingForm::fillDevices() {
    // The list offers what this machine has for the method now; the text stays as typed, or
    // takes the first device found when there was none.
    const QString typed = m_device->currentText();
    m_device->clear();
    const PttMethodInfo& method = chosenMethod();
    // A rig's device is typed in; the parallel port is chosen by Port.
    const auto devices = method.uses(PttDeviceField) && method.devices.list != nullptr
                             ? method.devices.list()
                             : std::vector<tarvex::PttDevice>{};
    for (const tarvex::PttDevice& d : devices) {
        m_device->addItem(QString::fromStdString(d.path));
        m_device->setItemData(m_device->count() - 1, QString::fromStdString(d.description),
                              Qt::ToolTipRole);
    }
    m_device->setEditText(typed.isEmpty() && m_device->count() > 0 ? m_device->itemText(0) : typed);
}

PttSettings TKeyingForm::pttSettings() const {
    PttSettings s;
    s.method = chosenMethod().name;
    s.device = m_device->currentText().trimmed().toStdString();
    s.cm108Pin = m_cm108Pin->value();
    s.gpioLine = static_cast<unsigned>(m_gpioLine->value());
    s.rigModel = m_rigModel->value();
    s.rigSpeed = m_rigSpeed->value();
    return s;
}

void TKeyingForm::setPttSettings(const PttSettings& s) {
    // A method this build does not offer falls back to the parallel port.
    int index = m_method->findData(QString::fromStdString(s.method));
    if (index < 0)
        index = m_method->findData(QString::fromLatin1(DefaultPttMethod));
    m_device->setEditText(QString::fromStdString(s.device));
    m_method->setCurrentIndex(index);
    methodChanged(); // also when the index did not change
    m_device->setEditText(QString::fromStdString(s.device));
    m_cm108Pin->setValue(s.cm108Pin);
    m_gpioLine->setValue(static_cast<int>(s.gpioLine));
    m_rigModel->setValue(s.rigModel);
    m_rigSpeed->setValue(s.rigSpeed);
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
    if (e->type() == QEvent::Show) {
        fillDevices(); // an adapter may have been plugged in since
        m_opened.take(*this);
    }
    return QDialog::event(e);
}

void TKeyingForm::reject() {
    // The released level follows the polarity put back, as a click on the box does.
    const bool inverted = m_invKey->isChecked();
    m_opened.restore();
    if (m_invKey->isChecked() != inverted && m_invKeyAction)
        m_invKeyAction();
    QDialog::reject();
}

} // namespace tarvex
