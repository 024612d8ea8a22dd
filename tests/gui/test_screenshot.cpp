// Saves pictures of every window as the operator sees it, under a window manager that
// frames them (openbox on Xvfb, see CMakeLists.txt), as PNG files under the build folder:
// screenshots/x1 or x2 after the desktop's scale factor. The main window also with its
// options shown and folded, and on air.
#include "gui_test_support.h"

#include "app/dialog_support.h"
#include "app/help_window.h"
#include "app/keying_form.h"
#include "app/message_edit.h"
#include "app/message_history_form.h"
#include "app/picture_button.h"

#include <QAction>
#include <QComboBox>
#include <QImage>
#include <QLineEdit>
#include <QPixmap>
#include <QScreen>
#include <QWindow>

using namespace tarvex;
using namespace tarvex::test;

namespace {

QString folder() {
    const int scale = qRound(qApp->devicePixelRatio());
    return QStringLiteral(TARVEX_SCREENSHOT_DIR "/x%1").arg(scale);
}

/// Where the window is, for a message: its frame, its client area, whether it is exposed.
QString placeOf(QWidget& window) {
    const QRect f = window.frameGeometry(), g = window.geometry();
    const QWindow* handle = window.windowHandle();
    return QStringLiteral("%1: frame %2,%3 %4x%5, client %6,%7 %8x%9, visible %10, exposed %11")
        .arg(window.objectName())
        .arg(f.x())
        .arg(f.y())
        .arg(f.width())
        .arg(f.height())
        .arg(g.x())
        .arg(g.y())
        .arg(g.width())
        .arg(g.height())
        .arg(window.isVisible())
        .arg(handle != nullptr && handle->isExposed());
}

/// The window with the frame the window manager drew around it, from the screen. The
/// frame is read once the window manager has stopped moving it, and the picture is taken
/// again if the server could not give it yet (a rectangle still partly off the screen
/// while the window is being placed on a busy machine). A window that still has no place
/// on the screen after that is shown once more, with a warning that says where it was.
QImage framed(QWidget& window) {
    for (int showing = 0; showing < 2; ++showing) {
        if (showing > 0) {
            qWarning("no picture yet, showing it again: %s", qPrintable(placeOf(window)));
            window.hide();
            QTest::qWait(100);
            window.adjustSize(); // once the frame came back 0x0 where the dialog had been placed
            window.show();
        }
        (void)QTest::qWaitForWindowExposed(&window);
        QTest::qWait(250); // the window manager frames and draws it
        for (int attempt = 0; attempt < 20; ++attempt) {
            QScreen* screen = window.screen();
            const QRect visible = window.frameGeometry().intersected(screen->geometry());
            if (!visible.isEmpty()) {
                const QPoint at = visible.topLeft() - screen->geometry().topLeft();
                QImage image =
                    screen->grabWindow(0, at.x(), at.y(), visible.width(), visible.height())
                        .toImage();
                if (!image.isNull())
                    return image;
            }
            QTest::qWait(150);
        }
    }
    qWarning("no picture of %s", qPrintable(placeOf(window)));
    return {};
}

bool save(const QImage& image, const QString& name) {
    const QString path = folder() + QLatin1Char('/') + name + QStringLiteral(".png");
    const bool saved = !image.isNull() && image.save(path);
    if (saved)
        qInfo("screenshot: %s", qPrintable(path));
    return saved;
}

/// Shows the window (centred over its owner, as the program opens its dialogs) and saves
/// its picture; without an owner, where the window manager puts it.
bool shoot(QWidget& window, QWidget* owner, const QString& name) {
    if (owner != nullptr)
        centreOver(&window, owner);
    window.show();
    const bool saved = save(framed(window), name);
    window.hide();
    return saved;
}

} // namespace

class ScreenshotTest : public QObject {
    Q_OBJECT
private slots:
    void mainWindow();
    void everyWindow();
};

void ScreenshotTest::mainWindow() {
    QVERIFY(QDir().mkpath(folder()));
    Rig rig;
    TMainForm& f = *rig.form;
    QVERIFY(QTest::qWaitForWindowExposed(&f));
    control<MessageEdit>(f, "MsgEdit").setPlainText(QStringLiteral("Test page from Tarvex"));
    f.TxButtonClick(); // fills the listing

    control<QAction>(f, "Options1").trigger();
    QTest::qWait(100);
    const QImage shown = f.grab().toImage();
    QVERIFY(save(framed(f), QStringLiteral("main-window")));
    control<QAction>(f, "Options1").trigger();
    QTest::qWait(100);
    const QImage folded = f.grab().toImage();

    QVERIFY(save(shown, QStringLiteral("main-window-options-shown")));
    QVERIFY(save(folded, QStringLiteral("main-window-options-folded")));
    QCOMPARE(shown.deviceIndependentSize().toSize(), f.size());
    // The two pictures differ where the options panel is.
    const qreal ratio = shown.devicePixelRatio();
    const int y = qRound((f.centralWidget()->mapTo(&f, QPoint(0, 0)).y() + 25) * ratio);
    bool differs = false;
    for (int x = 0; x < shown.width() && !differs; ++x)
        differs = shown.pixel(x, y) != folded.pixel(x, y);
    QVERIFY(differs);

    // On air: the lamp lit, the progress running.
    control<PictureButton>(f, "BR1").click();
    control<MessageEdit>(f, "MsgEdit").setPlainText(QString(120, QChar('x')));
    QImage onAir;
    QTimer::singleShot(900, &f, [&] {
        onAir = framed(f);
        f.stopTransmission();
    });
    f.TxButtonClick();
    QVERIFY(save(onAir, QStringLiteral("main-window-on-air")));
}

void ScreenshotTest::everyWindow() {
    Rig rig;
    TMainForm& f = *rig.form;
    QVERIFY(QTest::qWaitForWindowExposed(&f));
    f.statusLine().note(QStringLiteral("A note for the message history"));
    const MainFormDialogs& d = f.dialogs();
    for (const auto& [window, name] : namedDialogs(d))
        QVERIFY2(shoot(*window, &f, name), qPrintable(name));
    // The Keying dialog for a serial line: the parallel port's fields greyed.
    d.keying->Method()->setCurrentIndex(1);
    QVERIFY(shoot(*d.keying, &f, QStringLiteral("keying-serial")));
    d.keying->Method()->setCurrentIndex(0);

    MessageHistoryForm history(f.statusLine().history(), &f);
    QVERIFY(shoot(history, &f, QStringLiteral("message-history")));
    const QString help = findHelpDocument({});
    if (!help.isEmpty()) {
        HelpWindow helpWindow(&f);
        helpWindow.showDocument(help);
        QVERIFY(shoot(helpWindow, nullptr, QStringLiteral("help-window")));
    }
}

TARVEX_GUI_TEST_MAIN(ScreenshotTest)
#include "test_screenshot.moc"
