// Building the main window's controls: four bands stacked from the top, every control at
// its place and size, and the menu bar.
#include "app/main_form.h"
#include "app/message_edit.h"
#include "app/picture_button.h"
#include "app/status_line.h"
#include "app/ui_font.h"

#include <QAction>
#include <QButtonGroup>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QSlider>
#include <QSpinBox>
#include <QVBoxLayout>

#include <algorithm>

namespace tarvex {

namespace {

constexpr int ClientWidth = 612;
constexpr int ClientHeight = 434;
constexpr int OptionsDesignHeight = 103;
const QColor Blue(0, 0, 255);

void makeBlue(QWidget* widget) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, Blue);
    palette.setColor(QPalette::Text, Blue);
    palette.setColor(QPalette::ButtonText, Blue);
    widget->setPalette(palette);
}

QWidget* makeBand(QWidget* parent, const QString& name) {
    auto* band = new QFrame(parent);
    band->setObjectName(name);
    band->setFrameStyle(QFrame::Panel | QFrame::Raised);
    return band;
}

QGroupBox* makeGroup(QWidget* panel, const QString& caption, int left, int top, int width) {
    auto* group = new QGroupBox(caption, panel);
    group->setGeometry(left, top, width, 47);
    return group;
}

PictureButton* pageButton(QWidget* group, const QString& name, const QString& caption,
                          const QString& sub, QRect place) {
    auto* button = new PictureButton(caption, sub, true, group);
    button->setObjectName(name);
    button->setGeometry(place);
    return button;
}

// A caption strip 14 pixels high over a field that fills the rest of the band.
void stackCaption(QWidget* band, const QString& caption, QWidget* field) {
    auto* layout = new QVBoxLayout(band);
    layout->setContentsMargins(1, 1, 1, 1);
    layout->setSpacing(0);
    auto* strip = new QLabel(caption, band);
    strip->setFixedHeight(14);
    strip->setAlignment(Qt::AlignCenter);
    layout->addWidget(strip);
    layout->addWidget(field, 1);
}

} // namespace

void TMainForm::buildWindow() {
    setFont(uiFont());
    auto* client = new QWidget(this);
    client->setObjectName(QStringLiteral("Client"));
    client->setFixedSize(ClientWidth, ClientHeight);
    auto* bands = new QVBoxLayout(client);
    bands->setContentsMargins(0, 0, 0, 0);
    bands->setSpacing(0);

    Panel1 = makeBand(client, QStringLiteral("Panel1"));
    Panel1->setFixedHeight(OptionsDesignHeight);
    Panel4 = makeBand(client, QStringLiteral("Panel4"));
    Panel4->setFixedHeight(68);
    Panel3 = makeBand(client, QStringLiteral("Panel3"));
    Panel3->setFixedHeight(96);
    Panel6 = makeBand(client, QStringLiteral("Panel6"));
    bands->addWidget(Panel1);
    bands->addWidget(Panel4);
    bands->addWidget(Panel3);
    bands->addWidget(Panel6, 1); // the listing takes whatever the options panel leaves
    setCentralWidget(client);

    buildOptionsPanel();
    buildAddressBand();
    buildMessageBand();
    buildListingBand();
    buildMenu();
    m_status = new StatusLine(this);
    setStatusBar(m_status);

    // Tab goes from the RIC/CAP field to the message and the listing first, then to the
    // buttons: Preset Messages, SEND, and (while the options are shown) the page buttons
    // group by group, the data folder and TUNE-UP.
    QWidget* order[] = {RicEdit, MsgEdit, DataOut, btPreset, TxButton, FB1, FB2, FB3,     FB4,
                        AN1,     AN2,     BR1,     BR2,      BR3,      NI1, NI2, DFolder, btPa};
    for (std::size_t i = 1; i < std::size(order); ++i)
        setTabOrder(order[i - 1], order[i]);
}

void TMainForm::buildOptionsPanel() {
    QWidget* p = Panel1;
    QGroupBox* g = makeGroup(p, QStringLiteral("Function Bits"), 4, 3, 112);
    FB1 = pageButton(g, "FB1", "00", "num", {6, 15, 25, 25});
    FB2 = pageButton(g, "FB2", "01", "T1", {31, 15, 25, 25});
    FB3 = pageButton(g, "FB3", "10", "T2", {56, 15, 25, 25});
    FB4 = pageButton(g, "FB4", "11", "ALPHA", {81, 15, 25, 25});
    m_fbGroup = new QButtonGroup(this);
    for (auto* b : {FB1, FB2, FB3, FB4})
        m_fbGroup->addButton(b);
    // "num", "T1" and "T2" are drawn alike; the wider "ALPHA" takes the size it needs alone,
    // so that it does not shrink the others to its own.
    PictureButton::drawFacesAlike({FB1, FB2, FB3});

    g = makeGroup(p, QStringLiteral("Alpha/Numeric"), 121, 3, 112);
    AN1 = pageButton(g, "AN1", "ABC123", "ALPHA", {5, 15, 50, 25});
    AN2 = pageButton(g, "AN2", "123456789", "NUMERIC", {55, 15, 50, 25});
    m_anGroup = new QButtonGroup(this);
    m_anGroup->addButton(AN1);
    m_anGroup->addButton(AN2);
    PictureButton::drawFacesAlike({AN1, AN2});

    g = makeGroup(p, QStringLiteral("BaudRate"), 238, 3, 86);
    BR1 = pageButton(g, "BR1", "512", "", {5, 15, 25, 25});
    BR2 = pageButton(g, "BR2", "1200", "", {30, 15, 25, 25});
    BR3 = pageButton(g, "BR3", "2400", "", {55, 15, 25, 25});
    m_brGroup = new QButtonGroup(this);
    for (auto* b : {BR1, BR2, BR3})
        m_brGroup->addButton(b);
    PictureButton::drawFacesAlike({BR1, BR2, BR3});

    g = makeGroup(p, QStringLiteral("Normal/Inverted"), 329, 3, 130);
    NI1 = new PictureButton(PictureButton::Face::WaveNormal, QStringLiteral("NORMAL"), g);
    NI1->setObjectName(QStringLiteral("NI1"));
    NI1->setGeometry(10, 15, 50, 25);
    NI2 = new PictureButton(PictureButton::Face::WaveInverted, QStringLiteral("INVERTED"), g);
    NI2->setObjectName(QStringLiteral("NI2"));
    NI2->setGeometry(71, 15, 50, 25);
    m_niGroup = new QButtonGroup(this);
    m_niGroup->addButton(NI1);
    m_niGroup->addButton(NI2);
    PictureButton::drawFacesAlike({NI1, NI2});

    buildToolGroups();
}

void TMainForm::buildToolGroups() {
    QWidget* p = Panel1;
    QGroupBox* g = makeGroup(p, QStringLiteral("Folders"), 464, 3, 145);
    DFolder = new PictureButton(QStringLiteral("Set Data Folder"), {}, false, g);
    DFolder->setObjectName(QStringLiteral("DFolder"));
    DFolder->setGeometry(14, 16, 119, 25);

    g = makeGroup(p, QStringLiteral("Tuneup"), 4, 50, 265);
    (new QLabel(QStringLiteral("Tune for"), g))->move(18, 22);
    TuneTime = new QSpinBox(g);
    TuneTime->setObjectName(QStringLiteral("TuneTime"));
    TuneTime->setGeometry(64, 16, 41, 22);
    TuneTime->setRange(1, 15);
    TuneTime->setValue(3);
    TuneTime->setFocusPolicy(Qt::NoFocus); // arrows only: no typing, not a tab stop
    if (auto* text = TuneTime->findChild<QLineEdit*>())
        text->setReadOnly(true);
    (new QLabel(QStringLiteral("Seconds"), g))->move(110, 22);
    btPa = new PictureButton(QStringLiteral("TUNE-UP"), {}, false, g);
    btPa->setObjectName(QStringLiteral("btPa"));
    btPa->setGeometry(164, 14, 83, 25);

    g = makeGroup(p, QStringLiteral("Set Deviation Level"), 272, 50, 337);
    Volume = new QSlider(Qt::Horizontal, g);
    Volume->setObjectName(QStringLiteral("Volume"));
    Volume->setGeometry(8, 22, 225, 19);
    Volume->setRange(0, 100);
    Volume->setTickPosition(QSlider::TicksAbove);
    Volume->setTickInterval(5);
    Volume->setFocusPolicy(Qt::NoFocus); // not moved by arrow keys, not a tab stop
    // The level as a number, and for which rate: each rate keeps a level of its own.
    m_levelText = new QLabel(g);
    m_levelText->setObjectName(QStringLiteral("LevelText"));
    m_levelText->setGeometry(238, 20, 95, 22);
}

void TMainForm::buildAddressBand() {
    auto* label = new QLabel(QStringLiteral("RIC/CAP Code"), Panel4);
    label->setFont(uiFont(13));
    makeBlue(label);
    label->move(12, 16);
    label->adjustSize();

    RicEdit = new QLineEdit(QStringLiteral("1234567"), Panel4);
    RicEdit->setObjectName(QStringLiteral("RicEdit"));
    RicEdit->setGeometry(105, 11, 86, 28);
    RicEdit->setMaxLength(7);
    RicEdit->setFont(uiFont(16));
    makeBlue(RicEdit);

    btPreset = new PictureButton(QStringLiteral("Preset Messages"), {}, false, Panel4);
    btPreset->setObjectName(QStringLiteral("btPreset"));
    btPreset->setGeometry(210, 12, 91, 25);
    TxButton = new PictureButton(QStringLiteral("SEND"), {}, false, Panel4);
    TxButton->setObjectName(QStringLiteral("TxButton"));
    TxButton->setGeometry(330, 12, 79, 25);

    logpages = new QCheckBox(QStringLiteral("Log pages to file"), Panel4);
    logpages->setObjectName(QStringLiteral("logpages"));
    // 101 pixels hold the caption in the design font; a wider substitute font gets room.
    logpages->setGeometry(444, 16, std::max(101, logpages->sizeHint().width()), 19);
    logpages->setFocusPolicy(Qt::NoFocus);
    makeBlue(logpages);
}

void TMainForm::buildMessageBand() {
    MsgEdit = new MessageEdit(Panel3);
    MsgEdit->setObjectName(QStringLiteral("MsgEdit"));
    MsgEdit->setMaxLength(256);
    MsgEdit->setFont(uiFont(13));
    makeBlue(MsgEdit);
    stackCaption(Panel3, QStringLiteral("Message To Send"), MsgEdit);
}

void TMainForm::buildListingBand() {
    DataOut = new QPlainTextEdit(Panel6);
    DataOut->setObjectName(QStringLiteral("DataOut"));
    DataOut->setFont(listingFont(13));
    DataOut->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    DataOut->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    DataOut->setTabChangesFocus(true);
    DataOut->setReadOnly(true); // the listing of what was sent, never typed into
    // A caret shows where the focus is, and the listing can be selected and copied by keys.
    DataOut->setTextInteractionFlags(Qt::TextSelectableByKeyboard | Qt::TextSelectableByMouse);
    makeBlue(DataOut);
    stackCaption(Panel6, QStringLiteral("Data Being Sent"), DataOut);
}

void TMainForm::buildMenu() {
    QMenuBar* bar = menuBar();
    Options1 = bar->addAction(QStringLiteral("Show &Options"));
    Options1->setObjectName(QStringLiteral("Options1"));

    QMenu* setup = bar->addMenu(QStringLiteral("Setup"));
    AutoSendOptions1 = setup->addAction(QStringLiteral("&Auto Send Setup"));
    StationIdent1 = setup->addAction(QStringLiteral("&Station Ident"));
    Keying1 = setup->addAction(QStringLiteral("&Keying"));
    SyncIdleValues1 = setup->addAction(QStringLiteral("Sync && Idle &Values"));
    // No item ends in "...": the stock items that open a dialog have none, and the program's
    // own items follow them.
    AudioOutput1 = setup->addAction(QStringLiteral("Audio &Output"));
    AudioOutput1->setObjectName(QStringLiteral("AudioOutput1"));
    Pagers1 = setup->addAction(QStringLiteral("&Pagers"));
    Pagers1->setObjectName(QStringLiteral("Pagers1"));
    Dapnet1 = setup->addAction(QStringLiteral("&DAPNET"));
    Dapnet1->setObjectName(QStringLiteral("Dapnet1"));
    Monitor1 = setup->addAction(QStringLiteral("Off-air &monitor"));
    Monitor1->setObjectName(QStringLiteral("Monitor1"));
    // The bar has no File menu: leaving the program sits at the end of the first one.
    setup->addSeparator();
    Exit1 = setup->addAction(QStringLiteral("E&xit"));
    Exit1->setObjectName(QStringLiteral("Exit1"));
    Exit1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));

    QMenu* special = bar->addMenu(QStringLiteral("Special Functions"));
    KeyTx1 = special->addAction(QStringLiteral("&Keyup the Tx"));
    KeyTx1->setCheckable(true);
    RICCAPSearch1 = special->addAction(QStringLiteral("&RIC/CAP Search"));
    FastRICSearch1 = special->addAction(QStringLiteral("&Fast RIC Search"));

    QMenu* help = bar->addMenu(QStringLiteral("&Help"));
    Help2 = help->addAction(QStringLiteral("&Help"));
    Help2->setShortcut(QKeySequence(Qt::Key_F1));
    MessageHistory1 = help->addAction(QStringLiteral("&Message history"));
    MessageHistory1->setObjectName(QStringLiteral("MessageHistory1"));
    PageLog1 = help->addAction(QStringLiteral("&Page log"));
    PageLog1->setObjectName(QStringLiteral("PageLog1"));
    About1 = help->addAction(QStringLiteral("&About"));

    AutoSendOptions1->setObjectName(QStringLiteral("AutoSendOptions1"));
    StationIdent1->setObjectName(QStringLiteral("StationIdent1"));
    Keying1->setObjectName(QStringLiteral("Keying1"));
    SyncIdleValues1->setObjectName(QStringLiteral("SyncIdleValues1"));
    KeyTx1->setObjectName(QStringLiteral("KeyTx1"));
    RICCAPSearch1->setObjectName(QStringLiteral("RICCAPSearch1"));
    FastRICSearch1->setObjectName(QStringLiteral("FastRICSearch1"));
    Help2->setObjectName(QStringLiteral("Help2"));
    About1->setObjectName(QStringLiteral("About1"));
}

} // namespace tarvex
