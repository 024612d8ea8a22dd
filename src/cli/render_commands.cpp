// The commands that render without going on the air: listing, wav, tune, ident and fast.
#include "cli/commands.h"
#include "cli/page_options.h"
#include "cli/render.h"
#include "encoder/conversions.h"
#include "paging/fast_search.h"
#include "txcontrol/morse_ident.h"
#include "txcontrol/tune_up.h"

#include <iostream>

namespace tarvex::cli {

namespace {

const std::vector<OptionSpec> OutputSpec = {{"--output", true, "-o"}};

} // namespace

int runListing(const Args& argv) {
    const Arguments args(argv, pageOptionSpecs());
    PageEncoder encoder;
    applySyncIdle(args, encoder);
    const PageParams page = readPage(args);
    std::cout << encoder.BuildTransmission(page) << std::flush;
    return 0;
}

int runWav(const Args& argv) {
    const Arguments args(argv, joinSpecs({pageOptionSpecs(), rateOptionSpecs(), OutputSpec}));
    const std::string path = args.required("--output");
    PageEncoder encoder;
    applySyncIdle(args, encoder);
    const PageParams page = readPage(args);
    encoder.BuildTransmission(page);
    encoder.CodewordBuffer[encoder.LastSlot + 1] = EndMarker;
    const RenderResult r =
        renderToWav(encoder.CodewordBuffer.from(1), page.baud, page.inverted, path);
    std::cout << "RIC " << page.ric << ": " << encoder.LastSlot << " codewords at " << page.baud
              << " bit/s, " << r.durationMs << " ms, " << r.samples << " samples -> " << path
              << "\n";
    return 0;
}

int runTune(const Args& argv) {
    const TuneOptions t = readTuneOptions(argv);
    rejectSendOnlyOptions(t.args, "tune without --send");
    const std::string path = t.args.required("--output");
    SlotBuffer buffer;
    const int n = BuildTuneUp(buffer, t.seconds, t.baud);
    const RenderResult r = renderToWav(buffer.from(1), t.baud, t.inverted, path);
    std::cout << "tune-up: " << n << " codewords at " << t.baud << " bit/s, " << r.durationMs
              << " ms, " << r.samples << " samples -> " << path << "\n";
    return 0;
}

int runIdent(const Args& argv) {
    const Arguments args(argv, joinSpecs({OutputSpec, {{"--callsign"}, {"--inverted", false}}}));
    const std::string call = args.required("--callsign");
    const std::string path = args.required("--output");
    SlotBuffer buffer;
    const int n = BuildMorseIdent(buffer, call);
    const RenderResult r = renderToWav(buffer.from(SlotBuffer::IdentFirstSlot), MorseBaud,
                                       args.has("--inverted"), path);
    std::cout << "ident " << call << ": " << n << " codewords at " << MorseBaud << " bit/s, "
              << r.durationMs << " ms, " << r.samples << " samples -> " << path << "\n";
    return 0;
}

int runFast(const Args& argv) {
    const Arguments args(argv,
                         joinSpecs({rateOptionSpecs(),
                                    OutputSpec,
                                    {{"--start"}, {"--sync"}, {"--idle"}, {"--listing", false}}}));
    const int32_t start = StrToInt(args.required("--start"));
    if (start < 0)
        throw UsageError("--start must be 0 or more");
    const int baud = args.choice("--baud", 1200, {512, 1200, 2400});
    if (args.has("--listing") == args.has("--output"))
        throw UsageError("give exactly one of --listing and -o FILE");
    PageEncoder encoder;
    applySyncIdle(args, encoder);
    const FastSearchTransmission t = BuildFastSearch(encoder, start);
    if (args.has("--listing")) {
        std::cout << t.listing << std::flush;
        return 0;
    }
    const std::string path = *args.value("--output");
    encoder.CodewordBuffer[t.LastSlot + 1] = EndMarker;
    const RenderResult r =
        renderToWav(encoder.CodewordBuffer.from(1), baud, args.has("--inverted"), path);
    std::cout << "fast search from " << start << ": " << t.LastSlot << " codewords at " << baud
              << " bit/s, " << r.durationMs << " ms, " << r.samples << " samples -> " << path
              << "; next start " << t.nextStart << "\n";
    return 0;
}

} // namespace tarvex::cli
