#pragma once
// The data-folder chooser: a folder dialog captioned "Select Directory" that also accepts
// the name of a folder that does not exist yet, asks whether to create it, and creates it
// together with any missing folders above it.
#include <QFileDialog>

namespace tarvex {

class FolderChooser : public QFileDialog {
    Q_OBJECT
public:
    static constexpr const char* CreateQuestion =
        "The specified directory does not exist. Create it?";

    FolderChooser(QWidget* parent, const QString& startFolder);

    /// Runs the chooser at startFolder, or at fallbackFolder when startFolder does not
    /// exist. The chosen folder without a trailing separator, or empty on cancel.
    static QString choose(QWidget* parent, const QString& startFolder,
                          const QString& fallbackFolder);

public slots:
    void accept() override;
};

} // namespace tarvex
