#pragma once
// The multimon-ng command lines the monitor runs: one process per rendering (alphanumeric,
// numeric) and polarity, each with a demodulator for every rate the station sends at, all
// reading the same raw audio (signed 16-bit, mono, 22050 Hz) on standard input. Standard C++.
#include "monitor/multimon_line.h"

#include <string>
#include <string_view>
#include <vector>

namespace tarvex {

/// Samples per second the decoder reads.
inline constexpr int DecoderSampleRate = 22050;

/// Samples handed to a decoder at a time. multimon-ng 1.2.0 loses its place in the bit
/// stream a little at every read() it makes: fed in the small pieces a sound card delivers
/// (20 ms, 441 samples) it decodes almost nothing. From blocks of 1024 samples up it decodes a
/// live stream as well as a file (measured at 6 and 8 dB SNR); 4096 leaves room and costs at
/// most 186 ms of delay.
inline constexpr int DecoderBlockSamples = 4096;

struct DecoderConfig {
    std::string program = "multimon-ng";
    std::vector<int> rates{512, 1200, 2400}; ///< the station's rates (others are ignored)
    bool stationInverted = false;            ///< the station's polarity setting
    bool receiverInverts = false;            ///< the receiver's audio is upside down
    bool bothPolarities = false;             ///< decode either polarity (pagers of both kinds)
    bool alpha = true;                       ///< run the alphanumeric rendering
    bool numeric = true;                     ///< run the numeric rendering
    std::string charset; ///< the pager directory's set for -C; left out when the decoder lacks it
};

struct DecoderCommand {
    std::string name; ///< "alpha", "numeric inverted", ... for status and log lines
    DecodeKind rendering = DecodeKind::Alpha;
    bool inverted = false;              ///< decodes pages sent with inverted polarity
    std::vector<std::string> arguments; ///< program first
};

/// The processes to run for a configuration; empty when it names no rate or no rendering.
/// A page rendered by this system with normal polarity needs the decoder's -i (the decoder
/// reads the other level as a one bit); a receiver that inverts swaps that again.
std::vector<DecoderCommand> decoderCommands(const DecoderConfig& config);

/// The -C argument for a pager set code ("de" gives "DE"); empty for the plain set and for a
/// set the decoder does not know (it would refuse to start). The matcher renders with this.
std::string decoderCharsetArgument(std::string_view charset);

/// The command line as one text, for logs ("multimon-ng -q -t raw ...").
std::string commandText(const std::vector<std::string>& arguments);

} // namespace tarvex
