#pragma once
// TMainForm: the main window where the operator composes and sends a page. It is a view of
// the station engine: its handlers read the page controls into a plain page and hand it to
// the engine, and what it shows (listing, progress, status, buttons) follows the engine's
// events. It owns the controls, the menu that opens every dialog, and the engine itself with
// the Qt side of its event loop.
#include "encoder/page_encoder.h"
#include "monitor/monitor_settings.h"
#include "network/inputs/network_settings.h"
#include "paging/entry_format.h"
#include "station/auto_send_input.h"
#include "station/station.h"
#include "txcontrol/keying.h"
#include "txcontrol/ptt/ptt_factory.h"

#include <QElapsedTimer>
#include <QMainWindow>
#include <QPointer>
#include <QStringList>

#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>

class QAction;
class QButtonGroup;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QSlider;
class QSpinBox;
class QTimer;
class QUrl;

namespace tarvex {

class TMessForm;
class TRSForm;
class TFastForm;
class AudioOutput;
class AutoSendInput;
class EventPump;
class MessageEdit;
class PictureButton;
class PortWriter;
class StationHost;
class StatusLine;
class TAboutForm;
class TSIForm;
class TKeyingForm;
class TAutoForm;
class TIdentForm;
class TAudioForm;
class TPagersForm;
class TDapnetForm;
class TMonitorForm;
class NetworkInputs;
class StationMonitor;

/// What the window is built with. Tests hand in a temporary folder, a WAV sink and a
/// recording port; the program leaves everything empty and gets the real ones.
struct MainFormSetup {
    QString programFolder;              ///< empty: the station folder (station_folder.h)
    std::shared_ptr<AudioOutput> audio; ///< null: makeAudioOutput(audioChoice)
    /// Empty: the output the operator chose under Setup (settings AudioBackend and
    /// AudioDevice); else this output (see makeAudioOutput) wins over the stored choice.
    std::string audioChoice;
    /// Opens an output the operator chose; null: openStoredAudioOutput (audio_choice.h).
    using OpenAudio = std::function<std::unique_ptr<AudioOutput>(
        std::string_view backend, std::string_view device, std::string* note, std::string* error)>;
    OpenAudio openAudio;
    /// Asks the desktop to open a document; null: QDesktopServices::openUrl.
    std::function<bool(const QUrl&)> openUrl;
    /// Where the installed HTML help is looked for; empty: the executable's folder.
    QString executableFolder;
    std::shared_ptr<PortWriter> port; ///< null: the system port for PlatformCode
    QString portName;                 ///< how the status line names an injected port
    QString settingsFile;             ///< empty: the per-user store (see settings_store.h)
    std::optional<int> platformCode;  ///< set: what PlatformCheck reports (tests)
};

/// The dialogs the program entry creates after the main window.
struct MainFormDialogs {
    TAboutForm* about = nullptr;
    TMessForm* mess = nullptr;
    TAutoForm* autoSend = nullptr;
    TIdentForm* ident = nullptr;
    TKeyingForm* keying = nullptr;
    TRSForm* ricSearch = nullptr;
    TFastForm* fastSearch = nullptr;
    TSIForm* syncIdle = nullptr;
    TAudioForm* audio = nullptr;
    TPagersForm* pagers = nullptr;
    TDapnetForm* dapnet = nullptr;
    TMonitorForm* monitor = nullptr;
};

/// Builds a keying method's line (makeKeyingLine by default; tests hand in their own).
using KeyingLineFactory = std::function<std::unique_ptr<KeyingLine>(
    const PttSettings&, std::shared_ptr<PortWriter> parallelPort, std::string parallelName,
    std::function<KeyingSettings()> keying)>;

class TMainForm : public QMainWindow {
    Q_OBJECT
public:
    explicit TMainForm(MainFormSetup setup = {}, QWidget* parent = nullptr);
    ~TMainForm() override;

    void setDialogs(const MainFormDialogs& dialogs);
    const MainFormDialogs& dialogs() const { return m_dialogs; }

    // Shared state (read and written by the paging operations and dialogs).
    QString ProgramFolder;
    QString DataFolder;
    int PlatformCode = 2;
    bool EntryApplied = false;
    std::array<uint8_t, 3> DeviationLevels{25, 20, 30}; ///< 512, 1200, 2400 bit/s
    std::array<int32_t, 3> BitLen{750, 640, 320};
    /// The operator's audio choice as stored (settings AudioBackend, AudioDevice).
    QString AudioBackend;
    QString AudioDevice;

    /// The station engine this window is a view of.
    Station& station() { return *m_station; }
    AutoSendInput& autoSend();
    bool IdentInProgress() const { return m_station->status().identInProgress; }
    /// The keying settings in force: the Keying dialog's controls (stock values before the
    /// dialog exists).
    KeyingSettings keying() const;
    /// Takes on the keying method the Keying dialog holds, when it differs from the one in
    /// force: at once while released, else after the release.
    void applyKeyingMethod();
    /// Builds the line methods' lines (tests hand in their own).
    void setKeyingLineFactory(KeyingLineFactory factory) { m_lineFactory = std::move(factory); }

    // Handlers.
    /// SEND: the page in the controls, as the operator's (or the message list's) request.
    SendResult TxButtonClick(TxSource source = TxSource::Operator);
    /// The station ident now (the Test button's, or the interval's), waiting until it has
    /// gone as SEND waits for its page: false when it did not start.
    bool sendIdent(bool test);
    /// The page every code of a RIC/CAP search is built from: the page buttons as they
    /// stand (the engine puts the code in as RIC and message; the operator's own RIC and
    /// message are left alone).
    PageJob searchPage();
    /// A fast-search transmission from `start` with the window's rate, polarity and level.
    FastSearchJob fastSearchJob(int64_t start);
    /// One fast-search transmission from `start`.
    /// Starts a search on the station; a refusal is shown over `dialog` and gives false.
    bool startSearch(SearchJob job, QWidget* dialog);
    void Options1Click();
    void BR1Click();
    void BR2Click();
    void BR3Click();
    void AN2Click();
    void NI1Click();
    void NI2Click();
    void VolumeChange(int position);
    void TuneTimeChange(int seconds);
    void RicEditExit();
    void DFolderClick();
    void Help2Click();
    void btPaClick();
    void KeyTx1Click();
    /// The Keying dialog's Test: the chosen line keyed for a second, then released.
    void testKeying();
    /// Stop (the on-air strip's button, Esc): ends whatever is on air (page, tune-up, ident,
    /// search, manual key-up), drops the pages waiting, and releases the transmitter.
    void stopTransmission();
    /// Keyed, on air, or a transmission under way (waiting for a slot included).
    bool transmitterInUse() const;
    /// Help > Message history: every status message with its time.
    void MessageHistory1Click();
    /// Help > Page log: the data folder's page log with its marks.
    void PageLog1Click();
    /// Setup > Audio Output: the dialog with the stored choice.
    void AudioOutput1Click();
    /// Takes the operator's new audio choice: stored at close, opened now, and played
    /// through from the next transmission (after the release when one is on air). A choice
    /// that cannot be opened leaves the output as it was; the status line says why.
    void applyAudioChoice(const QString& backend, const QString& device);
    bool audioSwitchPending() const { return m_station->status().audioSwitchPending; }
    void About1Click();
    /// Shows the message list and sends the entry double-clicked there.
    void btPresetClick();
    /// Loads the fields of an entry that passed into the page controls (all of them for a
    /// complete entry), as choosing it in the message list does. True when complete.
    bool loadEntry(const EntryParse& parse);
    void FormActivate();
    static int PlatformCheck();
    /// Reads every setting into its control (settings_store.cpp).
    void LoadSettings();
    /// Writes every setting back; false (after the message) when the store refused it.
    bool SaveSettings();
    /// Where the settings live: the INI file, or the registry key on Windows.
    QString settingsLocation() const;

    /// The page as the controls hold it.
    PageParams pageParams() const;
    /// Selected rate: 0 for 512, 1 for 1200, 2 for 2400 bit/s.
    int rateIndex() const;
    int baud() const;
    bool pageOnAir() const { return m_station->busy(); }
    /// True once the window has begun to close: nothing is keyed or sent from then on.
    bool closing() const { return m_closing; }
    /// True once the start-up sequence has run.
    bool started() const { return m_activated; }
    bool optionsShown() const;
    StatusLine& statusLine() { return *m_status; }
    QString pageLogPath() const;
    /// The keying line's name and the audio output's on the status line, from the engine.
    void describeBackends();
    /// The network inputs (SNPP, WCTP, DAPNET) as their settings say (main_form_network.cpp).
    void startNetwork();
    NetworkInputs* network() { return m_network; }
    /// The settings the window keeps for the network inputs and the off-air monitor.
    NetworkSettings NetworkChoice;
    MonitorSettings MonitorChoice;

signals:
    /// A page has left (after release and logging); for observers such as tests.
    void pageSent(const QString& ric, const QString& message);
    /// bringForward() chose this window (the open dialog, or the main window).
    void broughtForward(QWidget* window);

public slots:
    /// Brings the window the operator last used forward (the open dialog, if any).
    void bringForward();

protected:
    void closeEvent(QCloseEvent* event) override;
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    friend class MainFormStore;

    /// The sync and idle texts as the settings had them, until start-up reads them.
    std::string m_storedSync;
    std::string m_storedIdle;

    void FormCreate(const MainFormSetup& setup);
    void createStation(const MainFormSetup& setup);
    void buildWindow();
    void buildOptionsPanel();
    void buildToolGroups();
    void buildAddressBand();
    void buildMessageBand();
    void buildListingBand();
    void buildMenu();
    void connectHandlers();
    void applyRate(int index);
    /// The options panel's buttons that Tab reaches, as the panel and the groups stand.
    void updateTabStops();
    /// The deviation level's number beside the slider, with the rate it belongs to.
    void showLevel();
    void showDialog(QDialog* dialog);
    std::shared_ptr<AudioOutput> createAudio(const MainFormSetup& setup);
    /// At start-up, after the settings: the stored output, unless the setup forced one.
    void openStoredAudio();
    void pushPageLog();
    void pushIdentPolarity();

    // The engine's events (main_form_events.cpp).
    void onStationEvent(const StationEvent& event);
    void showOutcome(const TxOutcome& outcome);
    void showProblem(const QString& text);
    /// The time keyed by hand on the strip, while a manual key-up lasts.
    void showKeyedTime(bool manualKey);
    QString outcomeText(const TxOutcome& outcome) const;
    /// The one history line of a STOP (a warning when it dropped pages).
    void showStopped(const QString& text, bool dropped, const QString& record = {});
    /// False, after saying why in the operator's words, when the RIC/CAP field holds no code
    /// a page can go to.
    bool refuseUnusableRic();
    /// Names the characters of a numeric page that a numeric pager cannot show.
    void noteNumericCharacters(const QString& message);
    /// Shows the installed HTML help in the program's own help window.
    void showHelpWindow(const QString& path);
    PageJob jobFromControls(TxSource source);
    void applyPagerCharset(PageJob& job);
    void createNetwork();
    void connectNetworkDialogs();
    void startMonitor();
    void networkLog(const std::string& line);

    MainFormDialogs m_dialogs;
    QString m_settingsFile;
    std::optional<int> m_platformCode;
    QString m_portName;
    bool m_audioForced = false;
    MainFormSetup::OpenAudio m_openAudio;
    std::function<bool(const QUrl&)> m_openUrl;
    QString m_executableFolder;
    std::shared_ptr<PortWriter> m_port;
    KeyingLineFactory m_lineFactory;
    PttSettings m_pttChosen;             ///< the dialog's method last taken on
    std::string m_methodDescription;     ///< how the status line names a line method
    std::unique_ptr<StationHost> m_host; ///< the engine, the network inputs, the monitor
    Station* m_station = nullptr;
    StatusLine* m_status = nullptr;
    NetworkInputs* m_network = nullptr;
    StationMonitor* m_monitor = nullptr;
    bool m_activated = false;
    bool m_closing = false;
    bool m_ricCheckPending = false;
    bool m_stopping = false;            ///< inside Station::stop
    QString m_stopNote;                 ///< the engine's note on that stop
    std::optional<QString> m_stopAfter; ///< a stop's tail, for the line of what it cut short
    bool m_stopDropped = false;
    QTimer* m_keyedTicker = nullptr;
    QElapsedTimer m_keyedSince;
    std::set<std::string> m_storedExtras; ///< the names the store held when it was loaded

    // Controls, by their names (tests reach them by object name).
    QWidget *Panel1 = nullptr, *Panel4 = nullptr, *Panel3 = nullptr, *Panel6 = nullptr;
    PictureButton *FB1 = nullptr, *FB2 = nullptr, *FB3 = nullptr, *FB4 = nullptr;
    PictureButton *AN1 = nullptr, *AN2 = nullptr;
    PictureButton *BR1 = nullptr, *BR2 = nullptr, *BR3 = nullptr;
    PictureButton *NI1 = nullptr, *NI2 = nullptr;
    PictureButton *DFolder = nullptr, *btPa = nullptr, *btPreset = nullptr, *TxButton = nullptr;
    QSpinBox* TuneTime = nullptr;
    QSlider* Volume = nullptr;
    QLabel* m_levelText = nullptr;
    QLineEdit* RicEdit = nullptr;
    QCheckBox* logpages = nullptr;
    MessageEdit* MsgEdit = nullptr;
    QPlainTextEdit* DataOut = nullptr;
    QAction *Options1 = nullptr, *AutoSendOptions1 = nullptr, *StationIdent1 = nullptr,
            *Keying1 = nullptr, *SyncIdleValues1 = nullptr, *KeyTx1 = nullptr,
            *RICCAPSearch1 = nullptr, *FastRICSearch1 = nullptr, *Help2 = nullptr,
            *About1 = nullptr, *AudioOutput1 = nullptr, *Pagers1 = nullptr, *Dapnet1 = nullptr,
            *Monitor1 = nullptr, *MessageHistory1 = nullptr, *Exit1 = nullptr, *PageLog1 = nullptr;
    QPointer<QWidget> m_helpWindow;
    QButtonGroup *m_fbGroup = nullptr, *m_anGroup = nullptr, *m_brGroup = nullptr,
                 *m_niGroup = nullptr;
};

struct DapnetLinkStatus;
/// Which rule holds a page sent from the window while the DAPNET link is configured: at once,
/// or only in the link's time slots, in the operator's words.
QString windowPageRule(const DapnetLinkStatus& status, int64_t nowMs);

/// What is wrong with a RIC/CAP text, in the operator's words (empty: it is a number).
QString ricProblem(const QString& text);

/// Where Help looks for the HTML help, in order, for an executable in executableFolder
/// (empty: this program's folder).
QStringList helpDocumentCandidates(const QString& executableFolder);
/// The first of those that exists; empty when none does.
QString findHelpDocument(const QString& executableFolder);

} // namespace tarvex
