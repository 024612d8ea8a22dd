// tarvex-play-image: renders a known codeword stream with TSignalGen and plays it through
// the Qt Multimedia backend (or the ALSA backend with --backend alsa), so a recording of the
// sound server can be compared with the image sample for sample. Prints what it measured as
// key=value lines.
//
//   tarvex-play-image --wav FILE [--backend qt|alsa] [--mode async|blocking|loop] [--baud N]
//                     [--codewords N] [--normal] [--loop-ms N] [--device NAME]
//                     [--buffer-ms N] [--ahead-ms N]
#include "signal/audio_process_exit.h"
#include "signal/qt_audio_output.h"
#ifdef TARVEX_HAVE_ALSA
#include "signal/alsa_audio_output.h"
#endif
#include "signal/signal_gen.h"
#include "signal/wav_image.h"

#include <QCoreApplication>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace tarvex;
using SteadyClock = std::chrono::steady_clock;

int64_t nowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               SteadyClock::now().time_since_epoch())
        .count();
}

// Passes everything to the real output and notes when play() was called and returned.
class TimedOutput : public AudioOutput {
public:
    explicit TimedOutput(std::shared_ptr<AudioOutput> inner) : m_inner(std::move(inner)) {}
    bool play(std::span<const uint8_t> image, PlayMode mode) override {
        calledNs = nowNs();
        const bool ok = m_inner->play(image, mode);
        returnedNs = nowNs();
        return ok;
    }
    void stop() override { m_inner->stop(); }
    bool playing() const override { return m_inner->playing(); }
    void setDeviceLevel(DeviceLevel level) override { m_inner->setDeviceLevel(level); }
    DeviceLevel deviceLevel() const override { return m_inner->deviceLevel(); }
    std::string lastError() const override { return m_inner->lastError(); }
    std::string name() const override { return m_inner->name(); }

    int64_t calledNs = 0;
    int64_t returnedNs = 0;

private:
    std::shared_ptr<AudioOutput> m_inner;
};

struct Options {
    std::string wavPath;
    std::string backend = "qt";
    std::string mode = "async";
    std::string device;
    int baud = 1200;
    int codewords = 60;
    bool inverted = true;
    int loopMs = 400;
    int bufferMs = QtAudioOutput::DefaultBufferMs;
    int aheadMs = QtAudioOutput::DefaultAheadMs;
};

bool parse(int argc, char** argv, Options& o) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--normal")
            o.inverted = false;
        else if (arg == "--wav" && hasValue)
            o.wavPath = argv[++i];
        else if (arg == "--mode" && hasValue)
            o.mode = argv[++i];
        else if (arg == "--device" && hasValue)
            o.device = argv[++i];
        else if (arg == "--baud" && hasValue)
            o.baud = std::atoi(argv[++i]);
        else if (arg == "--codewords" && hasValue)
            o.codewords = std::atoi(argv[++i]);
        else if (arg == "--loop-ms" && hasValue)
            o.loopMs = std::atoi(argv[++i]);
        else if (arg == "--backend" && hasValue)
            o.backend = argv[++i];
        else if (arg == "--ahead-ms" && hasValue)
            o.aheadMs = std::atoi(argv[++i]);
        else if (arg == "--buffer-ms" && hasValue)
            o.bufferMs = std::atoi(argv[++i]);
        else
            return false;
    }
    return !o.wavPath.empty() && (o.mode == "async" || o.mode == "blocking" || o.mode == "loop") &&
           o.codewords >= 0 && o.codewords <= static_cast<int>(MaxStreamCodewords);
}

// Preamble, a sync codeword and fixed pseudo-random codewords: any slip shows.
std::vector<Codeword> knownStream(int count) {
    std::vector<Codeword> words;
    std::mt19937 rng(20240601);
    for (int i = 0; i < count; ++i)
        words.push_back(i < 18    ? PreambleCodeword
                        : i == 18 ? StockSyncCodeword
                                  : static_cast<Codeword>(rng()));
    words.push_back(EndMarker);
    return words;
}

// Waits while the event loop runs, as the program's own waits do.
template <typename Done> void waitWithEvents(Done done) {
    while (!done()) {
        QCoreApplication::processEvents();
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

} // namespace

int runPlayer(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    Options o;
    if (!parse(argc, argv, o)) {
        std::fprintf(stderr, "usage: tarvex-play-image --wav FILE [--backend qt|alsa] "
                             "[--mode async|blocking|loop] [--baud N] [--codewords N] [--normal] "
                             "[--loop-ms N] [--device NAME] [--buffer-ms N] [--ahead-ms N]\n");
        return 2;
    }
    std::shared_ptr<AudioOutput> output;
    std::function<long()> bufferBytes;
    if (o.backend == "qt") {
        auto qt = std::make_shared<QtAudioOutput>(o.device, o.bufferMs, o.aheadMs);
        bufferBytes = [qt] { return qt->sinkBufferBytes(); };
        output = qt;
#ifdef TARVEX_HAVE_ALSA
    } else if (o.backend == "alsa") {
        auto alsa = std::make_shared<AlsaAudioOutput>(o.device.empty() ? "default" : o.device);
        bufferBytes = [alsa] { return static_cast<long>(alsa->bufferFrames()); };
        output = alsa;
#endif
    } else {
        std::fprintf(stderr, "tarvex-play-image: no backend '%s' in this build\n",
                     o.backend.c_str());
        return 2;
    }
    auto timed = std::make_shared<TimedOutput>(output);
    int status = 0;
    {
        TSignalGen gen(timed);
        const auto stream = knownStream(o.codewords);
        gen.setBaud(static_cast<int16_t>(o.baud));
        gen.setInverted(o.inverted);
        gen.setLevel(100);
        gen.setAsync(o.mode != "blocking");
        gen.setLoop(o.mode == "loop");
        gen.setData(stream);
        gen.Send();
        if (!gen.lastError().empty()) {
            std::fprintf(stderr, "tarvex-play-image: %s\n", gen.lastError().c_str());
            status = 1;
        }
        if (o.mode == "loop") {
            const auto until = SteadyClock::now() + std::chrono::milliseconds(o.loopMs);
            waitWithEvents([&] { return SteadyClock::now() >= until; });
            std::printf("stop_called_ns=%lld\n", static_cast<long long>(nowNs()));
            gen.Stop();
        } else {
            waitWithEvents([&] { return gen.outputDrained(); });
        }
        std::printf("drained_ns=%lld\n", static_cast<long long>(nowNs()));
        std::printf("play_called_ns=%lld\n", static_cast<long long>(timed->calledNs));
        std::printf("play_returned_ns=%lld\n", static_cast<long long>(timed->returnedNs));
        std::printf("duration_ms=%u\n", gen.Duration());
        std::printf("sink_buffer_bytes=%ld\n", bufferBytes());
        std::printf("requested_buffer_ms=%d\n", o.bufferMs);

        std::ofstream wav(o.wavPath, std::ios::binary);
        wav.write(reinterpret_cast<const char*>(gen.Image().data()),
                  static_cast<std::streamsize>(gen.Image().size()));
        if (!wav) {
            std::fprintf(stderr, "tarvex-play-image: cannot write %s\n", o.wavPath.c_str());
            status = 1;
        }
    }
    return status;
}

int main(int argc, char** argv) {
    tarvex::exitWithoutAudioTeardown(runPlayer(argc, argv));
}
