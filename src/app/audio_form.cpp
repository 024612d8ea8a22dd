#include "app/audio_form.h"
#include "app/ui_font.h"

#include "signal/audio_choice.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>

#include <cstring>

namespace tarvex {

namespace {

const char* backendCaption(const std::string& backend) {
    return backend == "alsa" ? "Sound card itself (ALSA)" : "Desktop sound (Pulse/PipeWire)";
}

/// A device as the operator knows it: without the output's prefix, and a device that only
/// discards the sound said so.
QString deviceCaption(const std::string& name) {
    QString caption = QString::fromStdString(name);
    for (const char* prefix : {"qt:", "alsa:"})
        if (caption.startsWith(QLatin1String(prefix)))
            caption = caption.mid(static_cast<qsizetype>(std::strlen(prefix)));
    if (caption.contains(QLatin1String("null"), Qt::CaseInsensitive))
        return QStringLiteral("No sound: discards what it is given");
    return caption;
}

} // namespace

TAudioForm::TAudioForm(QWidget* parent, DeviceLister lister)
    : QDialog(parent), m_lister(std::move(lister)) {
    if (!m_lister)
        m_lister = [](const std::string& backend) { return audioDeviceNames(backend); };
    setObjectName(QStringLiteral("AudioForm"));
    useWindowFont(*this);
    setWindowTitle(QStringLiteral("Audio output"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setFixedSize(360, 150);

    auto* backendLabel = new QLabel(QStringLiteral("Output through"), this);
    backendLabel->setGeometry(12, 14, 100, 20);
    m_backend = new QComboBox(this);
    m_backend->setObjectName(QStringLiteral("cbBackend"));
    m_backend->setGeometry(112, 10, 236, 24);
    for (const auto& b : audioBackends())
        m_backend->addItem(QString::fromUtf8(backendCaption(b)), QString::fromStdString(b));

    auto* deviceLabel = new QLabel(QStringLiteral("Device"), this);
    deviceLabel->setGeometry(12, 48, 100, 20);
    m_device = new QComboBox(this);
    m_device->setObjectName(QStringLiteral("cbDevice"));
    m_device->setGeometry(112, 44, 236, 24);

    m_note = new QLabel(this);
    m_note->setGeometry(12, 76, 336, 34);
    m_note->setWordWrap(true);

    m_btDone = new QPushButton(QStringLiteral("&Done"), this);
    m_btDone->setGeometry(142, 116, 75, 25);
    connect(m_btDone, &QPushButton::clicked, this, &TAudioForm::btDoneClick);
    connect(m_backend, &QComboBox::currentIndexChanged, this, [this] { fillDevices({}); });
}

void TAudioForm::fillDevices(const std::string& selected) {
    m_device->clear();
    m_device->addItem(QStringLiteral("(default output)"), QString());
    for (const auto& name : m_lister(backend()))
        m_device->addItem(deviceCaption(name), QString::fromStdString(name));
    m_note->clear();
    if (selected.empty())
        return;
    const int index = m_device->findData(QString::fromStdString(selected));
    if (index >= 0) {
        m_device->setCurrentIndex(index);
        return;
    }
    // The stored device is not there now: keep it listed so that Done does not forget it,
    // and say that the default plays meanwhile.
    m_device->addItem(deviceCaption(selected) + QStringLiteral(" (not found)"),
                      QString::fromStdString(selected));
    m_device->setCurrentIndex(m_device->count() - 1);
    m_note->setText(QStringLiteral("This device is not there now; pages play through the "
                                   "default output until it is back."));
}

void TAudioForm::setChoice(const std::string& backend, const std::string& device) {
    const int index = m_backend->findData(QString::fromStdString(backend));
    {
        const QSignalBlocker block(m_backend);
        m_backend->setCurrentIndex(index >= 0 ? index : 0);
    }
    fillDevices(index >= 0 ? device : std::string());
    m_openedBackend = this->backend();
    m_openedDevice = this->device();
}

std::string TAudioForm::backend() const {
    return m_backend->currentData().toString().toStdString();
}

std::string TAudioForm::device() const {
    return m_device->currentData().toString().toStdString();
}

void TAudioForm::btDoneClick() {
    if (backend() != m_openedBackend || device() != m_openedDevice) {
        m_openedBackend = backend();
        m_openedDevice = device();
        emit choiceChanged(QString::fromStdString(m_openedBackend),
                           QString::fromStdString(m_openedDevice));
    }
    accept();
}

} // namespace tarvex
