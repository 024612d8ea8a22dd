// The durable page queue: pages accepted per second by one sender and by several at once
// (each add committed to disk before it returns, as a server needs before it acknowledges),
// a page's whole life (add, on air, remove), reading 10,000 pending pages, and the memory of a
// process holding them. The queue file goes to $TARVEX_BENCH_DIR (default: the temporary folder):
// put it on the disk the station will use, since the figure is mostly that disk's flush time.
#include "network/durable_queue.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

fs::path queuePath(const std::string& name) {
    const char* dir = std::getenv("TARVEX_BENCH_DIR");
    const fs::path folder = dir ? fs::path(dir) : fs::temp_directory_path();
    const fs::path path = folder / ("bench-" + std::to_string(::getpid()) + "-" + name + ".db");
    for (const char* suffix : {"", "-wal", "-shm"})
        fs::remove(path.string() + suffix);
    return path;
}

void removeQueue(const fs::path& path) {
    for (const char* suffix : {"", "-wal", "-shm"})
        fs::remove(path.string() + suffix);
}

std::unique_ptr<tarvex::DurableQueue> openQueue(const fs::path& path, benchmark::State& state) {
    std::string error;
    auto queue = tarvex::DurableQueue::open(path.string(), &error);
    if (!queue)
        state.SkipWithError(error.c_str());
    return queue;
}

tarvex::QueuedPage typicalPage() {
    tarvex::QueuedPage q;
    q.source = "snpp";
    q.origin = "nagios@10.0.0.5";
    q.recipient = "1001";
    q.page.ric = "1234567";
    q.page.message = "PROBLEM: disk /var on db01 is 97% full (CRITICAL) since 03:12";
    return q;
}

/// The process's resident memory in kB (VmRSS of /proc/self/status).
double residentKb() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stod(line.substr(6));
    return 0;
}

// Several senders at once (the SNPP and WCTP servers' connection threads) share one queue;
// their pages are committed together, one flush for all that are waiting.
std::unique_ptr<tarvex::DurableQueue> sharedQueue;
fs::path sharedPath;

void BM_QueueAddCommitted(benchmark::State& state) {
    if (state.thread_index() == 0) {
        sharedPath = queuePath("add");
        sharedQueue = openQueue(sharedPath, state);
    }
    const tarvex::QueuedPage page = typicalPage();
    std::string error;
    for (auto _ : state)
        if (sharedQueue && !sharedQueue->add(page, &error))
            state.SkipWithError(error.c_str());
    state.SetItemsProcessed(state.iterations());
    if (state.thread_index() == 0) {
        sharedQueue.reset();
        removeQueue(sharedPath);
    }
}
BENCHMARK(BM_QueueAddCommitted)->ThreadRange(1, 16)->UseRealTime()->Unit(benchmark::kMillisecond);

void BM_QueuePageLife(benchmark::State& state) {
    const fs::path path = queuePath("life");
    auto queue = openQueue(path, state);
    if (!queue)
        return;
    const tarvex::QueuedPage page = typicalPage();
    for (auto _ : state) {
        const auto id = queue->add(page, nullptr);
        queue->markOnAir(*id, nullptr);
        queue->remove(*id, nullptr);
    }
    state.SetItemsProcessed(state.iterations());
    queue.reset();
    removeQueue(path);
}
BENCHMARK(BM_QueuePageLife)->UseRealTime()->Unit(benchmark::kMillisecond);

/// Opens a queue of 10,000 pending pages (written in one go beforehand) and reads them all.
void BM_QueueHolding10000(benchmark::State& state) {
    const fs::path path = queuePath("hold");
    {
        auto writer = openQueue(path, state);
        if (!writer)
            return;
        for (int i = 0; i < 10000; ++i)
            writer->add(typicalPage(), nullptr);
    }
    const double before = residentKb();
    double opened = 0, holding = 0;
    for (auto _ : state) {
        auto queue = openQueue(path, state);
        opened = residentKb();
        const auto pending = queue->pending(10000, nullptr);
        holding = residentKb();
        benchmark::DoNotOptimize(pending.data());
        if (pending.size() != 10000)
            state.SkipWithError("pages missing");
    }
    state.counters["rss_before_kB"] = before;
    state.counters["open_delta_kB"] = opened - before;
    state.counters["pending_delta_kB"] = holding - before;
    removeQueue(path);
}
BENCHMARK(BM_QueueHolding10000)->UseRealTime()->Unit(benchmark::kMillisecond)->Iterations(5);

} // namespace

BENCHMARK_MAIN();
