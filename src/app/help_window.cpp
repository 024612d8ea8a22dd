#include "app/help_window.h"

#include "app/ui_font.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

namespace tarvex {

HelpWindow::HelpWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName(QStringLiteral("HelpWindow"));
    setWindowTitle(QStringLiteral("Tarvex Help"));
    resize(720, 560);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(6, 6, 6, 6);
    m_browser = new QTextBrowser(this);
    m_browser->setObjectName(QStringLiteral("HelpBrowser"));
    m_browser->setOpenExternalLinks(true);
    QFont text = uiFont(14);
    m_browser->setFont(text);
    column->addWidget(m_browser, 1);

    auto* buttons = new QHBoxLayout;
    const auto add = [&](const char* name, const QString& caption) {
        auto* button = new QPushButton(caption, this);
        button->setObjectName(QString::fromLatin1(name));
        buttons->addWidget(button);
        return button;
    };
    connect(add("btBack", QStringLiteral("&Back")), &QPushButton::clicked, m_browser,
            &QTextBrowser::backward);
    connect(add("btContents", QStringLiteral("C&ontents")), &QPushButton::clicked, m_browser,
            &QTextBrowser::home);
    buttons->addStretch(1);
    connect(add("btClose", QStringLiteral("&Close")), &QPushButton::clicked, this, &QWidget::close);
    column->addLayout(buttons);
}

void HelpWindow::showDocument(const QString& path) {
    m_browser->setSource(QUrl::fromLocalFile(path));
}

} // namespace tarvex
