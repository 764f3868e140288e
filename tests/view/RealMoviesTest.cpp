// Movies as phones, DVDs, recorders and browsers make them: pictures stored
// turned, pixels that are not square, a still picture over a long sound, a
// recording cut inside a group of pictures, a header without a length, a
// cut download, pictures that do not come at one rate. Each is checked by
// the picture's own number, in the window, the strip and the clipboard copy.

#include <QFileInfo>
#include <QScrollBar>

#include "PlayerFixture.h"
#include "engine/FullScreenWindow.h"

namespace playertest {
namespace {

class RealMovies : public PlayerFixture {
protected:
    QImage copied;

    void SetUp() override
    {
        PlayerFixture::SetUp();
        WriteSettings("[MCI]\nPreViewFlag=1\n");  // the strip on
        Start();
        view->SetClipboardWriter([this](const QImage& image) {
            copied = image;
            return true;
        });
    }

    void OpenPaused(const std::string& movie)
    {
        ASSERT_TRUE(Open(movie));
        engine->Pause();
    }

    // Frame `frame` sought and shown paused: the window, its slot of the
    // strip and the clipboard copy all show `picture`, upright and in
    // proportion, and the counter says `frame`.
    void ExpectShownEverywhere(int frame, int picture)
    {
        At(frame);
        EXPECT_EQ(engine->GetCurrentFrame(), frame);
        EXPECT_EQ(ReadFrameNumber(Painted()), picture) << "window, frame " << frame;
        Command(ID_EDIT_COPY);
        EXPECT_EQ(copied.size(), engine->size());
        EXPECT_EQ(ReadFrameNumber(copied), picture) << "clipboard, frame " << frame;
        view->OnTimer();
        const view::StripGeometry& strip = view->Strip();
        const int slot = strip.SlotOf(frame);
        EXPECT_EQ(view->SlotFrame(slot), frame);
        EXPECT_EQ(ReadFrameNumber(*view->StripBitmap(), QRect(strip.SlotX(slot), view::kThumbTop, strip.cxThumb,
                                                               strip.cyThumb)),
                  picture)
            << "strip, frame " << frame;
    }
    void ExpectShownEverywhere(int frame) { ExpectShownEverywhere(frame, frame); }
};

TEST_F(RealMovies, TurnedPicturesStandUprightEverywhere)
{
    const QSize display = draw::DisplaySize();
    for (const auto& [movie, upright] : {std::pair{"rot90.mp4", QSize(240, 320)}, {"rot180.mp4", QSize(320, 240)},
                                         {"rot270.mp4", QSize(240, 320)}, {"mirror90.mp4", QSize(240, 320)}}) {
        SCOPED_TRACE(movie);
        OpenPaused(movie);
        EXPECT_EQ(engine->size(), upright);
        ExpectShownEverywhere(7);
        Command(ID_SIZE_HALF);
        EXPECT_EQ(engine->size(), upright / 2);
        Command(ID_FULL_SCREEN);
        const engine::Rect box = engine::LetterBoxRect(display.width(), display.height(), upright.width(),
                                                       upright.height());
        EXPECT_EQ(engine->ScreenRect(), box);
        EXPECT_EQ(ReadFrameNumber(engine->FullScreenWnd()->Target().Snapshot().copy(engine::ToQRect(box))), 7);
        Command(ID_FULL_SCREEN);
        EXPECT_EQ(Kept(), 7);  // back in the window, still paused on it
    }
}

TEST_F(RealMovies, NonSquarePixelsShowAtTheirDisplayAspect)
{
    OpenPaused("anamorphic.mkv");  // 360 x 288 stored, pixels 64:45 wide
    EXPECT_EQ(engine->size(), QSize(512, 288));
    ExpectShownEverywhere(12);
    Command(ID_SIZE_DOUBLE);
    EXPECT_EQ(engine->size(), QSize(1024, 576));
}

TEST_F(RealMovies, AStillPictureShowsAtOnceAndStaysWhileTheSoundPlays)
{
    ASSERT_TRUE(Open("still.mp4"));  // one picture, 30 s of sound
    ASSERT_TRUE(QTest::qWaitFor([&] { return ReadFrameNumber(Painted()) == 0; }, 2000));
    EXPECT_EQ(engine->GetTotalFrames(), 750);
    ASSERT_TRUE(QTest::qWaitFor([&] { return engine->GetCurrentFrame() >= 5; }));
    EXPECT_EQ(engine->GetPlayState(), MovieEngine::Playing);
    engine->Pause();
    ExpectShownEverywhere(400, 0);

    OpenPaused("lastearly.mp4");  // 25 pictures, 8 s of sound
    EXPECT_EQ(engine->GetTotalFrames(), 200);
    ExpectShownEverywhere(150, 24);
    engine->Seek(20, MovieEngine::SeekOnly);
    engine->Play();
    ASSERT_TRUE(QTest::qWaitFor([&] { return engine->GetCurrentFrame() >= 30; }));
    EXPECT_EQ(engine->GetPlayState(), MovieEngine::Playing);  // the sound goes on
    EXPECT_EQ(Kept(), 24);
}

TEST_F(RealMovies, ARecordingCutInsideAGroupOfPicturesStartsAtItsFirstPicture)
{
    OpenPaused("cutgop.mp4");  // its first picture comes 10 frames in
    ExpectShownEverywhere(30);
    for (const int before : {0, 4}) {
        At(before);
        EXPECT_EQ(Kept(), 10) << before;
    }
    ExpectShownEverywhere(11);
}

TEST_F(RealMovies, WithoutADurationTheLengthIsFoundByReadingTheFile)
{
    OpenPaused("live.webm");
    ASSERT_TRUE(QTest::qWaitFor([&] {
        view->OnTimer();
        return view->TotalFrames() == 50;
    }));
    EXPECT_EQ(view->ScrollBar()->maximum(), 50);
    Command(ID_GO_END);
    ASSERT_TRUE(Idle());
    EXPECT_EQ(Kept(), 49);
    ExpectShownEverywhere(33);
}

TEST_F(RealMovies, ACutDownloadEndsAtItsLastPicture)
{
    const QString cut = QFile::decodeName(CopyMovie("h264.mkv", "cut.mkv"));
    ASSERT_TRUE(QFile::resize(cut, QFileInfo(cut).size() / 2));
    ASSERT_EQ(view->OpenMovieFile(QFile::encodeName(cut)), 0);
    engine->Pause();
    const int total = engine->GetTotalFrames();
    // Once the file has been read, the last position shows the last picture.
    int last = -1;
    ASSERT_TRUE(QTest::qWaitFor([&] {
        Command(ID_GO_END);
        Idle();
        last = Kept();
        return last > 0 && last < 49;
    }));
    // Counted as the header says until the reading, which may be done
    // already, has found the pictures there are.
    EXPECT_TRUE(total == 50 || total >= last) << total;
    EXPECT_EQ(ReadFrameNumber(Painted()), last);
    // Played from just before it, it ends there.
    engine->Seek(last - 3, MovieEngine::SeekOnly);
    engine->Play();
    ASSERT_TRUE(QTest::qWaitFor([&] { return engine->GetPlayState() == MovieEngine::Idle; }));
    EXPECT_EQ(Kept(), last);
}

TEST_F(RealMovies, ARecordingStillBeingWrittenGrowsAsItPlays)
{
    // A quarter of it is there when it is opened; the rest comes on.
    const QByteArray whole = ReadFile(QString::fromStdString(MoviePath("recording.ts")));
    const QString path = QFile::decodeName(CopyMovie("recording.ts", "recording.ts"));
    ASSERT_TRUE(QFile::resize(path, whole.size() / 4));
    ASSERT_EQ(view->OpenMovieFile(QFile::encodeName(path)), 0);
    engine->Pause();
    ASSERT_TRUE(QTest::qWaitFor([&] { return engine->GetTotalFrames() < 750; }));  // read through as it was
    const int known = engine->GetTotalFrames();
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::Append));
    file.write(whole.mid(whole.size() / 4));
    file.close();
    engine->Seek(known - 5, MovieEngine::SeekOnly);
    engine->Play();
    ASSERT_TRUE(QTest::qWaitFor([&] {
        view->OnTimer();
        return view->TotalFrames() > known + 5;
    }));
    EXPECT_EQ(view->ScrollBar()->maximum(), view->TotalFrames());
    EXPECT_LT(engine->GetCurrentFrame(), engine->GetTotalFrames());
    // The pictures that came later are numbered as they show themselves.
    engine->Pause();
    ExpectShownEverywhere(known + 3);
}

TEST_F(RealMovies, PicturesThatChangeSizeRefitTheWindowAtTheChosenSizeUnlessItWasSizedByHand)
{
    OpenPaused("sizechange.ts");  // 640 x 360, then 1280 x 720 from frame 25
    ASSERT_EQ(engine->size(), QSize(640, 360));
    // The second part's times start 23 ms late: by the rate alone, its
    // pictures would be numbered one on until the timeline counts them.
    ASSERT_TRUE(QTest::qWaitFor([&] { return engine->GetTotalFrames() == 50 && engine->NumberedByPictures(); }));
    Command(ID_SIZE_HALF);
    At(30);
    view->OnTimer();
    EXPECT_EQ(engine->size(), QSize(640, 360));  // half of the new size
    EXPECT_EQ(view->size(), QSize(640, 360 + view::kStripHeight));
    ExpectShownEverywhere(40);
    At(10);
    view->OnTimer();
    EXPECT_EQ(engine->size(), QSize(320, 180));
    // Sized by hand, the window stays; the picture takes its shape in it.
    frame->FitClientToSize(500, 400);
    At(30);
    view->OnTimer();
    EXPECT_EQ(view->size(), QSize(500, 400));
    EXPECT_EQ(engine->geometry(), QRect(0, (370 - 281) / 2, 500, 281));  // 500 x 1280/720, above the strip
    EXPECT_EQ(ReadFrameNumber(Painted()), 30);
}

TEST_F(RealMovies, FramesOfAChangingRateAreCountedByTheirPictures)
{
    OpenPaused("vfrsteps.mkv");  // 25, then 50, then 25 pictures a second
    ASSERT_TRUE(QTest::qWaitFor([&] { return engine->GetTotalFrames() == 90; }));
    for (const int frame : {0, 29, 30, 31, 45, 59, 60, 61, 89}) ExpectShownEverywhere(frame);
    Command(ID_GO_END);
    ASSERT_TRUE(Idle());
    EXPECT_EQ(Kept(), 89);
    EXPECT_EQ(engine->GetCurrentFrame(), 89);

    OpenPaused("vfrirregular.mkv");
    ASSERT_TRUE(QTest::qWaitFor([&] { return engine->GetTotalFrames() == 70; }));
    for (int frame = 0; frame < 70; ++frame) {
        At(frame);
        EXPECT_EQ(Kept(), frame);
        EXPECT_EQ(engine->GetCurrentFrame(), frame);
    }
}

TEST_F(RealMovies, ABroadcastsFieldsAreWovenUnlessTheViewerSaysNotAndTheChoiceIsKept)
{
    OpenPaused("interlaced.ts");
    EXPECT_TRUE(State(ID_DEINTERLACE_AUTO).checked);
    ExpectShownEverywhere(7);
    const QImage woven = Painted();
    // Paused, the picture is decoded again with its fields as they lie.
    Command(ID_DEINTERLACE_OFF);
    ASSERT_TRUE(QTest::qWaitFor([&] { return Painted() != woven; }));
    const QImage combed = Painted();
    EXPECT_EQ(ReadFrameNumber(combed), 7);
    EXPECT_EQ(engine->GetCurrentFrame(), 7);
    EXPECT_TRUE(ReadSettings().contains(QStringLiteral("Deinterlace=2")));

    Start();
    EXPECT_TRUE(State(ID_DEINTERLACE_OFF).checked);
    EXPECT_FALSE(State(ID_DEINTERLACE_AUTO).checked);
    OpenPaused("interlaced.ts");
    At(7);
    EXPECT_EQ(Painted(), combed);
}

}  // namespace
}  // namespace playertest
