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
#include "app/page_log_form.h"
#include "app/picture_button.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QImage>
#include <QLineEdit>
#include <QPixmap>
#include <QProcess>
#include <QRegularExpression>
#include <QScreen>
#include <QWindow>
#include <QtMath>

#include <optional>

using namespace tarvex;
using namespace tarvex::test;

namespace {

QString folder() {
    const int scale = qRound(qApp->devicePixelRatio());
    return QStringLiteral(TARVEX_SCREENSHOT_DIR "/x%1").arg(scale);
}

/// The window's frame as the X server has it, in native pixels: the client window's place
/// and size (xwininfo) widened by the frame extents the window manager announces
/// (_NET_FRAME_EXTENTS). Qt keeps its own copy of the frame margins, and can keep one it read
/// before the window manager had reparented and sized the window (a dialog once reported a
/// 0x0 frame around its 480x298 client area for the rest of the run), so the server is asked.
struct ServerFrame {
    QRect client;     ///< the client window, native pixels, screen coordinates
    QMargins extents; ///< the window manager's frame around it
    bool viewable = false;
    QRect frame() const { return client.marginsAdded(extents); }
};

QString runX11Tool(const QString& program, const QStringList& args) {
    QProcess p;
    p.start(program, args);
    if (!p.waitForFinished(5000))
        return {};
    return QString::fromLocal8Bit(p.readAllStandardOutput());
}

std::optional<ServerFrame> serverFrame(QWidget& window) {
    const QString id = QStringLiteral("0x%1").arg(window.winId(), 0, 16);
    const QString info = runX11Tool(QStringLiteral("xwininfo"), {QStringLiteral("-id"), id});
    const QString prop = runX11Tool(
        QStringLiteral("xprop"), {QStringLiteral("-id"), id, QStringLiteral("_NET_FRAME_EXTENTS")});
    auto field = [&](const char* name) -> std::optional<int> {
        const QRegularExpression re(QStringLiteral("%1:\\s*(-?\\d+)").arg(QLatin1String(name)));
        const auto m = re.match(info);
        if (!m.hasMatch())
            return std::nullopt;
        return m.captured(1).toInt();
    };
    const auto x = field("Absolute upper-left X"), y = field("Absolute upper-left Y");
    const auto w = field("Width"), h = field("Height");
    const auto ext =
        QRegularExpression(QStringLiteral("= (\\d+), (\\d+), (\\d+), (\\d+)")).match(prop);
    if (!x || !y || !w || !h || !ext.hasMatch())
        return std::nullopt;
    ServerFrame f;
    f.client = QRect(*x, *y, *w, *h);
    // _NET_FRAME_EXTENTS is left, right, top, bottom.
    f.extents = QMargins(ext.captured(1).toInt(), ext.captured(3).toInt(), ext.captured(2).toInt(),
                         ext.captured(4).toInt());
    f.viewable = info.contains(QStringLiteral("IsViewable"));
    return f;
}

/// Where the window is, for a message: Qt's idea of its frame and client area, whether it is
/// exposed, and what the X server says.
QString placeOf(QWidget& window) {
    const QRect f = window.frameGeometry(), g = window.geometry();
    const QWindow* handle = window.windowHandle();
    const auto server = serverFrame(window);
    const QRect s = server ? server->frame() : QRect();
    return QStringLiteral("%1: frame %2,%3 %4x%5, client %6,%7 %8x%9, visible %10, exposed %11, "
                          "server frame %12,%13 %14x%15")
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
        .arg(handle != nullptr && handle->isExposed())
        .arg(s.x())
        .arg(s.y())
        .arg(s.width())
        .arg(s.height());
}

/// The window with the frame the window manager drew around it, from the screen. Waits until
/// the server has the window viewable, framed and at the size Qt laid it out for (the window
/// manager has granted its configure request), then lets the frame be drawn and grabs it.
QImage framed(QWidget& window) {
    (void)QTest::qWaitForWindowExposed(&window);
    QScreen* screen = window.screen();
    const qreal ratio = screen->devicePixelRatio();
    const QSize wanted = window.size() * ratio;
    std::optional<ServerFrame> frame;
    QElapsedTimer waited;
    waited.start();
    while (waited.elapsed() < 10000) {
        frame = serverFrame(window);
        if (frame && frame->viewable && frame->client.size() == wanted)
            break;
        frame.reset();
        QTest::qWait(50);
    }
    if (!frame) {
        qWarning("not framed by the window manager: %s", qPrintable(placeOf(window)));
        return {};
    }
    QTest::qWait(150); // the window manager draws the frame after it has placed it
    // The grab takes the screen's device-independent pixels: the rectangle around the frame
    // is grabbed and the frame cut out of it in native pixels, exact at any scale factor.
    const QRect native = frame->frame();
    const QRect around = QRect(QPoint(qFloor(native.left() / ratio), qFloor(native.top() / ratio)),
                               QPoint(qCeil((native.right() + 1) / ratio) - 1,
                                      qCeil((native.bottom() + 1) / ratio) - 1))
                             .intersected(screen->geometry());
    for (int attempt = 0; attempt < 20 && !around.isEmpty(); ++attempt) {
        const QPoint at = around.topLeft() - screen->geometry().topLeft();
        const QImage image =
            screen->grabWindow(0, at.x(), at.y(), around.width(), around.height()).toImage();
        if (!image.isNull()) {
            const QPoint origin(qRound(around.left() * ratio), qRound(around.top() * ratio));
            QImage cut = image.copy(native.translated(-origin).intersected(image.rect()));
            cut.setDevicePixelRatio(ratio);
            return cut;
        }
        QTest::qWait(100);
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

    // Keyed by hand beside the off-air alarm and the DAPNET link's state: nothing moves.
    f.statusLine().setStation(QStringLiteral("DAPNET: connected, next slot in 12 s"));
    f.statusLine().setAlarm(QStringLiteral("2 pages not heard (last RIC 1234567 at 12:00:00)"));
    control<QAction>(f, "KeyTx1").trigger();
    QTest::qWait(100);
    QVERIFY(save(framed(f), QStringLiteral("main-window-keyed-alarm")));
    control<QAction>(f, "KeyTx1").trigger();
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
    // A rig chosen by name from hamlib's list, when this build has it.
    if (d.keying->Method()->findText(QStringLiteral("Rig CAT (hamlib)")) >= 0) {
        d.keying->Method()->setCurrentText(QStringLiteral("Rig CAT (hamlib)"));
        QVERIFY(shoot(*d.keying, &f, QStringLiteral("keying-rig")));
    }
    d.keying->Method()->setCurrentIndex(0);

    MessageHistoryForm history(f.statusLine().history(), &f);
    QVERIFY(shoot(history, &f, QStringLiteral("message-history")));
    control<QCheckBox>(f, "logpages").setChecked(true);
    f.TxButtonClick(); // a logged page for the log's picture
    PageLogForm log(f.pageLogPath(), &f);
    QVERIFY(shoot(log, &f, QStringLiteral("page-log")));
    const QString help = findHelpDocument({});
    if (!help.isEmpty()) {
        HelpWindow helpWindow(&f);
        helpWindow.showDocument(help);
        QVERIFY(shoot(helpWindow, nullptr, QStringLiteral("help-window")));
    }
}

TARVEX_GUI_TEST_MAIN(ScreenshotTest)
#include "test_screenshot.moc"
