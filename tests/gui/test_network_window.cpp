// The window's network side: the Pagers dialog keeps the directory (a bad entry refused with
// its field), the operator's page to a directory pager's RIC goes out in its character set,
// a page from the SNPP server switched on in the window goes out with its source shown, the
// DAPNET key is kept in its own file and never in the store, and the off-air monitor dialog
// refuses what cannot run.
#include "gui_test_support.h"

#include "app/dapnet_form.h"
#include "app/message_edit.h"
#include "app/monitor_form.h"
#include "app/pagers_form.h"
#include "network/dapnet/auth_key_file.h"
#include "network/dapnet/dapnet_status.h"
#include "network/inputs/network_inputs.h"
#include "network/pager_directory.h"
#include "network/snpp/snpp_input.h"

#include <algorithm>

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFile>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTcpSocket>

#include <sys/stat.h>

using namespace tarvex;
using namespace tarvex::test;

class NetworkWindowTest : public QObject {
    Q_OBJECT
private slots:
    void pagersDialogKeepsTheDirectoryAndRefusesBadEntries();
    void aDirectoryPagersRicGetsItsCharacterSet();
    void snppPageShowsInTheWindowWithItsSource();
    void dapnetKeyIsKeptInItsOwnFileOnly();
    void windowSaysWhichRuleHoldsItsPagesUnderDapnet();
    void monitorDialogRefusesAnInputThatCannotRun();
};

namespace {

void addPager(TPagersForm& form, const QString& id, const QString& ric, int charset) {
    control<QLineEdit>(form, "edPagerId").setText(id);
    control<QLineEdit>(form, "edPagerRic").setText(ric);
    control<QComboBox>(form, "cbCharset").setCurrentIndex(charset);
}

} // namespace

void NetworkWindowTest::pagersDialogKeepsTheDirectoryAndRefusesBadEntries() {
    Rig rig;
    TPagersForm& pagers = *rig.form->dialogs().pagers;
    QTimer::singleShot(0, &pagers, [&] {
        addPager(pagers, QStringLiteral("1001"), QStringLiteral("1234567"), 1);
        QVERIFY(pagers.btAddClick());
        QString said;
        onNextModal([&said](QWidget* box) {
            said = boxText(box);
            pressOk(box);
        });
        addPager(pagers, QStringLiteral("bad id!"), QStringLiteral("1"), 0);
        QVERIFY(!pagers.btAddClick());
        QVERIFY2(said.contains(QStringLiteral("id:")), qPrintable(said));
        pagers.accept();
    });
    pagers.exec();
    PagerDirectory read;
    std::string error;
    QVERIFY(read.load(pagers.directoryPath().toStdString(), &error));
    QCOMPARE(read.pagers().size(), size_t{1});
    QCOMPARE(read.pagers()[0].charset, Charset::German);
}

void NetworkWindowTest::aDirectoryPagersRicGetsItsCharacterSet() {
    Rig rig;
    PagerDirectory directory;
    std::string error;
    Pager pager;
    pager.id = "1001";
    pager.ric = 1234567;
    pager.charset = Charset::German;
    QVERIFY(directory.add(pager, &error));
    QVERIFY(
        directory.save(rig.folder.filePath(QStringLiteral("Pagers.txt")).toStdString(), &error));
    std::string sent;
    rig.form->station().subscribe([&sent](const StationEvent& e) {
        if (e.kind == StationEvent::Kind::Ended && !e.outcome->pages.empty())
            sent = e.outcome->pages[0].bytes;
    });
    control<QLineEdit>(*rig.form, "RicEdit").setText(QStringLiteral("1234567"));
    control<MessageEdit>(*rig.form, "MsgEdit").setPlainText(QStringLiteral("Grüße"));
    rig.form->TxButtonClick();
    QCOMPARE(QString::fromStdString(sent), QStringLiteral("Gr}~e"));
    const auto& history = rig.form->statusLine().history();
    QVERIFY(std::any_of(history.begin(), history.end(), [](const StatusLine::Entry& e) {
        return e.text.contains(QStringLiteral("German"));
    }));
    // Any other RIC keeps the plain 8-bit text.
    control<QLineEdit>(*rig.form, "RicEdit").setText(QStringLiteral("765432"));
    control<MessageEdit>(*rig.form, "MsgEdit").setPlainText(QStringLiteral("Grüße"));
    rig.form->TxButtonClick();
    QCOMPARE(QString::fromLatin1(sent), QStringLiteral("Grüße"));
}

void NetworkWindowTest::snppPageShowsInTheWindowWithItsSource() {
    Rig rig;
    control<QCheckBox>(*rig.form, "logpages").setChecked(true);
    PagerDirectory directory;
    std::string error;
    Pager pager;
    pager.id = "77";
    pager.ric = 77;
    QVERIFY(directory.add(pager, &error));
    QVERIFY(
        directory.save(rig.folder.filePath(QStringLiteral("Pagers.txt")).toStdString(), &error));
    rig.form->NetworkChoice.snpp = {true, {"127.0.0.1"}, 0};
    rig.form->startNetwork();
    const uint16_t port = rig.form->network()->find<SnppInput>()->port();
    QVERIFY(port != 0);
    QTcpSocket client;
    client.connectToHost(QStringLiteral("127.0.0.1"), port);
    QVERIFY(client.waitForConnected(5000));
    for (const char* line : {"PAGE 77\r\n", "MESS From the network\r\n", "SEND\r\n"})
        client.write(line);
    QSignalSpy sent(rig.form.get(), &TMainForm::pageSent);
    QVERIFY(sent.wait(15000));
    QCOMPARE(sent.at(0).at(1).toString(), QStringLiteral("From the network"));
    QVERIFY(control<QPlainTextEdit>(*rig.form, "DataOut")
                .toPlainText()
                .contains(QStringLiteral("7CD215D8")));
    // The operator's own fields were left as they were.
    QCOMPARE(control<QLineEdit>(*rig.form, "RicEdit").text(), QStringLiteral("1234567"));
    QFile log(rig.form->pageLogPath());
    QVERIFY(log.open(QIODevice::ReadOnly));
    QVERIFY(log.readAll().startsWith("77 - From the network - "));
}

void NetworkWindowTest::dapnetKeyIsKeptInItsOwnFileOnly() {
    Rig rig;
    const QString keyFile = rig.folder.filePath(QStringLiteral("key/DapnetAuthKey"));
    TDapnetForm form(keyFile);
    control<QLineEdit>(form, "edDapnetKey").setText(QStringLiteral("s3cret"));
    QVERIFY(form.saveKey());
    struct stat st {};
    QCOMPARE(::stat(keyFile.toLocal8Bit().constData(), &st), 0);
    QCOMPARE(st.st_mode & 0777, 0600u);
    std::string error;
    QCOMPARE(readAuthKeyFile(keyFile.toStdString(), &error).value_or(""), std::string("s3cret"));
    rig.form->NetworkChoice.dapnet = form.settings();
    QVERIFY(rig.form->SaveSettings());
    QFile store(rig.form->settingsLocation());
    QVERIFY(store.open(QIODevice::ReadOnly));
    QVERIFY(!store.readAll().contains("s3cret"));
}

void NetworkWindowTest::monitorDialogRefusesAnInputThatCannotRun() {
    TMonitorForm form;
    MonitorSettings s;
    s.enabled = true;
    s.input = "command:";
    form.setSettings(s);
    QSignalSpy changed(&form, &TMonitorForm::settingsChanged);
    QString said;
    onNextModal([&said](QWidget* box) {
        said = boxText(box);
        pressOk(box);
    });
    QTimer::singleShot(0, &form, [&form] {
        control<QDialogButtonBox>(form, "").button(QDialogButtonBox::Ok)->click();
        form.reject();
    });
    form.exec();
    QVERIFY(!said.isEmpty());
    QCOMPARE(changed.count(), 0);
}

TARVEX_GUI_TEST_MAIN(NetworkWindowTest)
#include "test_network_window.moc"

void NetworkWindowTest::windowSaysWhichRuleHoldsItsPagesUnderDapnet() {
    // A link configured but never connected keyed the window's pages at once without a word.
    const struct {
        DapnetLinkState state;
        std::optional<uint16_t> assigned; ///< the slots assigned (none: never)
        const char* rule;
    } cases[] = {
        {DapnetLinkState::BackingOff, std::nullopt,
         "DAPNET link not connected: pages from this window go out at once"},
        {DapnetLinkState::Online, std::nullopt,
         "DAPNET has assigned no time slots yet: pages from this window go out at once"},
        {DapnetLinkState::Online, uint16_t{0x0015},
         "Keying only in DAPNET slots 0, 2, 4: pages from this window wait for one"},
        {DapnetLinkState::Refused, uint16_t{0},
         "DAPNET allows no time slot: pages from this window wait until it assigns one"},
    };
    for (const auto& c : cases) {
        DapnetLinkStatus status;
        status.state = c.state;
        if (c.assigned)
            status.allowedSlots = TimeSlots(*c.assigned);
        QCOMPARE(windowPageRule(status, 0), QString::fromLatin1(c.rule));
    }
}
