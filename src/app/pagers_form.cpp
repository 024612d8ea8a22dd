#include "app/pagers_form.h"

#include "app/dialog_support.h"
#include "app/ui_font.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QSpinBox>
#include <QTableWidget>
#include <QVBoxLayout>

namespace tarvex {

namespace {

constexpr Charset Charsets[] = {Charset::UsAscii, Charset::German, Charset::Swedish,
                                Charset::Danish,  Charset::French, Charset::Slovenian};
constexpr PagerCoding Codings[] = {PagerCoding::Alphanumeric, PagerCoding::Numeric,
                                   PagerCoding::ToneOnly};

QString qtext(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QComboBox* combo(QWidget* parent, const char* name, const QStringList& items) {
    auto* box = new QComboBox(parent);
    box->setObjectName(QString::fromLatin1(name));
    box->addItems(items);
    return box;
}

QString describe(const Pager& p, int column) {
    switch (column) {
    case 0:
        return qtext(p.id);
    case 1:
        return qtext(p.name);
    case 2:
        return QString::number(p.ric);
    case 3:
        return QString::number(p.functionBits);
    case 4:
        return qtext(pagerCodingName(p.coding));
    case 5:
        return QString::number(p.baud);
    case 6:
        return p.inverted ? QStringLiteral("inverted") : QStringLiteral("normal");
    case 7:
        return qtext(charsetCaption(p.charset));
    default:
        return QString::number(p.maxLength);
    }
}

} // namespace

TPagersForm::TPagersForm(QString folder, QWidget* parent)
    : QDialog(parent), m_folder(std::move(folder)) {
    useWindowFont(*this);
    setObjectName(QStringLiteral("PagersForm"));
    setWindowTitle(QStringLiteral("Pagers"));
    auto* layout = new QVBoxLayout(this);
    m_table = new QTableWidget(0, 9, this);
    m_table->setObjectName(QStringLiteral("PagerTable"));
    m_table->setHorizontalHeaderLabels(
        {QStringLiteral("ID"), QStringLiteral("Name"), QStringLiteral("RIC"),
         QStringLiteral("Func"), QStringLiteral("Coding"), QStringLiteral("Rate"),
         QStringLiteral("Polarity"), QStringLiteral("Set"), QStringLiteral("Max")});
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->verticalHeader()->hide();
    m_table->horizontalHeader()->setStretchLastSection(true);
    m_table->setMinimumSize(620, 180);
    layout->addWidget(m_table);
    connect(m_table, &QTableWidget::itemSelectionChanged, this, &TPagersForm::rowChosen);
    buildFields();
}

void TPagersForm::buildFields() {
    auto* layout = static_cast<QVBoxLayout*>(this->layout());
    auto* entry = new QGroupBox(QStringLiteral("Pager"), this);
    auto* form = new QFormLayout(entry);
    m_id = new QLineEdit(entry);
    m_id->setObjectName(QStringLiteral("edPagerId"));
    m_id->setMaxLength(32);
    m_id->setPlaceholderText(QStringLiteral("as SNPP PAGE or WCTP recipientID give it"));
    m_name = new QLineEdit(entry);
    m_name->setObjectName(QStringLiteral("edPagerName"));
    m_ric = new QLineEdit(entry);
    m_ric->setObjectName(QStringLiteral("edPagerRic"));
    m_ric->setMaxLength(7);
    m_ric->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]{0,7}")), m_ric));
    m_function = combo(entry, "cbFunction", {"0", "1", "2", "3"});
    m_function->setCurrentIndex(3);
    m_coding = combo(entry, "cbCoding", {"alphanumeric", "numeric", "tone only"});
    m_baud = combo(entry, "cbRate", {"512", "1200", "2400"});
    m_baud->setCurrentIndex(1);
    m_polarity = combo(entry, "cbPolarity", {"normal", "inverted"});
    QStringList sets;
    for (const Charset set : Charsets)
        sets << qtext(charsetCaption(set));
    m_charset = combo(entry, "cbCharset", sets);
    m_maxLength = new QSpinBox(entry);
    m_maxLength->setObjectName(QStringLiteral("seMaxLength"));
    m_maxLength->setRange(0, 256);
    m_maxLength->setValue(80);
    form->addRow(QStringLiteral("ID"), m_id);
    form->addRow(QStringLiteral("Name"), m_name);
    form->addRow(QStringLiteral("RIC"), m_ric);
    form->addRow(QStringLiteral("Function bits"), m_function);
    form->addRow(QStringLiteral("Coding"), m_coding);
    form->addRow(QStringLiteral("Bit rate"), m_baud);
    form->addRow(QStringLiteral("Polarity"), m_polarity);
    form->addRow(QStringLiteral("Character set"), m_charset);
    form->addRow(QStringLiteral("Longest message"), m_maxLength);
    layout->addWidget(entry);

    auto* servers =
        new QGroupBox(QStringLiteral("Pages from the network (this computer only)"), this);
    auto* grid = new QFormLayout(servers);
    const auto server = [servers, grid](const char* caption, const char* box, const char* port,
                                        int value, QCheckBox** check, QSpinBox** spin) {
        *check = new QCheckBox(QString::fromLatin1(caption), servers);
        (*check)->setObjectName(QString::fromLatin1(box));
        *spin = new QSpinBox(servers);
        (*spin)->setObjectName(QString::fromLatin1(port));
        (*spin)->setRange(1, 65535);
        (*spin)->setValue(value);
        grid->addRow(*check, *spin);
    };
    server("SNPP server on port", "cbSnpp", "seSnppPort", 444, &m_snpp, &m_snppPort);
    server("WCTP server on port", "cbWctp", "seWctpPort", 8444, &m_wctp, &m_wctpPort);
    layout->addWidget(servers);

    m_note = new QLabel(this);
    m_note->setObjectName(QStringLiteral("PagersNote"));
    m_note->setWordWrap(true);
    layout->addWidget(m_note);
    auto* buttons = new QHBoxLayout;
    auto* add = new QPushButton(QStringLiteral("&Add / Replace"), this);
    add->setObjectName(QStringLiteral("btAddPager"));
    auto* remove = new QPushButton(QStringLiteral("&Remove"), this);
    remove->setObjectName(QStringLiteral("btRemovePager"));
    auto* close = new QPushButton(QStringLiteral("&Done"), this);
    close->setObjectName(QStringLiteral("btDone"));
    for (QPushButton* b : {add, remove, close}) {
        b->setAutoDefault(false);
        buttons->addWidget(b);
    }
    layout->addLayout(buttons);
    connect(add, &QPushButton::clicked, this, &TPagersForm::btAddClick);
    connect(remove, &QPushButton::clicked, this, &TPagersForm::btRemoveClick);
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
    connect(m_id, &QLineEdit::textEdited, this,
            [this](const QString& id) { selectPager(id.trimmed()); });
}

QString TPagersForm::directoryPath() const {
    return m_folder + QString::fromLatin1(PagerDirectoryFile);
}

void TPagersForm::setServers(const ServerChoice& s) {
    m_snpp->setChecked(s.snpp);
    m_snppPort->setValue(s.snppPort);
    m_wctp->setChecked(s.wctp);
    m_wctpPort->setValue(s.wctpPort);
    m_opened = s;
}

ServerChoice TPagersForm::servers() const {
    return {m_snpp->isChecked(), m_snppPort->value(), m_wctp->isChecked(), m_wctpPort->value()};
}

void TPagersForm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    m_opened = servers();
    reload();
}

void TPagersForm::done(int result) {
    // Done starts or stops the servers as ticked; Esc and the close box put back what the
    // dialog opened with, as in the other dialogs closed by Done. The pagers themselves are
    // kept by Add and Remove at once.
    if (result != Accepted)
        setServers(m_opened);
    else if (!(servers() == m_opened)) {
        m_opened = servers();
        emit serversChanged();
    }
    QDialog::done(result);
}

void TPagersForm::reload() {
    std::string error;
    PagerDirectory read;
    m_loaded = read.load(directoryPath().toStdString(), &error);
    m_directory = m_loaded ? read : PagerDirectory{};
    m_note->setText(m_loaded ? QStringLiteral("Kept in %1").arg(directoryPath())
                             : QStringLiteral("%1 cannot be used: %2. Mend or move the file; "
                                              "nothing is written over it meanwhile.")
                                   .arg(directoryPath(), QString::fromStdString(error)));
    fillTable();
}

void TPagersForm::fillTable() {
    const auto& pagers = m_directory.pagers();
    m_table->setRowCount(static_cast<int>(pagers.size()));
    for (int row = 0; row < m_table->rowCount(); ++row)
        for (int column = 0; column < m_table->columnCount(); ++column)
            m_table->setItem(
                row, column,
                new QTableWidgetItem(describe(pagers[static_cast<size_t>(row)], column)));
    m_table->resizeColumnsToContents();
}

void TPagersForm::selectPager(const QString& id) {
    m_following = true;
    m_table->clearSelection();
    m_table->setCurrentItem(nullptr);
    const auto& pagers = m_directory.pagers();
    for (size_t row = 0; row < pagers.size(); ++row)
        if (qtext(pagers[row].id) == id)
            m_table->selectRow(static_cast<int>(row));
    m_following = false;
}

void TPagersForm::rowChosen() {
    if (m_following)
        return;
    const int row = m_table->currentRow();
    if (row < 0 || row >= static_cast<int>(m_directory.pagers().size()))
        return;
    const Pager& p = m_directory.pagers()[static_cast<size_t>(row)];
    m_id->setText(qtext(p.id));
    m_name->setText(qtext(p.name));
    m_ric->setText(QString::number(p.ric));
    m_function->setCurrentIndex(p.functionBits);
    m_coding->setCurrentIndex(static_cast<int>(p.coding));
    m_baud->setCurrentIndex(p.baud == 512 ? 0 : p.baud == 2400 ? 2 : 1);
    m_polarity->setCurrentIndex(p.inverted ? 1 : 0);
    m_charset->setCurrentIndex(static_cast<int>(p.charset));
    m_maxLength->setValue(p.maxLength);
}

Pager TPagersForm::pagerFromFields(std::string* error) const {
    Pager p;
    p.id = m_id->text().trimmed().toStdString();
    p.name = m_name->text().trimmed().toStdString();
    if (const auto bad = setPagerField(p, "ric", m_ric->text().toStdString()))
        *error = *bad;
    p.functionBits = m_function->currentIndex();
    p.coding = Codings[m_coding->currentIndex()];
    p.baud = m_baud->currentText().toInt();
    p.inverted = m_polarity->currentIndex() == 1;
    p.charset = Charsets[m_charset->currentIndex()];
    p.maxLength = p.coding == PagerCoding::ToneOnly ? 0 : m_maxLength->value();
    return p;
}

bool TPagersForm::btAddClick() {
    std::string error;
    const Pager p = pagerFromFields(&error);
    if (error.empty())
        if (const auto bad = validatePager(p))
            error = *bad;
    if (error.empty() && !m_loaded)
        error = "the directory file cannot be read, so it is not written over";
    if (!error.empty() || !m_directory.add(p, &error)) {
        showPlainMessage(
            this,
            QStringLiteral("This pager is not added.\r\n%1").arg(QString::fromStdString(error)));
        return false;
    }
    if (!save())
        return false;
    selectPager(qtext(p.id));
    return true;
}

void TPagersForm::btRemoveClick() {
    const QList<QTableWidgetItem*> chosen = m_table->selectedItems();
    const int row = chosen.isEmpty() ? -1 : chosen.first()->row();
    if (!m_loaded || row < 0 || row >= static_cast<int>(m_directory.pagers().size())) {
        showPlainMessage(this, QStringLiteral("Choose the pager to remove in the table first."));
        return;
    }
    const Pager p = m_directory.pagers()[static_cast<size_t>(row)];
    QMessageBox ask(
        QMessageBox::Question, windowTitle(),
        QStringLiteral("Remove pager %1 (%2RIC %3) from the directory?")
            .arg(qtext(p.id), p.name.empty() ? QString() : qtext(p.name) + QStringLiteral(", "))
            .arg(p.ric),
        QMessageBox::Yes | QMessageBox::No, this);
    ask.setObjectName(QStringLiteral("ConfirmRemove"));
    ask.setDefaultButton(QMessageBox::No);
    if (ask.exec() != QMessageBox::Yes)
        return;
    m_directory.remove(p.id);
    if (save())
        m_table->clearSelection();
}

bool TPagersForm::save() {
    std::string error;
    if (!m_directory.save(directoryPath().toStdString(), &error)) {
        showPlainMessage(this, QStringLiteral("The pager directory could not be written.\r\n%1")
                                   .arg(QString::fromStdString(error)));
        reload(); // show what the file really holds
        return false;
    }
    fillTable();
    return true;
}

} // namespace tarvex
