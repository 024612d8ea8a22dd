// One copy per user and program title: a second copy of tarvex hands over to the first and
// exits 0 without a window; a renamed copy is another program.
#include "gui_test_support.h"

#include "app/about_form.h"
#include "app/single_instance.h"

#include <QFile>
#include <QProcess>
#include <QSignalSpy>

using namespace tarvex;
using namespace tarvex::test;

namespace {

const QString Binary = QStringLiteral(TARVEX_BINARY);

QProcessEnvironment programEnvironment() {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("TARVEX_AUDIO"), QStringLiteral("null"));
    return env;
}

// Starts the program and waits (processing events, so this process can answer) until it
// ends or timeoutMs pass. True when it ended.
bool runUntilExit(QProcess& process, const QString& program, int timeoutMs) {
    process.setProcessEnvironment(programEnvironment());
    process.start(program, {});
    if (!process.waitForStarted(5000))
        return false;
    QElapsedTimer clock;
    clock.start();
    while (process.state() != QProcess::NotRunning && clock.elapsed() < timeoutMs)
        QTest::qWait(20);
    return process.state() == QProcess::NotRunning;
}

void stop(QProcess& process) {
    if (process.state() != QProcess::NotRunning) {
        process.kill();
        process.waitForFinished(5000);
    }
}

} // namespace

class SingleInstanceTest : public QObject {
    Q_OBJECT
private slots:
    void titleFollowsTheExecutableName();
    void secondCopyHandsOverToTheWindow();
    void secondCopyBringsTheOpenDialogForward();
    void renamedCopyIsAnotherProgram();
    void twoRealCopies();
    void leftoverSocketIsTakenOver();
};

void SingleInstanceTest::titleFollowsTheExecutableName() {
    QCOMPARE(SingleInstanceGuard::titleFor(QStringLiteral("/usr/bin/tarvex")),
             QStringLiteral("tarvex"));
    QCOMPARE(SingleInstanceGuard::titleFor(QStringLiteral("/opt/TARVEX.bin.old")),
             QStringLiteral("Tarvex"));
    QCOMPARE(SingleInstanceGuard::titleFor(QStringLiteral("/tmp/tarvex2")),
             QStringLiteral("tarvex2"));
    SingleInstanceGuard a(QStringLiteral("tarvex"));
    SingleInstanceGuard b(QStringLiteral("Tarvex"));
    QVERIFY(a.serverName() != b.serverName());
    QVERIFY(a.serverName().startsWith(qEnvironmentVariable("XDG_RUNTIME_DIR")));
}

void SingleInstanceTest::secondCopyHandsOverToTheWindow() {
    Rig rig;
    SingleInstanceGuard guard(SingleInstanceGuard::titleFor(Binary));
    QVERIFY(!guard.handOver()); // this process is the first copy
    QVERIFY(guard.listening());
    connect(&guard, &SingleInstanceGuard::activationRequested, rig.form.get(),
            &TMainForm::bringForward);
    QSignalSpy forward(rig.form.get(), &TMainForm::broughtForward);
    rig.form->showMinimized();
    QTRY_VERIFY(rig.form->isMinimized());

    QProcess second;
    QVERIFY(runUntilExit(second, Binary, 10000));
    QCOMPARE(second.exitStatus(), QProcess::NormalExit);
    QCOMPARE(second.exitCode(), 0);
    QTRY_COMPARE(forward.count(), 1);
    QCOMPARE(forward.at(0).at(0).value<QWidget*>(), rig.form.get());
    QVERIFY(!rig.form->isMinimized()); // restored
}

void SingleInstanceTest::secondCopyBringsTheOpenDialogForward() {
    Rig rig;
    SingleInstanceGuard guard(SingleInstanceGuard::titleFor(Binary));
    QVERIFY(!guard.handOver());
    connect(&guard, &SingleInstanceGuard::activationRequested, rig.form.get(),
            &TMainForm::bringForward);
    QSignalSpy forward(rig.form.get(), &TMainForm::broughtForward);
    QDialog* about = rig.form->dialogs().about;
    about->setWindowModality(Qt::ApplicationModal);
    about->show();
    QTRY_COMPARE(QApplication::activeModalWidget(), about);

    QProcess second;
    QVERIFY(runUntilExit(second, Binary, 10000));
    QCOMPARE(second.exitCode(), 0);
    QTRY_COMPARE(forward.count(), 1);
    QCOMPARE(forward.at(0).at(0).value<QWidget*>(), about);
    about->hide();
}

void SingleInstanceTest::renamedCopyIsAnotherProgram() {
    QTemporaryDir folder;
    const QString renamed = folder.filePath(QStringLiteral("pager-sender"));
    QVERIFY(QFile::copy(Binary, renamed));
    SingleInstanceGuard guard(SingleInstanceGuard::titleFor(Binary));
    QVERIFY(!guard.handOver());
    QSignalSpy asked(&guard, &SingleInstanceGuard::activationRequested);
    QProcess other;
    QVERIFY(!runUntilExit(other, renamed, 2500)); // still running: a program of its own
    QCOMPARE(asked.count(), 0);
    stop(other);
}

void SingleInstanceTest::twoRealCopies() {
    QProcess first;
    first.setProcessEnvironment(programEnvironment());
    first.start(Binary, {});
    QVERIFY(first.waitForStarted(5000));
    const QString socket = SingleInstanceGuard(SingleInstanceGuard::titleFor(Binary)).serverName();
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(socket), 10000);

    QProcess second;
    QVERIFY(runUntilExit(second, Binary, 10000));
    QCOMPARE(second.exitStatus(), QProcess::NormalExit);
    QCOMPARE(second.exitCode(), 0);
    QVERIFY(second.readAllStandardOutput().isEmpty());
    QCOMPARE(first.state(), QProcess::Running);
    stop(first);
}

void SingleInstanceTest::leftoverSocketIsTakenOver() {
    SingleInstanceGuard probe(QStringLiteral("leftover"));
    QFile stale(probe.serverName());
    QVERIFY(stale.open(QIODevice::WriteOnly)); // what a crashed copy could leave behind
    stale.close();
    SingleInstanceGuard guard(QStringLiteral("leftover"));
    QVERIFY(!guard.handOver());
    QVERIFY(guard.listening());
}

TARVEX_GUI_TEST_MAIN(SingleInstanceTest)
#include "test_single_instance.moc"
