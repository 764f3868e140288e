// The thumbnail strip: its geometry, how it fills in from the frames shown,
// and how thumbnails move to their new slots when the view changes width.

#include "FrameCode.h"
#include "PlayerFixture.h"
#include "resources/UiResources.h"
#include "view/StripGeometry.h"

namespace playertest {
namespace {

using engine::MovieEngine;
using view::StripGeometry;

TEST(StripGeometry, SlotsTakeTheMoviesAspectRatio)
{
    const StripGeometry g = StripGeometry::Make(640, 300, 320, 240, 1000);
    EXPECT_EQ(g.cxThumb, 29);
    EXPECT_EQ(g.cyThumb, 22);
    EXPECT_EQ(g.slotCount, 20);  // a pitch of 31
    EXPECT_EQ(g.yStrip, 270);
    EXPECT_EQ(StripGeometry::Make(10000, 300, 320, 240, 1000).slotCount, 256);
}

TEST(StripGeometry, FramesMapToSlotsAndTheLastPositionToTheLastSlot)
{
    const StripGeometry g = StripGeometry::Make(640, 300, 320, 240, 1000);
    EXPECT_EQ(g.SlotOf(0), 0);
    EXPECT_EQ(g.SlotOf(50), 1);
    EXPECT_EQ(g.SlotOf(999), 19);
    EXPECT_EQ(g.SlotOf(1000), 19);
    EXPECT_EQ(g.SlotX(1), 32);
    EXPECT_EQ(g.SlotRect(19), (engine::Rect{608, 274, 637, 296}));
    EXPECT_EQ(g.PositionMarker(500), (engine::Rect{319, 297, 321, 299}));
    EXPECT_EQ(g.DragMarker(500), (engine::Rect{319, 273, 321, 297}));
    EXPECT_EQ(g.FrameAt(320), 500);
}

TEST(StripGeometry, LongMoviesInWideViewsDoNotOverflow)
{
    // Six hours at 60 frames per second across a 7680-pixel view: the
    // products pass 2^31 long before the results do.
    const int frames = 6 * 3600 * 60;
    const StripGeometry g = StripGeometry::Make(7680, 1000, 1920, 1080, frames);
    EXPECT_EQ(g.SlotOf(frames - 1), g.slotCount - 1);
    EXPECT_EQ(g.SlotOf(frames / 2), g.slotCount / 2);
    EXPECT_EQ(g.PositionMarker(frames).left, 7678);
    EXPECT_EQ(g.PositionMarker(frames / 2).left, 3839);
    EXPECT_EQ(g.FrameAt(7680), frames);
}

TEST(StripGeometry, AViewTooNarrowForOneThumbnailHasNoSlots)
{
    EXPECT_FALSE(StripGeometry::Make(30, 300, 320, 240, 100).HasSlots());
    EXPECT_TRUE(StripGeometry::Make(31, 300, 320, 240, 100).HasSlots());
    EXPECT_FALSE(StripGeometry::Make(640, 300, 320, 240, 0).HasSlots());
}

class Strip : public PlayerFixture {
protected:
    void SetUp() override
    {
        PlayerFixture::SetUp();
        Start();
        Command(ID_VIEW_SCROLL);
    }
    void ShowAndTick(int frame)
    {
        engine->Seek(frame, MovieEngine::SeekAndShow);
        ASSERT_TRUE(Idle());
        view->OnTimer();
    }
    // The frame number the thumbnail in `slot` shows.
    int Thumbnail(int slot)
    {
        const auto& g = view->Strip();
        return ReadFrameNumber(*view->StripBitmap(), QRect(g.SlotX(slot), view::kThumbTop, g.cxThumb, g.cyThumb));
    }
};

TEST_F(Strip, IsReservedBelowThePictureAndFillsInFromTheFramesShown)
{
    ASSERT_TRUE(Open("frames1000.avi"));  // 160 x 120
    engine->Pause();
    frame->FitClientToSize(640, 510);
    ASSERT_TRUE(view->HasStrip());
    EXPECT_EQ(view->Strip().slotCount, 20);
    EXPECT_EQ(engine->geometry(), QRect(0, 0, 640, 480));  // above the strip
    for (int slot = 0; slot < 20; ++slot) EXPECT_EQ(view->SlotFrame(slot), -1);

    ShowAndTick(50);
    EXPECT_EQ(view->SlotFrame(1), 50);
    EXPECT_EQ(Thumbnail(1), 50);
    EXPECT_EQ(view->CurrentSlot(), view->Strip().SlotRect(1));
    ShowAndTick(999);
    EXPECT_EQ(view->SlotFrame(19), 999);
    EXPECT_EQ(Thumbnail(19), 999);
    EXPECT_EQ(view->PositionMarker(), view->Strip().PositionMarker(999));
}

TEST_F(Strip, WideningAndNarrowingMoveEachThumbnailToItsFramesSlot)
{
    ASSERT_TRUE(Open("frames1000.avi"));
    engine->Pause();
    frame->FitClientToSize(640, 510);
    for (const int f : {0, 100, 150, 500, 950}) ShowAndTick(f);  // slots 0, 2, 3, 10, 19
    frame->FitClientToSize(1280, 510);                          // 41 slots
    ASSERT_EQ(view->Strip().slotCount, 41);
    for (const auto& [slot, f] : {std::pair{0, 0}, {4, 100}, {6, 150}, {20, 500}, {38, 950}}) {
        EXPECT_EQ(view->SlotFrame(slot), f) << "slot " << slot;
        EXPECT_EQ(Thumbnail(slot), f) << "slot " << slot;
    }
    frame->FitClientToSize(320, 510);  // 10 slots: 100 and 150 both land in slot 1
    ASSERT_EQ(view->Strip().slotCount, 10);
    EXPECT_EQ(view->SlotFrame(1), 150);
    EXPECT_EQ(Thumbnail(1), 150);
    EXPECT_EQ(view->SlotFrame(5), 500);
    EXPECT_EQ(view->SlotFrame(9), 950);
    EXPECT_EQ(view->SlotFrame(2), -1);
}

TEST_F(Strip, AnotherMovieAndSwitchingTheStripStartEmpty)
{
    ASSERT_TRUE(Open("frames1000.avi"));
    engine->Pause();
    frame->FitClientToSize(640, 510);
    ShowAndTick(500);
    ASSERT_EQ(view->SlotFrame(10), 500);
    Command(ID_VIEW_SCROLL);
    EXPECT_FALSE(view->HasStrip());
    Command(ID_VIEW_SCROLL);
    ASSERT_TRUE(view->HasStrip());
    EXPECT_EQ(view->SlotFrame(10), -1);
    ShowAndTick(500);
    ASSERT_TRUE(Open("frames250.avi"));
    ASSERT_TRUE(view->HasStrip());
    for (int slot = 0; slot < view->Strip().slotCount; ++slot) EXPECT_EQ(view->SlotFrame(slot), -1);
}

TEST_F(Strip, NoMovieOrANarrowViewMeansNoStrip)
{
    EXPECT_FALSE(view->HasStrip());
    const QSize before = view->size();
    view->LayoutStrip(false);
    EXPECT_EQ(view->size(), before);
    ASSERT_TRUE(Open("frames1000.avi"));
    engine->Pause();
    // The frame may not get as narrow as asked; narrow the view itself.
    view->resize(20, 200);
    EXPECT_FALSE(view->HasStrip());
    view->OnTimer();  // nothing divides by zero
    frame->FitClientToSize(640, 510);
    EXPECT_TRUE(view->HasStrip());
}

}  // namespace
}  // namespace playertest
