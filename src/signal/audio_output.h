#pragma once
// The audio output that TSignalGen plays its WAV images through: one interface with a
// backend per platform (Qt Multimedia, a WAV-file sink, a recording null sink), chosen at
// run time by makeAudioOutput.
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

namespace tarvex {

enum class PlayMode {
    Blocking, ///< returns after the last sample has been played
    Async,    ///< returns at once; plays the image once
    Loop,     ///< returns at once; repeats the image until stop()
};

/// Two 16-bit channel levels in one value: left in the low half, right in the high half.
/// 0xFFFF is full output.
using DeviceLevel = uint32_t;

inline constexpr DeviceLevel bothChannels(uint16_t channel) {
    return static_cast<DeviceLevel>(channel) | (static_cast<DeviceLevel>(channel) << 16);
}
inline constexpr uint16_t leftChannel(DeviceLevel level) {
    return static_cast<uint16_t>(level & 0xFFFFu);
}

class AudioOutput {
public:
    virtual ~AudioOutput() = default;

    /// Plays a complete WAV image (44-byte header and samples). Whatever played before is
    /// stopped first. The backend does not copy the image: it must stay allocated and
    /// unchanged until stop() or the backend's destruction. Failures are not thrown; the
    /// result is false and lastError() tells why.
    virtual bool play(std::span<const uint8_t> image, PlayMode mode) = 0;
    /// Silences the output at once. Harmless when nothing plays.
    virtual void stop() = 0;
    /// True while samples of the last play() have not all left the output yet.
    virtual bool playing() const = 0;
    /// Whether play() can start now (the device exists and can be opened), asked before the
    /// transmitter is keyed so that a dead output never keys it. False with *why (and
    /// lastError()) set when it cannot. Backends that cannot fail say yes.
    virtual bool ready(std::string* why) {
        (void)why;
        return true;
    }

    virtual void setDeviceLevel(DeviceLevel level) = 0;
    virtual DeviceLevel deviceLevel() const = 0;

    /// Text of the last failure, empty when the last operation worked.
    virtual std::string lastError() const = 0;
    /// Short description of the backend and its target, for status lines.
    virtual std::string name() const = 0;
};

/// Builds a backend from a text choice:
///   "default" (or "qt")   the system's default output through Qt Multimedia (Qt builds)
///   "qt:NAME"             the Qt output device whose description or id contains NAME
///   "alsa" or "alsa:NAME" the ALSA device "default" or NAME ("plughw:1,0", "null"), in
///                         builds with ALSA
///   "wav:FILE"            writes each played image to FILE
///   "null"                plays nothing
/// Returns nullptr with *error set (when error is not null) for an unknown choice. A build
/// without Qt Multimedia takes "default" as ALSA's default device. The Qt backends need a
/// QCoreApplication to exist. (tarvex_audio_backends)
std::unique_ptr<AudioOutput> makeAudioOutput(std::string_view choice, std::string* error);

/// Whether an ALSA device name (from ALSA's list of hints) is worth offering: "default", the
/// sound servers' "pulse" and "pipewire", the devices of a card ("plughw:CARD=...",
/// "sysdefault:CARD=...", ...), and "null", which discards the sound (a station keyed
/// without one). ALSA's converters and plugins ("lavrate", "jack", "oss", ...) are not.
bool isListedAlsaDevice(std::string_view name);

/// The sinks that need no sound library ("wav:FILE", "null"); nullptr for any other choice.
std::unique_ptr<AudioOutput> makeCoreAudioOutput(std::string_view choice, std::string* error);

} // namespace tarvex
