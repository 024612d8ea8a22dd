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
    void numericButtonClearsLettersOnly();
    void polarityAndTuneTimeReachTheGenerator();
    void messageFieldLimits();
    void folderChooserCreatesAfterAsking();
    void folderChooserFallsBackToProgramFolder();
    void helpWithoutChmOpensTheHtmlHelp();
};

void MainWindowTest::startsInItsDesignState() {
    Rig rig;
    TMainForm& f = *rig.form;
    QCOMPARE(f.windowTitle(), QStringLiteral("Tarvex"));
    QCOMPARE(f.centralWidget()->size(), QSize(612, 434));
    QVERIFY(!(f.windowFlags() & Qt::WindowMaximizeButtonHint));
    QCOMPARE(f.minimumSize(), f.maximumSize()); // not resizable
    QVERIFY(f.FB4->isChecked() && f.AN1->isChecked() && f.BR2->isChecked() && f.NI1->isChecked());
    QCOMPARE(f.RicEdit->text(), QStringLiteral("1234567"));
    QCOMPARE(f.RicEdit->maxLength(), 7);
    QCOMPARE(f.Volume->value(), 20);
    QCOMPARE(f.TuneTime->value(), 5);
    QCOMPARE(f.SignalGen().Baud(), int16_t{1200});
    QCOMPARE(f.SignalGen().Level(), int16_t{20});
    QCOMPARE(f.SignalGen().Duration(), 1000u);
    QVERIFY(!f.SignalGen().Inverted());
    QVERIFY(f.SignalGen().Async());
    QCOMPARE(f.encoder().SlotCount, 200);
    QCOMPARE(f.ProgramFolder, rig.folder.path() + '/');
    QCOMPARE(f.DataFolder, f.ProgramFolder);
    // The transmitter is released at start-up: one write of the released byte to LPT1.
    QCOMPARE(rig.port->writes().size(), size_t{1});
    QCOMPARE(rig.port->writes()[0], (RecordingPortWriter::Write{0x378, 0x00}));
    QVERIFY(f.statusLine().portText().contains(QStringLiteral("recording port")));
    QVERIFY(f.statusLine().audioText().contains(rig.wavPath()));
    // Tab visits the three text fields only.
    QCOMPARE(f.RicEdit->focusPolicy() & Qt::TabFocus, Qt::TabFocus);
    const QList<QWidget*> untabbed{f.FB1,     f.TxButton, f.btPreset, f.btPa,
                                   f.DFolder, f.Volume,   f.TuneTime, f.logpages};
    for (QWidget* w : untabbed)
        QCOMPARE(w->focusPolicy(), Qt::NoFocus);
    QCOMPARE(f.FB1->caption() + f.FB1->subCaption(), QStringLiteral("00num"));
    QCOMPARE(f.AN2->caption() + ' ' + f.AN2->subCaption(), QStringLiteral("123456789 NUMERIC"));
}

void MainWindowTest::ricFieldTakesDigitsOnly() {
    Rig rig;
    QLineEdit* ric = rig.form->RicEdit;
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
    f.RicEdit->setFocus();
    f.RicEdit->clear();
    typeInto(f.RicEdit, QStringLiteral("2097151"));
    bool boxShown = false;
    onNextModal(
        [&](QWidget* w) {
            boxShown = true;
            pressOk(w);
        },
        300);
    QTest::keyClick(f.RicEdit, Qt::Key_Tab);
    QTest::qWait(400);
    QVERIFY(!boxShown);
    QCOMPARE(f.RicEdit->text(), QStringLiteral("2097151"));
    QVERIFY(f.MsgEdit->hasFocus());

    // One more: the warning at +50, +50 from the window's corner, then the field emptied.
    f.RicEdit->setFocus();
    f.RicEdit->clear();
    typeInto(f.RicEdit, QStringLiteral("2097152"));
    QString text, caption;
    QPoint where;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    onNextModal([&](QWidget* w) {
        text = boxText(w);
        caption = w->windowTitle();
        where = w->pos();
        icon = qobject_cast<QMessageBox*>(w)->icon();
        QCOMPARE(f.RicEdit->text(), QStringLiteral("2097152")); // emptied only afterwards
        pressOk(w);
    });
    QTest::keyClick(f.RicEdit, Qt::Key_Tab);
    QTRY_COMPARE(text, QStringLiteral("Maximum RIC/CAP Code value is 2097151 !"));
    QCOMPARE(caption, QStringLiteral("Warning"));
    QCOMPARE(icon, QMessageBox::Warning);
    QCOMPARE(where, f.frameGeometry().topLeft() + QPoint(50, 50));
    QTRY_VERIFY(f.RicEdit->text().isEmpty());

    // An empty field passes silently.
    f.RicEdit->setFocus();
    boxShown = false;
    onNextModal(
        [&](QWidget* w) {
            boxShown = true;
            pressOk(w);
        },
        300);
    QTest::keyClick(f.RicEdit, Qt::Key_Tab);
    QTest::qWait(400);
    QVERIFY(!boxShown);
}

void MainWindowTest::ricExitCheckReportsPastedText() {
    Rig rig;
    TMainForm& f = *rig.form;
    f.RicEdit->setFocus();
    f.RicEdit->setText(QStringLiteral("12x")); // as a paste would leave it
    QString text;
    onNextModal([&](QWidget* w) {
        text = boxText(w);
        pressOk(w);
    });
    QTest::keyClick(f.RicEdit, Qt::Key_Tab);
    QTRY_COMPARE(text, QStringLiteral("'12x' is not a valid integer value"));
    QCOMPARE(f.RicEdit->text(), QStringLiteral("12x")); // the text stays
}

void MainWindowTest::optionsPanelFolds() {
    Rig rig;
    TMainForm& f = *rig.form;
    QCOMPARE(f.Panel1->height(), 1);
    QCOMPARE(f.Options1->text(), QStringLiteral("Show &Options"));
    QCOMPARE(f.Panel6->height(), 434 - 1 - 68 - 96);
    f.Options1->trigger();
    QCOMPARE(f.Panel1->height(), 100);
    QCOMPARE(f.Options1->text(), QStringLiteral("Hide &Options"));
    QCOMPARE(f.Panel6->height(), 434 - 100 - 68 - 96);
    QCOMPARE(f.Panel4->height(), 68);
    QCOMPARE(f.Panel3->height(), 96);
    QCOMPARE(f.centralWidget()->size(), QSize(612, 434)); // the window keeps its size
    f.Options1->trigger();
    QCOMPARE(f.Panel1->height(), 1);
    QCOMPARE(f.Options1->text(), QStringLiteral("Show &Options"));
}

void MainWindowTest::eachRateKeepsItsLevel() {
    Rig rig;
    TMainForm& f = *rig.form;
    f.Options1->trigger();
    QTest::mouseClick(f.BR1, Qt::LeftButton);
    QCOMPARE(f.Volume->value(), 25);
    QCOMPARE(f.SignalGen().Baud(), int16_t{512});
    QCOMPARE(f.SignalGen().Level(), int16_t{25});
    f.Volume->setValue(40); // as a drag would
    QCOMPARE(f.SignalGen().Level(), int16_t{40});
    QTest::mouseClick(f.BR2, Qt::LeftButton);
    QCOMPARE(f.Volume->value(), 20);
    QCOMPARE(f.SignalGen().Baud(), int16_t{1200});
    QTest::mouseClick(f.BR3, Qt::LeftButton);
    QCOMPARE(f.Volume->value(), 30);
    QCOMPARE(f.SignalGen().Baud(), int16_t{2400});
    QTest::mouseClick(f.BR1, Qt::LeftButton);
    QCOMPARE(f.Volume->value(), 40);
    QCOMPARE(f.SignalGen().Level(), int16_t{40});
    // Exclusive group: clicking the button that is down leaves it down.
    QTest::mouseClick(f.BR1, Qt::LeftButton);
    QVERIFY(f.BR1->isChecked() && !f.BR2->isChecked() && !f.BR3->isChecked());
    QCOMPARE(f.DeviationLevels, (std::array<uint8_t, 3>{40, 20, 30}));
}

void MainWindowTest::numericButtonClearsLettersOnly() {
    Rig rig;
    TMainForm& f = *rig.form;
    f.Options1->trigger();
    f.MsgEdit->setPlainText(QStringLiteral("12 34-5"));
    QTest::mouseClick(f.AN2, Qt::LeftButton);
    QCOMPARE(f.MsgEdit->toPlainText(), QStringLiteral("12 34-5"));
    QVERIFY(f.AN2->isChecked() && !f.AN1->isChecked());
    f.MsgEdit->setPlainText(QStringLiteral("123 z 45"));
    QTest::mouseClick(f.AN2, Qt::LeftButton); // already down: the check runs again
    QVERIFY(f.MsgEdit->toPlainText().isEmpty());
    f.MsgEdit->setPlainText(QStringLiteral("Q"));
    QTest::mouseClick(f.AN1, Qt::LeftButton); // alphanumeric has no action
    QCOMPARE(f.MsgEdit->toPlainText(), QStringLiteral("Q"));
}

void MainWindowTest::polarityAndTuneTimeReachTheGenerator() {
    Rig rig;
    TMainForm& f = *rig.form;
    f.Options1->trigger();
    QTest::mouseClick(f.NI2, Qt::LeftButton);
    QVERIFY(f.SignalGen().Inverted());
    QTest::mouseClick(f.NI1, Qt::LeftButton);
    QVERIFY(!f.SignalGen().Inverted());
    // The up arrow works although the box takes no focus and no typing.
    QTest::mouseClick(f.TuneTime, Qt::LeftButton, {}, QPoint(f.TuneTime->width() - 6, 5));
    QCOMPARE(f.TuneTime->value(), 6);
    QTest::keyClick(f.TuneTime, '9');
    QCOMPARE(f.TuneTime->value(), 6);
    QCOMPARE(f.SignalGen().Duration(), 6000u);
    f.TuneTime->setValue(99);
    QCOMPARE(f.TuneTime->value(), 15);
}

void MainWindowTest::messageFieldLimits() {
    Rig rig;
    MessageEdit* msg = rig.form->MsgEdit;
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
    rig.form->Help2->trigger();
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
