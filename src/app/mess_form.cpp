#include "app/mess_form.h"
#include "app/ui_font.h"

#include "app/dialog_support.h"
#include "app/main_form.h"
#include "app/message_edit.h"
#include "app/picture_button.h"
#include "paging/entry_format.h"
#include "paging/message_list.h"

#include <QDir>
#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QShowEvent>
#include <QTimer>

namespace tarvex {

namespace {
constexpr int ClientWidth = 632;
constexpr int ClientHeight = 378;
constexpr int PanelHeight = 86;

const char* const HelpLines[] = {
    "Entry Format = 2digit Func bits + A or N + 4digit baud rate + N or I + 7digit RIC/CAP "
    "(use leading zeros) + Message to send",
    "To Edit an entry just click it and it will appear in the edit window, click Add when done "
    "and it will be put back where it was.",
    "To Add a new entry click reset then just type in the new entry and click Add"};
} // namespace

TMessForm::TMessForm(TMainForm& form) : QDialog(&form), m_form(form) {
    setObjectName(QStringLiteral("MessForm"));
    useWindowFont(*this);
    setWindowTitle(QStringLiteral("Tarvex"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(ClientWidth, ClientHeight);

    m_list = new QListWidget(this);
    m_list->setObjectName(QStringLiteral("MessList"));
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setGeometry(0, 0, ClientWidth, ClientHeight - PanelHeight);

    const int top = ClientHeight - PanelHeight;
    m_edit = new QLineEdit(this);
    m_edit->setObjectName(QStringLiteral("MessEdit"));
    m_edit->setMaxLength(512);
    m_edit->setGeometry(8, top + 8, 448, 22);
    m_edit->installEventFilter(this);
    m_reset = new QPushButton(QStringLiteral("&Reset"), this);
    m_reset->setObjectName(QStringLiteral("btReset"));
    m_reset->setAutoDefault(false); // Enter in a field presses no button
    m_reset->setGeometry(466, top + 6, 75, 25);
    m_add = new QPushButton(QStringLiteral("&Add"), this);
    m_add->setObjectName(QStringLiteral("btAdd"));
    m_add->setAutoDefault(false); // Enter in a field presses no button
    m_add->setGeometry(548, top + 6, 75, 25);
    for (int i = 0; i < 3; ++i) {
        auto* help = new QLabel(QString::fromLatin1(HelpLines[i]), this);
        help->setObjectName(QStringLiteral("Help%1").arg(i + 1));
        help->setAlignment(Qt::AlignHCenter);
        help->setGeometry(0, top + 36 + i * 16, ClientWidth, 16);
        help->setFont(uiFont(10));
    }

    connect(m_add, &QPushButton::clicked, this, &TMessForm::btAddClick);
    connect(m_reset, &QPushButton::clicked, this, &TMessForm::btResetClick);
    connect(m_list, &QListWidget::itemClicked, this, &TMessForm::MessListClick);
    connect(m_list, &QListWidget::itemDoubleClicked, this, [this] { MessListDblClick(); });
}

QStringList TMessForm::items() const {
    QStringList out;
    for (int i = 0; i < m_list->count(); ++i)
        out << m_list->item(i)->text();
    return out;
}

QString TMessForm::listPath() const {
    return QDir(m_form.ProgramFolder).filePath(QString::fromLatin1(MessageListFileName));
}

void TMessForm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!event->spontaneous())
        FormActivate();
}

void TMessForm::FormActivate() {
    m_appliedFromList = false;
    const MessageListRead read =
        m_listUnsaved ? MessageListRead{} : readMessageList(listPath().toStdString());
    if (read.error) {
        showErrorReport(this, QStringLiteral("The message list could not be read.\n%1")
                                  .arg(QString::fromLocal8Bit(read.error->c_str())));
    } else if (read.exists) {
        m_list->clear();
        for (const auto& line : read.lines)
            m_list->addItem(QString::fromLatin1(line));
    }
    m_edit->setFocus();
}

void TMessForm::done(int result) {
    FormClose();
    QDialog::done(result);
}

void TMessForm::FormClose() {
    std::vector<std::string> lines;
    for (const QString& item : items())
        lines.push_back(item.toLatin1().toStdString());
    // A failed write keeps the list in memory and says why; the operator may retry or leave.
    m_listUnsaved = false;
    while (const auto error = writeMessageList(listPath().toStdString(), lines)) {
        m_listUnsaved = true;
        QMessageBox box(QMessageBox::Warning, QString::fromLatin1(ProgramTitle),
                        QStringLiteral("The message list could not be saved.\n%1\n\nThe list is "
                                       "kept until the program ends.")
                            .arg(QString::fromLocal8Bit(error->c_str())),
                        QMessageBox::Retry | QMessageBox::Cancel, this);
        box.setObjectName(QStringLiteral("ListSaveFailed"));
        if (box.exec() != QMessageBox::Retry)
            break;
        m_listUnsaved = false;
    }
}

bool TMessForm::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_edit && event->type() == QEvent::FocusIn) {
        // The field selects all on entry; keep the caret at the start instead.
        QTimer::singleShot(0, m_edit, [this] {
            const int start =
                m_edit->hasSelectedText() ? m_edit->selectionStart() : m_edit->cursorPosition();
            m_edit->deselect();
            m_edit->setCursorPosition(start);
        });
    }
    return QDialog::eventFilter(watched, event);
}

void TMessForm::btAddClick() {
    QListWidgetItem* selected = m_list->currentItem();
    if (selected != nullptr && selected->isSelected())
        selected->setText(m_edit->text());
    else
        m_list->addItem(m_edit->text());
    btResetClick();
}

void TMessForm::btResetClick() {
    m_list->clearSelection();
    m_list->setCurrentItem(nullptr);
    m_edit->clear();
    m_edit->setFocus();
}

void TMessForm::MessListClick(QListWidgetItem* item) {
    if (item == nullptr)
        return;
    m_edit->setText(item->text());
    m_edit->setFocus();
}

void TMessForm::MessListDblClick() {
    QListWidgetItem* selected = m_list->currentItem();
    if (selected == nullptr || !selected->isSelected())
        return;
    const QString line = selected->text();
    m_inDoubleClick = true;
    const bool applied = ApplyPageEntry(line);
    m_inDoubleClick = false;
    m_appliedFromList = applied;
    m_list->clearSelection();
    m_list->setCurrentItem(nullptr);
}

void TMessForm::refuse(const char* message) {
    showPlainMessage(isVisible() ? static_cast<QWidget*>(this) : &m_form,
                     QString::fromLatin1(message));
}

bool TMessForm::ApplyPageEntry(const QString& line) {
    m_edit->clear();
    if (!applyFields(line))
        return false;
    m_form.EntryApplied = true;
    if (!m_inDoubleClick)
        m_appliedFromList = false;
    if (isVisible())
        done(QDialog::Accepted);
    else
        FormClose();
    return true;
}

bool TMessForm::applyFields(const QString& line) {
    const EntryParse parse = parsePageEntry(line.toLatin1().toStdString());
    if (m_form.loadEntry(parse))
        return true;
    refuse(parse.error ? parse.error->c_str() : entry_messages::RicNotNumber);
    return false;
}

} // namespace tarvex
