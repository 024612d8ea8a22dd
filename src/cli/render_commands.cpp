// The commands that render without going on the air: listing, wav, tune, ident and fast.
#include "cli/commands.h"
#include "cli/page_options.h"
#include "cli/render.h"
#include "encoder/conversions.h"
#include "encoder/multi_page.h"
#include "paging/fast_search.h"
#include "signal/wav_image.h"
#include "txcontrol/morse_ident.h"
#include "txcontrol/tune_up.h"

#include <iostream>

namespace tarvex::cli {

namespace {

const std::vector<OptionRule> OutputRules = {{"--output", true, "-o"}};

// The encoder's limit for one transmission is the generator's stream limit.
static_assert(MaxTransmissionCodewords == static_cast<int>(MaxStreamCodewords));

/// "FILE line 7 (RIC 0001234): " for a page among several; nothing for the only page.
std::string pageName(const QueuedPage& queued) {
    if (queued.origin.empty())
        return {};
    return queued.origin + " (RIC " + std::string(trimControl(queued.page.ric)) + "): ";
}

std::string rateName(int baud, bool inverted) {
    return std::to_string(baud) + " bit/s " + (inverted ? "inverted" : "normal");
}

/// Every page given, in one transmission. A page the encoder refuses, a page at another rate
/// or polarity and a page that no longer fits in the generator's 1137 codewords are usage
/// errors naming the page: the command renders all that was asked or nothing.
MultiPageTransmission buildAll(const std::vector<QueuedPage>& queue, const PageEncoder& encoder) {
    std::vector<PageParams> pages;
    for (const auto& queued : queue)
        pages.push_back(queued.page);
    const MultiPageTransmission t =
        buildMultiPageTransmission(pages, MaxTransmissionCodewords, encoder);
    if (!t.refused.empty())
        throw UsageError(pageName(queue[t.refused.front().index]) + t.refused.front().reason);
    if (t.consumed == queue.size())
        return t;
    const QueuedPage& next = queue[t.consumed];
    if (t.stop == PackingStop::RateChange)
        throw UsageError(pageName(next) + "its " + rateName(next.page.baud, next.page.inverted) +
                         " differs from the " + rateName(t.baud, t.inverted) +
                         " of the first page: one transmission has one bit rate and polarity");
    throw UsageError(pageName(next) +
                     "the page does not fit: with it the transmission would be "
                     "longer than the " +
                     std::to_string(MaxTransmissionCodewords) +
                     " codewords the generator takes; the pages before it take " +
                     std::to_string(t.lastSlot) + ". Render the rest as another transmission.");
}

} // namespace

int runListing(const Args& argv) {
    const Arguments args(argv, pageListOptionRules());
    PageEncoder encoder;
    applySyncIdle(args, encoder);
    const MultiPageTransmission t = buildAll(readPages(args), encoder);
    std::cout << t.listing << std::flush;
    return 0;
}

int runWav(const Args& argv) {
    const Arguments args(argv,
                         joinOptionRules({pageListOptionRules(), rateOptionRules(), OutputRules}));
    const std::string path = args.required("--output");
    PageEncoder encoder;
    applySyncIdle(args, encoder);
    const std::vector<QueuedPage> queue = readPages(args);
    const MultiPageTransmission t = buildAll(queue, encoder);
    const RenderResult r = renderToWav(t.stream, t.baud, t.inverted, path);
    if (queue.size() == 1)
        std::cout << "RIC " << queue.front().page.ric << ": ";
    else
        std::cout << queue.size() << " pages: ";
    std::cout << t.lastSlot << " codewords at " << t.baud << " bit/s, " << r.durationMs << " ms, "
              << r.samples << " samples -> " << path << "\n";
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
    const Arguments args(argv,
                         joinOptionRules({OutputRules, {{"--callsign"}, {"--inverted", false}}}));
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
    const Arguments args(
        argv, joinOptionRules({rateOptionRules(),
                               OutputRules,
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
