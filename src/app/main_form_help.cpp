// Help > Help: first "Tarvex.chm" from the current folder, as the program always did; where
// that cannot be opened (no such file, or no viewer for it), the HTML help installed with
// the program, in the desktop's browser or, without one, in the program's own help window;
// only when there is no help at all, the message that the help file is missing. Also the
// message history and the page log.
#include "app/dialog_support.h"
#include "app/help_window.h"
#include "app/main_form.h"
#include "app/message_history_form.h"
#include "app/page_log_form.h"
#include "app/status_line.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QUrl>

namespace tarvex {

QStringList helpDocumentCandidates(const QString& executableFolder) {
    const QDir exe(executableFolder.isEmpty() ? QCoreApplication::applicationDirPath()
                                              : executableFolder);
    // Installed: <prefix>/bin/tarvex beside <prefix>/share/tarvex/help (the build tree copies
    // it to the same place); a relocated copy may keep it in help/ beside the executable.
    return {QDir::cleanPath(exe.filePath(QStringLiteral("../share/tarvex/help/tarvex-help.html"))),
            QDir::cleanPath(exe.filePath(QStringLiteral("help/tarvex-help.html")))};
}

QString findHelpDocument(const QString& executableFolder) {
    for (const QString& path : helpDocumentCandidates(executableFolder)) {
        if (QFileInfo(path).isFile())
            return path;
    }
    return {};
}

void TMainForm::Help2Click() {
    const auto open = [this](const QString& path) {
        const QUrl url = QUrl::fromLocalFile(path);
        return m_openUrl ? m_openUrl(url) : QDesktopServices::openUrl(url);
    };
    // The bare name, looked up in the current working folder.
    const QString chm = QDir::current().absoluteFilePath(QStringLiteral("Tarvex.chm"));
    if (QFileInfo::exists(chm) && open(chm))
        return;
    const QString html = findHelpDocument(m_executableFolder);
    if (!html.isEmpty() && open(html))
        return;
    if (!html.isEmpty()) {
        showHelpWindow(html);
        return;
    }
    showPlainMessage(this, QStringLiteral("Cannot fine the 'Tarvex.chm' help file !"));
}

void TMainForm::showHelpWindow(const QString& path) {
    auto* window = qobject_cast<HelpWindow*>(m_helpWindow.data());
    if (window == nullptr) {
        window = new HelpWindow(this); // owned by the main window, kept for the next time
        m_helpWindow = window;
    }
    window->showDocument(path);
    window->show();
    window->raise();
    window->activateWindow();
}

void TMainForm::MessageHistory1Click() {
    MessageHistoryForm history(m_status->history(), this);
    showDialog(&history);
}

void TMainForm::PageLog1Click() {
    PageLogForm log(pageLogPath(), this);
    showDialog(&log);
}

} // namespace tarvex
