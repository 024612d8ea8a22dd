#include "station/qt/qt_log_clock.h"

#include <QDate>

namespace tarvex {

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

std::string QtLogClock::shortDate() {
    return QLocale::system().toString(QDate::currentDate(), QLocale::ShortFormat).toStdString();
}

std::string QtLogClock::longTime() {
    return longTimeText(QLocale::system(), QTime::currentTime()).toStdString();
}

} // namespace tarvex
