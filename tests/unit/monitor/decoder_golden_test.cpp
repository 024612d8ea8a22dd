// Golden round trip through the real decoder: pages built by the encoder, rendered at 96 kHz,
// brought to the decoder's rate by the monitor's own converter, decoded by multimon-ng with
// the command lines the monitor runs, read back by its parser, and judged by its matcher.
// Catches any drift between the renderings predicted here and what the decoder prints.
// Skips only when multimon-ng is not installed.
#include "encoder/page_encoder.h"
#include "monitor/decoder_command.h"
#include "monitor/multimon_line.h"
#include "monitor/offair_matcher.h"
#include "monitor/sample_convert.h"
#include "signal/wav_image.h"

#include "shell_tools.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

using namespace tarvex;
namespace fs = std::filesystem;
using tarvex::testing::run;

namespace {

struct GoldenPage {
    const char* what;
    int baud;
    bool inverted;
    PageRecord page;
    const char* charset; // the decoder's -C
};

std::string allPrintable() {
    std::string s;
    for (char c = 32; c < 127; ++c)
        s += c;
    return s;
}

std::vector<GoldenPage> pages() {
    const std::string printable = allPrintable();
    return {
        {"alpha 512", 512, false, {1234567, 3, Coding::Alphanumeric, "Pulse at 512", {}}, ""},
        {"alpha 1200 inverted",
         1200,
         true,
         {2000, 1, Coding::Alphanumeric, "Two batches and more, please", {}},
         ""},
        {"printable, plain", 2400, false, {77, 2, Coding::Alphanumeric, printable, {}}, ""},
        {"printable, German", 1200, false, {77, 3, Coding::Alphanumeric, printable, "de"}, "DE"},
        {"printable, French", 1200, true, {77, 3, Coding::Alphanumeric, printable, "fr"}, "FR"},
        {"printable, Slovenian", 512, false, {77, 3, Coding::Alphanumeric, printable, "si"}, "SI"},
        {"printable, Swedish", 2400, true, {77, 3, Coding::Alphanumeric, printable, "se"}, "SE"},
        {"control codes",
         1200,
         false,
         {5,
          2,
          Coding::Alphanumeric,
          "A\x01\x02\n\r\x13\x7f"
          "B",
          {}},
         ""},
        {"line buffer overflow",
         1200,
         false,
         {5, 2, Coding::Alphanumeric, "A" + std::string(240, '\x01') + "B", {}},
         ""},
        {"alpha on function 0", 2400, false, {0, 0, Coding::Alphanumeric, "zero", {}}, ""},
        {"numeric", 1200, false, {8, 0, Coding::Numeric, "0123456789", {}}, ""},
        {"numeric specials and fill", 512, true, {8, 3, Coding::Numeric, "12-U[] :A", {}}, ""},
        {"numeric long", 2400, false, {2097151, 1, Coding::Numeric, std::string(200, '7'), {}}, ""},
        {"tone only", 1200, false, {12, 2, Coding::Numeric, "", {}}, ""},
    };
}

/// The transmission as the station sends it, at the decoder's rate, then a second of the
/// receiver's silence.
std::vector<int16_t> receiverAudio(const GoldenPage& g) {
    PageEncoder encoder;
    PageParams params;
    params.ric = std::to_string(g.page.ric);
    params.functionBits = g.page.functionBits;
    params.coding = g.page.coding;
    params.baud = g.baud;
    params.inverted = g.inverted;
    params.message = g.page.bytes;
    encoder.BuildTransmission(params);
    const auto stream = encoder.CodewordBuffer.range(1, encoder.LastSlot);
    std::vector<uint8_t> image(streamDurationMs(g.baud, stream.size()) * SamplesPerMs);
    renderSamples(stream, g.baud, g.inverted, image);
    image.resize(image.size() + SampleRate, 128);
    std::vector<int16_t> out;
    SampleConverter converter(CaptureFormat{SampleFormat::UInt8, int(SampleRate), 1});
    converter.convert(image, out);
    uint32_t dither = 1;
    addDither(out, dither);
    return out;
}

struct NoEvents : OffAirListener {};

TEST(DecoderGolden, EveryPageDecodesToWhatTheMatcherExpects) {
    if (std::system("command -v multimon-ng >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "multimon-ng not installed";
    const fs::path dir = fs::temp_directory_path() / ("tarvex-offair-" + std::to_string(getpid()));
    fs::create_directories(dir);
    const fs::path raw = dir / "rx.raw";
    for (const auto& g : pages()) {
        SCOPED_TRACE(g.what);
        const auto audio = receiverAudio(g);
        std::ofstream(raw, std::ios::binary)
            .write(reinterpret_cast<const char*>(audio.data()),
                   static_cast<std::streamsize>(audio.size() * 2));
        DecoderConfig config;
        config.rates = {g.baud};
        config.stationInverted = g.inverted;
        config.charset = g.charset;
        bool confirmed = false;
        std::string printed;
        for (auto command : decoderCommands(config)) {
            command.arguments.back() = raw.string(); // a file instead of standard input
            std::string line = "'" + command.arguments[0] + "'";
            for (std::size_t i = 1; i < command.arguments.size(); ++i)
                line += " '" + command.arguments[i] + "'";
            const std::string out = run(line + " 2>/dev/null");
            printed += out;
            std::size_t start = 0;
            for (std::size_t end; (end = out.find('\n', start)) != std::string::npos;
                 start = end + 1) {
                const auto decode =
                    parseMultimonLine(std::string_view(out).substr(start, end - start));
                if (decode && decodeMatchesPage(*decode, g.page, decoderCharsetArgument(g.charset)))
                    confirmed = true;
            }
        }
        EXPECT_TRUE(confirmed) << "decoder printed:\n" << printed;
    }
    fs::remove_all(dir);
}

TEST(DecoderGolden, WrongPolarityDecodesNothing) {
    if (std::system("command -v multimon-ng >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "multimon-ng not installed";
    GoldenPage g{"normal page", 1200, false, {42, 3, Coding::Alphanumeric, "polarity", {}}, ""};
    const auto audio = receiverAudio(g);
    const fs::path raw =
        fs::temp_directory_path() / ("tarvex-offair-pol-" + std::to_string(getpid()));
    std::ofstream(raw, std::ios::binary)
        .write(reinterpret_cast<const char*>(audio.data()),
               static_cast<std::streamsize>(audio.size() * 2));
    for (const bool receiverInverts : {false, true}) {
        DecoderConfig config;
        config.rates = {1200};
        config.receiverInverts = receiverInverts;
        config.numeric = false;
        auto command = decoderCommands(config).at(0);
        command.arguments.back() = raw.string();
        std::string line;
        for (const auto& a : command.arguments)
            line += "'" + a + "' ";
        const bool decoded = run(line + "2>/dev/null").find("polarity") != std::string::npos;
        EXPECT_EQ(decoded, !receiverInverts) << "receiver inverts: " << receiverInverts;
    }
    fs::remove(raw);
}

} // namespace
