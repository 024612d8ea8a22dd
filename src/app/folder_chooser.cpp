#include "app/folder_chooser.h"

#include <QDir>
#include <QFileInfo>
#include <QMessageBox>

namespace tarvex {

FolderChooser::FolderChooser(QWidget* parent, const QString& startFolder)
    : QFileDialog(parent, QStringLiteral("Select Directory"), startFolder) {
    setObjectName(QStringLiteral("FolderChooser"));
    setFileMode(QFileDialog::Directory);
    setOption(QFileDialog::ShowDirsOnly, true);
    // The platform dialog cannot be asked to offer creating a typed folder.
    setOption(QFileDialog::DontUseNativeDialog, true);
    setAcceptMode(QFileDialog::AcceptOpen);
}

QString FolderChooser::choose(QWidget* parent, const QString& startFolder,
                              const QString& fallbackFolder) {
    const QString start = QFileInfo(startFolder).isDir() ? startFolder : fallbackFolder;
    FolderChooser chooser(parent, start);
    if (chooser.exec() != QDialog::Accepted || chooser.selectedFiles().isEmpty())
        return {};
    return QDir::cleanPath(chooser.selectedFiles().constFirst());
}

void FolderChooser::accept() {
    const QStringList chosen = selectedFiles();
    if (chosen.isEmpty()) {
        QFileDialog::accept();
        return;
    }
    const QString folder = chosen.constFirst();
    const QFileInfo info(folder);
    if (!info.exists()) {
        const auto answer =
            QMessageBox::question(this, windowTitle(), QString::fromLatin1(CreateQuestion),
                                  QMessageBox::Yes | QMessageBox::No);
        if (answer != QMessageBox::Yes)
            return; // stay open
        if (!QDir().mkpath(folder)) {
            QMessageBox::warning(this, windowTitle(),
                                 QStringLiteral("Cannot create the folder \"%1\".").arg(folder));
            return;
        }
    } else if (!info.isDir()) {
        QMessageBox::warning(this, windowTitle(),
                             QStringLiteral("\"%1\" is a file, not a folder.").arg(folder));
        return;
    }
    QFileDialog::accept();
}

} // namespace tarvex
