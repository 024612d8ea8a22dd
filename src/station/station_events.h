#pragma once
// What the station tells its front ends: where a transmission came from, the on-air state,
// the outcome of each transmission, and the events a window, a command line or a service
// log show. Standard C++ only.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tarvex {

/// Where a transmission came from.
enum class TxSource {
    Operator,   ///< SEND in the window, tarvex-cli send
    Preset,     ///< the message list
    AutoSend,   ///< the auto-send file
    Search,     ///< the RIC/CAP search
    FastSearch, ///< the fast RIC search
    TuneUp,
    Ident,
    ManualKey, ///< "Keyup the Tx"
    Control,   ///< tarvex-cli queue, through the service's control socket
    Network,   ///< SNPP, WCTP
    Dapnet,
};
/// "operator", "preset", "auto send", "search", "fast search", "tune-up", "ident",
/// "manual key-up", "control", "network", "DAPNET".
std::string_view sourceName(TxSource source);

enum class OnAirState {
    Idle,
    ManualKey, ///< keyed by hand, nothing playing
    Preparing, ///< level set, settling before the key
    Keyed,     ///< keyed, waiting the key delay
    OnAir,     ///< the sound is playing
    Releasing, ///< the sound has ended; waiting for the output to drain before the release
    Waiting,   ///< waiting for an allowed time slot before keying
    Held,      ///< released; after STOP, pages from other systems wait a while
    /// The keying line failed when it was to key: the transmission runs on (its sound
    /// plays) but the transmitter is probably not on the air.
    KeyingFailed,
};
/// "idle", "keyed", "preparing", "keyed", "on air", "releasing", "waiting for a slot",
/// "held after stop", "keying failed".
std::string_view stateName(OnAirState state);

/// How a request to transmit was taken.
enum class SendResult {
    Sent,    ///< transmitted (see the outcome for whether the sound played)
    Started, ///< taken for the air now: its end comes as its Ended event (and `finished`)
    Queued,  ///< another transmission is on air: it goes after the release
    Skipped, ///< the station ident is on air: nothing was done
    Failed,  ///< refused before keying (the page could not be built); see the outcome
    Refused, ///< not taken at all (the station is closing, the queue is full, busy)
};

enum class TxKind { Page, FastSearch, TuneUp, Ident };

/// Why a transmission was refused before keying.
enum class Refusal {
    None,
    Conversion, ///< a number that is not a whole number ("'x' is not a valid integer value")
    Encoder,    ///< the encoder cannot put the page on the air correctly
    Other,      ///< anything else (a tune time or callsign that cannot be sent)
};

/// One page as it went out in a transmission (a transmission may carry several).
struct SentPage {
    TxSource source = TxSource::Operator;
    std::string ric;      ///< as the page log shows it
    std::string message;  ///< as the page log shows it (UTF-8)
    std::string origin;   ///< who asked, for network pages
    uint32_t address = 0; ///< the RIC as a number
    int functionBits = 0;
    bool numeric = false;
    std::string bytes;   ///< the message exactly as encoded
    std::string charset; ///< its pager's character set ("de", ...); empty: plain 8-bit
    bool repeat = false; ///< it was on air when the station last stopped
    int64_t queueId = 0; ///< its number in the durable queue (0: it did not come from there)
};

/// The end of one transmission (or of a page refused before keying).
struct TxOutcome {
    TxKind kind = TxKind::Page;
    TxSource source = TxSource::Operator;
    std::string ric;         ///< pages: the RIC as the page log shows it
    std::string message;     ///< pages: the message as the page log shows it (UTF-8)
    std::string origin;      ///< who asked, for network pages
    int codewords = 0;       ///< codewords sent (without the end marker)
    uint32_t durationMs = 0; ///< the generator's Duration of the transmission
    bool built = true;       ///< false: refused before keying; `error` says why
    Refusal refusal = Refusal::None;
    bool sounded = false;   ///< the sound started (the transmitter was keyed for it)
    bool played = false;    ///< the sound played to its end
    bool stopped = false;   ///< Stop (or the program ending) cut it short
    std::string error;      ///< why it was not built or not played
    std::string portError;  ///< why keying failed (the sound still played)
    uint32_t keyedAtMs = 0; ///< tick of the key and of the release (0: never keyed)
    uint32_t releasedAtMs = 0;
    bool repeat = false;  ///< a network page that was on air when the station last stopped
    bool closing = false; ///< the program ending cut it short (not an operator's Stop)
    int baud = 0;
    bool inverted = false;
    /// Pages and fast searches: every page the transmission carried, in order (empty for a
    /// refused page, a tune-up and an ident).
    std::vector<SentPage> pages;
};

/// Why a search ended.
enum class SearchEnd {
    Done,      ///< it sent its last code (or reached its stop value)
    Stopped,   ///< STOP (or the transmit watchdog): the code on air was cut short
    Cancelled, ///< its front end ended it (the code on air, if any, went out whole)
    Closing,   ///< the program is ending
    Failed,    ///< a code could not be sent; `error` says why
};
/// "done", "stopped", "cancelled", "closing", "failed".
std::string_view searchEndName(SearchEnd end);

/// Where a running search is (and, once it has ended, where it stopped and why).
struct SearchState {
    bool running = false;
    bool fast = false;           ///< 256-code fast-search blocks rather than one page per code
    int64_t next = 0;            ///< the code (fast: the block's start) to go next
    std::string nextText;        ///< the next code as it is sent (RIC and message of its page)
    int64_t to = 0;              ///< the last code; fast: blocks go while their start is below it
    int64_t sent = 0;            ///< codes (fast: blocks) sent whole or in part, not cut by STOP
    uint32_t lastDurationMs = 0; ///< Duration of the last transmission sent
    SearchEnd end = SearchEnd::Done;
    std::string error; ///< Failed: why
};

struct StationEvent {
    enum class Kind {
        State,          ///< state / source changed
        Listing,        ///< a page was built: `text` is its listing ("Data Being Sent")
        Progress,       ///< `elapsed` of `total` seconds on air
        Ended,          ///< a transmission ended (or a page was refused): `outcome`
        Note,           ///< a passing note for the status line
        Problem,        ///< a failure the station went on without (`text`; empty clears it)
        LogFailed,      ///< the page log could not be written (`text`: the reason)
        Refused,        ///< an unattended input refused an entry (`text`: entry and reason)
        Backend,        ///< the audio output or keying line in force changed
        KeyedUp,        ///< the transmitter was keyed for `outcome` (its pages; not yet ended)
        Watchdog,       ///< the transmit watchdog stopped a key-up that ran too long (`text`)
        SearchProgress, ///< a search started or sent a code: `search`
        SearchEnded,    ///< a search ended: `search` (with its end and error)
    };
    Kind kind = Kind::Note;
    OnAirState state = OnAirState::Idle;
    TxSource source = TxSource::Operator;
    std::string text;
    double elapsed = 0;
    double total = 0;
    const TxOutcome* outcome = nullptr;
    const SearchState* search = nullptr;
};

} // namespace tarvex
