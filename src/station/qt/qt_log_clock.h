#pragma once
// The page log's date and time in the desktop's locale: the short date format and the long
// time format without the time-zone name.
#include "station/page_log.h"

#include <QLocale>
#include <QString>
#include <QTime>

namespace tarvex {

/// The time in the locale's long time format without the time-zone name.
QString longTimeText(const QLocale& locale, const QTime& time);

class QtLogClock : public LogClock {
public:
    std::string shortDate() override;
    std::string longTime() override;
};

} // namespace tarvex
