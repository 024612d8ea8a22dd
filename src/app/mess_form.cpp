#include "app/mess_form.h"
#include "app/ui_font.h"

#include "app/dialog_support.h"
#include "app/entry_fields.h"
#include "app/main_form.h"
#include "app/message_edit.h"
#include "app/picture_button.h"
#include "paging/entry_format.h"
#include "paging/message_list.h"

#include <QDir>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QShowEvent>
#include <QTimer>
#include <QVBoxLayout>

namespace tarvex {

namespace {
constexpr int ClientWidth = 632;
constexpr int ClientHeight = 470;

const char* const HelpLines[] = {
    "Entry Format = 2digit Func bits + A or N + 4digit baud rate + N or I + 7digit RIC/CAP "
    "(use leading zeros) + Message to send",
    "To Edit an entry just click it and it will appear in the edit window, click Add when done "
    "and it will be put back where it was.",
    "To Add a new entry click reset then just type in the new entry and click Add"};

QPushButton* makeButton(QWidget* parent, const QString& caption, const char* name) {
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setAutoDefault(false); // Enter in a field presses no button
    return button;
}
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
    m_list->setToolTip(QStringLiteral("Click an entry to edit it; double-click it to send it "
                                      "now."));
    m_fields = new EntryFields(this);
    m_edit = new QLineEdit(this);
    m_edit->setObjectName(QStringLiteral("MessEdit"));
    m_edit->setMaxLength(512);
    m_edit->installEventFilter(this);
    m_reset = makeButton(this, QStringLiteral("&Reset"), "btReset");
    m_add = makeButton(this, QStringLiteral("&Add"), "btAdd");
    m_delete = makeButton(this, QStringLiteral("&Delete"), "btDelete");
    m_send = makeButton(this, QStringLiteral("&Send now"), "btSendNow");
    m_send->setToolTip(QStringLiteral("Loads the selected entry into the window and sends it at "
                                      "once (as a double-click does)."));

    auto* entryRow = new QHBoxLayout;
    auto* entryLabel = new QLabel(QStringLiteral("Entry:"), this);
    entryLabel->setBuddy(m_edit);
    entryRow->addWidget(entryLabel);
    entryRow->addWidget(m_edit, 1);
    entryRow->addWidget(m_reset);
    entryRow->addWidget(m_add);
    entryRow->addWidget(m_delete);
    auto* sendRow = new QHBoxLayout;
    auto* sendNote = new QLabel(QStringLiteral("Send now (or a double-click on an entry) puts "
                                               "the entry in the window and sends it at once."),
                                this);
    sendNote->setObjectName(QStringLiteral("SendNote"));
    sendRow->addWidget(sendNote, 1);
    sendRow->addWidget(m_send);
    auto* rows = new QVBoxLayout(this);
    rows->setContentsMargins(0, 0, 0, 4);
    rows->setSpacing(4);
    rows->addWidget(m_list, 1);
    for (QLayout* inset : {static_cast<QLayout*>(nullptr), static_cast<QLayout*>(entryRow),
                           static_cast<QLayout*>(sendRow)}) {
        auto* row = new QHBoxLayout;
        row->setContentsMargins(8, 0, 8, 0);
        if (inset == nullptr)
            row->addWidget(m_fields);
        else
            row->addLayout(inset);
        rows->addLayout(row);
    }
    for (int i = 0; i < 3; ++i) {
        auto* help = new QLabel(QString::fromLatin1(HelpLines[i]), this);
        help->setObjectName(QStringLiteral("Help%1").arg(i + 1));
        help->setAlignment(Qt::AlignHCenter);
        help->setFont(uiFont(10));
        rows->addWidget(help);
    }

    connect(m_add, &QPushButton::clicked, this, &TMessForm::btAddClick);
    connect(m_reset, &QPushButton::clicked, this, &TMessForm::btResetClick);
    connect(m_delete, &QPushButton::clicked, this, &TMessForm::btDeleteClick);
    connect(m_send, &QPushButton::clicked, this, [this] { MessListDblClick(); });
    connect(m_list, &QListWidget::itemClicked, this, &TMessForm::MessListClick);
    connect(m_list, &QListWidget::itemDoubleClicked, this, [this] { MessListDblClick(); });
    connect(m_list, &QListWidget::itemSelectionChanged, this, &TMessForm::showSelection);
    connect(m_fields, &EntryFields::edited, this, [this] { m_edit->setText(m_fields->line()); });
    connect(m_edit, &QLineEdit::textEdited, m_fields, &EntryFields::showLine);
    showSelection();
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
    PagerDirectory directory;
    std::string error;
    const bool listed = directory.load(
        (m_form.ProgramFolder + QString::fromLatin1(PagerDirectoryFile)).toStdString(), &error);
    m_fields->setPagers(listed ? directory.pagers() : std::vector<Pager>{});
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
    // Only an entry the window can send goes on the list; a refusal keeps what was typed.
    const QString problem = entryProblem(m_edit->text());
    if (!problem.isEmpty()) {
        QMessageBox box(QMessageBox::Warning, QString::fromLatin1(ProgramTitle),
                        QStringLiteral("Not added. %1").arg(problem), QMessageBox::Ok, this);
        box.setObjectName(QStringLiteral("EntryRefused"));
        box.exec();
        QWidget* field = m_fields->fieldNamed(problem.section(QLatin1Char(':'), 0, 0));
        (field != nullptr && field->isEnabled() ? field : m_edit)->setFocus();
        return;
    }
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
    m_fields->clear();
    m_edit->setFocus();
}

void TMessForm::btDeleteClick() {
    QListWidgetItem* selected = m_list->currentItem();
    if (selected == nullptr || !selected->isSelected())
        return;
    QMessageBox box(QMessageBox::Question, QString::fromLatin1(ProgramTitle),
                    QStringLiteral("Delete this entry from the list?\n\n%1").arg(selected->text()),
                    QMessageBox::Yes | QMessageBox::No, this);
    box.setObjectName(QStringLiteral("DeleteEntry"));
    box.setDefaultButton(QMessageBox::No);
    if (box.exec() != QMessageBox::Yes)
        return;
    delete m_list->takeItem(m_list->row(selected));
    btResetClick();
}

void TMessForm::showSelection() {
    const QListWidgetItem* selected = m_list->currentItem();
    const bool chosen = selected != nullptr && selected->isSelected();
    m_delete->setEnabled(chosen);
    m_send->setEnabled(chosen);
}

void TMessForm::MessListClick(QListWidgetItem* item) {
    if (item == nullptr)
        return;
    m_edit->setText(item->text());
    m_fields->showLine(item->text());
    m_edit->setFocus();
}

bool TMessForm::confirmReplacingMessage(const QString& line) {
    // The window's message field may hold a page the operator is writing: say so first.
    const EntryParse parse = parsePageEntry(line.toLatin1().toStdString());
    const std::string typed = m_form.pageParams().message;
    if (!parse.ok() || typed.empty() || typed == parse.entry.message)
        return true;
    QMessageBox box(QMessageBox::Question, QString::fromLatin1(ProgramTitle),
                    QStringLiteral("Send this entry now?\n\nIt replaces the message in the main "
                                   "window:\n%1")
                        .arg(QString::fromLatin1(typed)),
                    QMessageBox::Yes | QMessageBox::No, this);
    box.setObjectName(QStringLiteral("ReplaceMessage"));
    box.button(QMessageBox::Yes)->setText(QStringLiteral("Send now"));
    box.button(QMessageBox::No)->setText(QStringLiteral("Keep my message"));
    box.setDefaultButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

void TMessForm::MessListDblClick() {
    QListWidgetItem* selected = m_list->currentItem();
    if (selected == nullptr || !selected->isSelected())
        return;
    const QString line = selected->text();
    if (!confirmReplacingMessage(line))
        return;
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
