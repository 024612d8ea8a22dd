#include "paging/auto_send_poll.h"

#include "paging/auto_send.h"
#include "paging/message_list.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <system_error>
#include <thread>

namespace tarvex {

namespace {

bool exists(const std::string& path) {
    std::error_code ec;
    return std::filesystem::exists(path, ec);
}

/// Creates the lock file, failing when it exists ("x": exclusive creation).
bool createLock(const std::string& lockPath) {
    std::FILE* lock = std::fopen(lockPath.c_str(), "wbx");
    if (lock == nullptr)
        return false;
    std::fclose(lock);
    return true;
}

std::optional<std::string> removeFile(const std::string& path) {
    errno = 0;
    if (std::remove(path.c_str()) != 0 && exists(path))
        return file_io::reason(path, errno != 0 ? errno : EIO);
    return std::nullopt;
}

std::optional<std::filesystem::file_time_type> modified(const std::string& path) {
    std::error_code ec;
    const auto time = std::filesystem::last_write_time(path, ec);
    if (ec)
        return std::nullopt;
    return time;
}

/// Removes our lock; when that fails, remembers it in *left for the next poll.
std::optional<std::string> releaseLock(const std::string& lockPath, LeftLock* left,
                                       std::optional<std::filesystem::file_time_type> madeAt) {
    auto error = removeFile(lockPath);
    if (error && left != nullptr) {
        left->held = true;
        left->madeAt = madeAt;
    }
    return error;
}

/// A lock left by an earlier poll: removed if it is still ours. Returns an error when it
/// is ours and still cannot be removed.
std::optional<std::string> clearLeftLock(const std::string& lockPath, LeftLock* left) {
    if (left == nullptr || !left->held)
        return std::nullopt;
    const auto now = modified(lockPath);
    if (now && now == left->madeAt) {
        if (auto error = removeFile(lockPath))
            return "the lock file left by the last poll could not be removed: " + *error;
    }
    *left = {};
    return std::nullopt;
}

AutoSendTake failed(const std::string& lockPath, std::string error, LeftLock* left,
                    std::optional<std::filesystem::file_time_type> madeAt) {
    AutoSendTake take;
    take.outcome = TakeOutcome::Failed;
    take.error = std::move(error);
    if (auto lockError = releaseLock(lockPath, left, madeAt))
        *take.error += "\n" + *lockError;
    return take;
}

} // namespace

std::string autoSendPath(const std::string& folder, const std::string& name) {
    if (folder.empty())
        return name;
    if (folder.back() == '/')
        return folder + name;
    return folder + "/" + name;
}

AutoSendTake takeAutoSendLines(const std::string& filePath, const std::string& lockPath,
                               int32_t now, LeftLock* left) {
    AutoSendTake take;
    // Before anything else: a writer cannot add lines while our old lock stands.
    if (auto error = clearLeftLock(lockPath, left)) {
        take.outcome = TakeOutcome::Failed;
        take.error = std::move(error);
        return take;
    }
    if (!exists(filePath))
        return take;
    if (exists(lockPath)) {
        take.outcome = TakeOutcome::Locked;
        return take;
    }
    if (!createLock(lockPath)) {
        take.outcome = TakeOutcome::LockFailed;
        return take;
    }
    const auto madeAt = modified(lockPath);
    if (!exists(filePath)) {
        take.error = releaseLock(lockPath, left, madeAt);
        return take;
    }
    std::string error;
    const auto text = file_io::readAll(filePath, &error);
    if (!text)
        return failed(lockPath, error, left, madeAt);
    AutoSendSort sorted = sortAutoSendLines(readAutoSendLines(*text), now);
    const auto written = sorted.keep.empty()
                             ? removeFile(filePath)
                             : file_io::replaceWhole(filePath, autoSendFileText(sorted.keep));
    if (written)
        return failed(lockPath, *written, left, madeAt);
    take.outcome = TakeOutcome::Taken;
    take.send = std::move(sorted.send);
    take.error = releaseLock(lockPath, left, madeAt);
    return take;
}

int sendAutoSendEntries(const std::vector<std::string>& entries, int autoDelaySeconds,
                        const AutoSendActions& actions, std::vector<std::string>* unsent) {
    int sent = 0;
    for (auto it = entries.begin(); it != entries.end(); ++it) {
        const std::string& entry = *it;
        if (entry.empty())
            continue;
        if (actions.stopped && actions.stopped()) {
            if (unsent != nullptr)
                for (; it != entries.end(); ++it)
                    if (!it->empty())
                        unsent->push_back(*it);
            break;
        }
        actions.suppressListSave(true);
        if (actions.apply(entry)) {
            actions.send();
            ++sent;
        }
        if (autoDelaySeconds > 0)
            actions.delayMs(static_cast<uint32_t>(autoDelaySeconds) * 1000u);
        actions.suppressListSave(false);
    }
    return sent;
}

AutoSendPollResult runAutoSendPoll(const std::string& folder, const std::string& fileName,
                                   const std::string& lockName, int32_t now, int autoDelaySeconds,
                                   const AutoSendActions& actions, LeftLock* left) {
    AutoSendPollResult result;
    result.take = takeAutoSendLines(
        autoSendPath(folder, fileName.empty() ? DefaultAutoSendFile : fileName),
        autoSendPath(folder, lockName.empty() ? DefaultLockFile : lockName), now, left);
    if (result.take.error && actions.report)
        actions.report(*result.take.error);
    if (result.take.outcome == TakeOutcome::Taken) {
        result.sent =
            sendAutoSendEntries(result.take.send, autoDelaySeconds, actions, &result.unsent);
        if (!result.unsent.empty())
            result.returnError = returnAutoSendEntries(
                autoSendPath(folder, fileName.empty() ? DefaultAutoSendFile : fileName),
                autoSendPath(folder, lockName.empty() ? DefaultLockFile : lockName), result.unsent);
    }
    return result;
}

std::optional<std::string> returnAutoSendEntries(const std::string& filePath,
                                                 const std::string& lockPath,
                                                 const std::vector<std::string>& entries,
                                                 int lockWaitMs) {
    if (entries.empty())
        return std::nullopt;
    // Due time 0 has long passed: the next poll sends them first, exactly as taken.
    std::vector<std::string> lines;
    lines.reserve(entries.size());
    for (const auto& entry : entries)
        lines.push_back("T0000000000" + entry);
    const std::string returned = autoSendFileText(lines);

    std::string why;
    bool locked = createLock(lockPath);
    for (int waited = 0; !locked && waited < lockWaitMs; waited += 50) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        locked = createLock(lockPath);
    }
    if (locked) {
        std::string error;
        std::optional<std::string> old = std::string();
        if (exists(filePath))
            old = file_io::readAll(filePath, &error);
        auto written = old ? file_io::replaceWhole(filePath, returned + *old)
                           : std::optional<std::string>(error);
        auto lockError = removeFile(lockPath);
        if (!written)
            return lockError ? std::optional<std::string>(
                                   "the entries went back, but the lock file stays: " + *lockError)
                             : std::nullopt;
        why = *written;
    } else {
        why = lockPath + ": still there after " + std::to_string(lockWaitMs) + " ms";
    }
    // The auto-send file is out of reach: keep the entries beside it rather than lose them.
    const std::string aside = filePath + ".unsent";
    std::string error;
    std::optional<std::string> old = std::string();
    if (exists(aside))
        old = file_io::readAll(aside, &error);
    const auto asideError =
        old ? file_io::replaceWhole(aside, *old + returned) : std::optional<std::string>(error);
    const std::string count =
        std::to_string(entries.size()) + " unsent entr" + (entries.size() == 1 ? "y" : "ies");
    if (!asideError)
        return count + " could not go back into the auto-send file (" + why + "); kept in " + aside;
    std::string lost = count + " could not be kept (" + why + "; " + *asideError + "):";
    for (const auto& entry : entries)
        lost += "\n" + entry;
    return lost;
}

} // namespace tarvex
