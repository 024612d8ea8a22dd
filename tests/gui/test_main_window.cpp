// The main window's own controls, driven through the real widgets: the RIC/CAP field's key
// filter and exit check, the options panel, the per-rate deviation levels, the numeric
// check, the data-folder chooser and the help command.
#include "gui_test_support.h"

#include "app/folder_chooser.h"
#include "app/message_edit.h"
#include "app/picture_button.h"
#include "signal/signal_gen.h"

#include <QAction>
#include <QCheckBox>
#include <QDesktopServices>
#include <QFileDialog>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QSignalSpy>
#include <QSlider>
#include <QSpinBox>

using namespace tarvex;
using namespace tarvex::test;

/// Takes the desktop's "open" requests in place of a viewer.
class UrlRecorder : public QObject {
    Q_OBJECT
public slots:
    void open(const QUrl& url) { urls.push_back(url); }

public:
    QList<QUrl> urls;
};

class MainWindowTest : public QObject {
    Q_OBJECT
private slots:
    void startsInItsDesignState();
    void ricFieldTakesDigitsOnly();
    void ricExitCheck();
    void ricExitCheckReportsPastedText();
    void optionsPanelFolds();
    void eachRateKeepsItsLevel();
    void numericButtonKeepsTheMessage();
    void polarityAndTuneTimeReachTheGenerator();
    void messageFieldLimits();
    void folderChooserCreatesAfterAsking();
    void folderChooserFallsBackToProgramFolder();
    void helpWithoutChmOpensTheHtmlHelp();
    void pageButtonsTakeTabAndKeys();
};

void MainWindowTest::startsInItsDesignState() {
    Rig rig;
    TMainForm& f = *rig.form;
    QCOMPARE(f.windowTitle(), QStringLiteral("Tarvex"));
    QCOMPARE(f.centralWidget()->size(), QSize(612, 434));
    QVERIFY(!(f.windowFlags() & Qt::WindowMaximizeButtonHint));
    QCOMPARE(f.minimumSize(), f.maximumSize()); // not resizable
    QVERIFY(control<PictureButton>(f, "FB4").isChecked() &&
            control<PictureButton>(f, "AN1").isChecked() &&
            control<PictureButton>(f, "BR2").isChecked() &&
            control<PictureButton>(f, "NI1").isChecked());
    QCOMPARE(control<QLineEdit>(f, "RicEdit").text(), QStringLiteral("1234567"));
    QCOMPARE(control<QLineEdit>(f, "RicEdit").maxLength(), 7);
    QCOMPARE(control<QSlider>(f, "Volume").value(), 20);
    QCOMPARE(control<QSpinBox>(f, "TuneTime").value(), 5);
    QCOMPARE(f.station().signal().baud, 1200);
    QCOMPARE(f.station().signal().level, 20);
    QCOMPARE(f.station().signal().durationMs, 1000u);
    QVERIFY(!f.station().signal().inverted);
    QVERIFY(f.station().signal().async);
    QCOMPARE(f.station().encoding().slotCount, 200);
    QCOMPARE(f.ProgramFolder, rig.folder.path() + '/');
    QCOMPARE(f.DataFolder, f.ProgramFolder);
    // The transmitter is released at start-up: one write of the released byte to LPT1.
    QCOMPARE(rig.port->writes().size(), size_t{1});
    QCOMPARE(rig.port->writes()[0], (RecordingPortWriter::Write{0x378, 0x00}));
    QVERIFY(f.statusLine().portText().contains(QStringLiteral("recording port")));
    QVERIFY(f.statusLine().audioText().contains(rig.wavPath()));
    // Tab starts with the three text fields (pageButtonsTakeTabAndKeys follows it further);
    // these are never tab stops.
    QCOMPARE(control<QLineEdit>(f, "RicEdit").focusPolicy() & Qt::TabFocus, Qt::TabFocus);
    const QList<QWidget*> untabbed{&control<QSlider>(f, "Volume"),
                                   &control<QSpinBox>(f, "TuneTime"),
                                   &control<QCheckBox>(f, "logpages")};
    for (QWidget* w : untabbed)
        QCOMPARE(w->focusPolicy(), Qt::NoFocus);
    QCOMPARE(control<PictureButton>(f, "FB1").caption() +
                 control<PictureButton>(f, "FB1").subCaption(),
             QStringLiteral("00num"));
    QCOMPARE(control<PictureButton>(f, "AN2").caption() + ' ' +
                 control<PictureButton>(f, "AN2").subCaption(),
             QStringLiteral("123456789 NUMERIC"));
}

void MainWindowTest::ricFieldTakesDigitsOnly() {
    Rig rig;
    QLineEdit* ric = &control<QLineEdit>(*rig.form, "RicEdit");
    ric->setFocus();
    ric->clear();
    typeInto(ric, QStringLiteral("1a2B-3 .4"));
    QCOMPARE(ric->text(), QStringLiteral("1234"));
    QTest::keyClick(ric, Qt::Key_Backspace);
    QCOMPARE(ric->text(), QStringLiteral("123"));
    typeInto(ric, QStringLiteral("456789"));
    QCOMPARE(ric->text(), QStringLiteral("1234567")); // at most 7 characters
}

void MainWindowTest::ricExitCheck() {
    Rig rig;
    TMainForm& f = *rig.form;
    // The highest code passes without a word.
    control<QLineEdit>(f, "RicEdit").setFocus();
    control<QLineEdit>(f, "RicEdit").clear();
    typeInto(&control<QLineEdit>(f, "RicEdit"), QStringLiteral("2097151"));
    bool boxShown = false;
    onNextModal(
        [&](QWidget* w) {
            boxShown = true;
            pressOk(w);
        },
        300);
    QTest::keyClick(&control<QLineEdit>(f, "RicEdit"), Qt::Key_Tab);
    QTest::qWait(400);
    QVERIFY(!boxShown);
    QCOMPARE(control<QLineEdit>(f, "RicEdit").text(), QStringLiteral("2097151"));
    QVERIFY(control<MessageEdit>(f, "MsgEdit").hasFocus());

    // One more: the warning at +50, +50 from the window's corner; the field keeps the text,
    // selected, with the focus back in it.
    control<QLineEdit>(f, "RicEdit").setFocus();
    control<QLineEdit>(f, "RicEdit").clear();
    typeInto(&control<QLineEdit>(f, "RicEdit"), QStringLiteral("2097152"));
    QString text, caption;
    QPoint where;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    onNextModal([&](QWidget* w) {
        text = boxText(w);
        caption = w->windowTitle();
        where = w->pos();
        icon = qobject_cast<QMessageBox*>(w)->icon();
        pressOk(w);
    });
    QTest::keyClick(&control<QLineEdit>(f, "RicEdit"), Qt::Key_Tab);
    QTRY_COMPARE(text, QStringLiteral("Maximum RIC/CAP Code value is 2097151 !"));
    QCOMPARE(caption, QStringLiteral("Warning"));
    QCOMPARE(icon, QMessageBox::Warning);
    QCOMPARE(where, f.frameGeometry().topLeft() + QPoint(50, 50));
    QTRY_VERIFY(f.focusWidget() == &control<QLineEdit>(f, "RicEdit"));
    QCOMPARE(control<QLineEdit>(f, "RicEdit").selectedText(), QStringLiteral("2097152"));
    control<QLineEdit>(f, "RicEdit").clear();

    // An empty field passes silently.
    control<QLineEdit>(f, "RicEdit").setFocus();
    boxShown = false;
    onNextModal(
        [&](QWidget* w) {
            boxShown = true;
            pressOk(w);
        },
        300);
    QTest::keyClick(&control<QLineEdit>(f, "RicEdit"), Qt::Key_Tab);
    QTest::qWait(400);
    QVERIFY(!boxShown);
}

void MainWindowTest::ricExitCheckReportsPastedText() {
    Rig rig;
    TMainForm& f = *rig.form;
    control<QLineEdit>(f, "RicEdit").setFocus();
    control<QLineEdit>(f, "RicEdit").setText(QStringLiteral("12x")); // as a paste would leave it
    QString text;
    onNextModal([&](QWidget* w) {
        text = boxText(w);
        pressOk(w);
    });
    QTest::keyClick(&control<QLineEdit>(f, "RicEdit"), Qt::Key_Tab);
    QTRY_COMPARE(text, QStringLiteral("The RIC/CAP code must be a number from 0 to 2097151, in "
                                      "digits only; \"12x\" is not."));
    QCOMPARE(control<QLineEdit>(f, "RicEdit").text(), QStringLiteral("12x")); // the text stays
}

void MainWindowTest::optionsPanelFolds() {
    Rig rig;
    TMainForm& f = *rig.form;
    QCOMPARE(control<QWidget>(f, "Panel1").height(), 1);
    QCOMPARE(control<QAction>(f, "Options1").text(), QStringLiteral("Show &Options"));
    QCOMPARE(control<QWidget>(f, "Panel6").height(), 434 - 1 - 68 - 96);
    control<QAction>(f, "Options1").trigger();
    QCOMPARE(control<QWidget>(f, "Panel1").height(), 100);
    QCOMPARE(control<QAction>(f, "Options1").text(), QStringLiteral("Hide &Options"));
    QCOMPARE(control<QWidget>(f, "Panel6").height(), 434 - 100 - 68 - 96);
    QCOMPARE(control<QWidget>(f, "Panel4").height(), 68);
    QCOMPARE(control<QWidget>(f, "Panel3").height(), 96);
    QCOMPARE(f.centralWidget()->size(), QSize(612, 434)); // the window keeps its size
    control<QAction>(f, "Options1").trigger();
    QCOMPARE(control<QWidget>(f, "Panel1").height(), 1);
    QCOMPARE(control<QAction>(f, "Options1").text(), QStringLiteral("Show &Options"));
}

void MainWindowTest::eachRateKeepsItsLevel() {
    Rig rig;
    TMainForm& f = *rig.form;
    control<QAction>(f, "Options1").trigger();
    QTest::mouseClick(&control<PictureButton>(f, "BR1"), Qt::LeftButton);
    QCOMPARE(control<QSlider>(f, "Volume").value(), 25);
    QCOMPARE(f.station().signal().baud, 512);
    QCOMPARE(f.station().signal().level, 25);
    control<QSlider>(f, "Volume").setValue(40); // as a drag would
    QCOMPARE(f.station().signal().level, 40);
    QTest::mouseClick(&control<PictureButton>(f, "BR2"), Qt::LeftButton);
    QCOMPARE(control<QSlider>(f, "Volume").value(), 20);
    QCOMPARE(f.station().signal().baud, 1200);
    QTest::mouseClick(&control<PictureButton>(f, "BR3"), Qt::LeftButton);
    QCOMPARE(control<QSlider>(f, "Volume").value(), 30);
    QCOMPARE(f.station().signal().baud, 2400);
    QTest::mouseClick(&control<PictureButton>(f, "BR1"), Qt::LeftButton);
    QCOMPARE(control<QSlider>(f, "Volume").value(), 40);
    QCOMPARE(f.station().signal().level, 40);
    // Exclusive group: clicking the button that is down leaves it down.
    QTest::mouseClick(&control<PictureButton>(f, "BR1"), Qt::LeftButton);
    QVERIFY(control<PictureButton>(f, "BR1").isChecked() &&
            !control<PictureButton>(f, "BR2").isChecked() &&
            !control<PictureButton>(f, "BR3").isChecked());
    QCOMPARE(f.DeviationLevels, (std::array<uint8_t, 3>{40, 20, 30}));
}

void MainWindowTest::numericButtonKeepsTheMessage() {
    Rig rig;
    TMainForm& f = *rig.form;
    control<QAction>(f, "Options1").trigger();
    control<MessageEdit>(f, "MsgEdit").setPlainText(QStringLiteral("12 34-5"));
    QTest::mouseClick(&control<PictureButton>(f, "AN2"), Qt::LeftButton);
    QCOMPARE(control<MessageEdit>(f, "MsgEdit").toPlainText(), QStringLiteral("12 34-5"));
    QVERIFY(control<PictureButton>(f, "AN2").isChecked() &&
            !control<PictureButton>(f, "AN1").isChecked());
    control<MessageEdit>(f, "MsgEdit").setPlainText(QStringLiteral("123 z 45"));
    QTest::mouseClick(&control<PictureButton>(f, "AN2"),
                      Qt::LeftButton); // already down: the check runs again, and keeps the text
    QCOMPARE(control<MessageEdit>(f, "MsgEdit").toPlainText(), QStringLiteral("123 z 45"));
    control<MessageEdit>(f, "MsgEdit").setPlainText(QStringLiteral("Q"));
    QTest::mouseClick(&control<PictureButton>(f, "AN1"),
                      Qt::LeftButton); // alphanumeric has no action
    QCOMPARE(control<MessageEdit>(f, "MsgEdit").toPlainText(), QStringLiteral("Q"));
}

void MainWindowTest::polarityAndTuneTimeReachTheGenerator() {
    Rig rig;
    TMainForm& f = *rig.form;
    control<QAction>(f, "Options1").trigger();
    QTest::mouseClick(&control<PictureButton>(f, "NI2"), Qt::LeftButton);
    QVERIFY(f.station().signal().inverted);
    QTest::mouseClick(&control<PictureButton>(f, "NI1"), Qt::LeftButton);
    QVERIFY(!f.station().signal().inverted);
    // The up arrow works although the box takes no focus and no typing.
    QTest::mouseClick(&control<QSpinBox>(f, "TuneTime"), Qt::LeftButton, {},
                      QPoint(control<QSpinBox>(f, "TuneTime").width() - 6, 5));
    QCOMPARE(control<QSpinBox>(f, "TuneTime").value(), 6);
    QTest::keyClick(&control<QSpinBox>(f, "TuneTime"), '9');
    QCOMPARE(control<QSpinBox>(f, "TuneTime").value(), 6);
    QCOMPARE(f.station().signal().durationMs, 6000u);
    control<QSpinBox>(f, "TuneTime").setValue(99);
    QCOMPARE(control<QSpinBox>(f, "TuneTime").value(), 15);
}

void MainWindowTest::messageFieldLimits() {
    Rig rig;
    MessageEdit* msg = &control<MessageEdit>(*rig.form, "MsgEdit");
    msg->setFocus();
    QTest::keyClick(msg, 'A');
    QTest::keyClick(msg, Qt::Key_Return);
    QTest::keyClick(msg, 'B');
    QCOMPARE(msg->toPlainText(), QStringLiteral("AB")); // Enter starts no new line
    msg->setPlainText(QString(256, 'x'));
    msg->moveCursor(QTextCursor::End);
    QSignalSpy refused(msg, &MessageEdit::lengthRefused);
    QTest::keyClick(msg, 'y');
    QCOMPARE(msg->toPlainText().size(), 256);
    QCOMPARE(refused.count(), 1);
}

void MainWindowTest::folderChooserCreatesAfterAsking() {
    Rig rig;
    TMainForm& f = *rig.form;
    const QString wanted = rig.folder.filePath(QStringLiteral("logs/station"));
    int questions = 0;
    // First "No": the chooser stays open. Then "Yes": created with its parents.
    std::function<void(QWidget*)> answer;
    answer = [&](QWidget* w) {
        if (auto* chooser = qobject_cast<FolderChooser*>(w)) {
            QCOMPARE(chooser->windowTitle(), QStringLiteral("Select Directory"));
            // Typed into the name field, as the operator would.
            auto* name = chooser->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
            QVERIFY(name != nullptr);
            name->setText(wanted);
            onNextModal(answer);
            chooser->accept();
            return;
        }
        auto* box = qobject_cast<QMessageBox*>(w);
        QVERIFY(box != nullptr);
        QCOMPARE(box->text(), QStringLiteral("The specified directory does not exist. Create it?"));
        ++questions;
        if (questions == 1) {
            box->button(QMessageBox::No)->click();
            QTimer::singleShot(50, [&] {
                auto* chooser = qobject_cast<FolderChooser*>(QApplication::activeModalWidget());
                QVERIFY(chooser != nullptr); // still open
                onNextModal(answer);
                chooser->accept();
            });
        } else {
            box->button(QMessageBox::Yes)->click();
        }
    };
    onNextModal(answer);
    f.DFolderClick();
    QCOMPARE(questions, 2);
    QVERIFY(QFileInfo(wanted).isDir());
    QCOMPARE(f.DataFolder, wanted);
}

void MainWindowTest::folderChooserFallsBackToProgramFolder() {
    Rig rig;
    TMainForm& f = *rig.form;
    f.DataFolder = rig.folder.filePath(QStringLiteral("gone"));
    QString openedAt;
    onNextModal([&](QWidget* w) {
        auto* chooser = qobject_cast<FolderChooser*>(w);
        QVERIFY(chooser != nullptr);
        openedAt = chooser->directory().absolutePath();
        chooser->reject();
    });
    f.DFolderClick();
    QCOMPARE(openedAt + '/', f.ProgramFolder);
    QCOMPARE(f.DataFolder, rig.folder.filePath(QStringLiteral("gone"))); // cancel: unchanged
}

void MainWindowTest::helpWithoutChmOpensTheHtmlHelp() {
    Rig rig;
    const QString before = QDir::currentPath();
    QDir::setCurrent(rig.folder.path()); // no Tarvex.chm here
    // The desktop's opener is replaced for the "file" scheme: no viewer starts.
    UrlRecorder recorder;
    QDesktopServices::setUrlHandler(QStringLiteral("file"), &recorder, "open");
    QString text;
    onNextModal(
        [&](QWidget* w) {
            text = boxText(w);
            pressOk(w);
        },
        500);
    control<QAction>(*rig.form, "Help2").trigger();
    QTest::qWait(600);
    QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
    QDir::setCurrent(before);
    QCOMPARE(text, QString()); // the build tree holds the HTML help: no message
    QCOMPARE(recorder.urls.size(), 1);
    QVERIFY(recorder.urls.front().toLocalFile().endsWith(
        QStringLiteral("/share/tarvex/help/tarvex-help.html")));
}

TARVEX_GUI_TEST_MAIN(MainWindowTest)
#include "test_main_window.moc"

void MainWindowTest::pageButtonsTakeTabAndKeys() {
    Rig rig;
    TMainForm& f = *rig.form;
    f.show();
    QVERIFY(QTest::qWaitForWindowActive(&f));
    const auto tabs = [&f](int count) {
        QStringList seen;
        control<QLineEdit>(f, "RicEdit").setFocus(Qt::TabFocusReason);
        for (int i = 0; i < count; ++i) {
            seen << QApplication::focusWidget()->objectName();
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        }
        return seen.join(QLatin1Char(' '));
    };
    // Folded options: the text fields, then Preset Messages and SEND, then round again.
    QVERIFY(!f.optionsShown());
    QCOMPARE(tabs(6), QStringLiteral("RicEdit MsgEdit DataOut btPreset TxButton RicEdit"));
    f.Options1Click();
    // Shown: one stop per group of page buttons, at the button that is down.
    control<PictureButton>(f, "BR1").click();
    QCOMPARE(tabs(12), QStringLiteral("RicEdit MsgEdit DataOut btPreset TxButton FB4 AN1 BR1 NI1 "
                                      "DFolder btPa RicEdit"));
    // In a group the arrow keys move and choose, as with radio buttons; Space and Enter press
    // the button that has the focus.
    auto& br1 = control<PictureButton>(f, "BR1");
    br1.setFocus(Qt::TabFocusReason);
    QTest::keyClick(&br1, Qt::Key_Right);
    QVERIFY(control<PictureButton>(f, "BR2").hasFocus());
    QVERIFY(control<PictureButton>(f, "BR2").isChecked());
    QCOMPARE(f.station().signal().baud, 1200);
    QTest::keyClick(&control<PictureButton>(f, "BR2"), Qt::Key_Left);
    QTest::keyClick(&br1, Qt::Key_Space);
    QVERIFY(br1.isChecked());
    QCOMPARE(f.station().signal().baud, 512);
    auto& ni2 = control<PictureButton>(f, "NI2");
    ni2.setFocus(Qt::TabFocusReason);
    QTest::keyClick(&ni2, Qt::Key_Return);
    QTRY_VERIFY(ni2.isChecked());
    QVERIFY(f.station().signal().inverted);
    auto& preset = control<PictureButton>(f, "btPreset");
    preset.setFocus(Qt::TabFocusReason);
    QVERIFY(preset.hasFocus()); // drawn with its dashed frame
    control<QLineEdit>(f, "RicEdit").setFocus();
    QTest::mouseClick(&control<PictureButton>(f, "FB2"), Qt::LeftButton);
    QVERIFY(control<QLineEdit>(f, "RicEdit").hasFocus());
}
