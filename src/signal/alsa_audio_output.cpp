#include "signal/alsa_audio_output.h"

#include "signal/wav_image.h"

#include <alsa/asoundlib.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <memory>

namespace tarvex {

uint8_t scaleSample(uint8_t sample, uint16_t channel) {
    const long offset = static_cast<long>(sample) - 128;
    const long scaled = std::lround(static_cast<double>(offset * channel) / 65535.0);
    return static_cast<uint8_t>(std::clamp(128 + scaled, 0L, 255L));
}

std::array<uint8_t, 256> sampleScaleTable(uint16_t channel) {
    std::array<uint8_t, 256> table{};
    for (int s = 0; s < 256; ++s)
        table[static_cast<std::size_t>(s)] = scaleSample(static_cast<uint8_t>(s), channel);
    return table;
}

/// An open PCM, closed with its owner.
struct AlsaAudioOutput::Pcm {
    snd_pcm_t* handle = nullptr;
    snd_pcm_uframes_t period = 0;
    snd_pcm_uframes_t buffer = 0;
    ~Pcm() {
        if (handle)
            snd_pcm_close(handle);
    }
};

namespace {

std::string alsaText(const std::string& device, const char* step, int err, const char* hint) {
    std::string text = "ALSA device \"" + device + "\": " + step + ": " + snd_strerror(err);
    if (hint && *hint)
        text += std::string(" \u2014 ") + hint;
    return text;
}

const char* openHint(int err) {
    switch (-err) {
    case ENOENT:
    case ENODEV:
    case ENXIO:
        return "check the device name (aplay -L lists the devices)";
    case EBUSY:
        return "another program holds the device; use a dmix or plughw: device, or close "
               "the other program";
    case EACCES:
    case EPERM:
        return "add the user to the audio group";
    case ECONNREFUSED:
        return "the sound server behind this device is not running; choose a hw: or plughw: "
               "device";
    default:
        return "";
    }
}

// U8 mono 96000 exactly (the bit timing depends on it), with a period and buffer near the
// ones asked for. Empty on success, else the operator text.
std::string configure(snd_pcm_t* pcm, const std::string& device, unsigned periodUs,
                      unsigned bufferUs, snd_pcm_uframes_t& period, snd_pcm_uframes_t& buffer) {
    snd_pcm_hw_params_t* hw = nullptr;
    snd_pcm_hw_params_alloca(&hw);
    const char* formatHint = "use the device's plughw: form, which converts";
    int err = snd_pcm_hw_params_any(pcm, hw);
    if (err >= 0)
        err = snd_pcm_hw_params_set_access(pcm, hw, SND_PCM_ACCESS_RW_INTERLEAVED);
    if (err >= 0)
        err = snd_pcm_hw_params_set_format(pcm, hw, SND_PCM_FORMAT_U8);
    if (err >= 0)
        err = snd_pcm_hw_params_set_channels(pcm, hw, 1);
    if (err >= 0)
        err = snd_pcm_hw_params_set_rate_resample(pcm, hw, 1);
    if (err >= 0)
        err = snd_pcm_hw_params_set_rate(pcm, hw, SampleRate, 0);
    if (err < 0)
        return alsaText(device, "8-bit mono at 96000 samples per second", err, formatHint);
    unsigned buf = bufferUs, per = periodUs;
    int dir = 0;
    err = snd_pcm_hw_params_set_buffer_time_near(pcm, hw, &buf, &dir);
    if (err >= 0)
        err = snd_pcm_hw_params_set_period_time_near(pcm, hw, &per, &dir);
    if (err >= 0)
        err = snd_pcm_hw_params(pcm, hw);
    if (err < 0)
        return alsaText(device, "setting the buffer", err, "");
    snd_pcm_hw_params_get_period_size(hw, &period, &dir);
    snd_pcm_hw_params_get_buffer_size(hw, &buffer);

    snd_pcm_sw_params_t* sw = nullptr;
    snd_pcm_sw_params_alloca(&sw);
    err = snd_pcm_sw_params_current(pcm, sw);
    // Starts once the buffer is full, so the first periods cannot run dry.
    if (err >= 0)
        err = snd_pcm_sw_params_set_start_threshold(pcm, sw, buffer);
    if (err >= 0)
        err = snd_pcm_sw_params_set_avail_min(pcm, sw, period);
    if (err >= 0)
        err = snd_pcm_sw_params(pcm, sw);
    if (err < 0)
        return alsaText(device, "setting the start threshold", err, "");
    return {};
}

} // namespace

AlsaAudioOutput::AlsaAudioOutput(std::string device, unsigned periodUs, unsigned bufferUs)
    : m_device(std::move(device)), m_periodUs(periodUs), m_bufferUs(bufferUs) {}

AlsaAudioOutput::~AlsaAudioOutput() {
    stop();
}

void AlsaAudioOutput::setError(std::string text) {
    std::lock_guard lock(m_errorMutex);
    m_error = std::move(text);
}

std::string AlsaAudioOutput::lastError() const {
    std::lock_guard lock(m_errorMutex);
    return m_error;
}

void AlsaAudioOutput::setDeviceLevel(DeviceLevel level) {
    m_level.store(level);
}

bool AlsaAudioOutput::play(std::span<const uint8_t> image, PlayMode mode) {
    stop();
    std::string why;
    const auto samples = wavImageSamples(image, &why);
    if (!samples) {
        setError(why);
        return false;
    }
    auto pcm = std::make_unique<Pcm>();
    // Opened non-blocking, so a device that another program holds is refused at once
    // instead of waiting for it; the writes then block as the push needs.
    int err =
        snd_pcm_open(&pcm->handle, m_device.c_str(), SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK);
    if (err < 0)
        pcm->handle = nullptr;
    else
        err = snd_pcm_nonblock(pcm->handle, 0);
    if (err < 0) {
        setError(alsaText(m_device, "opening", err, openHint(err)));
        return false;
    }
    if (std::string failure =
            configure(pcm->handle, m_device, m_periodUs, m_bufferUs, pcm->period, pcm->buffer);
        !failure.empty()) {
        setError(std::move(failure));
        return false;
    }
    m_periodFrames = pcm->period;
    m_bufferFrames = pcm->buffer;
    setError({});
    m_stopRequested = false;
    m_playing = true;
    if (mode == PlayMode::Blocking) {
        run(pcm.release(), *samples, mode);
        return lastError().empty();
    }
    m_worker = std::thread([this, p = pcm.release(), s = *samples, mode] { run(p, s, mode); });
    return true;
}

bool AlsaAudioOutput::ready(std::string* why) {
    if (m_playing.load())
        return true;
    // Opened and closed again at once: play() opens it for real, right after the key.
    snd_pcm_t* handle = nullptr;
    const int err =
        snd_pcm_open(&handle, m_device.c_str(), SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK);
    if (err >= 0) {
        snd_pcm_close(handle);
        return true;
    }
    const std::string reason = alsaText(m_device, "opening", err, openHint(err));
    setError(reason);
    if (why != nullptr)
        *why = reason;
    return false;
}

void AlsaAudioOutput::stop() {
    m_stopRequested = true;
    if (m_worker.joinable())
        m_worker.join();
    m_playing = false;
}

void AlsaAudioOutput::run(Pcm* raw, std::span<const uint8_t> samples, PlayMode mode) {
    std::unique_ptr<Pcm> pcm(raw);
    bool complete = writeAll(*pcm, samples);
    while (complete && mode == PlayMode::Loop && !m_stopRequested)
        complete = writeAll(*pcm, samples);
    if (complete)
        complete = waitPlayedOut(*pcm);
    if (!complete)
        snd_pcm_drop(pcm->handle); // stopped or failed: silence now, keep nothing queued
    pcm.reset();
    m_playing = false;
}

bool AlsaAudioOutput::writeAll(Pcm& pcm, std::span<const uint8_t> samples) {
    std::vector<uint8_t> chunk(pcm.period);
    DeviceLevel tableLevel = m_level.load();
    auto table = sampleScaleTable(leftChannel(tableLevel));
    std::size_t next = 0;
    while (next < samples.size()) {
        if (m_stopRequested)
            return false;
        if (const DeviceLevel level = m_level.load(); level != tableLevel) {
            tableLevel = level;
            table = sampleScaleTable(leftChannel(level));
        }
        const std::size_t n = std::min<std::size_t>(chunk.size(), samples.size() - next);
        for (std::size_t i = 0; i < n; ++i)
            chunk[i] = table[samples[next + i]];
        std::size_t done = 0;
        while (done < n) {
            snd_pcm_sframes_t w = snd_pcm_writei(pcm.handle, chunk.data() + done, n - done);
            if (w < 0) {
                // An underrun or a suspend is recovered and the samples written again; the
                // gap it left is on the air, so it is reported.
                const int err = snd_pcm_recover(pcm.handle, static_cast<int>(w), 1);
                if (err < 0) {
                    setError(alsaText(m_device, "writing", err, ""));
                    return false;
                }
                setError(alsaText(m_device, "writing", static_cast<int>(w),
                                  "the output ran dry; a page sent now may be corrupted"));
                continue;
            }
            done += static_cast<std::size_t>(w);
        }
        next += n;
    }
    return true;
}

bool AlsaAudioOutput::waitPlayedOut(Pcm& pcm) {
    if (snd_pcm_state(pcm.handle) == SND_PCM_STATE_PREPARED)
        snd_pcm_start(pcm.handle); // less than a buffer was written
    // Waits in short sleeps, so that stop() is heard, until the device says it has nothing
    // left to play.
    while (!m_stopRequested) {
        snd_pcm_sframes_t delay = 0;
        if (snd_pcm_state(pcm.handle) != SND_PCM_STATE_RUNNING ||
            snd_pcm_delay(pcm.handle, &delay) < 0 || delay <= 0) {
            // A device behind a sound server (the PulseAudio plugin) reports no delay once
            // the server has taken the samples, while its sink may still hold a few
            // milliseconds of them; closing now would cut that tail. Draining waits for
            // them; on a device that has played everything it returns at once.
            snd_pcm_drain(pcm.handle);
            return true;
        }
        const long us = static_cast<long>(delay) * 1000000L / SampleRate;
        std::this_thread::sleep_for(std::chrono::microseconds(std::clamp(us, 200L, 2000L)));
    }
    return false;
}

std::vector<std::string> AlsaAudioOutput::deviceNames() {
    std::vector<std::string> names;
    void** hints = nullptr;
    if (snd_device_name_hint(-1, "pcm", &hints) < 0)
        return names;
    for (void** h = hints; *h; ++h) {
        char* name = snd_device_name_get_hint(*h, "NAME");
        char* ioid = snd_device_name_get_hint(*h, "IOID");
        if (name && (!ioid || std::string_view(ioid) == "Output") && isListedAlsaDevice(name))
            names.emplace_back(name);
        free(name);
        free(ioid);
    }
    snd_device_name_free_hint(hints);
    if (std::find(names.begin(), names.end(), "default") == names.end())
        names.insert(names.begin(), "default");
    return names;
}

} // namespace tarvex
