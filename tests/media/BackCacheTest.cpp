// The pictures kept for stepping back: within their cap, newest kept, and
// found by the picture that holds a time.

#include <gtest/gtest.h>

#include "engine/media/BackCache.h"

namespace media {
namespace {

FramePtr Picture()
{
    FramePtr frame(av_frame_alloc());
    frame->format = AV_PIX_FMT_YUV420P;
    frame->width = 640;
    frame->height = 360;
    EXPECT_EQ(av_frame_get_buffer(frame.get(), 0), 0);
    return frame;
}

TEST(BackCache, KeepsTheNewestPicturesWithinItsCapAndFindsThemByTime)
{
    const FramePtr picture = Picture();
    std::size_t bytes = 0;
    for (const AVBufferRef* buf : picture->buf)
        if (buf) bytes += buf->size;
    BackCache cache(10 * bytes);
    cache.Begin(3);
    for (int i = 0; i < 25; ++i) cache.Add(3, picture.get(), i * 400'000);
    cache.Add(2, picture.get(), 30 * 400'000);  // another seek's picture
    EXPECT_LE(cache.Bytes(), 10 * bytes);
    auto never = [](StreamTime) { return false; };
    EXPECT_EQ(cache.Find(14 * 400'000, never).frame, nullptr);  // dropped for the newest
    const BackCache::Found found = cache.Find(20 * 400'000 + 5, never);
    ASSERT_NE(found.frame, nullptr);
    EXPECT_EQ(found.time, 20 * 400'000);
    // The newest is found only when it is known to hold the time.
    EXPECT_EQ(cache.Find(24 * 400'000 + 5, never).frame, nullptr);
    EXPECT_NE(cache.Find(24 * 400'000 + 5, [](StreamTime t) { return t == 24 * 400'000; }).frame, nullptr);
    cache.Clear();
    EXPECT_EQ(cache.Bytes(), 0u);
}

}  // namespace
}  // namespace media
