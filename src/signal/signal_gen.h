#pragma once
// TSignalGen: renders a codeword stream into a WAV image, plays it through an AudioOutput
// and sets the output level (the transmitter's deviation). One per owner (main window,
// command-line program); the device level at the first creation comes back when the last
// generator of the process goes.
#include "encoder/codeword.h"
#include "signal/audio_output.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <new>
#include <span>
#include <string>
#include <utility>
#include <vector>

namespace tarvex {

/// Allocator whose value-less construct leaves bytes uninitialised: every byte of an image
/// is written by the header and the renderer, so zero-filling first would be a wasted pass.
template <typename T> struct UninitializedAllocator : std::allocator<T> {
    using value_type = T;
    template <typename U> struct rebind { using other = UninitializedAllocator<U>; };
    UninitializedAllocator() = default;
    template <typename U> UninitializedAllocator(const UninitializedAllocator<U>&) noexcept {}
    template <typename U, typename... Args> void construct(U* at, Args&&... args) {
        if constexpr (sizeof...(Args) == 0)
            ::new (static_cast<void*>(at)) U;
        else
            ::new (static_cast<void*>(at)) U(std::forward<Args>(args)...);
    }
};

class TSignalGen {
public:
    using Clock = std::function<std::chrono::steady_clock::time_point()>;

    /// The generator shares the output with its creator; it must not be null. Creating the
    /// first generator of the process saves the output's left-channel level and sets full
    /// level; destroying the last one puts the saved level back through its own output.
    explicit TSignalGen(std::shared_ptr<AudioOutput> output);
    ~TSignalGen();
    TSignalGen(const TSignalGen&) = delete;
    TSignalGen& operator=(const TSignalGen&) = delete;

    int16_t Baud() const { return m_baud; }
    /// Stored without limits; a rate below 2 makes BuildImage refuse the stream.
    void setBaud(int16_t baud) { m_baud = baud; }

    uint32_t Duration() const { return m_duration; }
    /// Values below 100 ms are raised to 100. Send recomputes it from the stream.
    void setDuration(uint32_t ms);

    bool Async() const { return m_async; }
    void setAsync(bool on) { m_async = on; }
    bool Loop() const { return m_loop; }
    void setLoop(bool on) { m_loop = on; }
    bool Inverted() const { return m_inverted; }
    void setInverted(bool on) { m_inverted = on; }

    int16_t Level() const { return m_level; }
    /// Clamps into 0..100 and applies it at once while Stopped() or while loading;
    /// otherwise it waits for the next Send.
    void setLevel(int percent);
    /// Marks the owner's loading phase, during which Level changes apply at once.
    void setLoading(bool loading) { m_loading = loading; }

    /// Points Data at a stream: `memory` starts at its first codeword and is all the memory
    /// the stream may occupy; the stream ends at the first EndMarker inside it.
    void setData(std::span<const Codeword> memory) { m_data = memory; }
    /// What Data points at now; after a Send it starts at the EndMarker.
    std::span<const Codeword> Data() const { return m_data; }

    /// Renders the stream at Data into a new image and sets Duration. False, with no
    /// image and lastError() set, when the stream is refused (no EndMarker within Data,
    /// more than 1137 codewords, Baud below 2) or memory runs out.
    bool BuildImage();
    /// Level, image, play (Loop, else Async, else blocking until played).
    void Send();
    /// Silences the output and sets Stopped.
    void Stop();
    /// Sets both output channels to Level * 65535 div 100.
    void PresetVolume();

    bool Stopped() const { return m_stopped; }
    /// The current image: 44-byte header and samples; empty when none exists.
    std::span<const uint8_t> Image() const { return m_image; }
    /// Why the last BuildImage or play failed; empty after a clean Send.
    const std::string& lastError() const { return m_error; }
    AudioOutput& output() const { return *m_output; }
    /// Whether the output can play now (asked before keying). False sets lastError().
    bool outputReady();
    /// Replaces the output (the operator chose another device): whatever plays is stopped and
    /// the image released first, and Level is applied to the new output at once.
    void setOutput(std::shared_ptr<AudioOutput> output);

    /// True once the transmitter may be released: Duration + 100 ms have passed since the
    /// last image started playing AND the output reports that its last sample has left.
    /// True when nothing was played.
    bool outputDrained() const;
    /// The earliest release time of the last play (Duration + 100 ms after it started).
    std::chrono::steady_clock::time_point releaseNotBefore() const { return m_releaseAt; }
    /// Replaces the clock used for release timing (tests).
    void setClock(Clock clock) { m_clock = std::move(clock); }

    /// Generators alive in this process.
    static int liveCount();
    /// The left-channel level saved when the first live generator was created.
    static uint16_t savedDeviceLevel();

private:
    using ImageBytes = std::vector<uint8_t, UninitializedAllocator<uint8_t>>;
    void releaseImage();
    bool refuse(std::string text);

    std::shared_ptr<AudioOutput> m_output;
    int16_t m_baud = 256;
    uint32_t m_duration = 1000;
    bool m_async = true;
    bool m_loop = false;
    bool m_inverted = true;
    int16_t m_level = 100;
    bool m_stopped = true;
    bool m_loading = false;
    std::span<const Codeword> m_data;
    ImageBytes m_image;
    std::string m_error;
    Clock m_clock;
    std::chrono::steady_clock::time_point m_releaseAt{};
};

} // namespace tarvex
