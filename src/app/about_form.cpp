#include "app/about_form.h"
#include "app/ui_font.h"

#include <QLabel>
#include <QPixmap>
#include <QPushButton>

namespace tarvex {

TAboutForm::TAboutForm(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("AboutForm"));
    useWindowFont(*this);
    setWindowTitle(QStringLiteral("Tarvex"));
    // A title bar without system menu, minimise or close box.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    setFixedSize(307, 247);

    auto* text = new QLabel(QString::fromLatin1(Description), this);
    text->setObjectName(QStringLiteral("AboutText"));
    text->setGeometry(7, 8, 293, 53);
    text->setAlignment(Qt::AlignCenter);
    text->setWordWrap(true);
    text->setFont(uiFont(13));

    auto* logo = new QLabel(this);
    logo->setObjectName(QStringLiteral("Logo"));
    logo->setGeometry((307 - 98) / 2, 68, 98, 88);
    logo->setAlignment(Qt::AlignCenter);
    // Scaled for the screen's pixels, so that the logo stays sharp on a high-resolution desktop.
    const qreal ratio = devicePixelRatioF();
    QPixmap picture =
        QPixmap(QStringLiteral(":/tarvex/tarvex.png"))
            .scaled(QSize(98, 88) * ratio, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    picture.setDevicePixelRatio(ratio);
    logo->setPixmap(picture);

    auto* version = new QLabel(QString::fromLatin1(VersionText), this);
    version->setObjectName(QStringLiteral("VersionLabel"));
    version->setGeometry(0, 162, 307, 18);
    version->setAlignment(Qt::AlignCenter);

    m_folderNote = new QLabel(this);
    m_folderNote->setObjectName(QStringLiteral("FolderNote"));
    m_folderNote->setGeometry(4, 182, 299, 22);
    m_folderNote->setAlignment(Qt::AlignCenter);
    m_folderNote->setWordWrap(true);
    m_folderNote->setFont(uiFont(9));

    // Bottom strip, 41 pixels high, with the button centred in it.
    m_button1 = new QPushButton(QStringLiteral("&Done"), this);
    m_button1->setObjectName(QStringLiteral("Button1"));
    m_button1->setGeometry((307 - 75) / 2, 247 - 41 + 8, 75, 25);
    connect(m_button1, &QPushButton::clicked, this, &QDialog::accept);
}

void TAboutForm::setFolderNote(const QString& note) {
    m_folderNote->setText(note);
    m_folderNote->setToolTip(note);
}

} // namespace tarvex
