// The files side of the desktop program: the page log line and file, and where the
// program keeps its folder.
#include "gui_test_support.h"

#include "app/program_folder.h"
#include "station/page_log.h"
#include "station/qt/qt_log_clock.h"

#include <QFile>
#include <QStandardPaths>

using namespace tarvex;
using namespace tarvex::test;

class AppFilesTest : public QObject {
    Q_OBJECT
private slots:
    void logLineUsesTheLocaleFormats();
    void logFileIsCreatedThenAppended();
    void logFailureKeepsTheReason();
    void programFolderIsTheExecutablesWhenWritable();
    void programFolderFallsBackToUserData();
};

void AppFilesTest::logLineUsesTheLocaleFormats() {
    const QDate date(2024, 3, 5);
    const QTime time(14, 7, 9);
    // The window's log clock: the locale's short date and its long time without the zone.
    const auto line = [&](const std::string& ric, const std::string& message, const QLocale& locale,
                          const std::string& marker = {}) {
        return QString::fromStdString(
            pageLogLine(ric, message, locale.toString(date, QLocale::ShortFormat).toStdString(),
                        longTimeText(locale, time).toStdString(), marker));
    };
    const QLocale us(QLocale::English, QLocale::UnitedStates);
    const QString usTime = longTimeText(us, time);
    QVERIFY(usTime.startsWith(QStringLiteral("2:07:09")));
    QVERIFY(usTime.endsWith(QStringLiteral("PM")));
    QCOMPARE(line("1234567", "Hello", us),
             QStringLiteral("1234567 - Hello - 3/5/24 - ") + usTime + QStringLiteral("\r\n"));
    const QLocale german(QLocale::German, QLocale::Germany);
    QCOMPARE(line("8", "", german), QStringLiteral("8 -  - 05.03.24 - 14:07:09\r\n"));
    // A page that did not go out whole keeps that form with its marker after it.
    QCOMPARE(line("8", "x", german, " - stopped"),
             QStringLiteral("8 - x - 05.03.24 - 14:07:09 - stopped\r\n"));
    // No time-zone name in the long time.
    QVERIFY(!longTimeText(german, time).contains(' '));
}

void AppFilesTest::logFileIsCreatedThenAppended() {
    QTemporaryDir folder;
    const std::string path = pageLogPath(folder.path().toStdString());
    QCOMPARE(QString::fromStdString(path), folder.path() + QStringLiteral("/Tarvex-LOG.txt"));
    std::string reason;
    QVERIFY(appendPageLog(path, "a\r\n", &reason));
    QVERIFY(appendPageLog(path, "b\r\n", &reason));
    QFile file(QString::fromStdString(path));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray("a\r\nb\r\n"));
    // A folder text with a trailing separator gives a doubled one, which still works.
    QVERIFY(appendPageLog(pageLogPath(folder.path().toStdString() + '/'), "c\r\n", &reason));
    QCOMPARE(QFileInfo(file).size(), 9);
}

void AppFilesTest::logFailureKeepsTheReason() {
    QTemporaryDir folder;
    const std::string path = pageLogPath(folder.filePath(QStringLiteral("nope")).toStdString());
    std::string reason;
    QVERIFY(!appendPageLog(path, "x\r\n", &reason));
    QVERIFY(reason.starts_with(path + ": "));
    QVERIFY(reason.size() > path.size() + 2);
    // /dev/full takes the open but not the data: a full disk.
    if (QFile::exists(QStringLiteral("/dev/full"))) {
        reason.clear();
        QVERIFY(!appendPageLog("/dev/full", std::string(5000, 'x'), &reason));
        QVERIFY(!reason.empty());
    }
}

void AppFilesTest::programFolderIsTheExecutablesWhenWritable() {
    QTemporaryDir exe;
    QCOMPARE(resolveProgramFolder(exe.path(), QStringLiteral("/unused")), exe.path() + '/');
    QCOMPARE(withTrailingSeparator(QStringLiteral("/a/b//")), QStringLiteral("/a/b/"));
    QCOMPARE(withTrailingSeparator(QStringLiteral("/")), QStringLiteral("/"));
}

void AppFilesTest::programFolderFallsBackToUserData() {
    QTemporaryDir home;
    const QString data = home.filePath(QStringLiteral("share/dovrik-apps/Tarvex"));
    // /proc takes no new files, not even from root: an installed program's folder.
    QCOMPARE(resolveProgramFolder(QStringLiteral("/proc"), data), data + '/');
    QVERIFY(QFileInfo(data).isDir());
    // Without an explicit folder the user's data location is used (a private one here).
    const QString standard = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    QVERIFY(standard.startsWith(QString::fromLocal8Bit(qgetenv("XDG_DATA_HOME"))));
    QCOMPARE(resolveProgramFolder(QStringLiteral("/proc")), standard + '/');
}

TARVEX_GUI_TEST_MAIN(AppFilesTest)
#include "test_app_files.moc"
