#pragma once
// The message list: preset pages in the entry format, kept in "MessList.txt" in the
// program folder. An entry is built from fields (or typed as a line), checked before it goes
// on the list, and sent with Send now or a double-click. ApplyPageEntry loads one entry into
// the main window's page controls.
#include <QDialog>

class QLabel;
class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QPushButton;

namespace tarvex {

class EntryFields;
class TMainForm;

class TMessForm : public QDialog {
    Q_OBJECT
public:
    explicit TMessForm(TMainForm& form);

    /// Checks the line field by field and loads it into the main window; on the first field
    /// in error shows its message and returns false (what earlier fields set stays set). On
    /// success sets EntryApplied and closes this dialog (running its close step).
    bool ApplyPageEntry(const QString& line);

    /// True when the last showing ended with an entry the operator double-clicked.
    bool appliedFromList() const { return m_appliedFromList; }

    QListWidget* MessList() const { return m_list; }
    QLineEdit* MessEdit() const { return m_edit; }
    QPushButton* btReset() const { return m_reset; }
    QPushButton* btAdd() const { return m_add; }
    QPushButton* btDelete() const { return m_delete; }
    QPushButton* btSendNow() const { return m_send; }
    EntryFields* fields() const { return m_fields; }

    QStringList items() const;
    QString listPath() const;

    void btAddClick();
    void btResetClick();
    /// Removes the selected entry once the operator confirms it.
    void btDeleteClick();
    void MessListClick(QListWidgetItem* item);
    /// Send now and the double-click: the selected entry, loaded and sent.
    void MessListDblClick();

public slots:
    void done(int result) override;

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void FormActivate();
    void FormClose();
    void refuse(const char* message);
    bool applyFields(const QString& line);
    void showSelection();
    /// False when the operator keeps the message typed in the window instead.
    bool confirmReplacingMessage(const QString& line);

    TMainForm& m_form;
    QListWidget* m_list = nullptr;
    QLineEdit* m_edit = nullptr;
    QPushButton* m_reset = nullptr;
    QPushButton* m_add = nullptr;
    QPushButton* m_delete = nullptr;
    QPushButton* m_send = nullptr;
    EntryFields* m_fields = nullptr;
    bool m_appliedFromList = false;
    bool m_inDoubleClick = false;
    /// The last close could not write the list: the next showing keeps the list in memory
    /// instead of reading the older file over it.
    bool m_listUnsaved = false;
};

} // namespace tarvex
