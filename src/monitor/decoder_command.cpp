#include "monitor/decoder_command.h"

#include "monitor/multimon_text.h"

#include <algorithm>

namespace tarvex {

std::string decoderCharsetArgument(std::string_view charset) {
    if (!decoderKnowsCharset(charset))
        return {};
    std::string code(charset);
    std::transform(code.begin(), code.end(), code.begin(),
                   [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; });
    return code == "US" ? std::string() : code;
}

std::vector<DecoderCommand> decoderCommands(const DecoderConfig& config) {
    const std::string charset = decoderCharsetArgument(config.charset);
    std::vector<std::string> common{config.program, "-q", "-t", "raw"};
    bool anyRate = false;
    for (const int rate : {512, 1200, 2400}) {
        if (std::find(config.rates.begin(), config.rates.end(), rate) == config.rates.end())
            continue;
        common.push_back("-a");
        common.push_back("POCSAG" + std::to_string(rate));
        anyRate = true;
    }
    if (!anyRate)
        return {};

    std::vector<bool> polarities{config.stationInverted};
    if (config.bothPolarities)
        polarities = {false, true};
    std::vector<DecodeKind> renderings;
    if (config.alpha)
        renderings.push_back(DecodeKind::Alpha);
    if (config.numeric)
        renderings.push_back(DecodeKind::Numeric);

    std::vector<DecoderCommand> commands;
    for (const DecodeKind rendering : renderings) {
        for (const bool inverted : polarities) {
            DecoderCommand command;
            command.rendering = rendering;
            command.inverted = inverted;
            command.name = rendering == DecodeKind::Alpha ? "alpha" : "numeric";
            if (inverted)
                command.name += " inverted";
            command.arguments = common;
            command.arguments.push_back("-f");
            command.arguments.push_back(rendering == DecodeKind::Alpha ? "alpha" : "numeric");
            if (inverted == config.receiverInverts)
                command.arguments.push_back("-i");
            if (rendering == DecodeKind::Alpha && !charset.empty()) {
                command.arguments.push_back("-C");
                command.arguments.push_back(charset);
            }
            command.arguments.push_back("-");
            commands.push_back(std::move(command));
        }
    }
    return commands;
}

std::string commandText(const std::vector<std::string>& arguments) {
    std::string out;
    for (const auto& a : arguments) {
        if (!out.empty())
            out += ' ';
        out += a;
    }
    return out;
}

} // namespace tarvex
