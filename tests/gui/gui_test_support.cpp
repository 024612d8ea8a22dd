#include "gui_test_support.h"

#include "app/about_form.h"
#include "app/audio_form.h"
#include "app/auto_form.h"
#include "app/dapnet_form.h"
#include "app/fast_form.h"
#include "app/ident_form.h"
#include "app/keying_form.h"
#include "app/mess_form.h"
#include "app/monitor_form.h"
#include "app/pagers_form.h"
#include "app/program_entry.h"
#include "app/rs_form.h"
#include "app/sync_idle_form.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QMessageBox>

#include <sys/stat.h>

namespace tarvex::test {

QTemporaryDir& privateHome() {
    static QTemporaryDir home;
    const QByteArray root = home.path().toLocal8Bit();
    qputenv("HOME", root);
    qputenv("XDG_CONFIG_HOME", root + "/config");
    qputenv("XDG_DATA_HOME", root + "/data");
    qputenv("XDG_CACHE_HOME", root + "/cache");
    const QByteArray runtime = root + "/runtime";
    QDir().mkpath(QString::fromLocal8Bit(runtime));
    ::chmod(runtime.constData(), 0700);
    qputenv("XDG_RUNTIME_DIR", runtime);
    return home;
}

void setDataFolder(TMainForm& form, const QString& folder) {
    form.DataFolder = folder;
    Station::Options o = form.station().options();
    o.logPages = control<QCheckBox>(form, "logpages").isChecked();
    o.dataFolder = folder.toStdString();
    form.station().setOptions(o);
}

Rig::Rig(const RigOptions& options) : m_wavFile(options.wavFile) {
    port = std::make_shared<TracingPort>(trace);
    std::string error;
    audio = std::make_shared<TracingAudio>(
        trace, makeCoreAudioOutput("wav:" + wavPath().toStdString(), &error));
    MainFormSetup setup;
    setup.programFolder = folder.path();
    setup.audio = audio;
    setup.port = port;
    setup.portName = QStringLiteral("recording port");
    setup.settingsFile = options.settingsFile.isEmpty()
                             ? folder.filePath(QStringLiteral("Tarvex.ini"))
                             : options.settingsFile;
    setup.platformCode = options.platformCode;
    form = std::make_unique<TMainForm>(std::move(setup));
    createDialogs(*form);
    form->show();
    (void)QTest::qWaitForWindowActive(form.get(), 2000);
    if (!form->started())
        form->FormActivate(); // platforms without window activation
    QApplication::processEvents();
}

Rig::~Rig() {
    form->close();
    form.reset();
}

void onNextModal(std::function<void(QWidget*)> action, int timeoutMs) {
    auto* timer = new QTimer;
    auto* clock = new QElapsedTimer;
    clock->start();
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, clock, action, timeoutMs] {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal != nullptr && modal->isVisible()) {
            timer->stop();
            action(modal);
        } else if (clock->elapsed() <= timeoutMs) {
            return;
        }
        timer->stop();
        timer->deleteLater();
        delete clock;
    });
    timer->start();
}

QString boxText(QWidget* window) {
    if (auto* box = qobject_cast<QMessageBox*>(window))
        return box->text();
    return {};
}

void pressOk(QWidget* window) {
    if (auto* box = qobject_cast<QMessageBox*>(window)) {
        QAbstractButton* ok = box->button(QMessageBox::Ok);
        if (ok == nullptr && !box->buttons().isEmpty())
            ok = box->buttons().constFirst();
        if (ok != nullptr) {
            ok->click();
            return;
        }
    }
    if (auto* dialog = qobject_cast<QDialog*>(window))
        dialog->reject();
}

QList<QPair<QWidget*, QString>> namedDialogs(const MainFormDialogs& d) {
    return {{d.about, "about"},
            {d.mess, "message-list"},
            {d.autoSend, "auto-send"},
            {d.ident, "station-ident"},
            {d.keying, "keying"},
            {d.ricSearch, "ric-search"},
            {d.fastSearch, "fast-search"},
            {d.syncIdle, "sync-idle"},
            {d.audio, "audio-output"},
            {d.pagers, "pagers"},
            {d.dapnet, "dapnet"},
            {d.monitor, "off-air-monitor"}};
}

void typeInto(QWidget* widget, const QString& text) {
    for (const QChar c : text)
        QTest::keyClick(widget, c.toLatin1());
}

} // namespace tarvex::test
