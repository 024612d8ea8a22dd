// Plays a known codeword stream through the ALSA backend for the PulseAudio round trip
// (tests/e2e/audio_roundtrip.py), printing when play() was called and returned and when
// the output reported its last sample gone, in the same form as the Qt player.
//   tarvex-play-image-alsa --wav FILE [--mode async|blocking|loop] [--baud N]
//                          [--codewords N] [--normal] [--loop-ms N] [--device NAME]
#include "signal/alsa_audio_output.h"
#include "signal/signal_gen.h"
#include "signal/wav_image.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
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

class TimedOutput : public AudioOutput {
public:
    explicit TimedOutput(std::shared_ptr<AlsaAudioOutput> inner) : m_inner(std::move(inner)) {}
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
    std::shared_ptr<AlsaAudioOutput> m_inner;
};

struct Options {
    std::string wavPath;
    std::string mode = "async";
    std::string device = "default";
    int baud = 1200;
    int codewords = 60;
    bool inverted = true;
    int loopMs = 400;
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
        else
            return false;
    }
    return !o.wavPath.empty() && (o.mode == "async" || o.mode == "blocking" || o.mode == "loop") &&
           o.codewords >= 0 && o.codewords <= static_cast<int>(MaxStreamCodewords);
}

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

template <typename Done> void waitUntil(Done done) {
    while (!done())
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

} // namespace

int main(int argc, char** argv) {
    Options o;
    if (!parse(argc, argv, o)) {
        std::fprintf(stderr, "usage: tarvex-play-image-alsa --wav FILE [--mode async|blocking|"
                             "loop] [--baud N] [--codewords N] [--normal] [--loop-ms N] "
                             "[--device NAME]\n");
        return 2;
    }
    auto alsa = std::make_shared<AlsaAudioOutput>(o.device);
    auto timed = std::make_shared<TimedOutput>(alsa);
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
            std::fprintf(stderr, "tarvex-play-image-alsa: %s\n", gen.lastError().c_str());
            status = 1;
        }
        if (o.mode == "loop") {
            const auto until = SteadyClock::now() + std::chrono::milliseconds(o.loopMs);
            waitUntil([&] { return SteadyClock::now() >= until; });
            std::printf("stop_called_ns=%lld\n", static_cast<long long>(nowNs()));
            gen.Stop();
        } else {
            waitUntil([&] { return gen.outputDrained(); });
        }
        std::printf("drained_ns=%lld\n", static_cast<long long>(nowNs()));
        std::printf("play_called_ns=%lld\n", static_cast<long long>(timed->calledNs));
        std::printf("play_returned_ns=%lld\n", static_cast<long long>(timed->returnedNs));
        std::printf("duration_ms=%u\n", gen.Duration());
        std::printf("sink_buffer_bytes=%lu\n", alsa->bufferFrames());
        std::printf("period_frames=%lu\n", alsa->periodFrames());

        std::ofstream wav(o.wavPath, std::ios::binary);
        wav.write(reinterpret_cast<const char*>(gen.Image().data()),
                  static_cast<std::streamsize>(gen.Image().size()));
        if (!wav) {
            std::fprintf(stderr, "tarvex-play-image-alsa: cannot write %s\n", o.wavPath.c_str());
            status = 1;
        }
    }
    return status;
}
