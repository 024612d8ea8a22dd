#include "app/dapnet_form.h"

#include "app/dialog_support.h"
#include "app/ui_font.h"
#include "network/dapnet/auth_key_file.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFile>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>
#include <QVBoxLayout>

namespace tarvex {

namespace {

bool sameSettings(const DapnetSettings& a, const DapnetSettings& b) {
    return a.enabled == b.enabled && a.host == b.host && a.port == b.port &&
           a.callsign == b.callsign;
}

} // namespace

TDapnetForm::TDapnetForm(QString keyFile, QWidget* parent)
    : QDialog(parent), m_keyFile(std::move(keyFile)) {
    useWindowFont(*this);
    setObjectName(QStringLiteral("DapnetForm"));
    setWindowTitle(QStringLiteral("DAPNET"));
    auto* layout = new QVBoxLayout(this);
    m_enabled = new QCheckBox(QStringLiteral("Join DAPNET as a transmitter"), this);
    m_enabled->setObjectName(QStringLiteral("cbDapnet"));
    layout->addWidget(m_enabled);
    auto* form = new QFormLayout;
    m_host = new QLineEdit(this);
    m_host->setObjectName(QStringLiteral("edDapnetHost"));
    m_host->setPlaceholderText(QStringLiteral("the DAPNET core of your area"));
    m_port = new QSpinBox(this);
    m_port->setObjectName(QStringLiteral("seDapnetPort"));
    m_port->setRange(1, 65535);
    m_port->setValue(DapnetDefaultPort);
    m_callsign = new QLineEdit(this);
    m_callsign->setObjectName(QStringLiteral("edDapnetCallsign"));
    m_key = new QLineEdit(this);
    m_key->setObjectName(QStringLiteral("edDapnetKey"));
    m_key->setEchoMode(QLineEdit::Password);
    form->addRow(QStringLiteral("Server"), m_host);
    form->addRow(QStringLiteral("Port"), m_port);
    form->addRow(QStringLiteral("Callsign"), m_callsign);
    form->addRow(QStringLiteral("Key"), m_key);
    layout->addLayout(form);
    auto* note = new QLabel(
        QStringLiteral("While the link is on, the transmitter is keyed only inside the time "
                       "slots the network gives this station: pages from the window and auto "
                       "send wait for them too, and there is no manual key-up. The computer's "
                       "clock must be set by a time service (NTP)."),
        this);
    note->setWordWrap(true);
    layout->addWidget(note);
    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("DapnetStatus"));
    m_status->setWordWrap(true);
    layout->addWidget(m_status);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, [this] {
        if (readyToJoin() && saveKey())
            accept();
    });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    setMinimumWidth(440);
}

void TDapnetForm::setSettings(const DapnetSettings& s) {
    m_enabled->setChecked(s.enabled);
    m_host->setText(QString::fromStdString(s.host));
    m_port->setValue(s.port);
    m_callsign->setText(QString::fromStdString(s.callsign));
    m_key->clear();
    m_key->setPlaceholderText(QFile::exists(m_keyFile)
                                  ? QStringLiteral("(kept in %1; type to change)").arg(m_keyFile)
                                  : QStringLiteral("the key DAPNET gave this transmitter"));
    m_opened = s;
}

DapnetSettings TDapnetForm::settings() const {
    DapnetSettings s;
    s.enabled = m_enabled->isChecked();
    s.host = m_host->text().trimmed().toStdString();
    s.port = static_cast<uint16_t>(m_port->value());
    s.callsign = m_callsign->text().trimmed().toStdString();
    return s;
}

void TDapnetForm::setLinkStatus(const QString& text) {
    m_status->setText(text);
}

bool TDapnetForm::readyToJoin() {
    // Joining needs all three; each missing one is named as the dialog names it.
    if (!m_enabled->isChecked())
        return true;
    const struct {
        QLineEdit* field;
        bool missing;
        const char* what;
    } needed[] = {
        {m_host, m_host->text().trimmed().isEmpty(), "the Server (the DAPNET core of your area)"},
        {m_callsign, m_callsign->text().trimmed().isEmpty(),
         "the Callsign this transmitter is registered with"},
        {m_key, m_key->text().trimmed().isEmpty() && !QFile::exists(m_keyFile),
         "the Key DAPNET gave this transmitter"},
    };
    for (const auto& n : needed) {
        if (!n.missing)
            continue;
        showPlainMessage(this,
                         QStringLiteral("To join DAPNET, type %1.").arg(QLatin1String(n.what)));
        n.field->setFocus();
        return false;
    }
    return true;
}

bool TDapnetForm::saveKey() {
    const QString key = m_key->text().trimmed();
    if (key.isEmpty())
        return true;
    std::string error;
    if (!writeAuthKeyFile(m_keyFile.toStdString(), key.toStdString(), &error)) {
        showPlainMessage(
            this,
            QStringLiteral("The key could not be kept.\r\n%1").arg(QString::fromStdString(error)));
        return false;
    }
    m_key->clear();
    m_opened.authKey = "changed"; // the link logs in again with the new key
    return true;
}

void TDapnetForm::done(int result) {
    QDialog::done(result);
    if (result == QDialog::Accepted &&
        (!sameSettings(settings(), m_opened) || !m_opened.authKey.empty())) {
        m_opened = settings();
        emit settingsChanged();
    }
}

} // namespace tarvex
