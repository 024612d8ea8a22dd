#pragma once
// Shared by the GUI tests: a private home for every test program (so the user's settings
// and folders are never touched), acting on the next modal window, and a main window
// wired to a recording port and a recording audio output.
#include "app/main_form.h"
#include "app/status_line.h"
#include "recording_port_writer.h"
#include "signal/audio_output.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace tarvex::test {

/// The window's control of that object name and type. A missing control fails the running
/// test (if any) and throws, so nothing runs on against a control that is not there.
template <typename T> T& control(QObject& window, const char* name) {
    T* found = window.findChild<T*>(QLatin1String(name));
    if (found == nullptr) {
        const std::string what = std::string("no control named ") + name + " of that type";
        if (QTest::currentTestFunction() != nullptr)
            QTest::qFail(what.c_str(), __FILE__, __LINE__);
        throw std::runtime_error(what);
    }
    return *found;
}

/// Points the window's data folder, and so its page log, at `folder` (as the Data Folder
/// button does).
void setDataFolder(TMainForm& form, const QString& folder);

/// Points HOME and the XDG folders into a fresh temporary folder. Call before QApplication.
QTemporaryDir& privateHome();

/// One line of the on-air trace: what happened and when (ms since the trace began).
struct TraceEvent {
    std::string what; ///< "key", "release", "play"
    double atMs = 0;
    uint8_t value = 0;
};

class Trace {
public:
    Trace() { m_clock.start(); }
    void add(std::string what, uint8_t value = 0) {
        m_events.push_back(
            {std::move(what), static_cast<double>(m_clock.nsecsElapsed()) / 1e6, value});
    }
    const std::vector<TraceEvent>& events() const { return m_events; }
    void clear() { m_events.clear(); }

private:
    QElapsedTimer m_clock;
    std::vector<TraceEvent> m_events;
};

/// A port that records its writes into the trace (keyed when the pin bit is set).
class TracingPort : public RecordingPortWriter {
public:
    explicit TracingPort(Trace& trace) : m_trace(trace) {}
    bool writeByte(uint16_t port, uint8_t value) override {
        m_trace.add(value != 0 ? "key" : "release", value);
        return RecordingPortWriter::writeByte(port, value);
    }

private:
    Trace& m_trace;
};

/// An audio output that records the play in the trace and passes it to a WAV sink.
class TracingAudio : public AudioOutput {
public:
    TracingAudio(Trace& trace, std::unique_ptr<AudioOutput> inner)
        : m_trace(trace), m_inner(std::move(inner)) {}
    bool play(std::span<const uint8_t> image, PlayMode mode) override {
        m_trace.add("play");
        m_lastImageBytes = image.size();
        return m_inner->play(image, mode);
    }
    void stop() override { m_inner->stop(); }
    bool playing() const override { return m_inner->playing(); }
    void setDeviceLevel(DeviceLevel level) override { m_inner->setDeviceLevel(level); }
    DeviceLevel deviceLevel() const override { return m_inner->deviceLevel(); }
    std::string lastError() const override { return m_inner->lastError(); }
    std::string name() const override { return m_inner->name(); }
    size_t lastImageBytes() const { return m_lastImageBytes; }

private:
    Trace& m_trace;
    std::unique_ptr<AudioOutput> m_inner;
    size_t m_lastImageBytes = 0;
};

/// How a rig's window is made. By default its settings live in the rig's own folder, so
/// every rig starts from the first-run defaults.
struct RigOptions {
    QString settingsFile;            ///< empty: Tarvex.ini in the rig's folder
    std::optional<int> platformCode; ///< what PlatformCheck reports
    QString wavFile;                 ///< where pages are played to; empty: page.wav there
};

/// A main window with its dialogs, a tracing port and a WAV sink in a temporary folder,
/// shown and activated (start-up sequence run).
struct Rig {
    QTemporaryDir folder;
    Trace trace;
    std::shared_ptr<TracingPort> port;
    std::shared_ptr<TracingAudio> audio;
    std::unique_ptr<TMainForm> form;

    explicit Rig(const RigOptions& options = {});
    ~Rig();
    QString wavPath() const {
        return m_wavFile.isEmpty() ? folder.filePath(QStringLiteral("page.wav")) : m_wavFile;
    }

private:
    QString m_wavFile;
};

/// Runs action on the next modal window (message box or dialog) that opens within
/// timeoutMs; the window is closed by the action. Returns the text seen through *seen.
void onNextModal(std::function<void(QWidget*)> action, int timeoutMs = 5000);

/// The text of a message box (empty for other windows).
QString boxText(QWidget* window);

/// Presses the OK (or the only) button of a message box.
void pressOk(QWidget* window);

/// Types text into the focused widget of the window as key presses.
void typeInto(QWidget* widget, const QString& text);

/// Every dialog of the main window, each with a short name (for pictures and messages).
QList<QPair<QWidget*, QString>> namedDialogs(const MainFormDialogs& d);

/// While it lives, presses OK on every message box that opens and keeps their texts.
class BoxWatcher {
public:
    BoxWatcher() {
        m_timer.setInterval(10);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (box != nullptr && box->isVisible()) {
                texts << box->text();
                pressOk(box);
            }
        });
        m_timer.start();
    }
    QString last() const { return texts.isEmpty() ? QString() : texts.last(); }
    QStringList texts;

private:
    QTimer m_timer;
};

} // namespace tarvex::test

/// main() of a GUI test: a private home, then QApplication, then the test class.
#define TARVEX_GUI_TEST_MAIN(TestClass)                                                            \
    int main(int argc, char** argv) {                                                              \
        tarvex::test::privateHome();                                                               \
        QApplication app(argc, argv);                                                              \
        QCoreApplication::setOrganizationName(QStringLiteral("dovrik-apps"));                      \
        QCoreApplication::setApplicationName(QStringLiteral("Tarvex"));                            \
        TestClass test;                                                                            \
        return QTest::qExec(&test, argc, argv);                                                    \
    }
