#pragma once
// What is drawn over the movie's picture once it has been converted to the
// size it is shown at (the subtitles): at that size, so text stays sharp in
// full screen. The stream calls it for every picture it presents, on the
// worker's thread, and for a picture it renders anew (a repaint while
// paused), on the interface thread; never both at once.

#include "engine/media/MediaTypes.h"

namespace media {

class PictureOverlay {
public:
    virtual ~PictureOverlay() = default;
    // Draws what belongs over the picture shown at stream time `time` into
    // `rect` of `target`, which holds that picture at the rectangle's size.
    // `frameTime` is how long the picture stays (its display interval is
    // [time, time + frameTime)).
    virtual void Draw(StreamTime time, StreamTime frameTime, const PixelBuffer& target, const FrameRect& rect) = 0;
};

}  // namespace media
