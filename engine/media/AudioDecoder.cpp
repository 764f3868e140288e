#include "engine/media/AudioDecoder.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

extern "C" {
#include <libavutil/opt.h>
}

#include "engine/media/ThreadPriority.h"

namespace media {
namespace {

// While the ring is full the decoder looks again after this long; a seek or
// the stream's end wakes it sooner.
constexpr std::int64_t kRingPollNs = 5'000'000;

// Sound this far behind the running clock is too late to play; less is
// within what the device's buffering smooths over.
constexpr StreamTime kLateSound = 20 * kUnitsPerMs;

}  // namespace

AudioDecoder::AudioDecoder(StreamShared& shared, AudioRing& ring, const Clock& clock, int outRate,
                           int outChannels)
    : m_shared(shared),
      m_ring(&ring),
      m_clock(clock),
      m_outRate(outRate),
      m_outChannels(outChannels),
      m_scratch(av_frame_alloc()),
      m_tempoFrame(av_frame_alloc()),
      m_stretched(av_frame_alloc())
{
}

AudioDecoder::~AudioDecoder()
{
    Stop();
    av_channel_layout_uninit(&m_swrInLayout);
}

SoundStream SoundStream::Of(const AVStream* stream)
{
    SoundStream s;
    s.index = stream->index;
    s.timeBase = stream->time_base;
    AVCodecParameters* copy = avcodec_parameters_alloc();
    if (copy && avcodec_parameters_copy(copy, stream->codecpar) < 0) avcodec_parameters_free(&copy);
    s.parameters.reset(copy, [](AVCodecParameters* p) { avcodec_parameters_free(&p); });
    return s;
}

Result AudioDecoder::Open(const SoundStream& stream)
{
    if (!stream.parameters) return kOutOfMemory;
    const AVCodec* codec = avcodec_find_decoder(stream.parameters->codec_id);
    if (!codec) return kUnsupported;
    CodecContextPtr ctx(avcodec_alloc_context3(codec));
    if (!ctx) return kOutOfMemory;
    if (avcodec_parameters_to_context(ctx.get(), stream.parameters.get()) < 0) return kUnsupported;
    ctx->pkt_timebase = stream.timeBase;
    if (avcodec_open2(ctx.get(), codec, nullptr) < 0) return kUnsupported;
    m_timeBase = stream.timeBase;
    m_stream = stream.index;
    m_codec = std::move(ctx);
    return kOk;
}

void AudioDecoder::Start(PacketQueue* in)
{
    m_in = in;
    m_thread = std::thread([this] {
        NameThisThread("reelscope-sound");
        Run();
    });
}

void AudioDecoder::Stop()
{
    if (m_thread.joinable()) m_thread.join();
}

void AudioDecoder::Suspend()
{
    m_suspend = true;
    if (m_in) m_in->Wake();
    Stop();
}

Result AudioDecoder::Switch(const SoundStream& stream, AudioRing& ring, StreamTime joinAt)
{
    CodecContextPtr old = std::move(m_codec);
    const AVRational oldBase = m_timeBase;
    const int oldStream = m_stream;
    if (const Result r = Open(stream); Failed(r)) {
        m_codec = std::move(old);
        m_timeBase = oldBase;
        m_stream = oldStream;
        return r;
    }
    m_ring = &ring;
    m_serial = -1;  // the next packet begins afresh, at joinAt
    m_joinAt = joinAt;
    return kOk;
}

void AudioDecoder::Resume()
{
    if (!m_in || m_thread.joinable()) return;
    m_suspend = false;
    Start(m_in);
}

void AudioDecoder::Run()
{
    PacketItem item;
    while (m_in->Pop(item, [&] { return Stopping(); })) {
        if (m_shared.Stale(item.serial)) continue;
        if (item.packet && item.packet->stream_index != m_stream) continue;
        if (item.serial != m_serial) BeginSerial(item.serial);
        Decode(item.packet.get());
        // All of the sound is decoded and in the ring (or dropped as late):
        // the movie may end once the clock has passed it.
        if (!item.packet) m_shared.SetSoundEnd(m_serial, m_nextTime == AV_NOPTS_VALUE ? 0 : m_nextTime);
    }
}

void AudioDecoder::BeginSerial(int serial)
{
    if (m_serial >= 0) avcodec_flush_buffers(m_codec.get());
    m_serial = serial;
    m_nextTime = AV_NOPTS_VALUE;
    m_swr.reset();  // its filter history belongs to the old position
    m_stretch.Reset();
    m_tempo = 1.0;
    const SeekRequest request = m_shared.CurrentSeek();
    m_trimming = request.serial == serial && request.active;
    m_target = request.target;
    if (m_joinAt) {
        // A track switched to joins where the movie stands, or where the
        // seek that is under way goes, whichever lies later.
        m_target = m_trimming ? std::max(m_target, *m_joinAt) : *m_joinAt;
        m_trimming = true;
        m_joinAt.reset();
    }
}

void AudioDecoder::Decode(const AVPacket* packet)
{
    int ret = avcodec_send_packet(m_codec.get(), packet);
    if (ret == AVERROR(EAGAIN)) {
        ReceiveAll();
        avcodec_send_packet(m_codec.get(), packet);
    }
    ReceiveAll();
}

void AudioDecoder::ReceiveAll()
{
    for (;;) {
        if (Stopping() || m_shared.Stale(m_serial)) return;
        const int ret = avcodec_receive_frame(m_codec.get(), m_scratch.get());
        if (ret == AVERROR_EOF) {
            avcodec_flush_buffers(m_codec.get());
            return;
        }
        if (ret < 0) return;  // EAGAIN, or a damaged frame: the sound skips it
        HandleFrame(m_scratch.get());
        av_frame_unref(m_scratch.get());
    }
}

bool AudioDecoder::Convert(const AVFrame* frame, int& frames)
{
    if (frame->ch_layout.nb_channels <= 0 || frame->sample_rate <= 0 || frame->nb_samples <= 0) return false;
    if (!m_swr || m_swrInRate != frame->sample_rate || m_swrInFormat != frame->format ||
        av_channel_layout_compare(&m_swrInLayout, &frame->ch_layout) != 0) {
        m_swr.reset();
        AVChannelLayout outLayout{};
        av_channel_layout_default(&outLayout, m_outChannels);
        AVChannelLayout inLayout{};
        if (frame->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC)
            av_channel_layout_default(&inLayout, frame->ch_layout.nb_channels);
        else
            av_channel_layout_copy(&inLayout, &frame->ch_layout);
        SwrContext* swr = nullptr;
        const int ret = swr_alloc_set_opts2(&swr, &outLayout, AV_SAMPLE_FMT_FLT, m_outRate, &inLayout,
                                            static_cast<AVSampleFormat>(frame->format), frame->sample_rate, 0,
                                            nullptr);
        av_channel_layout_uninit(&inLayout);
        av_channel_layout_uninit(&outLayout);
        if (ret < 0 || swr_init(swr) < 0) {
            swr_free(&swr);
            return false;
        }
        m_swr.reset(swr);
        av_channel_layout_uninit(&m_swrInLayout);
        av_channel_layout_copy(&m_swrInLayout, &frame->ch_layout);
        m_swrInRate = frame->sample_rate;
        m_swrInFormat = frame->format;
    }
    const int capacity = swr_get_out_samples(m_swr.get(), frame->nb_samples);
    if (capacity <= 0) return false;
    m_converted.resize(static_cast<std::size_t>(capacity) * m_outChannels);
    auto* out = reinterpret_cast<std::uint8_t*>(m_converted.data());
    frames = swr_convert(m_swr.get(), &out, capacity, const_cast<const std::uint8_t**>(frame->extended_data),
                         frame->nb_samples);
    return frames > 0;
}

void AudioDecoder::HandleFrame(const AVFrame* frame)
{
    const std::int64_t ts = frame->best_effort_timestamp;
    StreamTime time;
    if (ts != AV_NOPTS_VALUE)
        time = ToStreamTime(ts, m_timeBase) - m_shared.origin;
    else
        time = m_nextTime == AV_NOPTS_VALUE ? 0 : m_nextTime;
    if (frame->sample_rate > 0)
        m_nextTime = time + av_rescale(frame->nb_samples, kUnitsPerSecond, frame->sample_rate);

    int frames = 0;
    if (!Convert(frame, frames)) return;
    const float* data = m_converted.data();

    if (m_trimming) {
        // Drop the sound before the seek target, to the sample.
        const StreamTime early = m_target - time;
        const long long skip =
            early <= 0 ? 0 : std::min<long long>(frames, av_rescale(early, m_outRate, kUnitsPerSecond));
        if (skip >= frames) return;
        data += skip * m_outChannels;
        frames -= static_cast<int>(skip);
        time += av_rescale(skip, kUnitsPerSecond, m_outRate);
        m_trimming = false;
    }
    Stretch(data, frames, time);
}

void AudioDecoder::Stretch(const float* data, int frames, StreamTime time)
{
    const double unitsPerFrame = static_cast<double>(kUnitsPerSecond) / m_outRate;
    const double tempo = m_shared.rate.load();
    if (tempo != m_tempo) {
        m_tempo = tempo;
        m_stretch.Reset();
        m_tempoTime = AV_NOPTS_VALUE;
        m_tempoPts = 0;
        // Without the filter the sound plays at normal speed; better than none.
        if (tempo != 1.0) m_stretch.Build(tempo, m_outRate, m_outChannels);
    }
    if (!m_stretch.Built()) return Write(data, frames, time, unitsPerFrame);

    if (m_tempoTime == AV_NOPTS_VALUE) m_tempoTime = time;
    AVFrame* in = m_tempoFrame.get();
    av_frame_unref(in);
    in->format = AV_SAMPLE_FMT_FLT;
    in->sample_rate = m_outRate;
    av_channel_layout_default(&in->ch_layout, m_outChannels);
    in->nb_samples = frames;
    in->pts = m_tempoPts;
    m_tempoPts += frames;
    if (av_frame_get_buffer(in, 0) < 0) return;
    std::memcpy(in->data[0], data, sizeof(float) * static_cast<std::size_t>(frames) * m_outChannels);
    if (!m_stretch.Push(in)) return;

    const double stretched = unitsPerFrame * tempo;
    AVFrame* out = m_stretched.get();
    while (m_stretch.Pull(out)) {
        const int n = out->nb_samples;
        Write(reinterpret_cast<const float*>(out->data[0]), n, m_tempoTime, stretched);
        m_tempoTime += static_cast<StreamTime>(std::llround(n * stretched));
        av_frame_unref(out);
    }
}

void AudioDecoder::Write(const float* data, int frames, StreamTime time, double unitsPerFrame)
{
    const int piece = std::max(1, m_ring->CapacityFrames() / 4);
    auto cancel = [&] { return Stopping() || m_shared.Stale(m_serial); };
    while (frames > 0) {
        // Drop what the clock has already passed (a seek while running, a
        // slow start): played now it would only lag the picture.
        if (m_clock.Running()) {
            const StreamTime late = m_clock.Now() - kLateSound - time;
            if (late > 0) {
                const int skip = static_cast<int>(std::min<long long>(frames, std::llround(late / unitsPerFrame)));
                data += static_cast<std::size_t>(skip) * m_outChannels;
                frames -= skip;
                time += static_cast<StreamTime>(std::llround(skip * unitsPerFrame));
                if (frames == 0) return;
            }
        }
        const int n = std::min(frames, piece);
        while (m_ring->Writable() < n) {
            if (cancel()) return;
            m_in->WaitFor(kRingPollNs, cancel);
        }
        m_ring->Write(data, n, time, unitsPerFrame, m_serial);
        data += static_cast<std::size_t>(n) * m_outChannels;
        frames -= n;
        time += static_cast<StreamTime>(std::llround(n * unitsPerFrame));
    }
}

}  // namespace media
