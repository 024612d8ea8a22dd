#pragma once
// Shared by the window fault tests: file helpers, a full disk for the length of a scope, a
// catcher that answers every message box, and a page sent with its on-air framing checked.
#include "gui_test_support.h"

#include <QAbstractButton>
#include <QFile>
#include <QMessageBox>
#include <QSettings>

#include <csignal>
#include <memory>
#include <sys/resource.h>

namespace tarvex::test::faults {

inline QByteArray fileBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

inline void putFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(bytes), bytes.size());
}

/// Files may not grow beyond `bytes` while it lives (a full disk); SIGXFSZ is ignored so
/// that the write fails with EFBIG instead of ending the process.
class DiskFull {
public:
    explicit DiskFull(rlim_t bytes) {
        m_oldSignal = std::signal(SIGXFSZ, SIG_IGN);
        ::getrlimit(RLIMIT_FSIZE, &m_old);
        const rlimit limit{bytes, m_old.rlim_max};
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~DiskFull() {
        ::setrlimit(RLIMIT_FSIZE, &m_old);
        std::signal(SIGXFSZ, m_oldSignal);
    }
    DiskFull(const DiskFull&) = delete;
    DiskFull& operator=(const DiskFull&) = delete;

private:
    rlimit m_old{};
    void (*m_oldSignal)(int) = nullptr;
};

/// Sends the page standing in the window; returns the text of the message box it showed
/// (empty: none) after checking that the page went on air whole: keyed, played, released.
inline QString sendAndWatch(Rig& rig) {
    rig.trace.clear();
    BoxWatcher boxes;
    const auto result = rig.form->TxButtonClick();
    std::vector<std::string> onAir;
    for (const auto& e : rig.trace.events())
        if (onAir.empty() || onAir.back() != e.what)
            onAir.push_back(e.what);
    const std::vector<std::string> framed{"key", "play", "release"};
    if (result != SendResult::Sent || onAir != framed)
        return QStringLiteral("page not framed key, play, release");
    return boxes.texts.join(QStringLiteral("|"));
}

inline QStringList logLines(const QString& path) {
    QStringList lines = QString::fromUtf8(fileBytes(path)).split(QStringLiteral("\r\n"));
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

inline RigOptions storeIn(const QTemporaryDir& dir) {
    RigOptions options;
    options.settingsFile = dir.filePath(QStringLiteral("Tarvex.ini"));
    return options;
}

inline QString storedValue(const QString& file, const char* name) {
    QSettings store(file, QSettings::IniFormat);
    return store.value(QStringLiteral("Tarvex/%1").arg(QLatin1String(name))).toString();
}

/// Presses a button of the next message box (the others are left alone) after running
/// `before`; the box's text goes into *seen.
inline void answerNextBox(QMessageBox::StandardButton button, std::shared_ptr<QStringList> seen,
                          std::function<void()> before = {}) {
    onNextModal([=](QWidget* w) {
        seen->append(boxText(w));
        if (before)
            before();
        auto* box = qobject_cast<QMessageBox*>(w);
        if (box != nullptr && box->button(button) != nullptr)
            box->button(button)->click();
        else
            pressOk(w);
    });
}

} // namespace tarvex::test::faults
