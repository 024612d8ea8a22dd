#include "app/page_log.h"

#include <QFile>

namespace tarvex {

QString pageLogPath(const QString& dataFolder) {
    return dataFolder + QStringLiteral("/Tarvex-LOG.txt");
}

QString longTimeText(const QLocale& locale, const QTime& time) {
    // Qt's long time formats end in the zone name ("t"); the log keeps only the clock time.
    const QString format = locale.timeFormat(QLocale::LongFormat);
    QString cleaned;
    bool quoted = false;
    for (const QChar c : format) {
        if (c == '\'')
            quoted = !quoted;
        if (!quoted && c == 't')
            continue;
        cleaned += c;
    }
    return locale.toString(time, cleaned.trimmed());
}

QString pageLogLine(const QString& ric, const QString& message, const QDate& date,
                    const QTime& time, const QLocale& locale) {
    return ric + QStringLiteral(" - ") + message + QStringLiteral(" - ") +
           locale.toString(date, QLocale::ShortFormat) + QStringLiteral(" - ") +
           longTimeText(locale, time) + QStringLiteral("\r\n");
}

bool appendPageLog(const QString& path, const QString& line, QString* reason) {
    QFile file(path);
    const QByteArray bytes = line.toUtf8();
    // Unbuffered: nothing is left over to be written again at close after a failure.
    bool ok = file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered);
    const qint64 before = ok ? file.size() : 0;
    if (ok)
        ok = file.write(bytes) == bytes.size() && file.flush();
    if (!ok && reason != nullptr)
        *reason = QStringLiteral("%1: %2").arg(path, file.errorString());
    // A full disk may have taken part of the line: cut it off again, so that the next
    // page's line does not run on from a torn one.
    if (!ok && file.isOpen())
        file.resize(before);
    file.close();
    if (ok && file.error() != QFileDevice::NoError) {
        ok = false;
        if (reason != nullptr)
            *reason = QStringLiteral("%1: %2").arg(path, file.errorString());
    }
    return ok;
}

} // namespace tarvex
