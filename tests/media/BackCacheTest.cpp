// The pictures kept for stepping back: within their cap, newest kept, and
// found by the picture that holds a time; each an exact copy, whatever the
// layout of its planes.

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <tuple>
#include <vector>

#include "engine/media/BackCache.h"

extern "C" {
#include <libavutil/imgutils.h>
#include <libavutil/pixdesc.h>
}

namespace media {
namespace {

FramePtr Picture(AVPixelFormat format = AV_PIX_FMT_YUV420P, int width = 640, int height = 360)
{
    FramePtr frame(av_frame_alloc());
    frame->format = format;
    frame->width = width;
    frame->height = height;
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
    // Placed by plain times, as pictures of a movie without a rate are.
    auto before = [](StreamTime target) { return [target](StreamTime t) { return Placement{t <= target, false}; }; };
    EXPECT_EQ(cache.Find(before(14 * 400'000)).frame, nullptr);  // dropped for the newest
    const BackCache::Found found = cache.Find(before(20 * 400'000 + 5));
    ASSERT_NE(found.frame, nullptr);
    EXPECT_EQ(found.time, 20 * 400'000);
    // The newest is found only when it is known to hold the time.
    EXPECT_EQ(cache.Find(before(24 * 400'000 + 5)).frame, nullptr);
    EXPECT_NE(cache.Find([](StreamTime t) { return Placement{true, t == 24 * 400'000}; }).frame, nullptr);
    cache.Clear();
    EXPECT_EQ(cache.Bytes(), 0u);
}

TEST(BackCache, AKeptPictureIsAnExactCopyWhateverItsLayout)
{
    for (const auto& [format, width, height] : {std::tuple{AV_PIX_FMT_YUV420P, 321, 241}, {AV_PIX_FMT_YUV444P, 321, 241},
                                                {AV_PIX_FMT_NV12, 640, 360}, {AV_PIX_FMT_YUV420P10LE, 99, 33}}) {
        const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(format);
        // Each row of each plane of `frame`, as the bytes that hold pixels.
        auto eachRow = [&](const AVFrame* frame, const std::function<void(int, int, std::uint8_t*)>& use) {
            for (int plane = 0; plane < 4 && frame->data[plane]; ++plane) {
                const int rows = plane == 0 ? height : AV_CEIL_RSHIFT(height, desc->log2_chroma_h);
                for (int y = 0; y < rows; ++y) use(plane, y, frame->data[plane] + y * frame->linesize[plane]);
            }
        };
        auto bytes = [&](int plane) { return static_cast<std::size_t>(av_image_get_linesize(format, width, plane)); };
        const FramePtr picture = Picture(format, width, height);
        eachRow(picture.get(), [&](int plane, int y, std::uint8_t* row) {
            for (std::size_t x = 0; x < bytes(plane); ++x) row[x] = static_cast<std::uint8_t>(x * 7 + y * 3 + plane);
        });
        BackCache cache;
        cache.Begin(1);
        cache.Add(1, picture.get(), 0);
        const FramePtr kept = cache.Find([](StreamTime) { return Placement{true, true}; }).frame;
        ASSERT_NE(kept, nullptr) << desc->name;
        ASSERT_EQ(kept->format, format);
        std::vector<std::uint8_t*> keptRows;
        eachRow(kept.get(), [&](int, int, std::uint8_t* row) { keptRows.push_back(row); });
        std::size_t i = 0;
        int wrong = 0;
        std::string first;
        eachRow(picture.get(), [&](int plane, int y, std::uint8_t* row) {
            const bool same = i < keptRows.size() && std::memcmp(keptRows[i], row, bytes(plane)) == 0;
            ++i;
            if (!same && wrong++ == 0) first = "plane " + std::to_string(plane) + " row " + std::to_string(y);
        });
        EXPECT_EQ(wrong, 0) << desc->name << ", first at " << first;
    }
}

}  // namespace
}  // namespace media
