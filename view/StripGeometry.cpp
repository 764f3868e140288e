#include "view/StripGeometry.h"

#include <algorithm>

namespace view {
namespace {

// a * b / c in 64 bits, truncating toward zero, as a 32-bit result.
int MulDiv(std::int64_t a, std::int64_t b, std::int64_t c)
{
    return c == 0 ? 0 : static_cast<int>(a * b / c);
}

}  // namespace

StripGeometry StripGeometry::Make(int clientWidth, int clientHeight, int movieWidth, int movieHeight, int totalFrames)
{
    StripGeometry g;
    g.cxStrip = clientWidth;
    g.yStrip = clientHeight - kStripHeight;
    g.cyThumb = kThumbHeight;
    g.cxThumb = movieHeight > 0 ? MulDiv(g.cyThumb, movieWidth, movieHeight) : 0;
    g.totalFrames = totalFrames;
    g.slotCount = g.cxThumb + 2 > 0 ? std::min(kMaxSlots, clientWidth / (g.cxThumb + 2)) : 0;
    if (g.slotCount < 0) g.slotCount = 0;
    return g;
}

int StripGeometry::SlotOf(int frame) const
{
    return std::min(slotCount - 1, MulDiv(frame, slotCount, totalFrames));
}

int StripGeometry::SlotX(int slot) const
{
    return MulDiv(cxStrip, slot, slotCount);
}

engine::Rect StripGeometry::SlotRect(int slot) const
{
    const int left = SlotX(slot);
    const int top = yStrip + kThumbTop;
    return engine::Rect{left, top, left + cxThumb, top + cyThumb};
}

engine::Rect StripGeometry::PositionMarker(int frame) const
{
    const int left = MulDiv(cxStrip - 2, frame, totalFrames);
    const int top = yStrip + kStripHeight - 3;
    return engine::Rect{left, top, left + 2, top + 2};
}

engine::Rect StripGeometry::DragMarker(int frame) const
{
    const int left = MulDiv(cxStrip - 2, frame, totalFrames);
    return engine::Rect{left, yStrip + 3, left + 2, yStrip + cyThumb + 5};
}

int StripGeometry::FrameAt(int x) const
{
    return MulDiv(totalFrames, x, cxStrip);
}

}  // namespace view
