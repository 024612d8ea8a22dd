#include "cli/render.h"

#include "cli/page_options.h"
#include "signal/signal_gen.h"
#include "signal/wav_file_output.h"
#include "signal/wav_image.h"
#include "txcontrol/tune_up.h"

namespace tarvex::cli {

RenderResult renderToWav(std::span<const Codeword> stream, int baud, bool inverted,
                         const std::string& path) {
    auto output = std::make_shared<WavFileOutput>(path);
    TSignalGen gen(output);
    gen.setBaud(static_cast<int16_t>(baud));
    gen.setInverted(inverted);
    gen.setData(stream);
    gen.Send();
    if (gen.Image().empty())
        throw UsageError(gen.lastError());
    if (output->imagesWritten() != 1)
        throw OutputError(output->lastError().empty() ? "cannot write " + path
                                                      : output->lastError());
    return {gen.Duration(), static_cast<uint32_t>(gen.Image().size() - WavHeaderSize)};
}

std::vector<OptionRule> sendOptionRules() {
    return {{"--level"},     {"--port"},      {"--pin"},       {"--invkey", false},
            {"--key-delay"}, {"--audio"},     {"--ptt"},       {"--ptt-device"},
            {"--cm108-pin"}, {"--gpio-line"}, {"--rig-model"}, {"--rig-speed"}};
}

void rejectSendOnlyOptions(const Arguments& args, const std::string& context) {
    for (const auto& option : sendOptionRules())
        if (args.has(option.name))
            throw UsageError(option.name + " is only for sending on the air, not for " + context);
}

TuneOptions readTuneOptions(const Args& argv) {
    const Arguments args(argv, joinOptionRules({rateOptionRules(),
                                                {{"--output", true, "-o"}},
                                                sendOptionRules(),
                                                {{"--seconds"}, {"--send", false}}}));
    TuneOptions t{args, args.intValue("--seconds", 0, MinTuneTime, MaxTuneTime),
                  args.choice("--baud", 1200, {512, 1200, 2400}), args.has("--inverted")};
    if (!args.has("--seconds"))
        throw UsageError("--seconds is required");
    return t;
}

} // namespace tarvex::cli
