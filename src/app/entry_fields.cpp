#include "app/entry_fields.h"

#include "app/key_filter.h"
#include "encoder/codeword.h"
#include "paging/entry_format.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

namespace tarvex {

namespace {

constexpr int RateValues[] = {512, 1200, 2400};
enum TypeIndex { Alpha = 0, Numeric = 1, Tone = 2 };
constexpr int MessageMaxLength = 256; // what the window's message field holds

QComboBox* makeCombo(QWidget* parent, const char* name, const QStringList& items) {
    auto* combo = new QComboBox(parent);
    combo->setObjectName(QString::fromLatin1(name));
    combo->addItems(items);
    return combo;
}

void addField(QHBoxLayout* row, const QString& caption, QWidget* field, int stretch = 0) {
    auto* label = new QLabel(caption, field->parentWidget());
    label->setBuddy(field);
    label->setMinimumWidth(label->sizeHint().width()); // the fields give way, not the captions
    row->addWidget(label);
    row->addWidget(field, stretch);
    row->addSpacing(6);
}

bool hasLetter(const QString& text) {
    for (const QChar c : text)
        if ((c >= QLatin1Char('A') && c <= QLatin1Char('Z')) ||
            (c >= QLatin1Char('a') && c <= QLatin1Char('z')))
            return true;
    return false;
}

} // namespace

EntryFields::EntryFields(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("EntryFields"));
    m_pager = makeCombo(this, "EntryPager", {QStringLiteral("(none: type the RIC)")});
    m_pager->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    m_pager->setMinimumContentsLength(10);
    m_ric = new QLineEdit(this);
    m_ric->setObjectName(QStringLiteral("EntryRic"));
    m_ric->setMaxLength(7);
    m_ric->setMaximumWidth(80);
    KeyFilter::install(m_ric, KeyFilter::isDecimalDigit);
    m_rate = makeCombo(this, "EntryRate", {"512", "1200", "2400"});
    m_rate->setCurrentIndex(1);
    m_type = makeCombo(this, "EntryType", {"Alphanumeric", "Numeric", "Tone only"});
    m_function = makeCombo(this, "EntryFunction", {"00 (num)", "01 (T1)", "10 (T2)", "11 (ALPHA)"});
    m_function->setCurrentIndex(3);
    m_polarity = makeCombo(this, "EntryPolarity", {"Normal", "Inverted"});
    m_text = new QLineEdit(this);
    m_text->setObjectName(QStringLiteral("EntryText"));
    m_text->setMaxLength(MessageMaxLength);

    auto* top = new QHBoxLayout;
    addField(top, QStringLiteral("Pager:"), m_pager, 1);
    addField(top, QStringLiteral("RIC:"), m_ric);
    addField(top, QStringLiteral("Rate:"), m_rate);
    addField(top, QStringLiteral("Type:"), m_type);
    auto* bottom = new QHBoxLayout;
    addField(bottom, QStringLiteral("Function:"), m_function);
    addField(bottom, QStringLiteral("Polarity:"), m_polarity);
    addField(bottom, QStringLiteral("Text:"), m_text, 1);
    auto* rows = new QVBoxLayout(this);
    rows->setContentsMargins(0, 0, 0, 0);
    rows->setSpacing(4);
    rows->addLayout(top);
    rows->addLayout(bottom);

    // Only the operator's own changes count as edits; showLine sets the fields quietly.
    connect(m_pager, &QComboBox::activated, this, &EntryFields::pagerChosen);
    connect(m_ric, &QLineEdit::textEdited, this, [this] {
        followRic();
        emit edited();
    });
    for (QComboBox* combo : {m_rate, m_type, m_function, m_polarity})
        connect(combo, &QComboBox::activated, this, &EntryFields::edited);
    connect(m_type, &QComboBox::currentIndexChanged, this, &EntryFields::typeChanged);
    connect(m_text, &QLineEdit::textEdited, this, &EntryFields::edited);
}

void EntryFields::setPagers(std::vector<Pager> pagers) {
    m_pagers = std::move(pagers);
    while (m_pager->count() > 1)
        m_pager->removeItem(1);
    for (const Pager& pager : m_pagers) {
        QString caption = QString::fromStdString(pager.id);
        if (!pager.name.empty())
            caption += QStringLiteral(" - %1").arg(QString::fromStdString(pager.name));
        m_pager->addItem(caption + QStringLiteral(" (RIC %1)").arg(pager.ric));
    }
    followRic();
}

void EntryFields::pagerChosen(int index) {
    if (index > 0 && index <= static_cast<int>(m_pagers.size())) {
        const Pager& pager = m_pagers[static_cast<std::size_t>(index - 1)];
        m_ric->setText(QString::number(pager.ric));
        m_rate->setCurrentIndex(pager.baud == 512 ? 0 : pager.baud == 2400 ? 2 : 1);
        m_type->setCurrentIndex(pager.coding == PagerCoding::Alphanumeric ? Alpha
                                : pager.coding == PagerCoding::Numeric    ? Numeric
                                                                          : Tone);
        m_function->setCurrentIndex(pager.functionBits);
        m_polarity->setCurrentIndex(pager.inverted ? 1 : 0);
    }
    emit edited();
}

void EntryFields::followRic() {
    // The pager list names the directory's pager when the RIC is one of theirs.
    int index = 0;
    bool ok = false;
    const uint ric = m_ric->text().toUInt(&ok);
    for (std::size_t i = 0; ok && i < m_pagers.size() && index == 0; ++i)
        if (m_pagers[i].ric == ric)
            index = static_cast<int>(i) + 1;
    m_pager->setCurrentIndex(index);
}

void EntryFields::typeChanged() {
    m_text->setEnabled(m_type->currentIndex() != Tone);
}

void EntryFields::showLine(const QString& line) {
    const EntryParse parse = parsePageEntry(line.toLatin1().toStdString());
    const PageEntry& e = parse.entry;
    const auto reached = [&](EntryProgress p) { return parse.progress >= p; };
    if (reached(EntryProgress::FunctionBits))
        m_function->setCurrentIndex(e.functionBits);
    if (reached(EntryProgress::Coding)) {
        const bool tone = parse.ok() && e.coding == Coding::Numeric && e.message.empty();
        m_type->setCurrentIndex(tone ? Tone : e.coding == Coding::Numeric ? Numeric : Alpha);
    }
    if (reached(EntryProgress::Baud))
        m_rate->setCurrentIndex(e.baud == 512 ? 0 : e.baud == 2400 ? 2 : 1);
    if (reached(EntryProgress::Polarity))
        m_polarity->setCurrentIndex(e.inverted ? 1 : 0);
    if (parse.ok()) {
        m_ric->setText(QString::fromLatin1(e.ric).trimmed());
        m_text->setText(QString::fromLatin1(e.message));
        followRic();
    }
}

QString EntryFields::line() const {
    PageParams page;
    page.functionBits = m_function->currentIndex();
    page.coding = m_type->currentIndex() == Alpha ? Coding::Alphanumeric : Coding::Numeric;
    page.baud = RateValues[m_rate->currentIndex()];
    page.inverted = m_polarity->currentIndex() == 1;
    page.ric = m_ric->text().toStdString();
    if (m_type->currentIndex() != Tone)
        page.message = m_text->text().toLatin1().toStdString();
    if (const auto made = entryLine(page))
        return QString::fromLatin1(*made);
    // No RIC yet (or one too large): the line shows where it goes, and Add names it.
    page.ric = "0";
    QString shown = QString::fromLatin1(entryLine(page).value_or(std::string()));
    const QString ric = m_ric->text().isEmpty() ? QStringLiteral("???????")
                                                : m_ric->text().rightJustified(7, QLatin1Char('0'));
    return shown.replace(8, 7, ric);
}

void EntryFields::clear() {
    m_pager->setCurrentIndex(0);
    m_ric->clear();
    m_rate->setCurrentIndex(1);
    m_type->setCurrentIndex(Alpha);
    m_function->setCurrentIndex(3);
    m_polarity->setCurrentIndex(0);
    m_text->clear();
}

QWidget* EntryFields::fieldNamed(const QString& name) const {
    if (name == QLatin1String("RIC"))
        return m_ric;
    if (name == QLatin1String("Text"))
        return m_text;
    if (name == QLatin1String("Rate"))
        return m_rate;
    if (name == QLatin1String("Type"))
        return m_type;
    if (name == QLatin1String("Function bits"))
        return m_function;
    if (name == QLatin1String("Polarity"))
        return m_polarity;
    return nullptr;
}

QString entryProblem(const QString& line) {
    for (const QChar c : line)
        if (c.unicode() > 0xFF)
            return QStringLiteral("Text: '%1' cannot be kept in the message list, which holds "
                                  "8-bit text only.")
                .arg(c);
    const std::string bytes = line.toLatin1().toStdString();
    EntryParse parse = parsePageEntry(bytes);
    if (!parse.ok() && bytes.size() < EntryMinLength) {
        // A short line: whichever field is missing or wrong first.
        parse = parsePageEntry(line.leftJustified(15, QLatin1Char('0')).toLatin1().toStdString());
        if (parse.ok())
            parse.progress = EntryProgress::Polarity;
    }
    switch (parse.progress) {
    case EntryProgress::None:
        return QStringLiteral("Function bits: use 00, 01, 10 or 11 (the first two characters "
                              "of the entry).");
    case EntryProgress::FunctionBits:
        return QStringLiteral("Type: the third character must be A (alphanumeric) or N "
                              "(numeric).");
    case EntryProgress::Coding:
        return QStringLiteral("Rate: the bit rate must be 0512, 1200 or 2400 (characters 4 to "
                              "7).");
    case EntryProgress::Baud:
        return QStringLiteral("Polarity: the eighth character must be N (normal) or I "
                              "(inverted).");
    case EntryProgress::Polarity:
        return QStringLiteral("RIC: type the pager's RIC/CAP code, a number from 0 to %1 "
                              "(seven digits in the entry, with leading zeros).")
            .arg(MaxRic);
    case EntryProgress::Complete:
        break;
    }
    const QString message = QString::fromLatin1(parse.entry.message);
    if (message.size() > MessageMaxLength)
        return QStringLiteral("Text: a page carries at most %1 characters; this one has %2.")
            .arg(MessageMaxLength)
            .arg(message.size());
    if (parse.entry.coding == Coding::Numeric && hasLetter(message))
        return QStringLiteral("Text: a numeric pager cannot show letters; choose Alphanumeric "
                              "or take the letters out.");
    return {};
}

} // namespace tarvex
