#pragma once
// The message list's entry editor: a preset page chosen field by field (a pager of the
// directory or a typed RIC, rate, type, function bits, polarity, text). The fields and the
// entry line they make are kept in step both ways; the line is what the list stores.
#include "network/pager_directory.h"

#include <QWidget>

class QComboBox;
class QLineEdit;

namespace tarvex {

class EntryFields : public QWidget {
    Q_OBJECT
public:
    explicit EntryFields(QWidget* parent = nullptr);

    /// The pagers offered in the pager list (replaces the ones offered before).
    void setPagers(std::vector<Pager> pagers);
    /// Shows the fields of an entry line: every field the line carries validly is set, the
    /// others keep what they hold.
    void showLine(const QString& line);
    /// The entry line the fields make (the RIC as typed, zero-filled to seven digits).
    QString line() const;
    /// Puts every field back to a new entry's values.
    void clear();

    QComboBox* pager() const { return m_pager; }
    QLineEdit* ric() const { return m_ric; }
    QComboBox* rate() const { return m_rate; }
    QComboBox* type() const { return m_type; }
    QComboBox* function() const { return m_function; }
    QComboBox* polarity() const { return m_polarity; }
    QLineEdit* text() const { return m_text; }
    /// The field a refusal names, for the focus ("ric", "text", ...); null when unknown.
    QWidget* fieldNamed(const QString& name) const;

signals:
    /// The operator changed a field (not emitted by showLine or clear).
    void edited();

private:
    void pagerChosen(int index);
    void followRic();
    void typeChanged();

    std::vector<Pager> m_pagers;
    QComboBox* m_pager = nullptr;
    QLineEdit* m_ric = nullptr;
    QComboBox* m_rate = nullptr;
    QComboBox* m_type = nullptr;
    QComboBox* m_function = nullptr;
    QComboBox* m_polarity = nullptr;
    QLineEdit* m_text = nullptr;
    bool m_showing = false;
};

/// Why an entry line cannot go on the list, in plain words that start with the field's name
/// ("RIC: ..."); empty when it is a whole entry the window can send as written.
QString entryProblem(const QString& line);

} // namespace tarvex
