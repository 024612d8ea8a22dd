#include "app/page_log_form.h"

#include "app/ui_font.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QVBoxLayout>

#include <deque>

namespace tarvex {

namespace {

// The choice's captions and the marks the station writes after a line's time.
constexpr struct {
    const char* caption;
    const char* mark;
} Filters[] = {{"All lines", ""},
               {"Confirmed off air", " - confirmed"},
               {"Not heard off air", " - not heard"},
               {"Stopped", " - stopped"},
               {"Not sent", " - not sent"},
               {"Keying failed", " - keying failed"}};

} // namespace

PageLogForm::PageLogForm(QString path, QWidget* parent) : QDialog(parent), m_path(std::move(path)) {
    setObjectName(QStringLiteral("PageLogForm"));
    useWindowFont(*this);
    setWindowTitle(QStringLiteral("Page log"));
    auto* layout = new QVBoxLayout(this);
    auto* top = new QHBoxLayout;
    auto* caption = new QLabel(QStringLiteral("&Show"), this);
    m_filter = new QComboBox(this);
    m_filter->setObjectName(QStringLiteral("LogFilter"));
    for (const auto& f : Filters)
        m_filter->addItem(QString::fromLatin1(f.caption));
    caption->setBuddy(m_filter);
    m_count = new QLabel(this);
    m_count->setObjectName(QStringLiteral("LogCount"));
    top->addWidget(caption);
    top->addWidget(m_filter);
    top->addWidget(m_count, 1);
    layout->addLayout(top);
    // The data folder as chosen may end in a separator: the path is shown without the double one.
    auto* where = new QLabel(QDir::toNativeSeparators(QDir::cleanPath(m_path)), this);
    where->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(where);
    m_text = new QPlainTextEdit(this);
    m_text->setObjectName(QStringLiteral("LogText"));
    m_text->setReadOnly(true);
    m_text->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_text->setTextInteractionFlags(Qt::TextSelectableByKeyboard | Qt::TextSelectableByMouse);
    m_text->setMinimumSize(640, 300);
    layout->addWidget(m_text, 1);
    auto* buttons = new QHBoxLayout;
    auto* again = new QPushButton(QStringLiteral("&Reload"), this);
    auto* done = new QPushButton(QStringLiteral("&Done"), this);
    done->setObjectName(QStringLiteral("btDone"));
    buttons->addStretch(1);
    buttons->addWidget(again);
    buttons->addWidget(done);
    layout->addLayout(buttons);
    connect(again, &QPushButton::clicked, this, &PageLogForm::reload);
    connect(done, &QPushButton::clicked, this, &QDialog::accept);
    connect(m_filter, &QComboBox::currentIndexChanged, this, &PageLogForm::reload);
    reload();
}

void PageLogForm::reload() {
    QFile file(m_path);
    if (!file.open(QIODevice::ReadOnly)) {
        m_text->clear();
        m_count->setText(file.exists()
                             ? QStringLiteral("The log cannot be read: %1").arg(file.errorString())
                             : QStringLiteral("No page has been logged in this folder "
                                              "yet (Log pages to file)."));
        return;
    }
    const QLatin1String mark(Filters[std::max(0, m_filter->currentIndex())].mark);
    std::deque<QString> lines;
    int total = 0;
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (line.isEmpty() || (mark.size() > 0 && !line.contains(mark)))
            continue;
        ++total;
        lines.push_back(line);
        if (lines.size() > MaxLines)
            lines.pop_front();
    }
    QStringList shown(lines.begin(), lines.end());
    m_text->setPlainText(shown.join('\n'));
    m_text->verticalScrollBar()->setValue(m_text->verticalScrollBar()->maximum());
    m_count->setText(total > MaxLines
                         ? QStringLiteral("%1 lines, the last %2 shown").arg(total).arg(MaxLines)
                         : QStringLiteral("%1 lines").arg(total));
}

QString PageLogForm::shownText() const {
    return m_text->toPlainText();
}

} // namespace tarvex
