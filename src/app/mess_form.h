#pragma once
// The message list: preset pages in the entry format, kept in "MessList.txt" in the
// program folder, edited here and sent with a double-click. ApplyPageEntry loads one entry
// into the main window's page controls.
#include <QDialog>

class QLabel;
class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QPushButton;

namespace tarvex {

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

    QStringList items() const;
    QString listPath() const;

    void btAddClick();
    void btResetClick();
    void MessListClick(QListWidgetItem* item);
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

    TMainForm& m_form;
    QListWidget* m_list = nullptr;
    QLineEdit* m_edit = nullptr;
    QPushButton* m_reset = nullptr;
    QPushButton* m_add = nullptr;
    bool m_appliedFromList = false;
    bool m_inDoubleClick = false;
    /// The last close could not write the list: the next showing keeps the list in memory
    /// instead of reading the older file over it.
    bool m_listUnsaved = false;
};

} // namespace tarvex
