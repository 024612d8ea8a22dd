#include "app/sync_idle_form.h"
#include "app/ui_font.h"

#include "app/dialog_support.h"
#include "app/key_filter.h"
#include "encoder/codeword.h"
#include "encoder/conversions.h"
#include "encoder/errors.h"

#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>

namespace tarvex {

TSIForm::TSIForm(Apply apply, QWidget* parent) : QDialog(parent), m_apply(std::move(apply)) {
    setObjectName(QStringLiteral("SIForm"));
    useWindowFont(*this);
    setWindowTitle(QStringLiteral("Sync & Idle CW values"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(300, 146); // wide enough for the whole title
    buildControls();
}

void TSIForm::buildControls() {
    placeLabel(this, QStringLiteral("Sync CodeWord"), 42, 16);
    m_edSync = new QLineEdit(this);
    m_edSync->setObjectName(QStringLiteral("edSync"));
    m_edSync->setGeometry(126, 8, 89, 21);
    m_edSync->setMaxLength(8);
    placeLabel(this, QStringLiteral("HEX"), 220, 12);

    placeLabel(this, QStringLiteral("Idle CodeWord"), 44, 52);
    m_edIdle = new QLineEdit(this);
    m_edIdle->setObjectName(QStringLiteral("edIdle"));
    m_edIdle->setGeometry(126, 44, 89, 21);
    m_edIdle->setMaxLength(8);
    placeLabel(this, QStringLiteral("HEX"), 220, 48);

    // Both fields take hexadecimal digits only.
    KeyFilter::install(m_edSync, KeyFilter::isHexDigit);
    KeyFilter::install(m_edIdle, KeyFilter::isHexDigit);

    auto* notice = new QLabel(
        QStringLiteral("DO NOT Change these values unless you really know what you are doing."),
        this);
    notice->setGeometry(10, 70, 280, 31);
    notice->setAlignment(Qt::AlignCenter);
    notice->setWordWrap(true);

    m_btDone = new QPushButton(QStringLiteral("&Done"), this);
    m_btDone->setObjectName(QStringLiteral("btDone"));
    m_btDone->setGeometry(60, 108, 75, 25);
    m_btDone->setAutoDefault(false);
    m_btDefaults = new QPushButton(QStringLiteral("De&faults"), this);
    m_btDefaults->setObjectName(QStringLiteral("btDefaults"));
    m_btDefaults->setGeometry(162, 108, 75, 25);
    m_btDefaults->setAutoDefault(false);
    connect(m_btDone, &QPushButton::clicked, this, &TSIForm::btDoneClick);
    connect(m_btDefaults, &QPushButton::clicked, this, &TSIForm::btDefaultsClick);
}

void TSIForm::setFields(const QString& syncText, const QString& idleText) {
    m_edSync->setText(syncText);
    m_edIdle->setText(idleText);
}

void TSIForm::btDoneClick() {
    // Sync is checked first; the first field in error is reported and the dialog stays open
    // with what was typed. A codeword of fewer than eight digits would go out with leading
    // zeros, a page no pager decodes: it is refused rather than sent.
    const struct {
        QLineEdit* field;
        const char* name;
        const char* stock;
    } fields[] = {{m_edSync, "sync", StockSyncText}, {m_edIdle, "idle", StockIdleText}};
    for (const auto& f : fields) {
        const QString text = f.field->text();
        if (text.size() != 8 || !hexToCodeword(text.toStdString())) {
            QMessageBox box(
                QMessageBox::Warning, windowTitle(),
                QStringLiteral("The %1 codeword needs eight hexadecimal digits (0 to 9, "
                               "A to F); \"%2\" is not that.\nThe standard %1 "
                               "codeword is %3; Defaults puts it back.")
                    .arg(QLatin1String(f.name), text, QLatin1String(f.stock)),
                QMessageBox::Ok, this);
            box.setObjectName(QStringLiteral("CodewordRefused"));
            box.exec();
            f.field->setFocus();
            f.field->selectAll();
            return;
        }
    }
    m_apply(m_edSync->text().toStdString(), m_edIdle->text().toStdString());
    accept();
}

void TSIForm::btDefaultsClick() {
    setFields(QString::fromLatin1(StockSyncText), QString::fromLatin1(StockIdleText));
    btDoneClick();
}

} // namespace tarvex
