#pragma once
// The station engine: everything that happens on the air. It owns the encoder, the signal
// generator, the audio output, the keying line and the transmit framing (level, settle,
// key, key delay, play, release once the sound has left), a queue of pending transmissions
// that records where each came from, the on-air state and its progress, the page log, Stop,
// the station ident's interval, the searches, and the feeds through which its inputs (auto
// send, the network's durable queue) hand it their pages. Front ends (the window,
// tarvex-cli, tarvexd) hand it requests and show its events. It never waits in place: every step of
// a transmission is a timer of its Scheduler, so nothing enters the engine in the middle of one.
// Standard C++: the event loop comes in through TickClock and Scheduler.
#include "encoder/page_encoder.h"
#include "paging/event_wait.h"
#include "signal/signal_gen.h"
#include "station/page_log.h"
#include "station/scheduler.h"
#include "station/station_events.h"
#include "station/transmit_framing.h"
#include "txcontrol/keying.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tarvex {

/// One page to send.
struct PageJob {
    TxSource source = TxSource::Operator;
    PageParams page;
    int level = 100;        ///< deviation level for this page (0..100)
    bool log = false;       ///< append a line to the page log
    std::string logRic;     ///< the RIC as the log shows it (empty: page.ric)
    std::string logMessage; ///< the message as the log shows it, UTF-8 (empty: the page's
                            ///< message read as Latin-1)
    std::string origin;     ///< who asked (a login, a peer), for the service log
    bool repeat = false;    ///< it was on air when the station last stopped
    int64_t queueId = 0;    ///< its number in the durable queue (0: it did not come from there)
    /// It came from another system that keeps it (the auto-send file, the durable queue):
    /// stopped before its sound started, it goes back there and gets no page-log line.
    bool returnable = false;
    std::string charset; ///< its pager's character set ("de", ...); empty: plain 8-bit
    /// Runs just before the transmitter is keyed for it.
    std::function<void()> starting;
    /// Runs once with the outcome when the page has gone (or was dropped unsent: built
    /// false, error "not sent: ..."); `ric` and `message` are this page's.
    std::function<void(const TxOutcome&)> finished;
};

/// Pages that wait outside the engine: the inputs' one seam into it (auto send's entries,
/// the durable queue of network pages). The engine asks its feeds in turn whenever the
/// transmitter is free, its own queue is empty and it is not held after STOP; it tells them
/// of STOP and of its end. A feed is asked on the engine's thread only.
class PageFeed {
public:
    virtual ~PageFeed() = default;
    /// Up to `limit` pages to go next, oldest first. A page stays the feed's until its job's
    /// `finished` has run; one not sent this time comes back at a later call.
    virtual std::vector<PageJob> next(std::size_t limit) = 0;
    /// Pages waiting in the feed.
    virtual std::size_t waiting() = 0;
    /// True for a feed that keeps its pages until they have gone (the durable queue): they
    /// may share one key-up and wait out the pause after a failed audio output. False: each
    /// page goes on its own, as it came.
    virtual bool keepsPages() const { return true; }
    /// STOP was pressed: nothing the feed holds may key up during the hold.
    virtual void stopped() {}
    /// The station is closing (the program ends): the feed's last chance to keep its pages.
    virtual void closing() {}
};

/// When the station may key: a DAPNET transmitter only inside its allowed time slots.
class SlotPlanner {
public:
    virtual ~SlotPlanner() = default;
    /// Milliseconds of allowed keying left from unixMs: 0 outside an allowed run,
    /// INT64_MAX when keying is not restricted.
    virtual int64_t remainingMs(int64_t unixMs) = 0;
    /// The next moment after unixMs at which an allowed run begins; nullopt when none will.
    virtual std::optional<int64_t> nextRunStart(int64_t unixMs) = 0;
    /// The longest allowed run, for a transmission that can never fit.
    virtual int64_t longestRunMs() = 0;
};

struct FastSearchJob {
    int64_t start = 0; ///< the first code of the 256
    int baud = 1200;
    bool inverted = false;
    int level = 100;
    bool log = false; ///< the log line shows logRic / logMessage (the window's fields)
    std::string logRic;
    std::string logMessage;
};

/// A search the engine runs on its own time: RIC/CAP codes from..to, each sent as its own page
/// with the code as RIC and message, or fast-search blocks of 256 codes from `from` while the
/// block's start is below `to`. Between two transmissions it waits the last one's Duration
/// plus SearchGapMs on a timer; STOP, cancelSearch() and close() end it.
struct SearchJob {
    bool fast = false;
    int64_t from = 0;
    int64_t to = 0;
    /// The first code as the operator wrote it ("5"); empty: seven digits ("0000005"). The
    /// codes after it are always seven digits.
    std::string fromText;
    /// Codes: every page is this one with the code as its RIC, message and log fields.
    PageJob page;
    /// Fast: every block is this one from its own start.
    FastSearchJob block;
};

struct TuneJob {
    int seconds = 5;
    int baud = 1200;
    bool inverted = false;
    int level = 100;
    /// Runs once with the outcome when the tune-up has ended (or was refused).
    std::function<void(const TxOutcome&)> finished;
};

struct IdentSettings {
    std::string callsign = "GXZYX";
    int minutes = 0; ///< 0: no ident at an interval
    int level = 10;
    bool inverted = false; ///< the polarity the tone is played with (the page buttons')
};

/// What `tarvex-cli status` and a status line show.
struct StationStatus {
    OnAirState state = OnAirState::Idle;
    TxSource source = TxSource::Operator;
    std::size_t queued = 0;
    std::optional<TxOutcome> last;
    std::string keying;      ///< the keying line in force
    std::string keyingError; ///< its last failure, empty when fine
    std::string audio;       ///< the audio output in force
    std::string audioError;
    bool identInProgress = false;
    uint32_t heldMs = 0;               ///< left of the hold after STOP (0: not held)
    uint32_t audioRetryMs = 0;         ///< the output failed: pages from other systems wait
    std::optional<SearchState> search; ///< a search is running
    bool identTimer = false;           ///< the ident's interval timer runs
    bool audioSwitchPending = false;   ///< a new audio output waits for the release
    bool keyingSwitchPending = false;  ///< a new keying line waits for the release
    bool releasedForGood = false;      ///< the line is held released: the program is ending
};

struct StationSetup {
    std::shared_ptr<AudioOutput> audio;
    std::unique_ptr<KeyingLine> line;
    TickClock* clock = nullptr;
    Scheduler* scheduler = nullptr;
    std::shared_ptr<LogClock> logClock; ///< null: the C library's local date and time
    /// The clock the release of a played sound is timed on; null: the steady clock. Tests
    /// give one that follows their fake time.
    TSignalGen::Clock soundClock;
    /// The wall clock (Unix ms) time slots are planned on; null: the system's. Tests give
    /// their own.
    std::function<int64_t()> unixClock;
};

/// Changes to the signal the station plays with; a field left empty keeps its value.
struct SignalChange {
    std::optional<int> baud;
    std::optional<bool> inverted;
    std::optional<int> level; ///< 0..100
    /// The length the next sound is taken to have until it is built (a tune-up's).
    std::optional<uint32_t> durationMs;
};

/// The signal as it stands, read back.
struct SignalState {
    int baud = 1200;
    bool inverted = false;
    int level = 100;
    bool async = true;
    bool silent = true;      ///< nothing plays
    uint32_t durationMs = 0; ///< the last sound built (1000 before the first)
    /// When the last sound started playing (the epoch of its clock when none has).
    std::chrono::steady_clock::time_point startedAt;
};

/// What the station builds pages with, and where the last transmission built ended.
struct EncodingState {
    std::string syncText; ///< as given, before it was read as hexadecimal
    std::string idleText;
    Codeword sync = 0;
    Codeword idle = 0;
    int slotCount = 0;
    int lastSlot = 0; ///< the last transmission built was slots 1..lastSlot
};

/// Runs an action when it goes out of scope, however the scope is left.
template <typename F> class AtExit {
public:
    explicit AtExit(F action) : m_action(std::move(action)) {}
    ~AtExit() { m_action(); }
    AtExit(const AtExit&) = delete;
    AtExit& operator=(const AtExit&) = delete;

private:
    F m_action;
};

/// Bytes of 8-bit text as UTF-8 (each byte is the Latin-1 character of its value).
std::string latin1ToUtf8(std::string_view bytes);

/// The page as the outcome of its transmission lists it.
SentPage sentPageFor(const PageJob& job, const TxOutcome& outcome);

/// The marker the page log adds after a page's line: " - repeat" for a page that was on air
/// when the station last stopped, then " - stopped" when Stop cut it short, " - not sent:
/// <reason>" when the sound did not play, " - keying failed: <reason>" when it played but the
/// transmitter could not be keyed; nothing when it went out.
std::string pageLogMarker(const TxOutcome& outcome);

class Station {
public:
    static constexpr uint32_t SettleMs = 250;
    static constexpr std::size_t MaxQueued = 500;
    static constexpr uint32_t ProgressMs = 100;
    static constexpr uint32_t IdentRetryMs = 1000;
    /// Pages the engine takes from its feed at a time, to pack into one transmission.
    static constexpr std::size_t FeedBatch = 64;
    /// Reserved in an allowed slot run after a key-up's sound and its 100 ms: the longest the
    /// framing then waits for the output to drain (it releases at that point, sound or not).
    static constexpr uint32_t SlotMarginMs = 300;
    /// How long the engine lets new network pages gather before it keys for them.
    static constexpr uint32_t FeedGatherMs = 300;
    /// How long STOP keeps pages from other systems (auto send, the network inputs, the
    /// control socket) off the air; STOP again starts the hold anew, resume() ends it.
    static constexpr uint32_t StopHoldMs = 60000;
    /// After an audio output failed, the page queue's pages wait this long before the next
    /// try, doubling up to AudioRetryMaxMs while it keeps failing.
    static constexpr uint32_t AudioRetryFirstMs = 2000;
    static constexpr uint32_t AudioRetryMaxMs = 60000;
    /// The transmit watchdog's limit when none is set: no key-up lasts longer (the longest
    /// transmission the station builds, 1137 codewords at 512 bit/s, takes 71 s).
    static constexpr int DefaultTxWatchdogSeconds = 180;
    static constexpr int MaxTxWatchdogSeconds = 3600;
    /// A search waits its last transmission's Duration plus this before the next code, and
    /// this long before it tries again while the ident (or another transmission) is on air.
    static constexpr uint32_t SearchGapMs = 100;
    static constexpr uint32_t SearchRetryMs = 100;

    explicit Station(StationSetup setup);
    /// Stops whatever is on air and releases the transmitter.
    ~Station();
    Station(const Station&) = delete;
    Station& operator=(const Station&) = delete;

    /// The settings a front end keeps up to date, set as a whole (the window changes a field at
    /// a time: options(), change it, setOptions()).
    struct Options {
        int keyDelayMs = 200; ///< from key-up to the sound; below 0 counts as 0
        /// The longest the transmitter stays keyed, by hand or for a transmission; then the
        /// watchdog stops it as STOP does and says so (a Watchdog event). 0: no limit; at
        /// most MaxTxWatchdogSeconds.
        int txWatchdogSeconds = DefaultTxWatchdogSeconds;
        /// Deviation levels of 512, 1200 and 2400 bit/s, for pages the station builds itself.
        std::array<int, 3> rateLevels{25, 20, 30};
        bool logPages = false;  ///< pages the station builds itself are logged
        std::string dataFolder; ///< where the page log is written
    };
    void setOptions(Options options);
    const Options& options() const { return m_options; }
    /// Takes over the writing of the page log's lines for pages (an off-air monitor that adds
    /// its verdict to each line): the hook gets each page's outcome and the engine's marker,
    /// and writes the line itself with writePageLog. Null: lines are written at once.
    using PageLogHook = std::function<void(const TxOutcome& page, const std::string& marker)>;
    void setPageLogHook(PageLogHook hook) { m_logHook = std::move(hook); }
    /// Writes a page's line with its marker (reporting a failure as the engine does).
    void writePageLog(const TxOutcome& page, const std::string& marker);
    /// The sync and idle codewords of the pages it builds; false (nothing changed) when either
    /// text is not 1 to 8 hexadecimal digits.
    bool setSyncIdle(std::string_view sync, std::string_view idle) {
        return m_encoder.setSyncIdle(sync, idle);
    }
    EncodingState encoding() const;
    /// The codeword slots as the last transmission built left them (a copy).
    SlotBuffer lastCodewords() const { return m_encoder.CodewordBuffer; }
    /// The bit rate, polarity and level the signal is played with until a transmission sets
    /// its own. A level is applied to the output at once while nothing plays.
    void setSignal(const SignalChange& change);
    SignalState signal() const;
    /// The last sound built, as played: a WAV header and the samples (a copy).
    std::vector<uint8_t> lastSound() const;
    /// The deviation level of a rate (512, 1200 or 2400), from options().
    int rateLevel(int baud) const;

    // Searches. One runs at a time; each code is one transmission, the gaps are timers. Its
    // progress and end are SearchProgress / SearchEnded events.
    /// Starts a search; false, with the reason in `why`, when refused (codes outside
    /// 0..MaxRic, `from` above `to`, a search running, the station closing).
    bool startSearch(SearchJob job, std::string* why = nullptr);
    /// Ends the search: at once between codes, else once the code on air has gone.
    void cancelSearch();
    /// Moves the running search's last code (the fast search's stop value): an end already
    /// reached ends it after the code on air. False when no search runs.
    bool setSearchEnd(int64_t to);

    // Transmissions. None waits: a request the transmitter is free for starts now (Started;
    // its end is its Ended event and `finished`), one refused before keying says so at once
    // (Failed), and during another transmission a page is queued instead.
    SendResult sendPage(PageJob job);
    SendResult tuneUp(TuneJob job);
    /// The station ident now (the interval's or a test's): false when it did not start.
    bool sendIdent(bool test = false);
    /// Queues a page: it goes when the transmitter is free.
    SendResult enqueue(PageJob job);
    /// Keys (true) or releases the transmitter by hand.
    void setManualKey(bool keyed);
    /// Releases at once (a polarity change takes effect on the line).
    void releaseNow();
    /// Ends whatever is on air (page, fast search, tune-up, ident, manual key-up) and releases
    /// at once; the transmission's Ended event follows from the event loop. Nothing that was
    /// waiting keys up after it: the engine's own queue (pages of the window) is dropped,
    /// the feeds are told (auto send gives its entries back to their file, the durable queue
    /// keeps its pages), and nothing is taken from them for StopHoldMs.
    void stop();
    /// Ends the hold after STOP at once.
    void resume();
    /// The program is ending: stops, releases and holds the transmitter released, ends the
    /// transmission on air (its Ended event comes before this returns), drops the queue and
    /// every timer; every request after this is refused.
    void close();

    // The station ident.
    void setIdent(const IdentSettings& settings);
    const IdentSettings& identSettings() const { return m_ident; }
    /// Switches the ident's interval timer on (the start-up sequence) or off.
    void setIdentTimerEnabled(bool on);

    // Inputs and time slots.
    /// Adds a feed; feeds are asked in the order they were added. It must outlive the station
    /// or be removed first.
    void addFeed(PageFeed* feed);
    void removeFeed(PageFeed* feed);
    /// Null: keying is not restricted.
    void setSlotPlanner(SlotPlanner* planner) { m_slots = planner; }
    /// Looks for work after `gatherMs` (from the event loop): a feed that has new pages calls
    /// it. Pages of a burst gather meanwhile. Safe from any thread.
    void wake(uint32_t gatherMs = FeedGatherMs);
    /// What an input says of its own work (Note or Refused): told to the front ends as the
    /// engine's events are, and written into the page log as a note when it is kept.
    void report(StationEvent::Kind kind, TxSource source, const std::string& text);

    // Backends, changed only while the transmitter is released.
    void setAudioOutput(std::shared_ptr<AudioOutput> output);
    void setKeyingLine(std::unique_ptr<KeyingLine> line);

    // Events.
    using Listener = std::function<void(const StationEvent&)>;
    int subscribe(Listener listener);
    void unsubscribe(int id);

    // State.
    StationStatus status() const;
    OnAirState state() const { return m_state; }
    /// A transmission is on air, or waits for its slot, settles or has just ended and what
    /// queued behind it is about to go.
    bool busy() const { return m_busy; }
    std::size_t queued() const { return m_queue.size(); }

private:
    /// One transmission on its way through the steps: waiting for air time, settling,
    /// keyed (the framing runs), then finished from the event loop.
    struct Flight {
        enum class Step { Air, Settle, Keyed, Finishing };
        uint64_t serial = 0;
        Step step = Step::Air;
        TxOutcome out;
        std::vector<PageJob> jobs; ///< the pages it carries (pages and feed batches)
        bool feed = false;         ///< a batch from the feed: stopped early, its pages stay there
        bool log = false;          ///< a fast search's page-log line
        bool settle = true;        ///< pages and fast searches settle SettleMs before the key
        int level = 100;
        uint32_t keyUpMs = 0; ///< the whole key-up, for the time slots
        Transmitter::KeyUp keyUp;
        std::string listing;
        bool keyed = false;     ///< the framing ran (or the output was found not ready)
        std::string refusedWhy; ///< no air time for it: why
        /// Runs after its outcome has been told (the auto-send entry's and the search's own
        /// bookkeeping).
        std::function<void()> after;
    };

    /// The text of a code as a search sends it: seven digits with leading zeros.
    static std::string searchCodeText(int64_t code);
    /// The stream from slot `first` up to and including its EndMarker.
    static std::vector<Codeword> streamFromSlot(const SlotBuffer& buffer, int first);
    SendResult queue(PageJob job);
    // Starting work: each returns true when a transmission is on its way, false when the
    // request ended at once (refused before keying) or nothing was started.
    bool launchPage(PageJob job, std::function<void()> after, SendResult* result);
    bool launchFeed(std::vector<PageJob> jobs);
    void launchFastSearch(const FastSearchJob& job, std::function<void()> after);
    bool launchTuneUp(TuneJob job, SendResult* result);
    bool launchIdent();
    void launch(Flight flight);
    void runNext();
    bool launchFromFeeds();
    void becomeIdle();
    // The steps of a flight.
    void scheduleStep(uint32_t ms, std::function<void()> step);
    bool current(uint64_t serial) const;
    void airStep();
    void settleStep();
    void keyStep();
    void released(const Transmitter::End& end);
    void finishStep();
    void endFlight();
    void abortFlight();
    void endPages(Flight& f);
    void kick();
    void restState();
    void audioFailed(const TxOutcome& out);
    void watchdogFired();
    uint32_t drainAllowanceMs() const;
    int budgetFor(int baud, int64_t airMs) const;
    uint32_t keyUpMs(int baud, std::size_t codewords, bool settles = true,
                     bool ident = false) const;
    int64_t unixNowMs() const;
    void finishPages(TxOutcome& out, std::vector<PageJob*> jobs, bool log);
    void dropJob(PageJob& job, const std::string& why);
    void dropQueue(const std::string& why);
    TxOutcome outcomeFor(const PageJob& job) const;
    void dropQueued(PageJob& job, const std::string& why);
    void searchStep();
    void searchStepped(uint64_t run, bool fast, int64_t code);
    void identTick();
    void applyIdentTimer();
    void settle(TxOutcome& out, const Transmitter::End& end);
    void finish(TxOutcome& out, bool log, const std::function<void(const TxOutcome&)>& finished);
    void logPage(const TxOutcome& out);
    void logNote(TxSource source, const std::string& text);
    void onPhase(Transmitter::Phase phase);
    void reportProgress();
    void createTimers();
    void stopTimers();
    void setState(OnAirState state, TxSource source);
    void publish(StationEvent event);
    void note(const std::string& text);
    void reportProblems();
    void switchAudioWhenIdle();
    bool cancelled() const;
    void endSearch(SearchEnd end, std::string error = {});
    void publishSearch(StationEvent::Kind kind);

    PageEncoder m_encoder;
    std::shared_ptr<AudioOutput> m_audio;
    std::shared_ptr<AudioOutput> m_pendingAudio;
    TSignalGen m_gen;
    Keyer m_keyer;
    TickClock& m_clock;
    Scheduler& m_scheduler;
    Transmitter m_tx;
    PageLog m_log;
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
    const std::weak_ptr<bool> m_aliveWeak = m_alive; ///< read from other threads by wake()
    std::vector<PageFeed*> m_feeds;
    SlotPlanner* m_slots = nullptr;
    std::function<int64_t()> m_unixNow;
    PageLogHook m_logHook;

    std::optional<Flight> m_flight;
    uint64_t m_flightSerial = 0;
    std::unique_ptr<StationTimer> m_stepTimer; ///< the wait of the flight's current step
    std::function<void()> m_step;              ///< what that timer runs

    Options m_options;
    std::deque<PageJob> m_queue;
    OnAirState m_state = OnAirState::Idle;
    TxSource m_source = TxSource::Operator;
    std::optional<TxOutcome> m_last;
    bool m_busy = false;
    bool m_closing = false;
    bool m_stopRequested = false;
    bool m_manualKey = false;
    bool m_keyFailed = false; ///< the line failed to key for the transmission on air
    uint32_t m_keyedAt = 0;
    uint32_t m_releasedAt = 0;

    IdentSettings m_ident;
    std::unique_ptr<StationTimer> m_identTimer;
    std::unique_ptr<StationTimer> m_identRetry;
    bool m_identTimerEnabled = false;
    bool m_identInProgress = false;
    bool m_identTest = false;

    bool m_held = false;
    uint32_t m_holdUntil = 0;
    std::unique_ptr<StationTimer> m_holdTimer;
    uint32_t m_audioBackoffMs = 0;
    uint32_t m_audioRetryAt = 0;
    std::unique_ptr<StationTimer> m_audioRetry; ///< running: the output failed, others wait

    std::optional<SearchJob> m_searchJob;
    SearchState m_search;
    std::unique_ptr<StationTimer> m_searchTimer; ///< the gap before the next code
    bool m_searchStepping = false;               ///< a search's code is being sent
    bool m_searchCancelAfterStep = false;        ///< cancelled while its code was on air
    std::optional<TxOutcome> m_searchOutcome;    ///< the outcome of the code being sent
    uint64_t m_searchRun = 0; ///< counts searches ended, so a step knows its own ended

    std::unique_ptr<StationTimer> m_progressTimer;
    std::unique_ptr<StationTimer> m_watchdog; ///< runs while the transmitter is keyed
    std::unique_ptr<StationTimer> m_gather;   ///< starts the feeds' pages after a wake()
    uint32_t m_onAirSince = 0;

    std::map<int, Listener> m_listeners;
    int m_nextListener = 1;
};

} // namespace tarvex
