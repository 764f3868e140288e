#pragma once
// A decoded picture into 32-bit RGB at any size in one pass, with zimg: the
// stream's matrix, range, transfer, primaries and chroma siting honoured,
// BT.2020 brought into BT.709 in linear light, chroma interpolated at its
// siting, a sharp filter when enlarging and an anti-aliased one when
// reducing, and the result dithered to 8 bits. HDR pictures come out of
// zimg as PQ-coded BT.709 light and are tone-mapped (ToneMap) and dithered
// on the way into the target. The graph is made once per kind of picture
// and size; every frame then runs it.

#include <memory>
#include <vector>

#include "engine/media/picture/PictureColours.h"

namespace media {

class ZimgPicture {
public:
    ZimgPicture();
    ~ZimgPicture();
    ZimgPicture(const ZimgPicture&) = delete;
    ZimgPicture& operator=(const ZimgPicture&) = delete;

    // `frame` (of a format ZimgReads takes) into `rect` of `target` at the
    // rectangle's size; false when zimg cannot make a graph for it.
    bool Convert(const AVFrame* frame, const PixelBuffer& target, const FrameRect& rect);

private:
    bool Build(const PictureColours& colours, int width, int height);

    struct Graph;
    std::unique_ptr<Graph> m_graph;
    PictureColours m_colours;
    int m_width = 0, m_height = 0;
    std::vector<std::uint16_t> m_toneMap;  // for m_colours.peakNits, while m_colours.hdr
    double m_toneMapPeak = 0;
};

}  // namespace media
