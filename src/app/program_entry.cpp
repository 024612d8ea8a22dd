#include "app/program_entry.h"

#include "app/about_form.h"
#include "app/auto_form.h"
#include "app/fast_form.h"
#include "app/ident_form.h"
#include "app/keying_form.h"
#include "app/main_form.h"
#include "app/mess_form.h"
#include "app/rs_form.h"
#include "app/single_instance.h"
#include "app/status_line.h"
#include "app/sync_idle_form.h"

#include <QApplication>
#include <QIcon>

namespace tarvex {

MainFormDialogs createDialogs(TMainForm& form) {
    MainFormDialogs d;
    d.about = new TAboutForm(&form);
    d.about->setFolderNote(QStringLiteral("Program folder: %1").arg(form.ProgramFolder));
    d.mess = new TMessForm(form);
    d.autoSend = new TAutoForm(form.TxTimer, &form);
    d.ident = new TIdentForm(form, &form);
    d.keying = new TKeyingForm(&form);
    d.ricSearch = new TRSForm(form);
    d.fastSearch = new TFastForm(form);
    d.syncIdle = new TSIForm(form.encoder(), &form);
    form.setDialogs(d);
    return d;
}

int runProgram(int argc, char** argv) {
    QApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("dovrik-apps"));
    QCoreApplication::setApplicationName(QStringLiteral("Tarvex"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/tarvex/tarvex.png")));

    // A second copy of the same program hands over to the first and ends quietly.
    SingleInstanceGuard guard(
        SingleInstanceGuard::titleFor(QCoreApplication::applicationFilePath()));
    if (guard.handOver())
        return 0;

    MainFormSetup setup;
    // Headless stations and tests may choose the output (e.g. "wav:/tmp/page.wav").
    const QByteArray audio = qgetenv("TARVEX_AUDIO");
    if (!audio.isEmpty())
        setup.audioChoice = audio.toStdString();
    TMainForm form(std::move(setup));
    createDialogs(form);
    QObject::connect(&guard, &SingleInstanceGuard::activationRequested, &form,
                     &TMainForm::bringForward);
    form.show();
    return app.exec();
}

} // namespace tarvex
