#pragma once
// Rendering a stream to a WAV file through the same generator SEND uses, and the pieces
// shared by the commands that go on the air (send, tune --send).
#include "cli/arguments.h"
#include "cli/commands.h"
#include "encoder/codeword.h"

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace tarvex::cli {

struct RenderResult {
    uint32_t durationMs = 0;
    uint32_t samples = 0;
};

/// Plays the stream (up to its EndMarker) into a WAV file through TSignalGen.
/// Throws OutputError when the file cannot be written, UsageError for a refused stream.
RenderResult renderToWav(std::span<const Codeword> stream, int baud, bool inverted,
                         const std::string& path);

/// Options of the keying and audio side: --level, --port, --pin, --invkey, --key-delay, --audio.
std::vector<OptionRule> sendOptionRules();
/// Throws UsageError when one of the on-air options is given to a command that renders only.
void rejectSendOnlyOptions(const Arguments& args, const std::string& context);
/// The options of tune, with or without --send.
struct TuneOptions {
    Arguments args;
    int seconds = 0;
    int baud = 1200;
    bool inverted = false;
};
TuneOptions readTuneOptions(const Args& argv);

/// tune --send: the tune-up framing on the air.
int sendTuneUp(const Arguments& args, int seconds, int baud, bool inverted);

} // namespace tarvex::cli
