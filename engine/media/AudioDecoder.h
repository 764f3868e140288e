#pragma once
// Decodes the sound on its own thread, converts it to the device's float
// layout, stretches it for the playback rate with the pitch kept (atempo),
// and writes it into the ring that the device plays from. After a seek it
// drops the samples before the target.

#include <atomic>
#include <memory>
#include <optional>
#include <thread>
#include <vector>

#include "engine/media/AudioRing.h"
#include "engine/media/Clock.h"
#include "engine/media/StreamShared.h"
#include "engine/media/TempoFilter.h"

namespace media {

// A sound stream's coding, kept apart from the demuxer's file (which a
// reopen replaces on the demuxer's thread).
struct SoundStream {
    int index = -1;
    AVRational timeBase{1, 1};
    std::shared_ptr<const AVCodecParameters> parameters;

    static SoundStream Of(const AVStream* stream);
};

class AudioDecoder {
public:
    // `clock` is the stream's: sound it has already passed is dropped, so the
    // sound starts in step with the picture after a seek.
    AudioDecoder(StreamShared& shared, AudioRing& ring, const Clock& clock, int outRate, int outChannels);
    ~AudioDecoder();

    Result Open(const AVStream* stream) { return Open(SoundStream::Of(stream)); }
    Result Open(const SoundStream& stream);
    void Start(PacketQueue* in);
    void Stop();  // joins; Quit must have been set and the queue closed

    // Another sound track: the thread is stopped (Suspend), the decoder made
    // for `stream` and the sound written into `ring` from then on, starting
    // at stream time `joinAt`, once the thread runs again (Resume). A
    // stream that cannot be decoded leaves the old one in place (kUnsupported).
    void Suspend();
    Result Switch(const SoundStream& stream, AudioRing& ring, StreamTime joinAt);
    void Resume();

private:
    void Run();
    void BeginSerial(int serial);
    void Decode(const AVPacket* packet);
    void ReceiveAll();
    void HandleFrame(const AVFrame* frame);
    bool Convert(const AVFrame* frame, int& frames);
    void Stretch(const float* data, int frames, StreamTime time);
    void Write(const float* data, int frames, StreamTime time, double unitsPerFrame);
    bool Stopping() const { return m_shared.quit.load() || m_suspend.load(); }

    StreamShared& m_shared;
    AudioRing* m_ring;  // replaced only while the thread is suspended
    const Clock& m_clock;
    const int m_outRate;
    const int m_outChannels;
    CodecContextPtr m_codec;
    AVRational m_timeBase{1, 1};
    int m_stream = -1;  // the packets of other streams (a track switched from) are dropped
    PacketQueue* m_in = nullptr;
    std::thread m_thread;
    std::atomic<bool> m_suspend{false};
    // Where the sound of a track switched to begins; the thread's own, set
    // while it is suspended.
    std::optional<StreamTime> m_joinAt;

    // -- The decoder thread's own state.
    int m_serial = -1;
    FramePtr m_scratch;
    SwrPtr m_swr;
    AVChannelLayout m_swrInLayout{};
    int m_swrInRate = 0;
    int m_swrInFormat = -1;
    std::vector<float> m_converted;
    StreamTime m_nextTime = AV_NOPTS_VALUE;  // where the next frame follows on
    bool m_trimming = false;
    StreamTime m_target = 0;
    // The tempo filter, present while the rate is not 1.
    TempoFilter m_stretch;
    double m_tempo = 1.0;
    StreamTime m_tempoTime = AV_NOPTS_VALUE;  // stream time of the next stretched sample
    std::int64_t m_tempoPts = 0;
    FramePtr m_tempoFrame;
    FramePtr m_stretched;
};

}  // namespace media
