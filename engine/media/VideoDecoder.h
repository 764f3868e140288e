#pragma once
// Decodes the video packets on its own thread (FFmpeg's own threads do the
// work inside) into a short queue of frames, each stamped with its stream
// time. After a seek it drops the frames before the one whose display
// interval holds the target, and asks for an earlier seek when the demuxer
// landed after the target.

#include <atomic>
#include <functional>
#include <thread>

#include "engine/media/Deinterlacer.h"
#include "engine/media/Orientation.h"
#include "engine/media/StreamShared.h"

namespace media {

class VideoDecoder {
public:
    using ReseekFn = std::function<void(int serial)>;

    VideoDecoder(StreamShared& shared, ReseekFn reseek);
    ~VideoDecoder();

    Result Open(const AVStream* stream);
    // The picture as it is shown: upright, and its width scaled when its
    // pixels are not square (the coded height is kept, as players do).
    int Width() const { return m_displayWidth; }
    int Height() const { return m_displayHeight; }
    // The same for a decoded picture, whose size may change mid-stream.
    void DisplaySizeOf(const AVFrame* frame, int& width, int& height) const;
    const Orientation& Turn() const { return m_turn; }

    // Any thread; from the next picture decoded on.
    void SetDeinterlace(Deinterlace mode) { m_deinterlace.store(mode); }

    void Start(PacketQueue* in, FrameQueue* out);
    void Stop();  // joins; Quit must have been set and the queues closed

private:
    void DisplaySize(int width, int height, AVRational aspect, int& shownWidth, int& shownHeight) const;
    void Run();
    void BeginSerial(int serial);
    // How ReceiveAll empties the decoder: not (takes what is ready), at the
    // end of the file, or to give out what it holds back in mid-file.
    enum class Drain { No, End, GiveOut };
    void Decode(const AVPacket* packet);
    void ReceiveAll(Drain drain);
    void HandleFrame(FramePtr frame);
    // What the deinterlacer has ready, on its way to Select.
    void PassOn();
    void Select(FramePtr frame, StreamTime time);
    void EndOfStream();
    void Emit(FramePtr frame, StreamTime time);

    StreamShared& m_shared;
    ReseekFn m_reseek;
    CodecContextPtr m_codec;
    AVRational m_timeBase{1, 1};
    Orientation m_turn;
    AVRational m_aspect{1, 1};  // the stream's pixel shape
    int m_displayWidth = 0;
    int m_displayHeight = 0;
    std::atomic<Deinterlace> m_deinterlace{Deinterlace::Auto};
    PacketQueue* m_in = nullptr;
    FrameQueue* m_out = nullptr;
    std::thread m_thread;

    // -- The decoder thread's own state.
    int m_serial = -1;
    FramePtr m_scratch;
    bool m_holding = false;  // packets went in since the decoder was last emptied
    bool m_needKey = false;  // emptied in mid-file: waits for a key frame
    StreamTime m_lastTime = AV_NOPTS_VALUE;
    Deinterlacer m_deinterlacer;
    // Selecting the frame that holds the seek target.
    bool m_selecting = false;
    bool m_sawFrame = false;
    SeekRequest m_request;
    FramePtr m_pending;  // latest frame at or before the target
    StreamTime m_pendingTime = 0;
};

}  // namespace media
