#pragma once
// The About box: what the program is, its logo and its version. Its only button closes it;
// the window has no title-bar buttons.
#include <QDialog>

class QLabel;
class QPushButton;

namespace tarvex {

class TAboutForm : public QDialog {
    Q_OBJECT
public:
    static constexpr const char* Description =
        "Tarvex is a tool for generating POCSAG paging data at 512, 1200, 2400 Baud rates "
        "using a sound card as the output device.";
    static constexpr const char* VersionText = "Version 3.00";

    explicit TAboutForm(QWidget* parent = nullptr);

    QPushButton* button1() const { return m_button1; }
    /// Adds a line under the version, e.g. the folder in use.
    void setFolderNote(const QString& note);

private:
    QPushButton* m_button1 = nullptr;
    QLabel* m_folderNote = nullptr;
};

} // namespace tarvex
