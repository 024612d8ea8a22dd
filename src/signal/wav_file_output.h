#pragma once
// An audio output that writes each image it is asked to play to a WAV file, exactly as it
// would have been played: for headless runs, for listening to a page later and for tests.
#include "signal/audio_output.h"

#include <string>

namespace tarvex {

class WavFileOutput : public AudioOutput {
public:
    explicit WavFileOutput(std::string path) : m_path(std::move(path)) {}

    /// Replaces the file with the image; a looping play writes it once. The device level
    /// is kept but does not scale the samples.
    bool play(std::span<const uint8_t> image, PlayMode mode) override;
    void stop() override {}
    bool playing() const override { return false; }
    void setDeviceLevel(DeviceLevel level) override { m_level = level; }
    DeviceLevel deviceLevel() const override { return m_level; }
    std::string lastError() const override { return m_error; }
    std::string name() const override { return "wav:" + m_path; }

    const std::string& path() const { return m_path; }
    /// Images written so far.
    int imagesWritten() const { return m_written; }

private:
    std::string m_path;
    std::string m_error;
    DeviceLevel m_level = 0xFFFFFFFFu;
    int m_written = 0;
};

} // namespace tarvex
