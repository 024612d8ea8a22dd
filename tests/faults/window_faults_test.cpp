// Faults met by the real main window: a data folder that turns read-only or disappears
// before a logged page, a full disk under the page log and the message list, a message
// list that cannot be saved at close, a keying port that is missing or is no port, and a
// settings store with every value damaged. Each time: the page still goes out, the
// operator is told, and nothing already stored is lost.
#include "fault_support.h"
#include "gui_test_support.h"

#include "app/auto_form.h"
#include "app/ident_form.h"
#include "app/keying_form.h"
#include "app/mess_form.h"
#include "app/message_edit.h"
#include "app/page_log.h"
#include "app/picture_button.h"
#include "app/program_entry.h"
#include "app/settings_values.h"
#include "signal/signal_gen.h"
#include "txcontrol/system_port.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QSlider>
#include <QSpinBox>

#include <csignal>
#include <random>
#include <sys/resource.h>
#include <sys/stat.h>

using namespace tarvex;
using namespace tarvex::test;
using tarvex::faults::FolderLock;

namespace {

QByteArray fileBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void putFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(bytes), bytes.size());
}

/// Files may not grow beyond `bytes` while it lives (a full disk); SIGXFSZ is ignored so
/// that the write fails with EFBIG instead of ending the process.
class DiskFull {
public:
    explicit DiskFull(rlim_t bytes) {
        m_oldSignal = std::signal(SIGXFSZ, SIG_IGN);
        ::getrlimit(RLIMIT_FSIZE, &m_old);
        const rlimit limit{bytes, m_old.rlim_max};
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~DiskFull() {
        ::setrlimit(RLIMIT_FSIZE, &m_old);
        std::signal(SIGXFSZ, m_oldSignal);
    }
    DiskFull(const DiskFull&) = delete;
    DiskFull& operator=(const DiskFull&) = delete;

private:
    rlimit m_old{};
    void (*m_oldSignal)(int) = nullptr;
};

/// While it lives, answers every message box with OK and keeps its text.
class BoxCatcher {
public:
    BoxCatcher() {
        m_timer.setInterval(10);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (box != nullptr && box->isVisible()) {
                texts << box->text();
                pressOk(box);
            }
        });
        m_timer.start();
    }
    QStringList texts;

private:
    QTimer m_timer;
};

/// Sends the page standing in the window; returns the text of the message box it showed
/// (empty: none) after checking that the page went on air whole: keyed, played, released.
QString sendAndWatch(Rig& rig) {
    rig.trace.clear();
    BoxCatcher boxes;
    const auto result = rig.form->TxButtonClick();
    std::vector<std::string> onAir;
    for (const auto& e : rig.trace.events())
        if (onAir.empty() || onAir.back() != e.what)
            onAir.push_back(e.what);
    const std::vector<std::string> framed{"key", "play", "release"};
    if (result != TMainForm::SendResult::Sent || onAir != framed)
        return QStringLiteral("page not framed key, play, release");
    return boxes.texts.join(QStringLiteral("|"));
}

QStringList logLines(const QString& path) {
    QStringList lines = QString::fromUtf8(fileBytes(path)).split(QStringLiteral("\r\n"));
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

RigOptions storeIn(const QTemporaryDir& dir) {
    RigOptions options;
    options.settingsFile = dir.filePath(QStringLiteral("Tarvex.ini"));
    return options;
}

QString storedValue(const QString& file, const char* name) {
    QSettings store(file, QSettings::IniFormat);
    return store.value(QStringLiteral("Tarvex/%1").arg(QLatin1String(name))).toString();
}

/// Presses a button of the next message box (the others are left alone) after running
/// `before`; the box's text goes into *seen.
void answerNextBox(QMessageBox::StandardButton button, std::shared_ptr<QStringList> seen,
                   std::function<void()> before = {}) {
    onNextModal([=](QWidget* w) {
        seen->append(boxText(w));
        if (before)
            before();
        auto* box = qobject_cast<QMessageBox*>(w);
        if (box != nullptr && box->button(button) != nullptr)
            box->button(button)->click();
        else
            pressOk(w);
    });
}

} // namespace

class WindowFaultsTest : public QObject {
    Q_OBJECT
private slots:
    void logFolderReadOnlyOrGoneStillSendsThePage();
    void logOnFullDiskKeepsEveryStoredLineWhole();
    void listUnwritableAtCloseKeepsOldFileAndEdits();
    void listFileReadOnlyIsNotReplaced();
    void listOnFullDiskKeepsTheOldFile();
    void autoSendLockLeftBehindIsClearedWhenPollingResumes();
    void missingOrFakePortStillPlaysAndSaysWhy();
    void everySettingDamagedGivesDefaultsAndClamps();
    void settingsFileOfRandomBytesOpensTheWindow();
};

void WindowFaultsTest::logFolderReadOnlyOrGoneStillSendsThePage() {
    QTemporaryDir store;
    const QString data = store.filePath(QStringLiteral("data"));
    QVERIFY(QDir().mkpath(data));
    {
        Rig rig(storeIn(store));
        TMainForm& f = *rig.form;
        f.logpages->setChecked(true);
        f.DataFolder = data;
        f.RicEdit->setText(QStringLiteral("1234567"));
        f.MsgEdit->setPlainText(QStringLiteral("first"));
        QCOMPARE(sendAndWatch(rig), QString());
        const QString log = f.pageLogPath();
        const QByteArray firstLine = fileBytes(log);
        QVERIFY(firstLine.startsWith("1234567 - first - "));
        const QString failure = QString::fromLatin1(PageLogFailureText);

        // The folder and the log both read-only.
        FolderLock folder(data.toStdString());
        ::chmod(log.toLocal8Bit().constData(), 0444);
        folder.readOnly();
        f.MsgEdit->setPlainText(QStringLiteral("second"));
        QCOMPARE(sendAndWatch(rig), failure);
        QVERIFY(f.statusLine().failureText().contains(QStringLiteral("Tarvex-LOG.txt")));
        QCOMPARE(fileBytes(log), firstLine);

        // A read-only folder that holds no log yet.
        folder.writable();
        QVERIFY(QFile::remove(log));
        folder.readOnly();
        f.MsgEdit->setPlainText(QStringLiteral("third"));
        QCOMPARE(sendAndWatch(rig), failure);
        QVERIFY(!QFile::exists(log));

        // The folder removed since the last page.
        folder.writable();
        QVERIFY(QDir(data).removeRecursively());
        f.MsgEdit->setPlainText(QStringLiteral("fourth"));
        QCOMPARE(sendAndWatch(rig), failure);

        // Back again: logging goes on.
        QVERIFY(QDir().mkpath(data));
        f.MsgEdit->setPlainText(QStringLiteral("fifth"));
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
    f.logpages->setChecked(true);
    f.DataFolder = store.path();
    // A long log, so that the page's sound file (far smaller) still fits on the disk.
    QByteArray old;
    for (int i = 0; old.size() < 1 << 20; ++i)
        old += "0000001 - old page " + QByteArray::number(i) + " - 1/2/24 - 3:04:05 AM\r\n";
    putFile(f.pageLogPath(), old);
    f.MsgEdit->setPlainText(QStringLiteral("does not fit"));
    {
        DiskFull full(static_cast<rlim_t>(old.size()) + 10); // room for part of a line only
        QCOMPARE(sendAndWatch(rig), QString::fromLatin1(PageLogFailureText));
    }
    QVERIFY(rig.audio->lastImageBytes() > 0);
    QCOMPARE(fileBytes(f.pageLogPath()), old); // no torn line left behind
    f.MsgEdit->setPlainText(QStringLiteral("fits again"));
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
        BoxCatcher boxes;
        autoSend.TxTimerTimer();
        tarvex::faults::setFileOpHook({});
        QCOMPARE(boxes.texts.size(), 1);
        QVERIFY2(boxes.texts.first().contains(QStringLiteral("Lock.Lck: Permission denied")),
                 qPrintable(boxes.texts.first()));
    }
    QCOMPARE(sent.count(), 1); // taken before the lock failed, and sent once
    QVERIFY(QFile::exists(lock));
    QVERIFY(!f.TxTimer->isActive()); // stopped until the operator ticks the box again

    // Writable again and auto send switched off and on: the old lock goes, a writer can
    // add its page, and the next poll sends it.
    readOnly.writable();
    autoSend.AutoSend()->setChecked(false);
    autoSend.AutoSend()->setChecked(true);
    {
        BoxCatcher boxes;
        autoSend.TxTimerTimer();
        QCOMPARE(boxes.texts, QStringList());
    }
    QVERIFY(!QFile::exists(lock));
    putFile(file, "11A1200N0000002second\r\n");
    autoSend.TxTimerTimer();
    QCOMPARE(sent.count(), 2);
    QCOMPARE(sent.last().at(0).toString(), QStringLiteral("0000002"));
    QVERIFY(!QFile::exists(file));
    QVERIFY(f.TxTimer->isActive());
    autoSend.AutoSend()->setChecked(false);
}

void WindowFaultsTest::missingOrFakePortStillPlaysAndSaysWhy() {
    QTemporaryDir dir;
    const QString plain = dir.filePath(QStringLiteral("parport0"));
    for (const bool fake : {false, true}) {
        if (fake)
            putFile(plain, "not a port\n");
        Trace trace;
        auto port = std::make_shared<SystemPort>();
        port->PlatformCode = SystemPort::Driver;
        port->setDeviceFolder(dir.path().toStdString() + "/");
        std::string error;
        auto audio = std::make_shared<TracingAudio>(
            trace, makeCoreAudioOutput(
                       "wav:" + dir.filePath(QStringLiteral("page.wav")).toStdString(), &error));
        MainFormSetup setup;
        setup.programFolder = dir.path();
        setup.audio = audio;
        setup.port = port;
        setup.portName = QStringLiteral("LPT1");
        setup.settingsFile = dir.filePath(QStringLiteral("Tarvex.ini"));
        setup.platformCode = 2;
        TMainForm form(std::move(setup));
        createDialogs(form);
        form.FormActivate();
        form.dialogs().keying->Port()->setCurrentIndex(0);
        form.logpages->setChecked(true);
        QCOMPARE(form.TxButtonClick(), TMainForm::SendResult::Sent);
        QVERIFY(audio->lastImageBytes() > 44);                          // played whole
        QVERIFY(logLines(form.pageLogPath()).size() == (fake ? 2 : 1)); // and logged
        const QString failure = form.statusLine().failureText();
        QVERIFY2(failure.startsWith(QStringLiteral("Port: ")) &&
                     failure.contains(QStringLiteral("parport0")),
                 qPrintable(failure));
        QVERIFY2(failure.contains(fake ? QStringLiteral("Inappropriate ioctl")
                                       : QStringLiteral("No such file")),
                 qPrintable(failure));
        if (fake)
            QCOMPARE(fileBytes(plain), QByteArray("not a port\n"));
        form.close();
    }
}

void WindowFaultsTest::everySettingDamagedGivesDefaultsAndClamps() {
    const QList<QByteArray> damages{"x7!",
                                    "",
                                    QByteArray("\x01\xfe\x00\xff\"\\=;[", 10),
                                    "99999999999999999999",
                                    "-2147483649",
                                    "12xyz",
                                    "5 5",
                                    "0x10"};
    for (const QByteArray& damage : damages) {
        QTemporaryDir dir;
        const QString ini = dir.filePath(QStringLiteral("Tarvex.ini"));
        QByteArray text = "[Tarvex]\n";
        for (const auto name : SettingNames)
            text +=
                QByteArray(name.data(), static_cast<qsizetype>(name.size())) + "=" + damage + "\n";
        putFile(ini, text);
        Rig rig(storeIn(dir));
        TMainForm& f = *rig.form;
        const QString what = QString::fromLatin1(damage.toHex());
        QVERIFY2(f.pos() == QPoint(10, 10) || f.pos() != QPoint(), qPrintable(what));
        QVERIFY2(f.BR2->isChecked() && f.FB4->isChecked() && f.AN1->isChecked() &&
                     f.NI1->isChecked(),
                 qPrintable(what));
        QCOMPARE(f.Volume->value(), 20);
        QCOMPARE(f.TuneTime->value(), 5);
        QCOMPARE(f.dialogs().autoSend->CheckRate()->value(), 2);
        QCOMPARE(f.dialogs().autoSend->AutoDelay()->value(), 0);
        QVERIFY(!f.dialogs().autoSend->AutoSend()->isChecked());
        QVERIFY(!f.TxTimer->isActive());
        QVERIFY(!f.Ident->isActive());
        QCOMPARE(f.dialogs().keying->Pin()->checkedId(), 0);
        QVERIFY(!f.logpages->isChecked());
        // Texts are taken as stored; a sync or idle that is no hexadecimal falls back.
        QCOMPARE(f.encoder().SyncCodeword, StockSyncCodeword);
        QCOMPARE(f.encoder().IdleCodeword, StockIdleCodeword);
        QCOMPARE(f.dialogs().autoSend->edFileName()->text().isEmpty(), false);
        // A page still goes out (the RIC field's damage gives the conversion message).
        f.RicEdit->setText(QStringLiteral("8"));
        QCOMPARE(sendAndWatch(rig), QString());
    }
}

void WindowFaultsTest::settingsFileOfRandomBytesOpensTheWindow() {
    std::mt19937 rng(20261208);
    for (int round = 0; round < 4; ++round) {
        QTemporaryDir dir;
        const QString ini = dir.filePath(QStringLiteral("Tarvex.ini"));
        QByteArray bytes(4096, '\0');
        for (auto& b : bytes)
            b = static_cast<char>(rng());
        if (round % 2 == 1) // damage under a proper section header too
            bytes = "[Tarvex]\nDelay=5000\nTuneTime=-3\nMorseDev=1000\nFrequency=-1\n"
                    "AutoDelay=99\nCheckRate=" +
                    bytes;
        putFile(ini, bytes);
        BoxCatcher closing; // outlives the window: catches a box its close may show
        {
            Rig rig(storeIn(dir));
            TMainForm& f = *rig.form;
            QVERIFY(f.TuneTime->value() >= 1 && f.TuneTime->value() <= 15);
            QVERIFY(f.dialogs().keying->KeyDelay()->value() >= 100);
            QVERIFY(f.dialogs().keying->KeyDelay()->value() <= 900);
            if (round % 2 == 1) {
                QCOMPARE(f.TuneTime->value(), 1);
                QCOMPARE(f.dialogs().keying->KeyDelay()->value(), 900);
                QCOMPARE(f.dialogs().ident->SetVolume()->value(), 100);
                QCOMPARE(f.dialogs().ident->IdentFrequency()->value(), 0);
                QCOMPARE(f.dialogs().autoSend->AutoDelay()->value(), 10);
            }
            f.RicEdit->setText(QStringLiteral("8"));
            QCOMPARE(sendAndWatch(rig), QString());
        }
        // The close wrote a readable store with sane values, and said nothing.
        QCOMPARE(closing.texts, QStringList());
        QCOMPARE(storedValue(ini, "LastRIC"), QStringLiteral("8"));
        const int delay = storedValue(ini, "Delay").toInt();
        QVERIFY(delay >= 100 && delay <= 900);
    }
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
