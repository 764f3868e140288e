// The engine against real movies: opening, seeking, the letter box of full
// screen, the taskbar while it lasts, and a switch that fails; what is shown
// is read back from the pictures' own frame codes. Then against stand-ins,
// for what a real file or device cannot be made to do on cue: every step of
// opening failing, odd lengths and frame times, an Update held while targets
// pile up, a worker held on its way out, an error status, drawing objects
// that cannot be made.

#include <sched.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include "EngineTestSupport.h"
#include "engine/media/ThreadPriority.h"
#include "engine/FullScreenWindow.h"
#include "engine/Taskbar.h"

namespace enginetest {
namespace {

using engine::LetterBoxRect;
using engine::Rect;

TEST(LetterBox, FitsTheWidthFirstAndSplitsTheBarsEvenly)
{
    struct Box {
        int displayWidth, displayHeight, movieWidth, movieHeight;
        Rect box;
    };
    for (const Box& b : {Box{1024, 768, 352, 240, {0, 35, 1024, 733}}, Box{800, 600, 176, 144, {33, 0, 766, 600}},
                         Box{1024, 768, 320, 240, {0, 0, 1024, 768}},
                         // Truncation makes 321 x 241 fill 800 x 600 exactly.
                         Box{800, 600, 321, 241, {0, 0, 800, 600}}, Box{800, 600, 1, 1, {100, 0, 700, 600}}})
        EXPECT_EQ(LetterBoxRect(b.displayWidth, b.displayHeight, b.movieWidth, b.movieHeight), b.box)
            << b.movieWidth << "x" << b.movieHeight;
}

class Engine : public ::testing::Test, public EngineWindow {
protected:
    MovieEngine& e = engine;
    void OpenPaused(const char* movie)
    {
        ASSERT_TRUE(e.OpenMovie(MoviePath(movie)));
        e.Pause();
    }
};

TEST_F(Engine, OpensAMovieAtItsSizeAndShowsTheFramesItIsToldToAndNoOther)
{
    ASSERT_LT(draw::DisplaySize().width(), 1024);  // offscreen: 800 x 600
    engine::MovieRect rect;
    ASSERT_TRUE(e.OpenMovie(MoviePath("big.avi")));  // larger than the display
    EXPECT_EQ(e.GetMovieRect(rect), (engine::MovieRect{0, 0, 1024, 768}));
    EXPECT_TRUE(QTest::qWaitFor([&] { return Kept(e) >= 1; }));
    // Another movie replaces a playing one.
    OpenPaused("h264.mp4");
    EXPECT_EQ(e.GetMovieRect(rect), (engine::MovieRect{0, 0, 320, 240}));
    EXPECT_EQ(e.GetTotalFrames(), 50);
    EXPECT_EQ(e.CanSeek(), 1);
    // The last position, the frame count, is the last frame's.
    for (const auto& [frame, shown] : {std::pair{50, 49}, {13, 13}}) {
        e.Seek(frame, MovieEngine::SeekAndShow);
        ASSERT_TRUE(Idle());
        EXPECT_EQ(Kept(e), shown) << "frame " << frame;
        EXPECT_EQ(e.StreamPosition(), shown * kFrame);
        EXPECT_EQ(e.GetCurrentFrame(), shown);
    }
    // Where the stream already stands, no worker starts.
    e.Seek(13, MovieEngine::SeekAndShow);
    EXPECT_EQ(e.GetPlayState(), MovieEngine::Idle);
    e.Seek(13, MovieEngine::SeekTrack);
    EXPECT_EQ(e.GetPlayState(), MovieEngine::Idle);
    // SeekOnly moves the position and draws nothing; playing starts there.
    e.Seek(30, MovieEngine::SeekOnly);
    EXPECT_EQ(e.GetPlayState(), MovieEngine::Idle);
    EXPECT_EQ(e.StreamPosition(), 30 * kFrame);
    EXPECT_EQ(Kept(e), 13);
    QElapsedTimer since;
    since.start();
    e.Play();
    ASSERT_TRUE(QTest::qWaitFor([&] { return Kept(e) >= 30; }));
    int kept = Kept(e);
    EXPECT_LE(kept, testsupport::AtMost(30, since.elapsed()));
    // Play while playing goes on from where it was.
    const int before = kept;
    since.restart();
    e.Play();
    EXPECT_EQ(e.GetPlayState(), MovieEngine::Playing);
    ASSERT_TRUE(QTest::qWaitFor([&] { return Kept(e) > before; }));
    kept = Kept(e);
    EXPECT_LE(kept, testsupport::AtMost(before, since.elapsed()));
    // SeekTrack while playing stops playing and shows the frame.
    e.Seek(40, MovieEngine::SeekTrack);
    ASSERT_TRUE(Idle());
    EXPECT_EQ(Kept(e), 40);
    EXPECT_EQ(e.StreamPosition(), 40 * kFrame);
}

// The nice value and scheduling policy of this process's thread called
// `name`; policy -1 when there is none.
std::pair<int, int> Priority(const std::string& name)
{
    for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
        std::string comm;
        std::getline(std::ifstream(task.path() / "comm"), comm);
        if (comm != name) continue;
        std::string stat;
        std::getline(std::ifstream(task.path() / "stat"), stat);
        std::istringstream fields(stat.substr(stat.rfind(')') + 2));
        std::vector<std::string> f{std::istream_iterator<std::string>(fields), {}};
        // After the name: state is field 3, nice 19, policy 41.
        return {std::stoi(f.at(19 - 3)), std::stoi(f.at(41 - 3))};
    }
    return {0, -1};
}

TEST_F(Engine, WorkersLetTheInterfaceAndOtherProgramsGoFirstWithoutStarving)
{
    ASSERT_TRUE(e.OpenMovie(MoviePath("frames1000.avi")));
    // At a raised nice value under the normal policy, never the idle class,
    // which starves beside any busy program.
    ASSERT_TRUE(QTest::qWaitFor([] { return Priority("reelscope-play").second >= 0; }));
    EXPECT_EQ(Priority("reelscope-play"), std::pair(media::kWorkerNice, SCHED_OTHER));
    EXPECT_GT(media::kWorkerNice, 0);
}

TEST_F(Engine, TheEndIsReportedUntilPlayPauseOrSeek)
{
    OpenPaused("short.avi");
    e.Play();
    ASSERT_TRUE(QTest::qWaitFor([&] { return e.IsAtEnd() == 1; }));
    EXPECT_EQ(e.GetPlayState(), MovieEngine::Idle);
    EXPECT_EQ(Kept(e), 9);
    EXPECT_EQ(e.IsAtEnd(), 1);  // it stays
    // A mode that is none of the three changes nothing but the flag.
    e.Seek(3, 3);
    EXPECT_EQ(e.IsAtEnd(), 0);
    EXPECT_EQ(e.GetPlayState(), MovieEngine::Idle);
    EXPECT_EQ(Kept(e), 9);
    // Pause, a seek and play each clear it.
    for (const bool pause : {true, false}) {
        e.Seek(0, MovieEngine::SeekOnly);
        e.Play();
        ASSERT_TRUE(QTest::qWaitFor([&] { return e.IsAtEnd() == 1; }));
        if (pause) e.Pause();
        else e.Seek(0, MovieEngine::SeekOnly);
        EXPECT_EQ(e.IsAtEnd(), 0);
    }
    e.Play();
    EXPECT_EQ(e.IsAtEnd(), 0);
    EXPECT_EQ(e.GetPlayState(), MovieEngine::Playing);
}

// A taskbar the test can see.
class FakeTaskbar : public engine::Taskbar {
public:
    explicit FakeTaskbar(bool visible) : visible(visible) { engine::SetTaskbar(this); }
    ~FakeTaskbar() override { engine::SetTaskbar(nullptr); }
    bool Exists() override { return true; }
    bool Show(bool show) override
    {
        const bool was = visible;
        visible = show;
        return was;
    }
    bool visible;
};

TEST_F(Engine, TheTaskbarIsHiddenWhileFullScreenLastsUnlessItWasHiddenBefore)
{
    ASSERT_TRUE(e.OpenMovie(MoviePath("mjpeg.avi")));
    for (const bool visible : {true, false}) {
        FakeTaskbar taskbar(visible);
        ASSERT_TRUE(e.SetFullScreen(true));
        EXPECT_FALSE(taskbar.visible);
        ASSERT_TRUE(e.SetFullScreen(false));
        EXPECT_EQ(taskbar.visible, visible);
    }
    // Opening another movie leaves full screen first, and so does the end
    // of the engine.
    FakeTaskbar taskbar(true);
    ASSERT_TRUE(e.SetFullScreen(true));
    ASSERT_TRUE(e.OpenMovie(MoviePath("short.avi")));
    EXPECT_FALSE(e.IsFullScreen());
    EXPECT_EQ(e.FullScreenWnd(), nullptr);
    EXPECT_TRUE(taskbar.visible);
    {
        EngineWindow other;
        ASSERT_TRUE(other.engine.OpenMovie(MoviePath("mjpeg.avi")));
        ASSERT_TRUE(other.engine.SetFullScreen(true));
        EXPECT_FALSE(taskbar.visible);
    }
    EXPECT_TRUE(taskbar.visible);
}

TEST(FullScreenFailure, ASwitchThatFailsLeavesNoMovieNoPopupAndAPlayerThatStillPlays)
{
    FakeTaskbar taskbar(true);
    CapturedMessages messages;
    // The windowed form takes four surfaces and the movie's size two more;
    // the seventh, the full-screen primary, cannot be made.
    EngineWindow w(FailingDraw::Services(7));
    ASSERT_TRUE(messages.texts.empty());
    ASSERT_TRUE(w.engine.OpenMovie(MoviePath("mjpeg.avi")));
    EXPECT_FALSE(w.engine.SetFullScreen(true));
    EXPECT_EQ(messages.texts, (std::vector<QString>{"Initialization failure in DirectDrawSurface",
                                                    "Can't Change FullScreen Mode"}));
    EXPECT_EQ(w.engine.GetPlayState(), -1);
    EXPECT_EQ(w.engine.FullScreenWnd(), nullptr);
    EXPECT_FALSE(w.engine.IsFullScreen());
    EXPECT_TRUE(taskbar.visible);
    EXPECT_TRUE(testsupport::ShowsIdlePicture(w.engine));
    // The windowed surfaces were made again: the next movie plays.
    ASSERT_TRUE(w.engine.OpenMovie(MoviePath("short.avi")));
    EXPECT_TRUE(QTest::qWaitFor([&] { return Kept(w.engine) >= 3; }));
    EXPECT_EQ(messages.texts.size(), 2u);
}

struct FailingStep {
    const char* step;
    const char* message;
};

class EveryOpeningFailure : public ::testing::TestWithParam<FailingStep> {};

TEST_P(EveryOpeningFailure, ShowsItsOwnMessageOnceAndLeavesNoMovie)
{
    auto media = std::make_shared<ScriptedMedia>();
    EngineWindow w(media->Services());
    ASSERT_TRUE(w.engine.OpenMovie("first"));  // a movie that plays...
    CapturedMessages messages;
    media->script.failAt = GetParam().step;
    EXPECT_FALSE(w.engine.OpenMovie("second"));
    EXPECT_EQ(messages.texts, std::vector<QString>{QString::fromLatin1(GetParam().message)});
    // ...is closed by the failed open, not restored.
    EXPECT_EQ(w.engine.GetPlayState(), -1);
    EXPECT_EQ(w.engine.GetTotalFrames(), 0);
    // The engine is still usable.
    media->script.failAt.clear();
    EXPECT_TRUE(w.engine.OpenMovie("third"));
    EXPECT_EQ(messages.texts.size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Steps, EveryOpeningFailure,
    ::testing::Values(
        FailingStep{"create",
                    "Could not create a CLSID_MultiMediaStream object\nCheck you have run regsvr32 amstream.dll\n"},
        FailingStep{"initialize", "Initialize failed."}, FailingStep{"addvideo", "AddMediaStream failed."},
        FailingStep{"addaudio", "AddMediaStream failed."},
        FailingStep{"open", "Could not Open format not supported. ?"},
        FailingStep{"graph", "Could not Get GraphBuilder"}, FailingStep{"audio", "Could not get BasicAudio"},
        FailingStep{"seeking", "Could not get MediaSeeking"},
        FailingStep{"mediastream", "Initialization failure in InitRenderToSurface"},
        FailingStep{"query", "Initialization failure in InitRenderToSurface"},
        FailingStep{"format", "Initialization failure in InitRenderToSurface"},
        FailingStep{"sample", "Initialization failure in InitRenderToSurface"}),
    [](const auto& info) { return std::string(info.param.step); });

TEST(EngineDrawing, ADrawingObjectThatCannotBeMadeShowsItsMessagesInOrderAndNoMovieOpens)
{
    // 0: the device; 1 to 4: one of the windowed form's surfaces.
    for (int failing = 0; failing <= 4; ++failing) {
        CapturedMessages messages;
        EngineWindow w(FailingDraw::Services(failing));
        std::vector<QString> expected = {"Initialization failure in DirectDraw"};
        if (failing > 0) expected.insert(expected.begin(), "Initialization failure in DirectDrawSurface");
        EXPECT_EQ(messages.texts, expected) << "surface " << failing;
        // Without its surfaces the engine refuses movies instead of drawing
        // into nothing.
        EXPECT_FALSE(w.engine.OpenMovie(MoviePath("mjpeg.avi")));
        EXPECT_EQ(messages.texts.back(), "Initialization failure in InitRenderToSurface");
    }
}

TEST(EngineQueries, FrameCountsAndPositionsFollowTheStreamsTimes)
{
    auto media = std::make_shared<ScriptedMedia>();
    StreamScript& script = media->script;
    script.frames = 0;  // the worker stops at once
    EngineWindow w(media->Services());
    // A length or frame time that is not positive takes its default: 100 s,
    // 10 frames a second.
    struct Count {
        StreamTime duration, timePerFrame;
        int frames;
    };
    for (const Count& c : {Count{0, kFrame, 2500}, Count{50'000'000, 0, 50}, Count{20'399'999, kFrame, 50},
                           Count{std::numeric_limits<StreamTime>::max(), kFrame, std::numeric_limits<int>::max()}}) {
        script.duration = c.duration;
        script.timePerFrame = c.timePerFrame;
        ASSERT_TRUE(w.engine.OpenMovie("any"));
        EXPECT_EQ(w.engine.GetTotalFrames(), c.frames) << c.duration << ", " << c.timePerFrame;
    }
    ASSERT_TRUE(w.Idle());
    // Positions truncate toward zero.
    for (const auto& [time, ms, frame] : {std::tuple{19'999, 1, 0}, {799'999, 79, 1}, {800'000, 80, 2}}) {
        script.time = time;
        EXPECT_EQ(w.engine.GetCurrentMs(), ms) << time;
        EXPECT_EQ(w.engine.GetCurrentFrame(), frame) << time;
    }
}

class EngineWorker : public ::testing::Test {
protected:
    std::shared_ptr<ScriptedMedia> media = std::make_shared<ScriptedMedia>();
    StreamScript& script = media->script;
    EngineWindow w{media->Services()};
    MovieEngine& e = w.engine;

    void SetUp() override
    {
        ASSERT_TRUE(e.OpenMovie("scripted"));
        e.Pause();
        script.seeks.clear();
    }
};

TEST_F(EngineWorker, TargetsThatArriveDuringOneFrameAreCoalescedToTheLast)
{
    script.holdUpdates = true;
    e.Seek(10, MovieEngine::SeekAndShow);
    ASSERT_TRUE(media->WaitForHeldUpdate());
    e.Seek(20, MovieEngine::SeekTrack);
    e.Seek(21, MovieEngine::SeekTrack);
    e.Seek(22, MovieEngine::SeekTrack);
    EXPECT_EQ(e.GetPlayState(), MovieEngine::Seeking);
    ASSERT_TRUE(media->Release());  // the frame at 10
    ASSERT_TRUE(media->Release());  // the frame at 22
    ASSERT_TRUE(w.Idle());
    // Sought to the target, retargeted once to the last request, and left
    // standing at it.
    EXPECT_EQ(script.seeks, (std::vector<StreamTime>{10 * kFrame, 22 * kFrame, 22 * kFrame}));
    EXPECT_EQ(script.states.back(), StreamState::Stop);
    EXPECT_EQ(e.GetCurrentFrame(), 22);
}

TEST_F(EngineWorker, ATargetThatArrivesAsTheSeekWorkerLeavesIsStillShown)
{
    script.holdWorkerStops = true;
    e.Seek(10, MovieEngine::SeekAndShow);
    ASSERT_TRUE(media->WaitForHeldStop());  // frame 10 shown, the worker on its way out
    e.Seek(20, MovieEngine::SeekTrack);
    media->ReleaseStops();
    ASSERT_TRUE(w.Idle());
    EXPECT_EQ(script.seeks.back(), 20 * kFrame);
    EXPECT_EQ(e.GetCurrentFrame(), 20);
}

TEST_F(EngineWorker, StoppingWakesAWorkerThatWaitsInTheStream)
{
    script.holdUpdates = true;
    e.Play();
    ASSERT_TRUE(media->WaitForHeldUpdate());
    e.Pause();  // would wait for the worker for ever, had it not been woken
    EXPECT_TRUE(media->aborted);
    EXPECT_EQ(e.GetPlayState(), MovieEngine::Idle);
    EXPECT_EQ(e.IsAtEnd(), 0);
}

TEST_F(EngineWorker, ASwitchToFullScreenStopsARunningSeekForGood)
{
    script.holdUpdates = true;
    e.Seek(10, MovieEngine::SeekAndShow);
    ASSERT_TRUE(media->WaitForHeldUpdate());
    ASSERT_TRUE(e.SetFullScreen(true));
    EXPECT_EQ(e.GetPlayState(), MovieEngine::Idle);
    EXPECT_EQ(script.states.back(), StreamState::Stop);
}

TEST_F(EngineWorker, TheStreamsEndSetsTheEndFlagAndAnErrorEndsPlayingQuietly)
{
    CapturedMessages messages;
    for (const auto& [status, atEnd] : {std::pair{kEndOfStream, 1}, {kFail, 0}}) {
        script.frames = script.updates + 3;
        script.endStatus = status;
        e.Play();
        ASSERT_TRUE(QTest::qWaitFor([&] { return e.GetPlayState() == MovieEngine::Idle && script.updates == script.frames; }));
        EXPECT_EQ(e.IsAtEnd(), atEnd) << status;
        EXPECT_EQ(script.states.back(), StreamState::Stop);
    }
    EXPECT_TRUE(messages.texts.empty());
}

TEST_F(EngineWorker, VolumeAndRateMapToTheStreamScales)
{
    // Volume in hundredths of a decibel down, read back truncated.
    e.SetVolume(500);
    EXPECT_EQ(script.volume, -5000);
    script.volume = -2505;
    EXPECT_EQ(e.GetVolume(), 750);
    e.SetPlaybackRate(2000);
    EXPECT_EQ(script.rate, 2.0);
    // A movie that cannot seek keeps its speed.
    script.caps = 0;
    ASSERT_TRUE(e.OpenMovie("again"));
    EXPECT_EQ(e.CanSeek(), 0);
    script.rate = 0;
    e.SetPlaybackRate(2000);
    EXPECT_EQ(script.rate, 0);
}

}  // namespace
}  // namespace enginetest
