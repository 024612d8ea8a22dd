// Saves pictures of the main window, options shown and folded, as PNG files under the build
// folder. Runs on a real X server (Xvfb) so that the window is drawn by the platform.
#include "gui_test_support.h"

#include "app/message_edit.h"

#include <QAction>
#include <QImage>
#include <QPixmap>

using namespace tarvex;
using namespace tarvex::test;

class ScreenshotTest : public QObject {
    Q_OBJECT
private slots:
    void mainWindow();
};

void ScreenshotTest::mainWindow() {
    const QString folder = QStringLiteral(TARVEX_SCREENSHOT_DIR);
    QVERIFY(QDir().mkpath(folder));
    Rig rig;
    TMainForm& f = *rig.form;
    QVERIFY(QTest::qWaitForWindowExposed(&f));
    control<MessageEdit>(f, "MsgEdit").setPlainText(QStringLiteral("Test page from Tarvex"));
    f.TxButtonClick(); // fills the listing

    control<QAction>(f, "Options1").trigger();
    QTest::qWait(100);
    const QImage shown = f.grab().toImage();
    control<QAction>(f, "Options1").trigger();
    QTest::qWait(100);
    const QImage folded = f.grab().toImage();

    const QString shownPath = folder + QStringLiteral("/main-window-options-shown.png");
    const QString foldedPath = folder + QStringLiteral("/main-window-options-folded.png");
    QVERIFY(shown.save(shownPath));
    QVERIFY(folded.save(foldedPath));
    QCOMPARE(QImage(shownPath).size(), f.size());
    QCOMPARE(QImage(foldedPath).size(), f.size());
    // The two pictures differ where the options panel is.
    const int y = f.centralWidget()->mapTo(&f, QPoint(0, 0)).y() + 25;
    bool differs = false;
    for (int x = 0; x < shown.width() && !differs; ++x)
        differs = shown.pixel(x, y) != folded.pixel(x, y);
    QVERIFY(differs);
    qInfo("screenshots: %s %s", qPrintable(shownPath), qPrintable(foldedPath));
}

TARVEX_GUI_TEST_MAIN(ScreenshotTest)
#include "test_screenshot.moc"
