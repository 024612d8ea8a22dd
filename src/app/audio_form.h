#pragma once
// The "Audio output" dialog under Setup: which sound backend (Qt Multimedia or ALSA) and
// which device the pages are played through. The choice is kept by the device's name, so a
// card that comes back after being unplugged is found again, and one that is gone is noticed.
#include <QDialog>

#include <functional>
#include <string>
#include <vector>

class QComboBox;
class QPushButton;
class QLabel;

namespace tarvex {

class TAudioForm : public QDialog {
    Q_OBJECT
public:
    /// Lists the devices of a backend ("qt", "alsa"); replaceable for tests.
    using DeviceLister = std::function<std::vector<std::string>(const std::string& backend)>;

    explicit TAudioForm(QWidget* parent = nullptr, DeviceLister lister = {});

    /// The stored choice: backend name and device name ("" for the backend's default).
    void setChoice(const std::string& backend, const std::string& device);
    std::string backend() const;
    std::string device() const;

    QComboBox* cbBackend() const { return m_backend; }
    QComboBox* cbDevice() const { return m_device; }
    QPushButton* btDone() const { return m_btDone; }

signals:
    /// Done was clicked with a choice different from the one the dialog opened with.
    void choiceChanged(const QString& backend, const QString& device);

private:
    void fillDevices(const std::string& selected);
    void btDoneClick();

    DeviceLister m_lister;
    QComboBox* m_backend = nullptr;
    QComboBox* m_device = nullptr;
    QLabel* m_note = nullptr;
    QPushButton* m_btDone = nullptr;
    std::string m_openedBackend;
    std::string m_openedDevice;
};

} // namespace tarvex
