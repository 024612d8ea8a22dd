// The status line's message history: each message with its time, repeats in a row kept as
// one entry with their count, and the file that keeps the history from one run to the next.
#include "app/status_line.h"

#include <QFile>
#include <QSaveFile>

#include <algorithm>

namespace tarvex {

void StatusLine::remember(const QString& text) {
    const QDateTime now = QDateTime::currentDateTime();
    if (!m_history.empty() && m_history.back().text == text) {
        ++m_history.back().count;
        m_history.back().last = now;
        return;
    }
    m_history.push_back({now, text, 1, now});
    while (m_history.size() > MaxHistory)
        m_history.pop_front();
}

// One entry a line: time of the first, count, time of the last, text; tabs apart, and the
// text's own line breaks and tabs escaped.
bool StatusLine::loadHistory(const QString& path) {
    QFile file(path);
    if (!file.exists())
        return true;
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return false;
    std::deque<Entry> earlier;
    while (!file.atEnd()) {
        QString line = QString::fromUtf8(file.readLine());
        if (line.endsWith('\n'))
            line.chop(1);
        const QStringList f = line.split('\t');
        if (f.size() != 4)
            continue;
        QString text = f[3];
        text.replace(QStringLiteral("\\n"), QStringLiteral("\n"))
            .replace(QStringLiteral("\\t"), QStringLiteral("\t"));
        earlier.push_back({QDateTime::fromString(f[0], Qt::ISODate), text,
                           std::max(1, f[1].toInt()), QDateTime::fromString(f[2], Qt::ISODate)});
    }
    m_history.insert(m_history.begin(), earlier.begin(), earlier.end());
    while (m_history.size() > MaxHistory)
        m_history.pop_front();
    return true;
}

bool StatusLine::saveHistory(const QString& path, QString* reason) const {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text)) {
        *reason = file.errorString();
        return false;
    }
    for (const Entry& e : m_history) {
        QString text = e.text;
        text.replace('\n', QStringLiteral("\\n")).replace('\t', QStringLiteral("\\t"));
        file.write(QStringLiteral("%1\t%2\t%3\t%4\n")
                       .arg(e.when.toString(Qt::ISODate))
                       .arg(e.count)
                       .arg(e.last.toString(Qt::ISODate), text)
                       .toUtf8());
    }
    if (!file.commit()) {
        *reason = file.errorString();
        return false;
    }
    return true;
}

} // namespace tarvex
