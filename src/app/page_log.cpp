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
    bool ok = file.open(QIODevice::WriteOnly | QIODevice::Append);
    if (ok)
        ok = file.write(bytes) == bytes.size() && file.flush();
    if (!ok && reason != nullptr)
        *reason = QStringLiteral("%1: %2").arg(path, file.errorString());
    file.close();
    if (ok && file.error() != QFileDevice::NoError) {
        ok = false;
        if (reason != nullptr)
            *reason = QStringLiteral("%1: %2").arg(path, file.errorString());
    }
    return ok;
}

} // namespace tarvex
