#pragma once
// The "Pagers" dialog under Setup: the station's pager directory ("Pagers.txt" in the station
// folder) that network systems page by ID, edited entry by entry (a bad entry is refused with
// its field and reason, the file is written at once), and whether this program runs the SNPP
// and WCTP servers that take pages for them.
#include "network/pager_directory.h"

#include <QDialog>
#include <QString>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QTableWidget;

namespace tarvex {

/// Whether the window runs the network servers, and on which ports (loopback only).
struct ServerChoice {
    bool snpp = false;
    int snppPort = 444;
    bool wctp = false;
    int wctpPort = 8444;
    bool operator==(const ServerChoice&) const = default;
};

class TPagersForm : public QDialog {
    Q_OBJECT
public:
    /// `folder` holds Pagers.txt (the station folder).
    explicit TPagersForm(QString folder, QWidget* parent = nullptr);

    QString directoryPath() const;
    void setServers(const ServerChoice& servers);
    ServerChoice servers() const;

    /// Adds (or replaces) the pager the fields describe; false after a box naming the field
    /// and the reason, or the file's write error.
    bool btAddClick();
    void btRemoveClick();

signals:
    /// The servers' choice changed when the dialog closed.
    void serversChanged();

protected:
    void showEvent(QShowEvent* event) override;
    void done(int result) override;

private:
    void buildFields();
    void reload();
    void fillTable();
    void rowChosen();
    /// Selects the row of the pager with this ID (none when no pager has it), leaving the
    /// fields as they are: the table shows the pager the form names.
    void selectPager(const QString& id);
    bool save();
    Pager pagerFromFields(std::string* error) const;

    QString m_folder;
    PagerDirectory m_directory;
    bool m_loaded = false; ///< false: the file could not be read; it is never written over
    QTableWidget* m_table = nullptr;
    QLineEdit* m_id = nullptr;
    QLineEdit* m_name = nullptr;
    QLineEdit* m_ric = nullptr;
    QComboBox* m_function = nullptr;
    QComboBox* m_coding = nullptr;
    QComboBox* m_baud = nullptr;
    QComboBox* m_polarity = nullptr;
    QComboBox* m_charset = nullptr;
    QSpinBox* m_maxLength = nullptr;
    QLabel* m_note = nullptr;
    QCheckBox* m_snpp = nullptr;
    QSpinBox* m_snppPort = nullptr;
    QCheckBox* m_wctp = nullptr;
    QSpinBox* m_wctpPort = nullptr;
    ServerChoice m_opened;
    bool m_following = false; ///< the selection follows the form: the fields stay
};

} // namespace tarvex
