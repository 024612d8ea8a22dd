// Soak test of the auto-send poll: a separate writer process appends numbered pages under
// the lock-file protocol at random moments while this program runs the real poll (file
// protocol, entry checks, sending) at short random intervals. Each applied entry is
// "sent" into a record instead of the air; the waits are instant. At the end every page
// written must have been sent exactly once, in the order written.
// Usage: auto_send_soak [COUNT] [SEED]   (COUNT 2000 by default)
// The summary gives sent, lost, duplicated and out-of-order pages, the wall time, the peak
// memory and the CPU time of this program and of the writer.
#include "paging/auto_send.h"
#include "paging/auto_send_poll.h"
#include "paging/entry_format.h"

#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

using namespace tarvex;
namespace fs = std::filesystem;

namespace {

long sequenceOf(const std::string& message) {
    const auto hash = message.find('#');
    return hash == std::string::npos ? -1 : std::atol(message.c_str() + hash + 1);
}

/// A whole number from lo to hi written in decimal digits only, else nothing.
std::optional<long> countArgument(const char* text, long lo, long hi) {
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(text, &end, 10);
    if (*text < '0' || *text > '9' || *end != '\0' || errno != 0 || value < lo || value > hi)
        return std::nullopt;
    return value;
}

double cpuSeconds(const rusage& usage) {
    const auto seconds = [](const timeval& t) {
        return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
    };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

void printResources(double wallSeconds) {
    rusage self{}, writer{};
    getrusage(RUSAGE_SELF, &self);
    getrusage(RUSAGE_CHILDREN, &writer);
    std::printf("wall %.1f s; CPU (user+sys) %.2f s, peak memory %ld KiB; writer CPU %.2f s, "
                "peak memory %ld KiB\n",
                wallSeconds, cpuSeconds(self), self.ru_maxrss, cpuSeconds(writer),
                writer.ru_maxrss);
}

} // namespace

int main(int argc, char** argv) {
    const auto count = argc > 1 ? countArgument(argv[1], 1, 100000000) : std::optional<long>{2000};
    const auto seed =
        argc > 2 ? countArgument(argv[2], 0, UINT32_MAX) : std::optional<long>{20261208};
    if (argc > 3 || !count || !seed) {
        std::fprintf(stderr, "usage: auto_send_soak [COUNT] [SEED]  (COUNT from 1 to 100000000, "
                             "SEED from 0 to 4294967295)\n");
        return 2;
    }
    const auto started = std::chrono::steady_clock::now();
    const fs::path folder =
        fs::temp_directory_path() / ("tarvex_soak_" + std::to_string(::getpid()));
    fs::remove_all(folder);
    fs::create_directories(folder);

    const std::string writer = TARVEX_SOAK_WRITER;
    const std::string countText = std::to_string(*count);
    const std::string seedText = std::to_string(*seed);
    char* args[] = {const_cast<char*>(writer.c_str()), const_cast<char*>(folder.c_str()),
                    const_cast<char*>(countText.c_str()), const_cast<char*>(seedText.c_str()),
                    nullptr};
    pid_t child = 0;
    if (posix_spawn(&child, writer.c_str(), nullptr, nullptr, args, environ) != 0) {
        std::perror(writer.c_str());
        return 1;
    }

    std::vector<long> sent;
    long refused = 0;
    long polls = 0, taken = 0, locked = 0, failures = 0;
    AutoSendActions actions;
    std::string applied;
    actions.apply = [&](const std::string& entry) {
        const EntryParse parse = parsePageEntry(entry);
        if (!parse.ok()) {
            ++refused;
            return false;
        }
        applied = parse.entry.message;
        return true;
    };
    actions.send = [&] { sent.push_back(sequenceOf(applied)); };
    actions.delayMs = [](uint32_t) {};
    actions.suppressListSave = [](bool) {};
    actions.report = [&](const std::string& error) {
        ++failures;
        std::fprintf(stderr, "poll error: %s\n", error.c_str());
    };

    std::mt19937 rng(static_cast<unsigned>(*seed) + 1);
    bool writerDone = false;
    int writerStatus = 0;
    // The writer needs well under a millisecond per page; a stalled run ends at the deadline.
    const auto deadline =
        started + std::max<std::chrono::milliseconds>(std::chrono::minutes(4),
                                                      std::chrono::milliseconds(25) * *count);
    while (std::chrono::steady_clock::now() < deadline) {
        if (!writerDone && waitpid(child, &writerStatus, WNOHANG) == child)
            writerDone = true;
        const auto result = runAutoSendPoll(folder.string(), "Autosend.txt", "Lock.Lck",
                                            SecondsSince2000(), 0, actions);
        ++polls;
        taken += result.take.outcome == TakeOutcome::Taken;
        locked += result.take.outcome == TakeOutcome::Locked ||
                  result.take.outcome == TakeOutcome::LockFailed;
        if (writerDone && result.take.outcome == TakeOutcome::NoFile)
            break;
        std::this_thread::sleep_for(std::chrono::microseconds(rng() % 3000));
    }
    if (!writerDone)
        waitpid(child, &writerStatus, 0);

    // Compare what was sent with 1..count.
    std::set<long> seen;
    long duplicated = 0, outOfOrder = 0;
    for (size_t i = 0; i < sent.size(); ++i) {
        if (!seen.insert(sent[i]).second)
            ++duplicated;
        if (i > 0 && sent[i] < sent[i - 1])
            ++outOfOrder;
    }
    long lost = 0;
    for (long s = 1; s <= *count; ++s)
        lost += seen.count(s) == 0;
    std::printf(
        "auto-send soak: written %ld, sent %zu, lost %ld, duplicated %ld, out of order %ld, "
        "refused %ld\n",
        *count, sent.size(), lost, duplicated, outOfOrder, refused);
    std::printf("polls %ld (taking lines %ld, lock held by the writer %ld, errors %ld)\n", polls,
                taken, locked, failures);
    printResources(
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count());
    fs::remove_all(folder);
    const bool writerOk = WIFEXITED(writerStatus) && WEXITSTATUS(writerStatus) == 0;
    if (!writerOk)
        std::printf("the writer failed\n");
    return (writerOk && lost == 0 && duplicated == 0 && outOfOrder == 0 && refused == 0 &&
            failures == 0 && static_cast<long>(sent.size()) == *count)
               ? 0
               : 1;
}
