// Faults met by the real main window: a data folder that turns read-only or disappears
// before a logged page, a full disk under the page log and the message list, a message
// list that cannot be saved at close, and an auto-send lock file that cannot be removed.
// Each time: the page still goes out, the operator is told, and nothing stored is lost.
#include "fault_support.h"
#include "window_fault_support.h"

#include "app/auto_form.h"
#include "app/mess_form.h"
#include "app/message_edit.h"
#include "app/status_line.h"
#include "station/page_log.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSignalSpy>
#include <QTimer>

#include <sys/stat.h>

using namespace tarvex;
using namespace tarvex::test;
using namespace tarvex::test::faults;
using tarvex::faults::FolderLock;

class WindowFaultsTest : public QObject {
    Q_OBJECT
private slots:
    void logFolderReadOnlyOrGoneStillSendsThePage();
    void logOnFullDiskKeepsEveryStoredLineWhole();
    void listUnwritableAtCloseKeepsOldFileAndEdits();
    void listFileReadOnlyIsNotReplaced();
    void listOnFullDiskKeepsTheOldFile();
    void autoSendLockLeftBehindIsClearedWhenPollingResumes();
    void pageThatCannotPlayIsReportedNotSent();
};

void WindowFaultsTest::logFolderReadOnlyOrGoneStillSendsThePage() {
    QTemporaryDir store;
    const QString data = store.filePath(QStringLiteral("data"));
    QVERIFY(QDir().mkpath(data));
    {
        Rig rig(storeIn(store));
        TMainForm& f = *rig.form;
        control<QCheckBox>(f, "logpages").setChecked(true);
        setDataFolder(f, data);
        control<QLineEdit>(f, "RicEdit").setText(QStringLiteral("1234567"));
        control<MessageEdit>(f, "MsgEdit").setPlainText(QStringLiteral("first"));
        QCOMPARE(sendAndWatch(rig), QString());
        const QString log = f.pageLogPath();
        const QByteArray firstLine = fileBytes(log);
        QVERIFY(firstLine.startsWith("1234567 - first - "));
        const QString failure = QString::fromLatin1(PageLogFailureText);

        // The folder and the log both read-only.
        FolderLock folder(data.toStdString());
        ::chmod(log.toLocal8Bit().constData(), 0444);
        folder.readOnly();
        control<MessageEdit>(f, "MsgEdit").setPlainText(QStringLiteral("second"));
        QCOMPARE(sendAndWatch(rig), failure);
        QVERIFY(f.statusLine().failureText().contains(QStringLiteral("Tarvex-LOG.txt")));
        QCOMPARE(fileBytes(log), firstLine);

        // A read-only folder that holds no log yet.
        folder.writable();
        QVERIFY(QFile::remove(log));
        folder.readOnly();
        control<MessageEdit>(f, "MsgEdit").setPlainText(QStringLiteral("third"));
        QCOMPARE(sendAndWatch(rig), failure);
        QVERIFY(!QFile::exists(log));

        // The folder removed since the last page.
        folder.writable();
        QVERIFY(QDir(data).removeRecursively());
        control<MessageEdit>(f, "MsgEdit").setPlainText(QStringLiteral("fourth"));
        QCOMPARE(sendAndWatch(rig), failure);

        // Back again: logging goes on.
        QVERIFY(QDir().mkpath(data));
        control<MessageEdit>(f, "MsgEdit").setPlainText(QStringLiteral("fifth"));
        QCOMPARE(sendAndWatch(rig), QString());
        QCOMPARE(logLines(log).size(), 1);
        QVERIFY(logLines(log).first().startsWith(QStringLiteral("1234567 - fifth - ")));
    }
    // Nothing else lost: the settings were saved at close.
    const QString ini = store.filePath(QStringLiteral("Tarvex.ini"));
    QCOMPARE(storedValue(ini, "LogPages"), QStringLiteral("1"));
    QCOMPARE(storedValue(ini, "DataFolder"), data);
    QCOMPARE(storedValue(ini, "LastRIC"), QStringLiteral("1234567"));
}

void WindowFaultsTest::logOnFullDiskKeepsEveryStoredLineWhole() {
    QTemporaryDir store;
    Rig rig(storeIn(store));
    TMainForm& f = *rig.form;
    control<QCheckBox>(f, "logpages").setChecked(true);
    setDataFolder(f, store.path());
    // A long log, so that the page's sound file (far smaller) still fits on the disk.
    QByteArray old;
    for (int i = 0; old.size() < 1 << 20; ++i)
        old += "0000001 - old page " + QByteArray::number(i) + " - 1/2/24 - 3:04:05 AM\r\n";
    putFile(f.pageLogPath(), old);
    control<MessageEdit>(f, "MsgEdit").setPlainText(QStringLiteral("does not fit"));
    {
        DiskFull full(static_cast<rlim_t>(old.size()) + 10); // room for part of a line only
        QCOMPARE(sendAndWatch(rig), QString::fromLatin1(PageLogFailureText));
    }
    QVERIFY(rig.audio->lastImageBytes() > 0);
    QCOMPARE(fileBytes(f.pageLogPath()), old); // no torn line left behind
    control<MessageEdit>(f, "MsgEdit").setPlainText(QStringLiteral("fits again"));
    QCOMPARE(sendAndWatch(rig), QString());
    const QStringList lines = logLines(f.pageLogPath());
    QVERIFY(lines.last().startsWith(QStringLiteral("1234567 - fits again - ")));
    QVERIFY(lines[lines.size() - 2].startsWith(QStringLiteral("0000001 - old page ")));
}

void WindowFaultsTest::listUnwritableAtCloseKeepsOldFileAndEdits() {
    QTemporaryDir store;
    Rig rig(storeIn(store));
    TMessForm& mess = *rig.form->dialogs().mess;
    putFile(mess.listPath(), "11A1200N0000001old entry\r\n");
    FolderLock folder(rig.folder.path().toStdString());
    mess.show();
    QCOMPARE(mess.items(), QStringList{QStringLiteral("11A1200N0000001old entry")});
    mess.MessEdit()->setText(QStringLiteral("11A1200N0000002new entry"));
    QTest::mouseClick(mess.btAdd(), Qt::LeftButton);

    folder.readOnly();
    auto seen = std::make_shared<QStringList>();
    answerNextBox(QMessageBox::Cancel, seen);
    mess.reject();
    QVERIFY(!mess.isVisible()); // the operator could leave
    QCOMPARE(seen->size(), 1);
    QVERIFY2(seen->first().contains(QStringLiteral("MessList.txt: Permission denied")),
             qPrintable(seen->first()));
    QCOMPARE(fileBytes(mess.listPath()), QByteArray("11A1200N0000001old entry\r\n"));

    // Shown again before the file could be written: the list is the one the operator left,
    // not the older file.
    const QStringList edited{QStringLiteral("11A1200N0000001old entry"),
                             QStringLiteral("11A1200N0000002new entry")};
    mess.show();
    QCOMPARE(mess.items(), edited);
    answerNextBox(QMessageBox::Cancel, seen);
    mess.reject();
    QCOMPARE(seen->size(), 2);

    // Writable again: the next close saves the kept list.
    folder.writable();
    mess.show();
    QCOMPARE(mess.items(), edited);
    mess.reject();
    QCOMPARE(seen->size(), 2);
    QCOMPARE(fileBytes(mess.listPath()),
             QByteArray("11A1200N0000001old entry\r\n11A1200N0000002new entry\r\n"));
    // Saved once, the file is the list again at the next showing.
    putFile(mess.listPath(), "11A1200N0000003from outside\r\n");
    mess.show();
    QCOMPARE(mess.items(), QStringList{QStringLiteral("11A1200N0000003from outside")});
    mess.reject();
}

void WindowFaultsTest::listFileReadOnlyIsNotReplaced() {
    QTemporaryDir store;
    Rig rig(storeIn(store));
    TMessForm& mess = *rig.form->dialogs().mess;
    const QByteArray old("11A1200N0000001kept as it is\r\n");
    putFile(mess.listPath(), old);
    const QByteArray path = mess.listPath().toLocal8Bit();
    ::chmod(path.constData(), 0444);
    mess.show();
    mess.MessEdit()->setText(QStringLiteral("11A1200N0000002added"));
    QTest::mouseClick(mess.btAdd(), Qt::LeftButton);
    // The operator is told; making the file writable and pressing Retry saves the list.
    auto seen = std::make_shared<QStringList>();
    answerNextBox(QMessageBox::Retry, seen, [&] {
        QCOMPARE(fileBytes(mess.listPath()), old);
        ::chmod(path.constData(), 0644);
    });
    mess.reject();
    QCOMPARE(seen->size(), 1);
    QVERIFY2(seen->first().contains(QStringLiteral("MessList.txt: Permission denied")),
             qPrintable(seen->first()));
    QVERIFY(!mess.isVisible());
    QCOMPARE(fileBytes(mess.listPath()), old + "11A1200N0000002added\r\n");
}

void WindowFaultsTest::listOnFullDiskKeepsTheOldFile() {
    QTemporaryDir store;
    Rig rig(storeIn(store));
    TMessForm& mess = *rig.form->dialogs().mess;
    QByteArray old;
    for (int i = 0; i < 20; ++i)
        old += "11A1200N000000" + QByteArray::number(i % 10) + "stored entry\r\n";
    putFile(mess.listPath(), old);
    mess.show();
    QCOMPARE(mess.items().size(), 20);
    mess.MessEdit()->setText(QStringLiteral("11A1200N0000009one more"));
    QTest::mouseClick(mess.btAdd(), Qt::LeftButton);
    auto seen = std::make_shared<QStringList>();
    {
        DiskFull full(64);
        answerNextBox(QMessageBox::Cancel, seen);
        mess.reject();
    }
    QCOMPARE(seen->size(), 1);
    QVERIFY2(seen->first().contains(QStringLiteral("File too large")), qPrintable(seen->first()));
    QCOMPARE(fileBytes(mess.listPath()), old);
    QVERIFY(!QFile::exists(mess.listPath() + QStringLiteral(".new")));
    mess.show();
    QCOMPARE(mess.items().size(), 21);
    mess.reject();
    QCOMPARE(fileBytes(mess.listPath()), old + "11A1200N0000009one more\r\n");
}

void WindowFaultsTest::autoSendLockLeftBehindIsClearedWhenPollingResumes() {
    QTemporaryDir store;
    Rig rig(storeIn(store));
    TMainForm& f = *rig.form;
    TAutoForm& autoSend = *f.dialogs().autoSend;
    const QString folder = rig.folder.path();
    const QString file = QDir(folder).filePath(autoSend.edFileName()->text());
    const QString lock = QDir(folder).filePath(autoSend.edLockFile()->text());
    QSignalSpy sent(&f, &TMainForm::pageSent);
    autoSend.AutoSend()->setChecked(true);
    putFile(file, "11A1200N0000001first\r\n");

    // The folder turns read-only just before the poll removes its lock file.
    FolderLock readOnly(folder.toStdString());
    const std::string lockPath = lock.toStdString();
    tarvex::faults::setFileOpHook([&](std::string_view op, std::string_view path) {
        if (op == "remove" && path == lockPath)
            readOnly.readOnly();
    });
    {
        // Unattended: no box; the failure goes to the status line (which the page's own
        // failure to write its sound file into the same folder then follows).
        QStringList refused;
        const int id = f.station().subscribe([&](const StationEvent& e) {
            if (e.kind == StationEvent::Kind::Refused)
                refused << QString::fromStdString(e.text);
        });
        BoxWatcher boxes;
        autoSend.TxTimerTimer();
        tarvex::faults::setFileOpHook({});
        f.station().unsubscribe(id);
        QCOMPARE(boxes.texts, QStringList());
        QCOMPARE(refused.size(), 1);
        QVERIFY2(refused.first().contains(QStringLiteral("Lock.Lck: Permission denied")),
                 qPrintable(refused.first()));
    }
    QTRY_COMPARE(sent.count(), 1); // taken before the lock failed, and sent once
    QVERIFY(QFile::exists(lock));
    QVERIFY(!f.autoSend().status().timer); // stopped until the box is ticked again

    // Writable again and auto send switched off and on: the old lock goes, a writer can
    // add its page, and the next poll sends it.
    readOnly.writable();
    autoSend.AutoSend()->setChecked(false);
    autoSend.AutoSend()->setChecked(true);
    {
        BoxWatcher boxes;
        autoSend.TxTimerTimer();
        QCOMPARE(boxes.texts, QStringList());
    }
    QVERIFY(!QFile::exists(lock));
    putFile(file, "11A1200N0000002second\r\n");
    autoSend.TxTimerTimer();
    QTRY_COMPARE(sent.count(), 2);
    QCOMPARE(sent.last().at(0).toString(), QStringLiteral("0000002"));
    QVERIFY(!QFile::exists(file));
    QTRY_VERIFY(f.autoSend().status().timer);
    autoSend.AutoSend()->setChecked(false);
}

void WindowFaultsTest::pageThatCannotPlayIsReportedNotSent() {
    // The sound cannot be played (here: the output's file cannot be written; on a desktop:
    // no sound server). The page is not sent, and the status line and the log say so.
    QTemporaryDir store;
    RigOptions options = storeIn(store);
    options.wavFile = store.filePath(QStringLiteral("no such folder/page.wav"));
    Rig rig(options);
    TMainForm& f = *rig.form;
    control<QCheckBox>(f, "logpages").setChecked(true);
    setDataFolder(f, store.path());
    control<QLineEdit>(f, "RicEdit").setText(QStringLiteral("1234567"));
    control<MessageEdit>(f, "MsgEdit").setPlainText(QStringLiteral("lost"));
    BoxWatcher boxes;
    f.TxButtonClick();
    QVERIFY(boxes.texts.isEmpty());
    const QString message = f.statusLine().currentMessage();
    const QString lead = QStringLiteral("Not sent: RIC 1234567 - ");
    QVERIFY2(message.startsWith(lead), qPrintable(message));
    const QString reason = message.mid(lead.size());
    QVERIFY2(reason.contains(QStringLiteral("no such folder")), qPrintable(reason));
    QCOMPARE(f.statusLine().lampText(), QStringLiteral("NOT SENT")); // not a plain IDLE
    QVERIFY2(f.statusLine().shownAudioText().contains(QStringLiteral("failed: ") + reason),
             qPrintable(f.statusLine().shownAudioText()));
    // The log line keeps its form, the marker follows it.
    const QByteArray log = fileBytes(f.pageLogPath());
    QVERIFY2(log.startsWith("1234567 - lost - ") &&
                 log.endsWith((QStringLiteral(" - not sent: ") + reason + "\r\n").toUtf8()),
             log.constData());
    QCOMPARE(rig.port->writes().back().value, uint8_t{0}); // released all the same
}

int main(int argc, char** argv) {
    tarvex::faults::runAsOrdinaryUser();
    privateHome();
    QApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("dovrik-apps"));
    QCoreApplication::setApplicationName(QStringLiteral("Tarvex"));
    WindowFaultsTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "window_faults_test.moc"
