#pragma once
// The program's own help window: the installed HTML help in a text browser, for desktops
// where neither the old help file nor a web browser can be opened.
#include <QWidget>

class QTextBrowser;

namespace tarvex {

class HelpWindow : public QWidget {
    Q_OBJECT
public:
    explicit HelpWindow(QWidget* parent = nullptr);

    /// Shows the document at `path` (an HTML file; its links and pictures resolve beside it).
    void showDocument(const QString& path);
    QTextBrowser* browser() const { return m_browser; }

private:
    QTextBrowser* m_browser = nullptr;
};

} // namespace tarvex
