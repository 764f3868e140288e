#pragma once
// The arithmetic of the thumbnail strip: slotCount, the frame each slot stands
// for, and the markers. Products are formed in 64 bits before each
// truncating division, so a movie of several hours at 60 frames per second
// in a wide view gives the same results as short ones, without overflow.

#include <cstdint>

#include "engine/Rect.h"

namespace view {

inline constexpr int kStripHeight = 30;
inline constexpr int kMaxSlots = 256;
// Thumbnails are the strip's height less a sprocket row and a gap above
// and below them.
inline constexpr int kThumbHeight = kStripHeight - 8;
inline constexpr int kThumbTop = 4;
// Grey 2 x 2 sprocket holes every 5 pixels at y = 1 and y = height - 3.
inline constexpr int kSprocketPitch = 5;
inline constexpr int kSprocketSize = 2;

struct StripGeometry {
    int cxStrip = 0;  // width of the strip: the view's client width
    int yStrip = 0;   // top of the strip in client coordinates
    int cxThumb = 0;
    int cyThumb = kThumbHeight;
    int slotCount = 0;
    int totalFrames = 0;

    // The strip for a view of `clientWidth` x `clientHeight` showing a movie
    // of `movieWidth` x `movieHeight` with `totalFrames` frames. No slot at
    // all (slotCount 0) when the view is too narrow for one thumbnail.
    static StripGeometry Make(int clientWidth, int clientHeight, int movieWidth, int movieHeight, int totalFrames);

    bool HasSlots() const { return slotCount > 0 && totalFrames > 0; }
    // The slot of frame f, the last slot for the last position and beyond.
    int SlotOf(int frame) const;
    // Left edge of slot j in the strip.
    int SlotX(int slot) const;
    // Client rectangles.
    engine::Rect SlotRect(int slot) const;
    engine::Rect PositionMarker(int frame) const;
    engine::Rect DragMarker(int frame) const;
    // The frame a client x stands for, not limited to the movie.
    int FrameAt(int x) const;
};

}  // namespace view
