// Paging from lines of text: the entry format applied to the main window, the message list
// with its file and the preset button, and auto-send polls through the real window.
#include "gui_test_support.h"

#include "app/auto_form.h"
#include "app/entry_fields.h"
#include "app/fast_form.h"
#include "app/ident_form.h"
#include "app/mess_form.h"
#include "app/message_edit.h"
#include "app/picture_button.h"
#include "app/status_line.h"
#include "network/pager_directory.h"
#include "paging/auto_send.h"
#include "signal/signal_gen.h"

#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>

using namespace tarvex;
using namespace tarvex::test;

namespace {

QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeFile(const QString& path, const QByteArray& text) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(text);
}

/// Applies the line and dismisses the message it may show; returns that message.
QString applyEntry(TMessForm& mess, const QString& line, bool* applied = nullptr) {
    BoxWatcher boxes;
    const bool ok = mess.ApplyPageEntry(line);
    if (applied != nullptr)
        *applied = ok;
    return boxes.last();
}

/// The auto-send file the poll reads (its name as the settings left it).
QString autoSendPath(TMainForm& f) {
    return QDir(f.ProgramFolder).filePath(f.dialogs().autoSend->edFileName()->text());
}

QStringList sentRics(const QSignalSpy& spy) {
    QStringList out;
    for (const auto& call : spy)
        out << call.at(0).toString() + QLatin1Char('|') + call.at(1).toString();
    return out;
}

} // namespace

class PagingTest : public QObject {
    Q_OBJECT
private slots:
    void entryAppliesEveryFieldAndKeepsLeadingZeros();
    void entryReportsOnlyTheFirstFieldInError();
    void ricFieldLimits();
    void listAddResetAndClick();
    void entryFieldsMakeTheLineAndAddNamesTheFieldInError();
    void deleteAsksBeforeRemovingTheSelectedEntry();
    void sendNowKeepsTheTypedMessageUnlessTheOperatorAgrees();
    void listFileReadAtShowingAndWrittenAtClose();
    void listWriteFailureKeepsTheListAndSaysWhy();
    void presetDoubleClickSendsTheEntry();
    void failedDoubleClickKeepsTheListOpen();
    void autoSendHoldsBackTimedEntriesUntilDue();
    void autoSendThreeEntriesWithPauses();
    void autoSendSkipsEmptyLinesAndRefusedEntries();
    void autoSendLeavesALockedFileAlone();
    void autoSendWaitsForIdentAndFastSearch();
    void autoSendTimerStaysOffDuringAPoll();
    void autoSendErrorIsReportedAndReleasesTheLock();
    void autoSendFromAWriterProcessOnTheTimer();
};

void PagingTest::entryAppliesEveryFieldAndKeepsLeadingZeros() {
    Rig rig;
    TMainForm& f = *rig.form;
    TMessForm& mess = *f.dialogs().mess;
    bool ok = false;
    QCOMPARE(applyEntry(mess, QStringLiteral("10n2400i0001234"), &ok), QString());
    QVERIFY(ok);
    QVERIFY(control<PictureButton>(f, "FB3").isChecked() &&
            control<PictureButton>(f, "AN2").isChecked() &&
            control<PictureButton>(f, "BR3").isChecked() &&
            control<PictureButton>(f, "NI2").isChecked());
    QCOMPARE(control<QLineEdit>(f, "RicEdit").text(), QStringLiteral("0001234"));
    QCOMPARE(control<MessageEdit>(f, "MsgEdit").toPlainText(),
             QString()); // exactly 15 characters: empty message
    QCOMPARE(f.station().signal().baud, 2400);
    QVERIFY(f.station().signal().inverted);
    QVERIFY(f.EntryApplied);

    QVERIFY(mess.ApplyPageEntry(QStringLiteral("00A0512N2097151 Hello  World ")));
    QVERIFY(control<PictureButton>(f, "FB1").isChecked() &&
            control<PictureButton>(f, "AN1").isChecked() &&
            control<PictureButton>(f, "BR1").isChecked() &&
            control<PictureButton>(f, "NI1").isChecked());
    QCOMPARE(control<MessageEdit>(f, "MsgEdit").toPlainText(), QStringLiteral(" Hello  World "));
    QCOMPARE(f.station().signal().baud, 512);
    QVERIFY(!f.station().signal().inverted);
    QCOMPARE(control<QSlider>(f, "Volume").value(), int{f.DeviationLevels[0]});
}

void PagingTest::entryReportsOnlyTheFirstFieldInError() {
    Rig rig;
    TMainForm& f = *rig.form;
    TMessForm& mess = *f.dialogs().mess;
    control<QLineEdit>(f, "RicEdit").setText(QStringLiteral("42"));
    control<MessageEdit>(f, "MsgEdit").setPlainText(QStringLiteral("keep me"));
    mess.MessEdit()->setText(QStringLiteral("typing"));

    // 14 characters: no entry, nothing changed (the list's edit field is emptied).
    QCOMPARE(applyEntry(mess, QStringLiteral("11A1200N000123")),
             QStringLiteral("The Format of this message is not correct, cannot send!"));
    QCOMPARE(control<MessageEdit>(f, "MsgEdit").toPlainText(), QStringLiteral("keep me"));
    QVERIFY(mess.MessEdit()->text().isEmpty());
    // Function bits wrong (and coding wrong too): only the first error; message kept.
    QCOMPARE(applyEntry(mess, QStringLiteral("12X1200N0001234x")),
             QStringLiteral(
                 "Error in the message format! The Function bits must be 00 or 01 or 10 or 11."));
    QCOMPARE(control<MessageEdit>(f, "MsgEdit").toPlainText(), QStringLiteral("keep me"));
    QCOMPARE(
        applyEntry(mess, QStringLiteral("01X1200N0001234x")),
        QStringLiteral("Error in the message format! The Aplha/Numeric must be either A or N."));
    QVERIFY(control<PictureButton>(f, "FB2").isChecked());
    QCOMPARE(control<MessageEdit>(f, "MsgEdit").toPlainText(), QStringLiteral("keep me"));
    // Failing at the baud rate leaves function bits and coding changed, the message empty.
    QCOMPARE(applyEntry(mess, QStringLiteral("10N9600N0001234x")),
             QStringLiteral("Error in the message format! The Baud Rate is out of range."));
    QVERIFY(control<PictureButton>(f, "FB3").isChecked() &&
            control<PictureButton>(f, "AN2").isChecked() &&
            control<PictureButton>(f, "BR2").isChecked());
    QVERIFY(control<MessageEdit>(f, "MsgEdit").toPlainText().isEmpty());
    QCOMPARE(
        applyEntry(mess, QStringLiteral("00A0512X0001234x")),
        QStringLiteral("Error in the message format! The Normal/Inverted must be either N or I."));
    QVERIFY(control<PictureButton>(f, "BR1").isChecked());
    QCOMPARE(f.station().signal().baud, 512);
    QCOMPARE(control<QLineEdit>(f, "RicEdit").text(),
             QStringLiteral("42")); // the RIC changes only on success
    QVERIFY(!f.EntryApplied);
}

void PagingTest::ricFieldLimits() {
    Rig rig;
    TMainForm& f = *rig.form;
    TMessForm& mess = *f.dialogs().mess;
    QCOMPARE(applyEntry(mess, QStringLiteral("11A1200N2097152x")),
             QStringLiteral("Error in the message format! The RIC code is out of range."));
    QCOMPARE(applyEntry(mess, QStringLiteral("11A1200N00012A4x")),
             QStringLiteral("Error in the message format! Most likely to be the RIC code."));
    QCOMPARE(applyEntry(mess, QStringLiteral("11A1200I  -0001x")),
             QStringLiteral("Error in the message format! The RIC code is out of range."));
    QVERIFY(control<PictureButton>(f, "NI2").isChecked()); // the polarity step had already run
    QCOMPARE(applyEntry(mess, QStringLiteral("11A1200N2097151x")), QString());
    QCOMPARE(control<QLineEdit>(f, "RicEdit").text(), QStringLiteral("2097151"));
}

void PagingTest::listAddResetAndClick() {
    Rig rig;
    TMessForm& mess = *rig.form->dialogs().mess;
    const QString first = QStringLiteral("11A1200N0000001first");
    const QString second = QStringLiteral("11A1200N0000002");
    mess.show();
    mess.MessEdit()->setText(first);
    QTest::mouseClick(mess.btAdd(), Qt::LeftButton);
    mess.MessEdit()->setText(second);
    QTest::mouseClick(mess.btAdd(), Qt::LeftButton); // an entry with an empty message
    QCOMPARE(mess.items(), (QStringList{first, second}));
    QVERIFY(mess.MessEdit()->text().isEmpty());

    // Click: the item goes into the edit field; Add puts it back where it was.
    QListWidget* list = mess.MessList();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                      list->visualItemRect(list->item(0)).center());
    QCOMPARE(mess.MessEdit()->text(), first);
    QTest::qWait(10);
    QVERIFY(!mess.MessEdit()->hasSelectedText());
    mess.MessEdit()->setText(QStringLiteral("11A1200N0000001edited"));
    QTest::mouseClick(mess.btAdd(), Qt::LeftButton);
    QCOMPARE(mess.items(), (QStringList{QStringLiteral("11A1200N0000001edited"), second}));
    QVERIFY(list->selectedItems().isEmpty());
    // Reset after a click: Add appends instead of replacing.
    list->setCurrentRow(0);
    QTest::mouseClick(mess.btReset(), Qt::LeftButton);
    mess.MessEdit()->setText(QStringLiteral("11A1200N0000003third"));
    QTest::mouseClick(mess.btAdd(), Qt::LeftButton);
    QCOMPARE(mess.items().size(), 3);
    QCOMPARE(mess.items().last(), QStringLiteral("11A1200N0000003third"));
    mess.reject();
}

void PagingTest::entryFieldsMakeTheLineAndAddNamesTheFieldInError() {
    Rig rig;
    TMainForm& f = *rig.form;
    PagerDirectory directory;
    std::string error;
    Pager pager;
    pager.id = "kitchen";
    pager.ric = 1234;
    pager.functionBits = 0;
    pager.coding = PagerCoding::Numeric;
    pager.baud = 512;
    pager.inverted = true;
    QVERIFY(directory.add(pager, &error));
    QVERIFY(directory.save((f.ProgramFolder + QStringLiteral("Pagers.txt")).toStdString(), &error));
    TMessForm& mess = *f.dialogs().mess;
    mess.show();
    EntryFields& fields = *mess.fields();
    // A pager of the directory sets every field it knows; the line follows the fields.
    QCOMPARE(fields.pager()->count(), 2);
    fields.pager()->setCurrentIndex(1);
    emit fields.pager()->activated(1);
    fields.text()->setText(QStringLiteral("555-0100"));
    emit fields.text()->textEdited(fields.text()->text());
    QCOMPARE(mess.MessEdit()->text(), QStringLiteral("00N0512I0001234555-0100"));
    // A typed line sets the fields back.
    mess.MessEdit()->setText(QStringLiteral("01A2400N0000077hi"));
    emit mess.MessEdit()->textEdited(mess.MessEdit()->text());
    QCOMPARE(fields.rate()->currentText() + fields.type()->currentText() + fields.ric()->text(),
             QStringLiteral("2400Alphanumeric0000077"));
    QCOMPARE(fields.pager()->currentIndex(), 0);

    // Refused on Add, in words that name the field; what was typed stays, the list is unchanged.
    const struct {
        const char* line;
        const char* field;
    } refused[] = {
        {"00N0512I0001234call me", "Text"}, {"11A1200N???????x", "RIC"},
        {"11A1200N2097152x", "RIC"},        {"11A1200N", "RIC"},
        {"11A9600N0000001x", "Rate"},       {"12A1200N0000001x", "Function bits"},
        {"11X1200N0000001x", "Type"},       {"11A1200Q0000001x", "Polarity"},
    };
    for (const auto& c : refused) {
        const QString line = QString::fromLatin1(c.line);
        mess.MessEdit()->setText(line);
        BoxWatcher boxes;
        QTest::mouseClick(mess.btAdd(), Qt::LeftButton);
        QVERIFY2(boxes.last().startsWith(QStringLiteral("Not added. %1: ").arg(c.field)),
                 qPrintable(line + QStringLiteral(" -> ") + boxes.last()));
        QCOMPARE(mess.MessEdit()->text(), line);
        QVERIFY(mess.items().isEmpty());
    }
    // Without a RIC the line shows where it goes, and the refusal leaves the focus there.
    fields.clear();
    emit fields.edited();
    QCOMPARE(mess.MessEdit()->text(), QStringLiteral("11A1200N???????"));
    {
        BoxWatcher boxes;
        QTest::mouseClick(mess.btAdd(), Qt::LeftButton);
    }
    QCOMPARE(mess.focusWidget(), fields.ric());
    fields.ric()->setText(QStringLiteral("42"));
    emit fields.edited();
    QTest::mouseClick(mess.btAdd(), Qt::LeftButton);
    QCOMPARE(mess.items(), QStringList{QStringLiteral("11A1200N0000042")});
    mess.reject();
}

void PagingTest::deleteAsksBeforeRemovingTheSelectedEntry() {
    Rig rig;
    TMessForm& mess = *rig.form->dialogs().mess;
    writeFile(mess.listPath(), "11A1200N0000001one\r\n11A1200N0000002two\r\n");
    mess.show();
    QVERIFY(!mess.btDelete()->isEnabled() && !mess.btSendNow()->isEnabled());
    QStringList asked;
    for (const auto answer : {QMessageBox::No, QMessageBox::Yes}) {
        mess.MessList()->setCurrentRow(0);
        QVERIFY(mess.btDelete()->isEnabled());
        onNextModal([&asked, answer](QWidget* box) {
            asked << boxText(box);
            qobject_cast<QMessageBox*>(box)->button(answer)->click();
        });
        QTest::mouseClick(mess.btDelete(), Qt::LeftButton);
    }
    QCOMPARE(asked.size(), 2);
    QVERIFY2(asked[0].contains(QStringLiteral("11A1200N0000001one")), qPrintable(asked[0]));
    QCOMPARE(mess.items(), QStringList{QStringLiteral("11A1200N0000002two")});
    QVERIFY(!mess.btDelete()->isEnabled());
    mess.reject();
    QCOMPARE(readFile(mess.listPath()), QByteArray("11A1200N0000002two\r\n"));
}

void PagingTest::sendNowKeepsTheTypedMessageUnlessTheOperatorAgrees() {
    Rig rig;
    TMainForm& f = *rig.form;
    TMessForm& mess = *f.dialogs().mess;
    QCOMPARE(mess.btSendNow()->text(), QStringLiteral("&Send now"));
    writeFile(mess.listPath(), "11A2400N0001234Preset page\r\n");
    control<MessageEdit>(f, "MsgEdit").setPlainText(QStringLiteral("half-typed"));
    QSignalSpy sent(&f, &TMainForm::pageSent);
    QStringList asked;
    bool keptAfterNo = false;
    onNextModal([&](QWidget* dialog) {
        dialog->findChild<QListWidget*>(QStringLiteral("MessList"))->setCurrentRow(0);
        auto* send = dialog->findChild<QPushButton*>(QStringLiteral("btSendNow"));
        for (const auto answer : {QMessageBox::No, QMessageBox::Yes}) {
            onNextModal([&asked, answer](QWidget* box) {
                asked << boxText(box);
                qobject_cast<QMessageBox*>(box)->button(answer)->click();
            });
            send->click();
            if (answer == QMessageBox::No)
                keptAfterNo =
                    dialog->isVisible() && control<MessageEdit>(f, "MsgEdit").toPlainText() ==
                                               QStringLiteral("half-typed");
        }
    });
    QTest::mouseClick(&control<PictureButton>(f, "btPreset"), Qt::LeftButton);
    QVERIFY(keptAfterNo);
    QCOMPARE(asked.size(), 2);
    QVERIFY2(asked[0].contains(QStringLiteral("half-typed")), qPrintable(asked[0]));
    QCOMPARE(sentRics(sent), QStringList{QStringLiteral("0001234|Preset page")});
}

void PagingTest::listFileReadAtShowingAndWrittenAtClose() {
    Rig rig;
    TMessForm& mess = *rig.form->dialogs().mess;
    writeFile(mess.listPath(), "a\r\nb\rc\n\nd");
    mess.show();
    QCOMPARE(mess.items(), (QStringList{"a", "b", "c", "", "d"}));
    mess.MessEdit()->setText(QStringLiteral("11A1200N0000005e"));
    QTest::mouseClick(mess.btAdd(), Qt::LeftButton);
    mess.reject();
    QCOMPARE(readFile(mess.listPath()), QByteArray("a\r\nb\r\nc\r\n\r\nd\r\n11A1200N0000005e\r\n"));

    // No file: the list keeps what it holds; the close creates the file again.
    QFile::remove(mess.listPath());
    mess.show();
    QCOMPARE(mess.items().size(), 6);
    mess.reject();
    QVERIFY(QFile::exists(mess.listPath()));
}

void PagingTest::listWriteFailureKeepsTheListAndSaysWhy() {
    Rig rig;
    TMessForm& mess = *rig.form->dialogs().mess;
    mess.show();
    const QString precious = QStringLiteral("11A1200N0000001precious");
    mess.MessEdit()->setText(precious);
    QTest::mouseClick(mess.btAdd(), Qt::LeftButton);
    QVERIFY(QDir().mkpath(mess.listPath() + QStringLiteral(".new"))); // the write must fail
    auto seen = std::make_shared<QString>();
    onNextModal([seen](QWidget* box) {
        *seen = boxText(box);
        auto* b = qobject_cast<QMessageBox*>(box);
        b->button(QMessageBox::Cancel)->click();
    });
    mess.reject();
    QVERIFY2(seen->contains(QStringLiteral("MessList.txt: ")), qPrintable(*seen));
    QVERIFY(!mess.isVisible()); // the operator could leave
    QCOMPARE(mess.items(), QStringList{precious});
    QDir(mess.listPath() + QStringLiteral(".new")).removeRecursively();
    mess.show(); // no file yet: the list in memory is still there
    QCOMPARE(mess.items(), QStringList{precious});
    mess.reject();
    QCOMPARE(readFile(mess.listPath()), precious.toLatin1() + "\r\n");
}

void PagingTest::presetDoubleClickSendsTheEntry() {
    Rig rig;
    TMainForm& f = *rig.form;
    TMessForm& mess = *f.dialogs().mess;
    writeFile(mess.listPath(), "11A2400N0001234Preset page\r\n");
    QSignalSpy sent(&f, &TMainForm::pageSent);
    onNextModal([](QWidget* dialog) {
        auto* list = dialog->findChild<QListWidget*>(QStringLiteral("MessList"));
        list->setCurrentRow(0);
        emit list->itemDoubleClicked(list->item(0));
    });
    QTest::mouseClick(&control<PictureButton>(f, "btPreset"), Qt::LeftButton);
    QCOMPARE(sentRics(sent), QStringList{QStringLiteral("0001234|Preset page")});
    QVERIFY(!mess.isVisible());

    // A poll while the list is open sends its page without touching the list or the
    // window's controls; the preset button does not send it a second time.
    writeFile(autoSendPath(f), "11A2400N0000055polled\r\n");
    bool openAfterPoll = false;
    onNextModal([&](QWidget* dialog) {
        f.dialogs().autoSend->TxTimerTimer();
        openAfterPoll = dialog->isVisible();
        qobject_cast<QDialog*>(dialog)->reject();
    });
    QTest::mouseClick(&control<PictureButton>(f, "btPreset"), Qt::LeftButton);
    QVERIFY(openAfterPoll);
    QTRY_COMPARE(sent.count(), 2);
    QCOMPARE(sentRics(sent).last(), QStringLiteral("0000055|polled"));
    QCOMPARE(control<QLineEdit>(f, "RicEdit").text(), QStringLiteral("0001234"));
    QVERIFY(!mess.isVisible());
    sent.clear();

    // Closing the list without applying an entry sends nothing.
    onNextModal([](QWidget* dialog) { qobject_cast<QDialog*>(dialog)->reject(); });
    QTest::mouseClick(&control<PictureButton>(f, "btPreset"), Qt::LeftButton);
    QCOMPARE(sent.count(), 0);
    QVERIFY(!f.EntryApplied);
}

void PagingTest::failedDoubleClickKeepsTheListOpen() {
    Rig rig;
    TMessForm& mess = *rig.form->dialogs().mess;
    writeFile(mess.listPath(), "bad entry\r\n");
    mess.show();
    mess.MessList()->setCurrentRow(0);
    mess.MessEdit()->setText(QStringLiteral("bad entry"));
    BoxWatcher boxes;
    mess.MessListDblClick();
    QCOMPARE(boxes.last(),
             QStringLiteral("The Format of this message is not correct, cannot send!"));
    QVERIFY(mess.isVisible());
    QVERIFY(mess.MessEdit()->text().isEmpty());
    QVERIFY(mess.MessList()->selectedItems().isEmpty());
    mess.reject();
}

void PagingTest::autoSendHoldsBackTimedEntriesUntilDue() {
    Rig rig;
    TMainForm& f = *rig.form;
    TAutoForm& autoForm = *f.dialogs().autoSend;
    const QString file = autoSendPath(f);
    const QByteArray later = "T" +
                             QByteArray::number(SecondsSince2000() + 3).rightJustified(10, '0') +
                             "11A2400N0000077due soon";
    writeFile(file, later + "\r\n");
    QSignalSpy sent(&f, &TMainForm::pageSent);
    autoForm.TxTimerTimer();
    QCOMPARE(sent.count(), 0);
    QCOMPARE(readFile(file), later + "\r\n");
    QTest::qWait(4100);
    autoForm.TxTimerTimer();
    QTRY_COMPARE(sent.count(), 1);
    QCOMPARE(sentRics(sent), QStringList{QStringLiteral("0000077|due soon")});
    QVERIFY(!QFile::exists(file));
    QVERIFY(!QFile::exists(f.dialogs().mess->listPath())); // the list is not touched
    QVERIFY(!f.autoSend().status().timer);                 // AutoSend is not ticked
}

void PagingTest::autoSendThreeEntriesWithPauses() {
    Rig rig;
    TMainForm& f = *rig.form;
    TAutoForm& autoForm = *f.dialogs().autoSend;
    autoForm.AutoDelay()->setValue(2);
    autoForm.AutoSend()->setChecked(true);
    QVERIFY(f.autoSend().status().timer);
    const QString ric = control<QLineEdit>(f, "RicEdit").text();
    autoForm.edFileName()->clear(); // an empty name stands for "AutoSend.Txt"
    writeFile(QDir(f.ProgramFolder).filePath(QStringLiteral("AutoSend.Txt")),
              "11A2400N0000001one\r\n11A2400N0000002two\n11A2400N0000003three\r\n");
    QElapsedTimer clock;
    std::vector<qint64> at;
    connect(&f, &TMainForm::pageSent, [&] { at.push_back(clock.elapsed()); });
    clock.start();
    // The poll takes the entries and returns; the engine sends them with the pause between.
    autoForm.TxTimerTimer();
    // The engine read the stock name (the hidden field keeps what it held).
    QVERIFY(!QFile::exists(QDir(f.ProgramFolder).filePath(QStringLiteral("AutoSend.Txt"))));
    QVERIFY(!f.autoSend().status().timer); // off while the entries wait
    QTRY_COMPARE_WITH_TIMEOUT(at.size(), size_t{3}, 15000);
    QVERIFY2(at[1] - at[0] >= 2000 && at[2] - at[1] >= 2000, qPrintable(QString::number(at[1])));
    QTRY_VERIFY(f.autoSend().status().timer); // on again once they have gone
    // The window's RIC stays as the operator left it; the listing shows the last page.
    QCOMPARE(control<QLineEdit>(f, "RicEdit").text(), ric);
    QVERIFY(!control<QPlainTextEdit>(f, "DataOut").toPlainText().isEmpty());
}

void PagingTest::autoSendSkipsEmptyLinesAndRefusedEntries() {
    Rig rig;
    TMainForm& f = *rig.form;
    TAutoForm& autoForm = *f.dialogs().autoSend;
    control<QCheckBox>(f, "logpages").setChecked(true);
    writeFile(autoSendPath(f), "\r\nt000000000111A2400N0000001x\r\n\r\n11A2400N0000002ok\r\n");
    QSignalSpy sent(&f, &TMainForm::pageSent);
    BoxWatcher boxes;
    autoForm.TxTimerTimer();
    // Nobody is there to answer a box: the status line and the page log say why, naming
    // the file and the entry.
    QVERIFY(boxes.texts.isEmpty());
    const QString failure = f.statusLine().failureText();
    QVERIFY2(failure.contains(autoForm.edFileName()->text()) &&
                 failure.contains(QStringLiteral("t000000000111A2400N0000001x")) &&
                 failure.endsWith(QStringLiteral(
                     "Error in the message format! The Function bits must be 00 or 01 or 10 or "
                     "11.")),
             qPrintable(failure));
    QTRY_COMPARE(sent.count(), 1);
    QCOMPARE(sentRics(sent), QStringList{QStringLiteral("0000002|ok")});
    const QStringList log =
        QString::fromUtf8(readFile(f.pageLogPath())).split(QStringLiteral("\r\n"));
    QCOMPARE(log.size(), 3); // the refused entry, the page, and the end of the last line
    QVERIFY(log[0].startsWith(failure + QStringLiteral(" - ")));
    QVERIFY(log[1].startsWith(QStringLiteral("0000002 - ok - ")));

    // A page the encoder refuses says why; the entries after it are still sent.
    writeFile(autoSendPath(f),
              "11A2400N0000003" + QByteArray(5000, 'x') + "\r\n11A2400N0000004after\r\n");
    autoForm.TxTimerTimer();
    QVERIFY(boxes.texts.isEmpty());
    QTRY_VERIFY2(f.statusLine().failureText().startsWith(QStringLiteral("Auto send RIC 0000003")),
                 qPrintable(f.statusLine().failureText()));
    QTRY_COMPARE(sent.count(), 2);
    QCOMPARE(sentRics(sent).last(), QStringLiteral("0000004|after"));
}

void PagingTest::autoSendLeavesALockedFileAlone() {
    Rig rig;
    TMainForm& f = *rig.form;
    const QString file = autoSendPath(f);
    writeFile(file, "11A2400N0000001x\r\n");
    writeFile(QDir(f.ProgramFolder).filePath(QStringLiteral("Lock.Lck")), "");
    QSignalSpy sent(&f, &TMainForm::pageSent);
    f.dialogs().autoSend->TxTimerTimer();
    QCOMPARE(sent.count(), 0);
    QCOMPARE(readFile(file), QByteArray("11A2400N0000001x\r\n"));
}

void PagingTest::autoSendWaitsForIdentAndFastSearch() {
    Rig rig;
    TMainForm& f = *rig.form;
    TAutoForm& autoForm = *f.dialogs().autoSend;
    const QString file = autoSendPath(f);
    writeFile(file, "11A2400N0000001x\r\n");
    autoForm.CheckRate()->setValue(60); // only the polls below
    autoForm.AutoSend()->setChecked(true);
    QSignalSpy sent(&f, &TMainForm::pageSent);
    f.dialogs().ident->edIdent()->setText(QStringLiteral("E"));
    bool timerOn = false;
    SendResult arriving{};
    QTimer::singleShot(50, &f, [&] {
        QVERIFY(f.IdentInProgress());
        autoForm.TxTimerTimer(); // a poll while the ident is on air does not start
        QCOMPARE(sent.count(), 0);
        timerOn = f.autoSend().status().timer; // the next tick comes an interval later
        // An auto-send page that arrives meanwhile waits for the ident, then goes.
        PageJob page;
        page.source = TxSource::AutoSend;
        page.page.ric = "77";
        page.page.message = "after the ident";
        arriving = f.station().sendPage(std::move(page));
    });
    QVERIFY(f.sendIdent(true));
    QVERIFY(timerOn);
    QCOMPARE(arriving, SendResult::Queued);
    QCOMPARE(sentRics(sent), QStringList{QStringLiteral("77|after the ident")});
    sent.clear();
    TFastForm* fast = f.dialogs().fastSearch;
    fast->show();
    autoForm.TxTimerTimer();
    QCOMPARE(sent.count(), 0);
    QVERIFY(QFile::exists(file));
    fast->reject(); // closing the dialog hands the transmitter back
    autoForm.TxTimerTimer();
    QTRY_COMPARE(sent.count(), 1);
}

void PagingTest::autoSendTimerStaysOffDuringAPoll() {
    Rig rig;
    TMainForm& f = *rig.form;
    TAutoForm& autoForm = *f.dialogs().autoSend;
    autoForm.AutoSend()->setChecked(true);
    autoForm.AutoDelay()->setValue(1);
    writeFile(autoSendPath(f), "11A2400N0000001x\r\n");
    bool sawTimerOn = false;
    QSignalSpy sent(&f, &TMainForm::pageSent);
    QTimer watch;
    connect(&watch, &QTimer::timeout, [&] {
        if (sent.count() > 0)
            return; // the entry has gone
        // The operator clears and ticks the box while the entry taken waits or is on air.
        autoForm.AutoSend()->setChecked(false);
        autoForm.AutoSend()->setChecked(true);
        sawTimerOn = sawTimerOn || f.autoSend().status().timer;
    });
    watch.start(50);
    autoForm.TxTimerTimer();
    QTRY_COMPARE(sent.count(), 1);
    watch.stop();
    QVERIFY(!sawTimerOn);
    QVERIFY(f.autoSend().status().timer);
}

void PagingTest::autoSendErrorIsReportedAndReleasesTheLock() {
    Rig rig;
    TMainForm& f = *rig.form;
    TAutoForm& autoForm = *f.dialogs().autoSend;
    autoForm.AutoSend()->setChecked(true);
    QVERIFY(QDir().mkpath(autoSendPath(f))); // there, but not readable as a file
    BoxWatcher boxes;
    autoForm.TxTimerTimer();
    QVERIFY(boxes.texts.isEmpty()); // the status line says it
    const QString failure = f.statusLine().failureText();
    QVERIFY2(failure.startsWith(QStringLiteral("Auto send: ") + autoSendPath(f) + ": "),
             qPrintable(failure));
    QVERIFY(!QFile::exists(QDir(f.ProgramFolder).filePath(autoForm.edLockFile()->text())));
    // The timer stays off until the box is ticked again.
    QVERIFY(!f.autoSend().status().timer);
    QCOMPARE(f.autoSend().status().failedPolls, 1);
    autoForm.AutoSend()->setChecked(false);
    autoForm.AutoSend()->setChecked(true);
    QVERIFY(f.autoSend().status().timer);
}

void PagingTest::autoSendFromAWriterProcessOnTheTimer() {
    // The soak test's writer appends pages under the lock file while TxTimer polls every
    // 2 seconds and every page goes on air through the window.
#ifndef TARVEX_SOAK_WRITER
    QSKIP("the writer process is built on Unix-like systems only");
#else
    Rig rig;
    TMainForm& f = *rig.form;
    TAutoForm& autoForm = *f.dialogs().autoSend;
    autoForm.edFileName()->setText(QStringLiteral("Autosend.txt"));
    autoForm.edLockFile()->setText(QStringLiteral("Lock.Lck"));
    autoForm.CheckRate()->setValue(2);
    autoForm.AutoDelay()->setValue(0);
    autoForm.AutoSend()->setChecked(true);
    QSignalSpy sent(&f, &TMainForm::pageSent);
    QProcess writer;
    writer.start(QStringLiteral(TARVEX_SOAK_WRITER), {f.ProgramFolder, QStringLiteral("25"), "9"});
    QVERIFY(writer.waitForStarted());
    QTRY_COMPARE_WITH_TIMEOUT(sent.count(), 25, 120000);
    QVERIFY(writer.state() == QProcess::NotRunning || writer.waitForFinished());
    QCOMPARE(writer.exitCode(), 0);
    for (int i = 0; i < 25; ++i)
        QCOMPARE(sent.at(i).at(1).toString(), QStringLiteral("soak #%1").arg(i + 1));
    QTest::qWait(2500); // one more poll: nothing left, nothing sent twice
    QCOMPARE(sent.count(), 25);
    QVERIFY(!QFile::exists(autoSendPath(f)));
#endif
}

TARVEX_GUI_TEST_MAIN(PagingTest)
#include "test_paging.moc"
