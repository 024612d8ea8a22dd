// The main window: creation, the start-up sequence's hooks and the handlers of its own
// controls. SEND and the engine's events live in main_form_send.cpp and
// main_form_events.cpp, the control layout in main_form_layout.cpp.
#include "app/main_form.h"

#include "app/about_form.h"
#include "app/audio_form.h"
#include "app/auto_form.h"
#include "app/dialog_support.h"
#include "app/fast_form.h"
#include "app/folder_chooser.h"
#include "app/ident_form.h"
#include "app/key_filter.h"
#include "app/keying_form.h"
#include "app/mess_form.h"
#include "app/message_edit.h"
#include "app/on_air_bar.h"
#include "app/picture_button.h"
#include "app/program_folder.h"
#include "app/rs_form.h"
#include "app/status_line.h"
#include "app/sync_idle_form.h"
#include "app/window_placement.h"
#include "encoder/conversions.h"
#include "encoder/errors.h"
#include "host/station_host.h"
#include "monitor/station_monitor.h"
#include "network/inputs/network_inputs.h"
#include "paging/event_wait.h"
#include "signal/audio_output.h"
#include "signal/signal_gen.h"
#include "txcontrol/system_port.h"

#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QScreen>
#include <QShortcut>
#include <QSlider>
#include <QSpinBox>
#include <QTimer>

namespace tarvex {

namespace {
constexpr int OptionsShownHeight = 100;
constexpr int OptionsFoldedHeight = 1;
constexpr std::array<int16_t, 3> Rates{512, 1200, 2400};

/// Changes some of the engine's options and keeps the rest.
template <typename Change> void changeOptions(Station& station, Change change) {
    Station::Options options = station.options();
    change(options);
    station.setOptions(std::move(options));
}
} // namespace

TMainForm::TMainForm(MainFormSetup setup, QWidget* parent) : QMainWindow(parent) {
    setObjectName(QStringLiteral("MainForm"));
    setWindowTitle(QStringLiteral("Tarvex"));
    buildWindow();
    FormCreate(setup);
    connectHandlers();
    adjustSize();
    setFixedSize(size());                  // single border: not resizable
    prepareFramePosition(*this, {10, 10}); // Left and Top as the frame's, until loaded
}

TMainForm::~TMainForm() {
    // The network inputs and the monitor (which writes its waiting page-log lines) go before
    // the engine they feed, and the engine before the widgets its listener writes to.
    m_host.reset();
}

void TMainForm::FormCreate(const MainFormSetup& setup) {
    // System menu and minimise box, no maximise box.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    m_settingsFile = setup.settingsFile;
    m_platformCode = setup.platformCode;
    ProgramFolder = setup.programFolder.isEmpty() ? resolveProgramFolder()
                                                  : withTrailingSeparator(setup.programFolder);
    DataFolder = ProgramFolder;
    m_status->setFolder(ProgramFolder);
    if (!m_status->loadHistory(ProgramFolder + QLatin1String(StatusLine::HistoryFileName)))
        m_status->note(QStringLiteral("The message history of earlier runs cannot be read."));
    m_openUrl = setup.openUrl;
    m_executableFolder = setup.executableFolder;
    createStation(setup);
}

AutoSendInput& TMainForm::autoSend() {
    return m_host->autoSend();
}

void TMainForm::createStation(const MainFormSetup& setup) {
    m_port = setup.port;
    m_portName = setup.portName;
    if (!m_port) {
        auto system = std::make_shared<SystemPort>();
        system->PlatformCode = PlatformCheck();
        m_port = system;
    }
    m_lineFactory = makeKeyingLine;

    HostSetup s;
    s.audio = createAudio(setup);
    s.line = std::make_unique<ParallelPortLine>(
        m_port, [this] { return keying(); }, m_portName.toStdString());
    s.folder = ProgramFolder.toStdString();
    s.log = [this](const std::string& line) { networkLog(line); };
    m_host = std::make_unique<StationHost>(std::move(s));
    m_station = &m_host->station();
    m_network = &m_host->network();
    m_monitor = m_host->monitor();
    m_station->subscribe([this](const StationEvent& e) { onStationEvent(e); });
    changeOptions(*m_station, [this](Station::Options& o) {
        o.rateLevels = {DeviationLevels[0], DeviationLevels[1], DeviationLevels[2]};
    });
    pushPageLog();
    describeBackends();
    createNetwork();
}

KeyingSettings TMainForm::keying() const {
    return m_dialogs.keying != nullptr ? m_dialogs.keying->settings() : KeyingSettings{};
}

void TMainForm::setDialogs(const MainFormDialogs& dialogs) {
    m_dialogs = dialogs;
    if (m_dialogs.keying != nullptr) {
        // Inverted keying changes the released level: release at once with the new polarity.
        m_dialogs.keying->setInvKeyAction([this] { m_station->releaseNow(); });
        m_dialogs.keying->setTestAction([this] { testKeying(); });
        connect(m_dialogs.keying->Port(), &QComboBox::currentIndexChanged, this,
                &TMainForm::describeBackends);
        connect(m_dialogs.keying->KeyDelay(), &QSpinBox::valueChanged, this, [this](int ms) {
            changeOptions(*m_station, [ms](Station::Options& o) { o.keyDelayMs = ms; });
        });
        connect(m_dialogs.keying->TxWatchdog(), &QSpinBox::valueChanged, this, [this](int seconds) {
            changeOptions(*m_station,
                          [seconds](Station::Options& o) { o.txWatchdogSeconds = seconds; });
        });
        changeOptions(*m_station, [this](Station::Options& o) {
            o.keyDelayMs = m_dialogs.keying->KeyDelay()->value();
            o.txWatchdogSeconds = m_dialogs.keying->TxWatchdog()->value();
        });
    }
    if (m_dialogs.audio != nullptr)
        connect(m_dialogs.audio, &TAudioForm::choiceChanged, this, &TMainForm::applyAudioChoice);
    // The dialogs that key the transmitter, or stay open while auto send keys it, show the
    // lamp and carry a STOP: the window's own is out of reach under a modal dialog.
    // The fast search's own Stop ends the search and the transmission alike.
    for (QDialog* dialog : std::initializer_list<QDialog*>{
             m_dialogs.ident, m_dialogs.keying, m_dialogs.ricSearch, m_dialogs.fastSearch})
        if (dialog != nullptr)
            OnAirBar::attach(
                *dialog, *m_station, [this] { stopTransmission(); },
                dialog != m_dialogs.fastSearch);
    connectNetworkDialogs();
    describeBackends();
}

void TMainForm::connectHandlers() {
    connect(Options1, &QAction::triggered, this, &TMainForm::Options1Click);
    connect(BR1, &QAbstractButton::clicked, this, &TMainForm::BR1Click);
    connect(BR2, &QAbstractButton::clicked, this, &TMainForm::BR2Click);
    connect(BR3, &QAbstractButton::clicked, this, &TMainForm::BR3Click);
    connect(AN2, &QAbstractButton::clicked, this, &TMainForm::AN2Click);
    connect(NI1, &QAbstractButton::clicked, this, &TMainForm::NI1Click);
    connect(NI2, &QAbstractButton::clicked, this, &TMainForm::NI2Click);
    connect(Volume, &QSlider::valueChanged, this, &TMainForm::VolumeChange);
    connect(TuneTime, &QSpinBox::valueChanged, this, &TMainForm::TuneTimeChange);
    connect(DFolder, &QAbstractButton::clicked, this, &TMainForm::DFolderClick);
    connect(TxButton, &QAbstractButton::clicked, this, [this] { TxButtonClick(); });
    connect(btPa, &QAbstractButton::clicked, this, &TMainForm::btPaClick);
    connect(btPreset, &QAbstractButton::clicked, this, &TMainForm::btPresetClick);
    for (QButtonGroup* group : {m_fbGroup, m_anGroup, m_brGroup, m_niGroup})
        connect(group, &QButtonGroup::buttonToggled, this, &TMainForm::updateTabStops);
    connect(logpages, &QCheckBox::toggled, this, &TMainForm::pushPageLog);
    connect(Help2, &QAction::triggered, this, &TMainForm::Help2Click);
    connect(AudioOutput1, &QAction::triggered, this, &TMainForm::AudioOutput1Click);
    connect(About1, &QAction::triggered, this, &TMainForm::About1Click);
    connect(KeyTx1, &QAction::triggered, this, &TMainForm::KeyTx1Click);
    connect(Exit1, &QAction::triggered, this, &QWidget::close);
    connect(AutoSendOptions1, &QAction::triggered, this,
            [this] { showDialog(m_dialogs.autoSend); });
    connect(StationIdent1, &QAction::triggered, this, [this] { showDialog(m_dialogs.ident); });
    connect(Keying1, &QAction::triggered, this, [this] {
        showDialog(m_dialogs.keying);
        applyKeyingMethod();
    });
    connect(SyncIdleValues1, &QAction::triggered, this, [this] { showDialog(m_dialogs.syncIdle); });
    connect(RICCAPSearch1, &QAction::triggered, this, [this] { showDialog(m_dialogs.ricSearch); });
    connect(FastRICSearch1, &QAction::triggered, this,
            [this] { showDialog(m_dialogs.fastSearch); });
    connect(MsgEdit, &MessageEdit::sendRequested, this, [this] { TxButtonClick(); });
    connect(m_status, &StatusLine::stopClicked, this, &TMainForm::stopTransmission);
    auto* stop = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    stop->setObjectName(QStringLiteral("StopShortcut"));
    connect(stop, &QShortcut::activated, this, &TMainForm::stopTransmission);
    connect(MessageHistory1, &QAction::triggered, this, &TMainForm::MessageHistory1Click);
    connect(PageLog1, &QAction::triggered, this, &TMainForm::PageLog1Click);
    connect(MsgEdit, &MessageEdit::lengthRefused, this, [this] {
        QApplication::beep();
        m_status->note(QStringLiteral("The message holds at most 256 characters."));
    });
    KeyFilter::install(RicEdit, KeyFilter::isDecimalDigit);
    RicEdit->installEventFilter(this);
    // Esc reaches STOP from every window of the program while the transmitter is in use.
    qApp->installEventFilter(this);
}

bool TMainForm::transmitterInUse() const {
    const OnAirState state = m_station->state();
    return m_station->busy() || (state != OnAirState::Idle && state != OnAirState::Held);
}

bool TMainForm::event(QEvent* e) {
    if (e->type() == QEvent::WindowActivate && !m_activated) {
        FormActivate();
    } else if (e->type() == QEvent::Show && !m_activated) {
        // Without a window manager (or when it refuses focus) the window is never activated;
        // the start-up sequence then runs as soon as the shown window reaches the event loop.
        QTimer::singleShot(0, this, [this] {
            if (!m_activated)
                FormActivate();
        });
    }
    return QMainWindow::event(e);
}

int TMainForm::PlatformCheck() {
    return 2;
}

bool TMainForm::optionsShown() const {
    return Panel1->height() > OptionsFoldedHeight;
}

void TMainForm::Options1Click() {
    if (Panel1->height() <= OptionsFoldedHeight) {
        Panel1->setFixedHeight(OptionsShownHeight);
        Options1->setText(QStringLiteral("Hide &Options"));
    } else {
        Panel1->setFixedHeight(OptionsFoldedHeight);
        Options1->setText(QStringLiteral("Show &Options"));
    }
    updateTabStops();
    // Lay the bands out at once so that the new heights hold before the next paint.
    if (centralWidget()->layout() != nullptr)
        centralWidget()->layout()->activate();
}

void TMainForm::updateTabStops() {
    // Tab reaches the panel's buttons only while the panel can be seen: one stop per group
    // of page buttons, at the button that is down (the arrow keys move within the group, as
    // with radio buttons), and the data folder and TUNE-UP.
    const bool shown = Panel1->height() > OptionsFoldedHeight;
    for (PictureButton* b : Panel1->findChildren<PictureButton*>()) {
        const bool stop = shown && (b->group() == nullptr || b->isChecked());
        b->setFocusPolicy(stop ? Qt::TabFocus : Qt::NoFocus);
        if (!shown && b->hasFocus())
            RicEdit->setFocus(Qt::TabFocusReason);
    }
}

int TMainForm::rateIndex() const {
    if (BR1->isChecked())
        return 0;
    if (BR3->isChecked())
        return 2;
    return 1;
}

int TMainForm::baud() const {
    return Rates[static_cast<size_t>(rateIndex())];
}

void TMainForm::applyRate(int index) {
    Volume->setValue(DeviationLevels[static_cast<size_t>(index)]);
    m_station->setSignal({.baud = Rates[static_cast<size_t>(index)]});
    showLevel();
}

void TMainForm::showLevel() {
    const int rate = Rates[static_cast<size_t>(rateIndex())];
    m_levelText->setText(QStringLiteral("%1 for %2 bit/s").arg(Volume->value()).arg(rate));
    const QString tip = QStringLiteral("Deviation level %1 of 100 for %2 bit/s. Each bit rate "
                                       "keeps its own level: choosing another rate shows and "
                                       "sets that rate's level.")
                            .arg(Volume->value())
                            .arg(rate);
    m_levelText->setToolTip(tip);
    Volume->setToolTip(tip);
}

void TMainForm::BR1Click() {
    applyRate(0);
}
void TMainForm::BR2Click() {
    applyRate(1);
}
void TMainForm::BR3Click() {
    applyRate(2);
}

void TMainForm::VolumeChange(int position) {
    DeviationLevels[static_cast<size_t>(rateIndex())] = static_cast<uint8_t>(position);
    m_station->setSignal({.level = position});
    changeOptions(*m_station, [this](Station::Options& o) {
        o.rateLevels = {DeviationLevels[0], DeviationLevels[1], DeviationLevels[2]};
    });
    showLevel();
}

void TMainForm::AN2Click() {
    // The message stays as typed: emptying it lost the operator's words without a trace, and
    // the next Ctrl+Enter sent an empty page. The operator is told instead, and chooses.
    const QString text = MsgEdit->toPlainText();
    for (const QChar c : text) {
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')) {
            m_status->hold(QStringLiteral("NUMERIC: a numeric pager cannot show the letters in "
                                          "this message; it is kept as typed. Remove them, or "
                                          "choose ALPHA."));
            return;
        }
    }
}

void TMainForm::NI1Click() {
    m_station->setSignal({.inverted = false});
    pushIdentPolarity();
}
void TMainForm::NI2Click() {
    m_station->setSignal({.inverted = true});
    pushIdentPolarity();
}

void TMainForm::pushIdentPolarity() {
    IdentSettings ident = m_station->identSettings();
    ident.inverted = NI2->isChecked();
    m_station->setIdent(ident);
}

void TMainForm::TuneTimeChange(int seconds) {
    m_station->setSignal({.durationMs = static_cast<uint32_t>(seconds) * 1000u});
}

void TMainForm::pushPageLog() {
    changeOptions(*m_station, [this](Station::Options& o) {
        o.logPages = logpages->isChecked();
        o.dataFolder = DataFolder.toStdString();
    });
}

bool TMainForm::eventFilter(QObject* watched, QEvent* e) {
    if (e->type() == QEvent::KeyPress && watched->isWidgetType() &&
        static_cast<QKeyEvent*>(e)->key() == Qt::Key_Escape && !m_closing) {
        // In another window (a dialog, a message box) Esc stops what is on air rather than
        // closing that window; idle, it closes the window as usual. The window's own Esc is
        // its STOP shortcut.
        QWidget* window = static_cast<QWidget*>(watched)->window();
        if (window != this && transmitterInUse()) {
            stopTransmission();
            return true;
        }
    }
    if (watched == RicEdit && e->type() == QEvent::FocusOut) {
        const auto reason = static_cast<QFocusEvent*>(e)->reason();
        // Only a move to another control of this window counts as leaving the field.
        if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason &&
            reason != Qt::MenuBarFocusReason && !m_ricCheckPending) {
            m_ricCheckPending = true;
            QMetaObject::invokeMethod(this, &TMainForm::RicEditExit, Qt::QueuedConnection);
        }
    }
    return QMainWindow::eventFilter(watched, e);
}

QString ricProblem(const QString& text) {
    if (text.isEmpty())
        return QStringLiteral("Type the pager's RIC/CAP code (a number from 0 to 2097151) first.");
    if (!tryStrToInt(text.toStdString()) || text.startsWith('-') || text.startsWith('+'))
        return QStringLiteral("The RIC/CAP code must be a number from 0 to 2097151, in digits "
                              "only; \"%1\" is not.")
            .arg(text);
    return {};
}

void TMainForm::RicEditExit() {
    m_ricCheckPending = false;
    const QString text = RicEdit->text();
    if (text.isEmpty())
        return;
    const auto value = tryStrToInt(text.toStdString());
    if (!value) {
        showErrorReport(this, ricProblem(text));
        return;
    }
    if (*value <= MaxRic)
        return;
    QMessageBox* box = makeMessageBox(this, QMessageBox::Warning, QStringLiteral("Warning"),
                                      QStringLiteral("Maximum RIC/CAP Code value is 2097151 !"));
    box->setObjectName(QStringLiteral("RicWarning"));
    box->move(frameGeometry().topLeft() + QPoint(50, 50));
    box->exec();
    delete box;
    // What was typed stays, selected, in the field it belongs to: the next digits replace it,
    // and nothing is lost to a keystroke the box took.
    RicEdit->setFocus(Qt::OtherFocusReason);
    RicEdit->selectAll();
}

void TMainForm::DFolderClick() {
    const QString folder = FolderChooser::choose(this, DataFolder, ProgramFolder);
    if (!folder.isEmpty()) {
        DataFolder = folder;
        pushPageLog();
    }
}

void TMainForm::About1Click() {
    showDialog(m_dialogs.about);
}

void TMainForm::showDialog(QDialog* dialog) {
    if (dialog == nullptr)
        return;
    centreOver(dialog, this);
    dialog->exec();
}

void TMainForm::btPresetClick() {
    if (m_dialogs.mess == nullptr)
        return;
    EntryApplied = false;
    // The message list opens centred on the desktop rather than over the window.
    if (const QScreen* screen = this->screen()) {
        const QRect area = screen->availableGeometry();
        m_dialogs.mess->move(area.center() -
                             QPoint(m_dialogs.mess->width() / 2, m_dialogs.mess->height() / 2));
    }
    m_dialogs.mess->exec();
    if (EntryApplied && m_dialogs.mess->appliedFromList())
        TxButtonClick(TxSource::Preset);
}

bool TMainForm::loadEntry(const EntryParse& parse) {
    const PageEntry& e = parse.entry;
    const auto reached = [&](EntryProgress p) { return parse.progress >= p; };
    if (reached(EntryProgress::FunctionBits)) {
        PictureButton* fb[] = {FB1, FB2, FB3, FB4};
        fb[e.functionBits]->setChecked(true);
    }
    if (reached(EntryProgress::Coding)) {
        // The entry brings its own message: the field is emptied in both cases, and first, so
        // the numeric check has nothing of the operator's to warn about.
        MsgEdit->clear();
        if (e.coding == Coding::Numeric) {
            AN2Click();
            AN2->setChecked(true);
        } else {
            AN1->setChecked(true);
        }
    }
    if (reached(EntryProgress::Baud)) {
        const int index = e.baud == 512 ? 0 : e.baud == 2400 ? 2 : 1;
        PictureButton* br[] = {BR1, BR2, BR3};
        br[index]->setChecked(true);
        applyRate(index);
    }
    if (reached(EntryProgress::Polarity)) {
        (e.inverted ? NI2 : NI1)->setChecked(true);
        e.inverted ? NI2Click() : NI1Click();
    }
    if (!parse.ok())
        return false;
    RicEdit->setText(QString::fromLatin1(e.ric));
    MsgEdit->setPlainText(QString::fromLatin1(e.message));
    return true;
}

void TMainForm::bringForward() {
    QWidget* popup = QApplication::activeModalWidget();
    if (popup == nullptr)
        popup = this;
    raise();
    if (popup->isMinimized() || isMinimized()) {
        if (isMinimized())
            showNormal();
        popup->showNormal();
    }
    popup->raise();
    popup->activateWindow();
    emit broughtForward(popup);
}

void TMainForm::closeEvent(QCloseEvent* e) {
    // The program ends with the window. Whatever is on air stops now, and the transmitter is
    // released and held released while the commands that were running unwind (a page in its
    // waits, a search, an auto-send poll): none of them may key it again, and no timer
    // starts another.
    m_closing = true;
    m_network->stop();
    m_station->close();
    // A window whose start-up never ran holds no loaded settings: saving its design values
    // would overwrite the operator's. A failed save is reported and the window still closes.
    if (m_activated)
        SaveSettings();
    QString reason;
    if (!m_status->saveHistory(ProgramFolder + QLatin1String(StatusLine::HistoryFileName), &reason))
        qWarning("The message history could not be kept: %s", qPrintable(reason));
    QMainWindow::closeEvent(e);
}

} // namespace tarvex
