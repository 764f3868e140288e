#pragma once
// The engine's rectangles: four 32-bit signed integers, left, top, right,
// bottom, with right and bottom outside the rectangle (so QRect's inclusive
// right() and bottom() must never be mixed in).

#include <QRect>

#include "engine/media/MediaTypes.h"

namespace engine {

using Rect = media::FrameRect;

inline QRect ToQRect(const Rect& r)
{
    return QRect(r.left, r.top, r.Width(), r.Height());
}

inline Rect FromQRect(const QRect& r)
{
    return Rect{r.x(), r.y(), r.x() + r.width(), r.y() + r.height()};
}

}  // namespace engine
