#pragma once
// One auto-send poll: take the file's lines under the lock file, hand back the lines that
// are not yet due (and those past the 500th), release the lock, then apply and send each
// entry with its pause. Standard C++ only; the window supplies the apply, send and wait
// actions, so the same poll runs under a test harness.
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace tarvex {

inline constexpr char DefaultAutoSendFile[] = "AutoSend.Txt";
inline constexpr char DefaultLockFile[] = "Lock.Lck";

enum class TakeOutcome {
    NoFile,     ///< no auto-send file: nothing to do
    Locked,     ///< the lock file exists: everything left alone
    LockFailed, ///< the lock file could not be created (e.g. a writer made it just now)
    Taken,      ///< lines taken; `send` holds the entries (possibly none)
    Failed,     ///< an input/output error; the file is as it was, the lock removed
};

struct AutoSendTake {
    TakeOutcome outcome = TakeOutcome::NoFile;
    std::vector<std::string> send;    ///< entries to send now, in file order
    std::optional<std::string> error; ///< "<path>: <reason>" (with Failed, or Taken when
                                      ///< the lock file could not be removed)
};

/// The lock file that a poll created and then could not remove (the folder turned
/// read-only, say). Such a lock would keep every later poll, and every writer, away from
/// the auto-send file for good, so the next poll removes it first, provided it is still
/// the same file (same modification time); a lock made since by a writer is left alone.
struct LeftLock {
    bool held = false;
    std::optional<std::filesystem::file_time_type> madeAt;
};

/// Steps 4 to 10 of a poll. The lock file is created exclusively, so a writer that creates
/// it between our test and our creation keeps it and we try again next time. On a read or
/// write error the lock is removed and the auto-send file is left untouched, so no line is
/// lost and none is sent twice; the rewrite goes through a temporary file that replaces
/// the original only once complete. With `left`, a lock this poll cannot remove is
/// remembered there and removed by the next poll given the same `left`.
AutoSendTake takeAutoSendLines(const std::string& filePath, const std::string& lockPath,
                               int32_t now, LeftLock* left = nullptr);

/// What a poll does with each entry.
struct AutoSendActions {
    std::function<bool(const std::string&)> apply; ///< ApplyPageEntry; false: not sent
    std::function<void()> send;                    ///< the transmit command
    std::function<void(uint32_t)> delayMs;         ///< the pause after each entry
    std::function<void(bool)> suppressListSave;    ///< the message list's close step
    /// Told about an input/output error as soon as the lines are taken (before sending).
    std::function<void(const std::string&)> report;
    /// True once the program is ending: the entries not yet started are not sent but
    /// handed back (optional).
    std::function<bool()> stopped;
};

/// Step 11: every entry in order; AutoDelay seconds of pause after each (0: none).
/// Returns the number of entries that applied and were handed to `send`. When `stopped`
/// turns true, the entries not yet started go to *unsent (when not null), in order.
int sendAutoSendEntries(const std::vector<std::string>& entries, int autoDelaySeconds,
                        const AutoSendActions& actions, std::vector<std::string>* unsent = nullptr);

/// Puts entries a poll took but never sent back at the front of the auto-send file, under
/// the lock file (waiting up to `lockWaitMs` for a writer to finish), each as a timed
/// entry due at once so that it reads back exactly as it was taken. When the lock cannot
/// be had or the file cannot be written, the entries are appended to "<file>.unsent" beside
/// it instead, so that none is lost. Returns a message for the operator when the entries
/// could not go back into the auto-send file, else nullopt.
std::optional<std::string> returnAutoSendEntries(const std::string& filePath,
                                                 const std::string& lockPath,
                                                 const std::vector<std::string>& entries,
                                                 int lockWaitMs = 2000);

/// A whole poll (steps 4 to 11) for a folder and the two file names; an empty name stands
/// for its default.
struct AutoSendPollResult {
    AutoSendTake take;
    int sent = 0;
    /// Entries taken but not started because the program was ending; already handed back
    /// to the file (or to "<file>.unsent") by the poll.
    std::vector<std::string> unsent;
    std::optional<std::string> returnError; ///< from returnAutoSendEntries
};
AutoSendPollResult runAutoSendPoll(const std::string& folder, const std::string& fileName,
                                   const std::string& lockName, int32_t now, int autoDelaySeconds,
                                   const AutoSendActions& actions, LeftLock* left = nullptr);

/// folder + "/" + name (the folder as given; an empty folder gives the name alone).
std::string autoSendPath(const std::string& folder, const std::string& name);

} // namespace tarvex
