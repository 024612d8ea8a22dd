#include "monitor/alsa_input.h"
#include "signal/audio_output.h"

#include "monitor/decoder_command.h"

#include <QMetaObject>

#include <alsa/asoundlib.h>

#include <cstdlib>
#include <string_view>
#include <vector>

namespace tarvex {
namespace {

/// Sets 16-bit mono at the decoder's rate with a 20 ms period; returns ALSA's error text, or
/// an empty string on success.
std::string configure(snd_pcm_t* pcm, snd_pcm_uframes_t& period, snd_pcm_uframes_t& buffer) {
    snd_pcm_hw_params_t* hw = nullptr;
    snd_pcm_hw_params_alloca(&hw);
    int err = snd_pcm_hw_params_any(pcm, hw);
    if (err >= 0)
        err = snd_pcm_hw_params_set_access(pcm, hw, SND_PCM_ACCESS_RW_INTERLEAVED);
    if (err >= 0)
        err = snd_pcm_hw_params_set_format(pcm, hw, SND_PCM_FORMAT_S16_LE);
    if (err >= 0)
        err = snd_pcm_hw_params_set_channels(pcm, hw, 1);
    if (err >= 0)
        err = snd_pcm_hw_params_set_rate_resample(pcm, hw, 1);
    if (err >= 0)
        err = snd_pcm_hw_params_set_rate(pcm, hw, DecoderSampleRate, 0);
    unsigned periodUs = 20000, bufferUs = 200000;
    int dir = 0;
    if (err >= 0)
        err = snd_pcm_hw_params_set_buffer_time_near(pcm, hw, &bufferUs, &dir);
    if (err >= 0)
        err = snd_pcm_hw_params_set_period_time_near(pcm, hw, &periodUs, &dir);
    if (err >= 0)
        err = snd_pcm_hw_params(pcm, hw);
    if (err < 0)
        return snd_strerror(err);
    snd_pcm_hw_params_get_period_size(hw, &period, &dir);
    snd_pcm_hw_params_get_buffer_size(hw, &buffer);
    return {};
}

} // namespace

AlsaInput::AlsaInput(QString device, QObject* parent)
    : MonitorInput(parent), m_device(std::move(device)) {}

AlsaInput::~AlsaInput() {
    stop();
}

bool AlsaInput::start() {
    stop();
    snd_pcm_t* pcm = nullptr;
    int err = snd_pcm_open(&pcm, m_device.toLocal8Bit().constData(), SND_PCM_STREAM_CAPTURE, 0);
    if (err < 0) {
        m_lastError =
            QStringLiteral("cannot open ALSA capture %1: %2").arg(m_device, snd_strerror(err));
        return false;
    }
    snd_pcm_uframes_t period = 0, buffer = 0;
    const std::string why = configure(pcm, period, buffer);
    if (!why.empty() || period == 0) {
        snd_pcm_close(pcm);
        m_lastError =
            QStringLiteral("ALSA capture %1 refuses 16-bit mono at 22050 Hz: %2 (try plughw:)")
                .arg(m_device, QString::fromStdString(why));
        return false;
    }
    m_latencyMs = static_cast<int>(period * 1000 / DecoderSampleRate);
    m_stop = false;
    m_thread = std::thread([this, pcm, period] { run(pcm, period); });
    return true;
}

void AlsaInput::stop() {
    if (!m_thread.joinable())
        return;
    m_stop = true;
    m_thread.join();
}

QStringList AlsaInput::deviceNames() {
    QStringList names;
    void** hints = nullptr;
    if (snd_device_name_hint(-1, "pcm", &hints) >= 0) {
        for (void** h = hints; *h; ++h) {
            char* name = snd_device_name_get_hint(*h, "NAME");
            char* ioid = snd_device_name_get_hint(*h, "IOID");
            if (name && (!ioid || std::string_view(ioid) == "Input") && isListedAlsaDevice(name))
                names << QString::fromLocal8Bit(name);
            std::free(name);
            std::free(ioid);
        }
        snd_device_name_free_hint(hints);
    }
    names.removeAll(QStringLiteral("default"));
    names.prepend(QStringLiteral("default"));
    return names;
}

void AlsaInput::run(void* handle, unsigned long periodFrames) {
    auto* pcm = static_cast<snd_pcm_t*>(handle);
    std::vector<int16_t> chunk(periodFrames);
    QString failure;
    while (!m_stop) {
        const snd_pcm_sframes_t n = snd_pcm_readi(pcm, chunk.data(), periodFrames);
        if (n < 0) {
            // An overrun (the Qt thread was slow) is recovered; anything else ends the input.
            if (snd_pcm_recover(pcm, static_cast<int>(n), 1) < 0) {
                failure = QStringLiteral("ALSA capture %1: %2")
                              .arg(m_device, snd_strerror(static_cast<int>(n)));
                break;
            }
            continue;
        }
        QByteArray data(reinterpret_cast<const char*>(chunk.data()), static_cast<qsizetype>(n * 2));
        // Queued to this object: Qt drops the call if the object is gone by then.
        QMetaObject::invokeMethod(
            this, [this, data] { emit samples(data); }, Qt::QueuedConnection);
    }
    snd_pcm_close(pcm);
    if (!failure.isEmpty() && !m_stop) {
        QMetaObject::invokeMethod(
            this, [this, failure] { emit failed(failure); }, Qt::QueuedConnection);
    }
}

} // namespace tarvex
