#pragma once
// The "DAPNET" dialog under Setup: whether the station joins the DAPNET network as a
// transmitter, and the server, port, callsign and key it logs in with. The key goes into its
// own file, readable by its owner only; it is never shown again, kept in the settings store
// or written to a log.
#include "network/dapnet/dapnet_status.h"

#include <QDialog>
#include <QString>

class QCheckBox;
class QLabel;
class QLineEdit;
class QSpinBox;

namespace tarvex {

class TDapnetForm : public QDialog {
    Q_OBJECT
public:
    /// `keyFile`: where the key is kept (defaultAuthKeyFile() in the program).
    explicit TDapnetForm(QString keyFile, QWidget* parent = nullptr);

    /// The settings without the key (it stays in its file).
    void setSettings(const DapnetSettings& settings);
    DapnetSettings settings() const;
    /// Shows the link's state (called while the dialog is open too).
    void setLinkStatus(const QString& text);
    /// False, after a box naming the field, when joining is ticked and a field it needs is
    /// empty.
    bool readyToJoin();
    /// Writes a key typed in the dialog to its file; false after a box naming why.
    bool saveKey();

signals:
    void settingsChanged();

protected:
    void done(int result) override;

private:
    QString m_keyFile;
    QCheckBox* m_enabled = nullptr;
    QLineEdit* m_host = nullptr;
    QSpinBox* m_port = nullptr;
    QLineEdit* m_callsign = nullptr;
    QLineEdit* m_key = nullptr;
    QLabel* m_status = nullptr;
    DapnetSettings m_opened;
};

} // namespace tarvex
