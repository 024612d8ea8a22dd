#include "monitor/qt_audio_input.h"

#include "monitor/decoder_command.h"

#include <QMediaDevices>

namespace tarvex {
namespace {

std::optional<SampleFormat> sampleFormat(QAudioFormat::SampleFormat f) {
    switch (f) {
    case QAudioFormat::UInt8:
        return SampleFormat::UInt8;
    case QAudioFormat::Int16:
        return SampleFormat::Int16;
    case QAudioFormat::Int32:
        return SampleFormat::Int32;
    case QAudioFormat::Float:
        return SampleFormat::Float;
    default:
        return std::nullopt;
    }
}

} // namespace

QtAudioInput::QtAudioInput(QString deviceName, QObject* parent)
    : MonitorInput(parent), m_name(std::move(deviceName)) {}

QtAudioInput::~QtAudioInput() {
    stop();
}

QStringList QtAudioInput::deviceNames() {
    QStringList names;
    for (const auto& d : QMediaDevices::audioInputs())
        names << d.description();
    return names;
}

std::optional<QAudioDevice> QtAudioInput::findDevice(const QString& name) {
    if (name.isEmpty()) {
        const auto d = QMediaDevices::defaultAudioInput();
        return d.isNull() ? std::nullopt : std::optional(d);
    }
    for (const auto& d : QMediaDevices::audioInputs()) {
        if (d.description() == name || QString::fromUtf8(d.id()) == name)
            return d;
    }
    return std::nullopt;
}

bool QtAudioInput::start() {
    stop();
    const auto device = findDevice(m_name);
    if (!device) {
        m_lastError = m_name.isEmpty() ? QStringLiteral("no audio input device")
                                       : QStringLiteral("no audio input named \"%1\"").arg(m_name);
        return false;
    }
    QAudioFormat format;
    format.setSampleRate(DecoderSampleRate);
    format.setChannelCount(1);
    format.setSampleFormat(QAudioFormat::Int16);
    if (!device->isFormatSupported(format))
        format = device->preferredFormat();
    const auto sf = sampleFormat(format.sampleFormat());
    if (!sf || format.channelCount() < 1 || format.sampleRate() < 8000) {
        m_lastError = QStringLiteral("the input \"%1\" offers no usable sample format")
                          .arg(device->description());
        return false;
    }
    m_converter.emplace(CaptureFormat{*sf, format.sampleRate(), format.channelCount()});
    m_source = std::make_unique<QAudioSource>(*device, format);
    m_source->setBufferSize(format.bytesForDuration(100000)); // 100 ms
    connect(m_source.get(), &QAudioSource::stateChanged, this, &QtAudioInput::stateChanged);
    m_io = m_source->start();
    if (!m_io || m_source->error() != QAudio::NoError) {
        m_lastError = QStringLiteral("cannot open the input \"%1\"").arg(device->description());
        m_source.reset();
        m_io = nullptr;
        return false;
    }
    connect(m_io, &QIODevice::readyRead, this, &QtAudioInput::readSamples);
    return true;
}

void QtAudioInput::stop() {
    if (!m_source)
        return;
    disconnect(m_source.get(), nullptr, this, nullptr);
    m_source->stop();
    m_source.reset();
    m_io = nullptr;
}

int QtAudioInput::latencyMs() const {
    if (!m_source)
        return 0;
    return static_cast<int>(
        m_source->format().durationForBytes(static_cast<qint32>(m_source->bufferSize())) / 1000);
}

void QtAudioInput::readSamples() {
    if (!m_io || !m_converter)
        return;
    const QByteArray raw = m_io->readAll();
    m_converted.clear();
    m_converter->convert(std::span(reinterpret_cast<const uint8_t*>(raw.constData()),
                                   static_cast<std::size_t>(raw.size())),
                         m_converted);
    if (!m_converted.empty())
        emit samples(QByteArray(reinterpret_cast<const char*>(m_converted.data()),
                                static_cast<qsizetype>(m_converted.size() * 2)));
}

void QtAudioInput::stateChanged(QAudio::State state) {
    if (state == QAudio::StoppedState && m_source && m_source->error() != QAudio::NoError) {
        const QString why = m_source->error() == QAudio::OpenError
                                ? QStringLiteral("cannot be opened")
                            : m_source->error() == QAudio::IOError ? QStringLiteral("read error")
                                                                   : QStringLiteral("stopped");
        emit failed(QStringLiteral("the audio input %1: %2").arg(description(), why));
    }
}

} // namespace tarvex
