// The Sync & Idle dialog and the About box, opened from the real menu and driven through
// their controls.
#include "gui_test_support.h"

#include "app/about_form.h"
#include "app/keying_form.h"
#include "app/sync_idle_form.h"
#include "encoder/page_encoder.h"

#include <QAction>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>

using namespace tarvex;
using namespace tarvex::test;

class DialogsTest : public QObject {
    Q_OBJECT
private slots:
    void syncIdleDefaults();
    void syncIdleTakesLowerCase();
    void syncIdleRefusesFieldThatDoesNotConvert();
    void syncIdleFiltersKeys();
    void syncIdleCloseBoxAppliesNothing();
    void newSyncReachesTheNextTransmission();
    void aboutBox();
    void everyDialogOpensCentredOverTheWindow();
    void keyingDialogDrivesThePort();
    void keyingDialogPicksLpt1WhenNoPortIsSelected();
};

namespace {

// Opens the Sync & Idle dialog through the menu and runs action inside it.
void withSyncIdle(TMainForm& f, const std::function<void(TSIForm&)>& action) {
    onNextModal([&](QWidget* w) {
        auto* form = qobject_cast<TSIForm*>(w);
        if (form != nullptr)
            action(*form);
        // A failed check inside the action returns early: never leave the dialog open.
        if (w->isVisible())
            qobject_cast<QDialog*>(w)->reject();
    });
    control<QAction>(f, "SyncIdleValues1").trigger();
}

} // namespace

void DialogsTest::syncIdleDefaults() {
    Rig rig;
    TMainForm& f = *rig.form;
    f.station().setSyncIdle("12345678", "9ABCDEF0");
    bool closed = false;
    withSyncIdle(f, [&](TSIForm& d) {
        QCOMPARE(d.windowTitle(), QStringLiteral("Sync & Idle CW values"));
        QCOMPARE(d.size(), QSize(300, 146)); // the whole title fits a title bar
        // Centred over the main window (within the frame the platform adds after showing).
        QVERIFY((d.frameGeometry().center() - f.frameGeometry().center()).manhattanLength() <= 6);
        QTest::mouseClick(d.btDefaults(), Qt::LeftButton);
        closed = !d.isVisible();
    });
    QVERIFY(closed);
    QCOMPARE(f.station().encoding().sync, 0x7CD215D8u);
    QCOMPARE(f.station().encoding().idle, 0x7A89C197u);
    QCOMPARE(f.station().encoding().syncText, std::string("7CD215D8"));
    QCOMPARE(f.dialogs().syncIdle->edSync()->text(), QStringLiteral("7CD215D8"));
    QCOMPARE(f.dialogs().syncIdle->edIdle()->text(), QStringLiteral("7A89C197"));
}

void DialogsTest::syncIdleTakesLowerCase() {
    Rig rig;
    TMainForm& f = *rig.form;
    withSyncIdle(f, [&](TSIForm& d) {
        d.edSync()->clear();
        typeInto(d.edSync(), QStringLiteral("7cd215d9"));
        d.edIdle()->clear();
        typeInto(d.edIdle(), QStringLiteral("0000001f"));
        QTest::mouseClick(d.btDone(), Qt::LeftButton);
    });
    QCOMPARE(f.station().encoding().syncText, std::string("7cd215d9")); // stored as typed
    QCOMPARE(f.station().encoding().sync, 0x7CD215D9u);
    QCOMPARE(f.station().encoding().idleText, std::string("0000001f"));
    QCOMPARE(f.station().encoding().idle, 0x0000001Fu);
}

void DialogsTest::syncIdleRefusesFieldThatDoesNotConvert() {
    Rig rig;
    TMainForm& f = *rig.form;
    QString message;
    bool stillOpen = false;
    withSyncIdle(f, [&](TSIForm& d) {
        d.edSync()->setText(QStringLiteral("11111111"));
        d.edIdle()->clear();
        onNextModal([&](QWidget* box) {
            message = boxText(box);
            pressOk(box);
        });
        QTest::mouseClick(d.btDone(), Qt::LeftButton);
        stillOpen = d.isVisible();
        // A pasted text that is not hexadecimal is reported with its "$".
        d.edIdle()->setText(QStringLiteral("0x12"));
        QString second;
        onNextModal([&](QWidget* box) {
            second = boxText(box);
            pressOk(box);
        });
        QTest::mouseClick(d.btDone(), Qt::LeftButton);
        QVERIFY2(second.contains(QStringLiteral("\"0x12\" is not that")), qPrintable(second));
        d.reject();
    });
    QVERIFY2(message.startsWith(QStringLiteral("The idle codeword needs eight hexadecimal")),
             qPrintable(message));
    QVERIFY(stillOpen);
    QCOMPARE(f.station().encoding().sync, 0x7CD215D8u); // neither codeword changed
    QCOMPARE(f.station().encoding().syncText, std::string("7CD215D8"));
    QCOMPARE(f.station().encoding().idle, 0x7A89C197u);
}

void DialogsTest::syncIdleFiltersKeys() {
    Rig rig;
    TMainForm& f = *rig.form;
    withSyncIdle(f, [&](TSIForm& d) {
        d.edSync()->clear();
        typeInto(d.edSync(), QStringLiteral("aGbz9F x"));
        QCOMPARE(d.edSync()->text(), QStringLiteral("ab9F"));
        QTest::keyClick(d.edSync(), Qt::Key_Backspace);
        QCOMPARE(d.edSync()->text(), QStringLiteral("ab9"));
        typeInto(d.edSync(), QStringLiteral("0123456"));
        QCOMPARE(d.edSync()->text().size(), 8);
        d.reject();
    });
}

void DialogsTest::syncIdleCloseBoxAppliesNothing() {
    Rig rig;
    TMainForm& f = *rig.form;
    withSyncIdle(f, [&](TSIForm& d) {
        d.edSync()->setText(QStringLiteral("ABCD"));
        d.close(); // the title-bar close box
    });
    QCOMPARE(f.station().encoding().sync, 0x7CD215D8u);
    QString shown;
    withSyncIdle(f, [&](TSIForm& d) {
        shown = d.edSync()->text();
        d.close();
    });
    QCOMPARE(shown, QStringLiteral("ABCD")); // the unapplied text is still there
}

void DialogsTest::newSyncReachesTheNextTransmission() {
    Rig rig;
    TMainForm& f = *rig.form;
    withSyncIdle(f, [&](TSIForm& d) {
        d.edSync()->setText(QStringLiteral("12345678"));
        QTest::mouseClick(d.btDone(), Qt::LeftButton);
    });
    f.TxButtonClick();
    QCOMPARE(f.station().lastCodewords()[PageEncoder::FirstBatchSlot], 0x12345678u);
    QVERIFY(
        control<QPlainTextEdit>(f, "DataOut").toPlainText().contains(QStringLiteral("12345678")));
}

void DialogsTest::aboutBox() {
    Rig rig;
    TMainForm& f = *rig.form;
    QStringList texts;
    bool logoShown = false;
    Qt::WindowFlags flags;
    QSize size;
    onNextModal([&](QWidget* w) {
        auto* about = qobject_cast<TAboutForm*>(w);
        QVERIFY(about != nullptr);
        flags = about->windowFlags();
        size = about->size();
        for (auto* label : about->findChildren<QLabel*>())
            texts << label->text();
        auto* logo = about->findChild<QLabel*>(QStringLiteral("Logo"));
        logoShown = logo != nullptr && !logo->pixmap().isNull() && logo->pixmap().width() <= 98 &&
                    logo->pixmap().height() <= 88;
        QTest::mouseClick(about->button1(), Qt::LeftButton);
    });
    control<QAction>(f, "About1").trigger();
    QCOMPARE(size, QSize(307, 247));
    QVERIFY(!(flags & Qt::WindowCloseButtonHint));
    QVERIFY(!(flags & Qt::WindowSystemMenuHint));
    QVERIFY(texts.contains(QString::fromLatin1(TAboutForm::Description)));
    QVERIFY(texts.contains(QStringLiteral("Version 3.00")));
    QVERIFY(texts.join('\n').contains(f.ProgramFolder)); // the folder in use
    QVERIFY(logoShown);
}

void DialogsTest::everyDialogOpensCentredOverTheWindow() {
    // Dialogs laid out by a layout have their size only once shown: each one too.
    Rig rig;
    TMainForm& f = *rig.form;
    for (const char* item : {"AutoSendOptions1", "StationIdent1", "Keying1", "SyncIdleValues1",
                             "AudioOutput1", "Pagers1", "Dapnet1", "Monitor1", "RICCAPSearch1",
                             "FastRICSearch1", "MessageHistory1", "PageLog1", "About1"}) {
        int off = -1;
        onNextModal([&](QWidget* w) {
            off = (w->frameGeometry().center() - f.frameGeometry().center()).manhattanLength();
            qobject_cast<QDialog*>(w)->reject();
        });
        control<QAction>(f, item).trigger();
        QVERIFY2(off >= 0 && off <= 6, qPrintable(QStringLiteral("%1: %2 px").arg(item).arg(off)));
    }
}

void DialogsTest::keyingDialogDrivesThePort() {
    Rig rig;
    TMainForm& f = *rig.form;
    rig.port->clear();
    RecordingPortWriter::Write afterInvKey{};
    onNextModal([&](QWidget* w) {
        auto* keying = qobject_cast<TKeyingForm*>(w);
        if (keying != nullptr) {
            QCOMPARE(keying->windowTitle(), QStringLiteral("Keying"));
            keying->Port()->setCurrentIndex(1);
            keying->Pin()->button(3)->click();
            keying->KeyDelay()->stepUp(); // 300 ms
            keying->InvKey()->click();
            if (!rig.port->writes().empty())
                afterInvKey = rig.port->writes().back();
        }
        if (w->isVisible())
            qobject_cast<QDialog*>(w)->accept();
    });
    control<QAction>(f, "Keying1").trigger();
    // Ticking "Inverted Keying" released at once with the new polarity.
    QCOMPARE(afterInvKey, (RecordingPortWriter::Write{0x278, 0x08}));
    QCOMPARE(f.keying().Pin, 3);
    QCOMPARE(f.keying().KeyDelay, 300);
    QVERIFY(f.statusLine().portText().startsWith(QStringLiteral("Port: LPT2")));

    rig.trace.clear();
    QCOMPARE(f.TxButtonClick(), SendResult::Sent);
    const auto& events = rig.trace.events();
    QCOMPARE(events.size(), size_t{3});
    QCOMPARE(events[0].value, uint8_t{0x00}); // keyed: active low
    QCOMPARE(events[1].what, std::string("play"));
    QVERIFY(events[1].atMs - events[0].atMs >= 299);
    QCOMPARE(rig.port->writes().back(), (RecordingPortWriter::Write{0x278, 0x08}));
}

void DialogsTest::keyingDialogPicksLpt1WhenNoPortIsSelected() {
    Rig rig;
    TMainForm& f = *rig.form;
    KeyingSettings none;
    none.Port = 5; // as a stored index that names no port
    none.Pin = -1;
    f.dialogs().keying->setSettings(none);
    QCOMPARE(f.keying().Port, -1);
    QCOMPARE(f.keying().Pin, -1);
    int shownPort = -2;
    onNextModal([&](QWidget* w) {
        if (auto* keying = qobject_cast<TKeyingForm*>(w))
            shownPort = keying->Port()->currentIndex();
        qobject_cast<QDialog*>(w)->accept();
    });
    control<QAction>(f, "Keying1").trigger();
    QCOMPARE(shownPort, 0);
    QCOMPARE(f.keying().Port, 0);
    QCOMPARE(f.keying().Pin, -1); // the pin stays unchosen
}

TARVEX_GUI_TEST_MAIN(DialogsTest)
#include "test_dialogs.moc"
