#pragma once
// The largest picture the player takes on. Every frame is kept in three
// 32-bit surfaces at least its size, so an 8K frame already costs about
// 400 MB; a header that claims more is damaged or hostile, and refusing it
// up front avoids a giant allocation.

namespace media {

inline constexpr int kMaxFrameSide = 8192;
inline constexpr long long kMaxFramePixels = 7680LL * 4320LL;

inline constexpr bool FrameSizeAcceptable(int width, int height)
{
    return width > 0 && height > 0 && width <= kMaxFrameSide && height <= kMaxFrameSide &&
           static_cast<long long>(width) * height <= kMaxFramePixels;
}

}  // namespace media
