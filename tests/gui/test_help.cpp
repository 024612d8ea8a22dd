// Help > Help through the real window: "Tarvex.chm" from the current folder first, then the
// installed HTML help (the build tree's copy, or one beside the executable), and the missing-
// file message only when nothing could be opened. The desktop's opener is replaced by one
// that records what it was asked for, so no viewer starts.
#include "gui_test_support.h"

#include "app/program_entry.h"

#include <QAction>
#include <QFile>
#include <QTextBrowser>
#include <QUrl>

using namespace tarvex;
using namespace tarvex::test;

namespace {

constexpr auto MissingText = "Cannot fine the 'Tarvex.chm' help file !";

/// Records what the window asks the desktop to open; opens what `accept` allows.
struct Opener {
    QStringList asked;
    std::function<bool(const QString& path)> accept = [](const QString&) { return true; };
};

bool makeFile(const QString& path) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write("<html></html>\n") > 0;
}

/// Runs Help2Click in `cwd` for an executable in `exeFolder`; returns the message shown
/// (empty when none).
QString runHelp(Opener& opener, const QString& cwd, const QString& exeFolder,
                const std::function<void(TMainForm&)>& after = {}) {
    QTemporaryDir store;
    MainFormSetup setup;
    setup.programFolder = store.path();
    setup.audioChoice = "null";
    setup.port = std::make_shared<RecordingPortWriter>();
    setup.settingsFile = store.filePath(QStringLiteral("Tarvex.ini"));
    setup.executableFolder = exeFolder;
    setup.openUrl = [&opener](const QUrl& url) {
        opener.asked << url.toLocalFile();
        return opener.accept(url.toLocalFile());
    };
    TMainForm form(std::move(setup));
    createDialogs(form);
    form.FormActivate();

    const QString before = QDir::currentPath();
    QDir::setCurrent(cwd);
    QString text;
    bool shown = false;
    onNextModal(
        [&](QWidget* w) {
            shown = true;
            text = boxText(w);
            pressOk(w);
        },
        300);
    control<QAction>(form, "Help2").trigger();
    QTest::qWait(400); // past the watcher's time, so it cannot act on a later window
    QDir::setCurrent(before);
    if (after)
        after(form);
    form.close();
    return shown ? text : QString();
}

} // namespace

class HelpTest : public QObject {
    Q_OBJECT
private slots:
    void chmInTheCurrentFolderComesFirst();
    void withoutChmTheBuildTreesHtmlHelpOpens();
    void chmWithoutViewerFallsBackToHtml();
    void htmlHelpBesideTheExecutable();
    void nothingToOpenShowsTheMessage();
    void htmlWithoutBrowserOpensInTheProgramsHelpWindow();
};

void HelpTest::chmInTheCurrentFolderComesFirst() {
    QTemporaryDir cwd;
    QVERIFY(makeFile(cwd.filePath(QStringLiteral("Tarvex.chm"))));
    Opener opener;
    QCOMPARE(runHelp(opener, cwd.path(), {}), QString());
    QCOMPARE(opener.asked, QStringList{cwd.filePath(QStringLiteral("Tarvex.chm"))});
}

void HelpTest::withoutChmTheBuildTreesHtmlHelpOpens() {
    // The build copies the help where an installed program finds it: ../share/tarvex/help
    // from the executables' folder.
    QTemporaryDir cwd;
    Opener opener;
    QCOMPARE(runHelp(opener, cwd.path(), {}), QString());
    QCOMPARE(opener.asked.size(), 1);
    const QString html = opener.asked.front();
    QCOMPARE(html, QDir::cleanPath(QCoreApplication::applicationDirPath() +
                                   QStringLiteral("/../share/tarvex/help/tarvex-help.html")));
    QFile file(html);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray text = file.readAll();
    QVERIFY(text.contains("Audio output"));
}

void HelpTest::chmWithoutViewerFallsBackToHtml() {
    QTemporaryDir cwd;
    QVERIFY(makeFile(cwd.filePath(QStringLiteral("Tarvex.chm"))));
    QTemporaryDir prefix;
    QVERIFY(makeFile(prefix.filePath(QStringLiteral("share/tarvex/help/tarvex-help.html"))));
    QVERIFY(QDir().mkpath(prefix.filePath(QStringLiteral("bin"))));
    Opener opener;
    opener.accept = [](const QString& path) { return !path.endsWith(QStringLiteral(".chm")); };
    QCOMPARE(runHelp(opener, cwd.path(), prefix.filePath(QStringLiteral("bin"))), QString());
    QCOMPARE(opener.asked,
             (QStringList{cwd.filePath(QStringLiteral("Tarvex.chm")),
                          prefix.filePath(QStringLiteral("share/tarvex/help/tarvex-help.html"))}));
}

void HelpTest::htmlHelpBesideTheExecutable() {
    QTemporaryDir cwd;
    QTemporaryDir exe;
    QVERIFY(makeFile(exe.filePath(QStringLiteral("help/tarvex-help.html"))));
    Opener opener;
    QCOMPARE(runHelp(opener, cwd.path(), exe.path()), QString());
    QCOMPARE(opener.asked, QStringList{exe.filePath(QStringLiteral("help/tarvex-help.html"))});
    QCOMPARE(findHelpDocument(exe.path()), exe.filePath(QStringLiteral("help/tarvex-help.html")));
}

void HelpTest::nothingToOpenShowsTheMessage() {
    QTemporaryDir cwd;
    QTemporaryDir exe;
    // A folder of that name is not the help document.
    QVERIFY(QDir().mkpath(exe.filePath(QStringLiteral("help/tarvex-help.html"))));
    Opener opener;
    QCOMPARE(runHelp(opener, cwd.path(), exe.path()), QString::fromLatin1(MissingText));
    QVERIFY(opener.asked.isEmpty());
}

void HelpTest::htmlWithoutBrowserOpensInTheProgramsHelpWindow() {
    QTemporaryDir cwd;
    QTemporaryDir exe;
    const QString html = exe.filePath(QStringLiteral("help/tarvex-help.html"));
    QVERIFY(QDir().mkpath(QFileInfo(html).absolutePath()));
    QFile file(html);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("<html><body><h1>Sending a page</h1></body></html>\n");
    file.close();
    Opener opener;
    opener.accept = [](const QString&) { return false; }; // no browser on this desktop
    QString shown;
    QCOMPARE(runHelp(opener, cwd.path(), exe.path(),
                     [&shown](TMainForm& form) {
                         auto& window = control<QWidget>(form, "HelpWindow");
                         if (window.isVisible())
                             shown = control<QTextBrowser>(form, "HelpBrowser").toPlainText();
                     }),
             QString()); // no message: the help is shown
    QCOMPARE(opener.asked.size(), 1);
    QVERIFY2(shown.contains(QStringLiteral("Sending a page")), qPrintable(shown));
}

TARVEX_GUI_TEST_MAIN(HelpTest)
#include "test_help.moc"
