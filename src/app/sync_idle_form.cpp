#include "app/sync_idle_form.h"
#include "app/ui_font.h"

#include "app/dialog_support.h"
#include "app/key_filter.h"
#include "encoder/conversions.h"
#include "encoder/errors.h"
#include "encoder/page_encoder.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace tarvex {

TSIForm::TSIForm(PageEncoder& encoder, QWidget* parent) : QDialog(parent), m_encoder(encoder) {
    setObjectName(QStringLiteral("SIForm"));
    useWindowFont(*this);
    setWindowTitle(QStringLiteral("Sync & Idle CW values"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(235, 146);
    buildControls();
}

void TSIForm::buildControls() {
    placeLabel(this, QStringLiteral("Sync CodeWord"), 10, 16);
    m_edSync = new QLineEdit(this);
    m_edSync->setObjectName(QStringLiteral("edSync"));
    m_edSync->setGeometry(94, 8, 89, 21);
    m_edSync->setMaxLength(8);
    placeLabel(this, QStringLiteral("HEX"), 188, 12);

    placeLabel(this, QStringLiteral("Idle CodeWord"), 12, 52);
    m_edIdle = new QLineEdit(this);
    m_edIdle->setObjectName(QStringLiteral("edIdle"));
    m_edIdle->setGeometry(94, 44, 89, 21);
    m_edIdle->setMaxLength(8);
    placeLabel(this, QStringLiteral("HEX"), 188, 48);

    // Both fields take hexadecimal digits only.
    KeyFilter::install(m_edSync, KeyFilter::isHexDigit);
    KeyFilter::install(m_edIdle, KeyFilter::isHexDigit);

    auto* notice = new QLabel(
        QStringLiteral("DO NOT Change these values unless you really know what you are doing."),
        this);
    notice->setGeometry(10, 70, 217, 31);
    notice->setAlignment(Qt::AlignCenter);
    notice->setWordWrap(true);

    m_btDone = new QPushButton(QStringLiteral("&Done"), this);
    m_btDone->setObjectName(QStringLiteral("btDone"));
    m_btDone->setGeometry(28, 108, 75, 25);
    m_btDone->setAutoDefault(false);
    m_btDefaults = new QPushButton(QStringLiteral("De&faults"), this);
    m_btDefaults->setObjectName(QStringLiteral("btDefaults"));
    m_btDefaults->setGeometry(130, 108, 75, 25);
    m_btDefaults->setAutoDefault(false);
    connect(m_btDone, &QPushButton::clicked, this, &TSIForm::btDoneClick);
    connect(m_btDefaults, &QPushButton::clicked, this, &TSIForm::btDefaultsClick);
}

void TSIForm::setFields(const QString& syncText, const QString& idleText) {
    m_edSync->setText(syncText);
    m_edIdle->setText(idleText);
}

void TSIForm::btDoneClick() {
    // Sync is converted first; the first field that does not convert is reported.
    for (QLineEdit* field : {m_edSync, m_edIdle}) {
        const std::string text = field->text().toStdString();
        if (!hexToCodeword(text)) {
            showErrorReport(this, QString::fromStdString(ConversionError("$" + text).what()));
            return;
        }
    }
    m_encoder.setSyncIdle(m_edSync->text().toStdString(), m_edIdle->text().toStdString());
    accept();
}

void TSIForm::btDefaultsClick() {
    setFields(QString::fromLatin1(StockSyncText), QString::fromLatin1(StockIdleText));
    btDoneClick();
}

} // namespace tarvex
