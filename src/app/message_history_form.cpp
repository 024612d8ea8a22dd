#include "app/message_history_form.h"

#include "app/ui_font.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>

namespace tarvex {

MessageHistoryForm::MessageHistoryForm(const std::deque<StatusLine::Entry>& history,
                                       QWidget* parent)
    : QDialog(parent) {
    setObjectName(QStringLiteral("MessageHistoryForm"));
    useWindowFont(*this);
    setWindowTitle(QStringLiteral("Message history"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setFixedSize(600, 340);

    auto* caption =
        new QLabel(QStringLiteral("Status messages, oldest first (the last %1 are kept)")
                       .arg(StatusLine::MaxHistory),
                   this);
    caption->setGeometry(8, 6, 584, 18);
    m_text = new QPlainTextEdit(this);
    m_text->setObjectName(QStringLiteral("HistoryText"));
    m_text->setGeometry(8, 26, 584, 270);
    m_text->setReadOnly(true);
    m_text->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_text->setPlainText(lines(history));
    m_text->verticalScrollBar()->setValue(m_text->verticalScrollBar()->maximum());

    auto* done = new QPushButton(QStringLiteral("&Done"), this);
    done->setObjectName(QStringLiteral("btDone"));
    done->setGeometry(262, 306, 75, 25);
    connect(done, &QPushButton::clicked, this, &QDialog::accept);
}

QString MessageHistoryForm::lines(const std::deque<StatusLine::Entry>& history) {
    QStringList out;
    for (const StatusLine::Entry& e : history) {
        QString line =
            e.when.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss")) + QStringLiteral("  ") + e.text;
        if (e.count > 1)
            line += QStringLiteral("  \u00d7%1 (last %2)")
                        .arg(e.count)
                        .arg(e.last.toString(QStringLiteral("hh:mm:ss")));
        out << line;
    }
    return out.join(QLatin1Char('\n'));
}

} // namespace tarvex
