// Measures the processor time a real DelayMs with the Qt pump uses: one wait of the given
// length (default 20 s) on a QCoreApplication, with getrusage before and after.
#include "paging/qt/qt_event_pump.h"

#include <QCoreApplication>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <sys/resource.h>

namespace {
double cpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}
} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const unsigned seconds = argc > 1 ? static_cast<unsigned>(std::atoi(argv[1])) : 20u;
    tarvex::SteadyTickClock clock;
    tarvex::QtEventPump pump;
    tarvex::EventWait wait(clock, pump);

    const double cpuBefore = cpuSeconds();
    const auto wallBefore = std::chrono::steady_clock::now();
    wait.DelayMs(seconds * 1000);
    const double wall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - wallBefore).count();
    const double cpu = cpuSeconds() - cpuBefore;
    std::printf("DelayMs(%u000): wall %.3f s, processor %.4f s (%.3f %% of one core)\n", seconds,
                wall, cpu, 100.0 * cpu / wall);
    return 0;
}
