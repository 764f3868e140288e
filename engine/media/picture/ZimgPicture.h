#pragma once
// A decoded picture into 32-bit RGB at any size in one pass, with zimg: the
// stream's matrix, range, transfer, primaries and chroma siting honoured,
// chroma interpolated at its siting, a sharp filter when enlarging and an
// anti-aliased one when reducing, and the result dithered to 8 bits.
// zimg reads the picture into 16-bit samples of its own colours, and
// they go into the target through a matrix (the display's own colours) or
// a colour table (BT.2020, other primaries and transfers, HDR; see
// ColourTable); zimg's float path costs several times as much. The graph
// is made once per kind of picture and size, the table once per kind of
// colours; every frame then runs them.

#include <memory>
#include <vector>

#include "engine/media/picture/ColourTable.h"
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
    bool m_tried = false;  // a graph (and table) was made or tried for m_colours at m_width x m_height
    bool m_ready = false;  // and all it needs is there
    std::shared_ptr<const ColourTable> m_table;       // while the graph reads for a table
    std::shared_ptr<const ColourTable> m_otherTable;  // the one before
};

}  // namespace media
