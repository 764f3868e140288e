#pragma once
// Decodes the packets of one subtitle stream with FFmpeg into cues with
// stream times: text as the event lines of an ASS script (every text coding
// FFmpeg reads comes out as such), pictures as palette bitmaps. Hostile
// input ends in the cue being skipped, never in a cue too large to draw.

#include <cstdint>
#include <string>
#include <vector>

#include "engine/media/FfmpegUtil.h"

namespace media {

// A cue's end when the stream does not give one: it lasts until the next.
inline constexpr StreamTime kOpenEnd = INT64_MAX;

struct TextCue {
    StreamTime start = 0;
    StreamTime end = kOpenEnd;
    // "ReadOrder,Layer,Style,Name,MarginL,MarginR,MarginV,Effect,Text".
    std::string line;
};

struct BitmapRect {
    int x = 0, y = 0, width = 0, height = 0;
    std::vector<std::uint8_t> indices;  // width x height palette indices
    std::vector<std::uint32_t> palette;  // 0xAARRGGBB, straight alpha
};

struct BitmapCue {
    StreamTime start = 0;
    StreamTime end = kOpenEnd;
    // The area the rectangles are placed in; 0 when the stream does not
    // say (then it is the picture's).
    int canvasWidth = 0, canvasHeight = 0;
    std::vector<BitmapRect> rects;  // none: clears what was shown
    std::size_t Bytes() const;
};

class SubtitleDecoder {
public:
    // Longest event line taken: a subtitle is a few lines of text; beyond
    // this it is damage, and laying it out would cost seconds a frame.
    static constexpr std::size_t kMaxLineBytes = 16 * 1024;
    // Events per packet (a packet is normally one cue).
    static constexpr unsigned kMaxRects = 64;

    // For a stream with these parameters, whose times are `timeBase` units
    // from which `origin` (stream time 0) is taken. False when FFmpeg has no
    // decoder for it.
    bool Open(const AVCodecParameters* parameters, AVRational timeBase, StreamTime origin);
    // For a file read apart from the movie: times from 0.
    bool Open(const AVCodecParameters* parameters, AVRational timeBase) { return Open(parameters, timeBase, 0); }

    bool Bitmap() const { return m_bitmap; }
    // The script's header (styles, play resolution) that the text cues
    // refer to; empty for bitmap streams.
    std::string Header() const;

    void Decode(const AVPacket& packet, std::vector<TextCue>& text, std::vector<BitmapCue>& bitmaps);
    void Flush();

private:
    CodecContextPtr m_codec;
    AVRational m_timeBase{1, 1000};
    StreamTime m_origin = 0;
    bool m_bitmap = false;
};

}  // namespace media
