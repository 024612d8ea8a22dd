// The start-up sequence: run once, when the main window is first activated, it loads the
// settings, refuses a platform the program cannot serve, switches the timers on as
// configured, derives the sync and idle codewords and leaves the transmitter released.
#include "app/auto_form.h"
#include "app/dialog_support.h"
#include "app/ident_form.h"
#include "app/main_form.h"
#include "app/picture_button.h"
#include "app/status_line.h"
#include "app/sync_idle_form.h"
#include "encoder/conversions.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QTimer>

namespace tarvex {

namespace {

/// The text when it is a hexadecimal codeword, else the stock text (noted in *fellBack).
std::string usableCodewordText(const std::string& text, std::string_view stock,
                               QStringList* fellBack, const QString& name) {
    if (hexToCodeword(text))
        return text;
    fellBack->append(QStringLiteral("%1 \"%2\"").arg(name, QString::fromStdString(text)));
    return std::string(stock);
}

} // namespace

void TMainForm::FormActivate() {
    m_activated = true;
    // 1-4: the start-up selection (no click actions), the focus, the settings, the fold.
    for (auto* b : {FB4, AN1, BR2, NI1})
        b->setChecked(true);
    RicEdit->setFocus();
    LoadSettings();
    openStoredAudio();
    Options1Click();

    // 5: the platform check; a refused platform closes (and saves) once this has returned.
    PlatformCode = m_platformCode ? *m_platformCode : PlatformCheck();
    if (PlatformCode < 1) {
        showPlainMessage(this, QStringLiteral("Tarvex can only be run on a 32bit OS, "
                                              "Win9x/ME/NT/2000/XP\r\nTarvex will now close."));
        QTimer::singleShot(0, this, &QWidget::close);
    }

    // 6: auto send as its check box says.
    if (m_dialogs.autoSend != nullptr)
        m_dialogs.autoSend->AutoSendClick();

    // 7-8: the codewords from their texts. A stored text that is not hexadecimal gives way to
    // the stock text, so that the program still starts whole; the status line says so.
    QStringList fellBack;
    const std::string sync =
        usableCodewordText(m_storedSync, StockSyncText, &fellBack, QStringLiteral("Sync"));
    const std::string idle =
        usableCodewordText(m_storedIdle, StockIdleText, &fellBack, QStringLiteral("Idle"));
    m_station->setSyncIdle(sync, idle);
    if (!fellBack.isEmpty())
        m_status->note(QStringLiteral("Stored %1 is not hexadecimal; the stock value is used.")
                           .arg(fellBack.join(QStringLiteral(" and "))));
    if (m_dialogs.syncIdle != nullptr)
        m_dialogs.syncIdle->setFields(QString::fromStdString(sync), QString::fromStdString(idle));

    // 9-12: the ident timer on, the generator asynchronous (the station's own way),
    // Duration 1000 ms, released.
    if (m_dialogs.ident != nullptr)
        m_dialogs.ident->setTimerEnabled(true);
    m_station->setSignal({.durationMs = 1000});
    m_station->releaseNow();
    // Beyond the sequence: the network inputs and the off-air monitor, as stored.
    startNetwork();
}

} // namespace tarvex
