#pragma once
// The Sync & Idle dialog: replaces the sync and idle codewords that every transmission
// uses, or restores their stock values. Text and value of each codeword change together,
// and only when both fields hold 1 to 8 hexadecimal digits.
#include <QDialog>

#include <functional>
#include <string>

class QLineEdit;
class QPushButton;

namespace tarvex {

class TSIForm : public QDialog {
    Q_OBJECT
public:
    /// Takes the two texts once both are hexadecimal codewords (Done).
    using Apply = std::function<void(const std::string& sync, const std::string& idle)>;
    explicit TSIForm(Apply apply, QWidget* parent = nullptr);

    /// Fills the two fields (the start-up sequence does this once).
    void setFields(const QString& syncText, const QString& idleText);

    QLineEdit* edSync() const { return m_edSync; }
    QLineEdit* edIdle() const { return m_edIdle; }
    QPushButton* btDone() const { return m_btDone; }
    QPushButton* btDefaults() const { return m_btDefaults; }

public slots:
    void btDoneClick();
    void btDefaultsClick();

private:
    void buildControls();

    Apply m_apply;
    QLineEdit* m_edSync = nullptr;
    QLineEdit* m_edIdle = nullptr;
    QPushButton* m_btDone = nullptr;
    QPushButton* m_btDefaults = nullptr;
};

} // namespace tarvex
