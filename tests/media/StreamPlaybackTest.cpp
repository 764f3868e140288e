// Playing and seeking through the stream: frames in order and on time, the
// position kept across a stop, exact seeks, the end, the rate, and a
// pending Update that must always be wakeable.

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "MediaTestSupport.h"

namespace media {
namespace {

using namespace std::chrono;
using testing::Open;
using testing::OpenedStream;

constexpr StreamTime kFrame = 400'000;  // 25 frames per second

TEST(Playing, DeliversEveryFrameInOrderWhenTheClockSaysSo)
{
    OpenedStream s;
    ASSERT_EQ(Open("mjpeg.avi", s), kOk);
    ASSERT_EQ(s.stream->SetState(StreamState::Run), kOk);
    // The clock starts with the first picture, however long that took.
    ASSERT_EQ(s.sample->Update(), kOk);
    ASSERT_EQ(s.Shown(), 0);
    const auto start = steady_clock::now();
    int last = 0;
    int shown = 1;
    for (;;) {
        const Result r = s.sample->Update();
        if (r == kEndOfStream) break;
        ASSERT_EQ(r, kOk);
        const int frame = s.Shown();
        const auto at = duration_cast<milliseconds>(steady_clock::now() - start).count();
        ASSERT_GT(frame, last) << "frames come in order";
        // Never early; late only by what a busy machine adds.
        EXPECT_GE(at, frame * 40 - 15) << "frame " << frame;
        EXPECT_LE(at, frame * 40 + 250) << "frame " << frame;
        last = frame;
        ++shown;
    }
    EXPECT_EQ(last, 49);
    EXPECT_GE(shown, 45);  // a late frame may be skipped, but hardly any
    // The end is a status of its own, and it stays.
    EXPECT_EQ(s.sample->Update(), kEndOfStream);
    EXPECT_GE(s.Time(), 50 * kFrame - kFrame / 2);
}

TEST(Playing, StopKeepsThePositionAndRunGoesOnFromIt)
{
    OpenedStream s;
    ASSERT_EQ(Open("mpeg4.avi", s), kOk);
    s.stream->SetState(StreamState::Run);
    for (int i = 0; i < 10; ++i) ASSERT_EQ(s.sample->Update(), kOk);
    const int before = s.Shown();
    s.stream->SetState(StreamState::Stop);
    const StreamTime stopped = s.Time();
    EXPECT_EQ(s.sample->Update(), kNotRunning);
    EXPECT_EQ(s.Time(), stopped);
    s.stream->SetState(StreamState::Run);
    ASSERT_EQ(s.sample->Update(), kOk);
    EXPECT_EQ(s.Shown(), before + 1);
    EXPECT_GE(s.Time(), stopped);
}

struct SeekCase {
    const char* file;
};

class ExactSeek : public ::testing::TestWithParam<SeekCase> {};

TEST_P(ExactSeek, DeliversTheFrameWhoseIntervalHoldsTheTarget)
{
    OpenedStream s;
    ASSERT_EQ(Open(GetParam().file, s), kOk);
    // First, a middle one, each side of a key frame (every 12th), the last,
    // then backwards again.
    for (const int frame : {0, 25, 11, 12, 13, 49, 1, 36, 35}) {
        ASSERT_EQ(s.stream->Seek(frame * kFrame), kOk);
        EXPECT_EQ(s.Time(), frame * kFrame) << "a stopped stream stands where it was sought to";
        s.stream->SetState(StreamState::Run);
        ASSERT_EQ(s.sample->Update(), kOk) << "frame " << frame;
        EXPECT_EQ(s.Shown(), frame);
        s.stream->SetState(StreamState::Stop);
    }
    // Inside a frame's interval, and at or past the end: the last frame.
    for (const auto& [target, frame] : {std::pair{7 * kFrame + 399'999, 7}, std::pair{50 * kFrame, 49},
                                        std::pair{80 * kFrame, 49}}) {
        ASSERT_EQ(s.stream->Seek(target), kOk);
        s.stream->SetState(StreamState::Run);
        ASSERT_EQ(s.sample->Update(), kOk) << "target " << target;
        EXPECT_EQ(s.Shown(), frame);
        s.stream->SetState(StreamState::Stop);
    }
}

INSTANTIATE_TEST_SUITE_P(Generated, ExactSeek,
                         ::testing::Values(SeekCase{"mjpeg.avi"}, SeekCase{"mpeg4.avi"}, SeekCase{"mpeg1.mpg"},
                                           SeekCase{"wmv2.asf"}, SeekCase{"h264.mp4"}, SeekCase{"h264.mkv"}),
                         [](const auto& info) {
                             std::string name = info.param.file;
                             for (char& c : name)
                                 if (c == '.') c = '_';
                             return name;
                         });

TEST(Seeking, FarFromAnyKeyFrame)
{
    OpenedStream s;
    ASSERT_EQ(Open("onekey.mp4", s), kOk);  // one key frame, at the start
    for (const int frame : {97, 40, 99}) {
        ASSERT_EQ(s.stream->Seek(frame * kFrame), kOk);
        s.stream->SetState(StreamState::Run);
        ASSERT_EQ(s.sample->Update(), kOk);
        EXPECT_EQ(s.Shown(), frame);
        s.stream->SetState(StreamState::Stop);
    }
}

TEST(Seeking, BackToTheFrameJustShownShowsItAgainAndPlaysOnFromIt)
{
    // What the seek worker does: show the frame, stop, put the stream back
    // at the target; playing then starts with that frame.
    OpenedStream s;
    ASSERT_EQ(Open("h264.mp4", s), kOk);
    s.stream->Seek(20 * kFrame);
    s.stream->SetState(StreamState::Run);
    ASSERT_EQ(s.sample->Update(), kOk);
    ASSERT_EQ(s.Shown(), 20);
    s.stream->SetState(StreamState::Stop);
    s.stream->Seek(20 * kFrame);
    EXPECT_EQ(s.Time(), 20 * kFrame);
    s.stream->SetState(StreamState::Run);
    ASSERT_EQ(s.sample->Update(), kOk);
    EXPECT_EQ(s.Shown(), 20);
    ASSERT_EQ(s.sample->Update(), kOk);
    EXPECT_EQ(s.Shown(), 21);
}

TEST(Seeking, WhileRunningRetargetsAtOnce)
{
    OpenedStream s;
    ASSERT_EQ(Open("mpeg1.mpg", s), kOk);
    s.stream->Seek(5 * kFrame);
    s.stream->SetState(StreamState::Run);
    ASSERT_EQ(s.sample->Update(), kOk);
    for (const int frame : {30, 31, 29, 3}) {
        s.stream->Seek(frame * kFrame);
        ASSERT_EQ(s.sample->Update(), kOk);
        EXPECT_EQ(s.Shown(), frame);
    }
}

TEST(Rate, DoubleSpeedDeliversFramesTwiceAsFast)
{
    OpenedStream s;
    ASSERT_EQ(Open("mjpeg.avi", s), kOk);
    ASSERT_EQ(s.seeking->SetRate(2.0), kOk);
    s.stream->SetState(StreamState::Run);
    ASSERT_EQ(s.sample->Update(), kOk);
    const auto start = steady_clock::now();
    const int first = s.Shown();
    while (s.Shown() < first + 20) ASSERT_EQ(s.sample->Update(), kOk);
    const auto took = duration_cast<milliseconds>(steady_clock::now() - start).count();
    EXPECT_NEAR(static_cast<double>(took), (s.Shown() - first) * 20.0, 60.0);
    EXPECT_TRUE(Failed(s.seeking->SetRate(0.0)));
    EXPECT_TRUE(Failed(s.seeking->SetRate(-1.0)));
}

class PendingUpdate : public ::testing::Test {
protected:
    OpenedStream s;
    std::atomic<Result> result{kOk};
    std::atomic<bool> returned{false};
    std::thread worker;

    // Starts an Update that would wait four seconds for its frame.
    void SetUp() override
    {
        ASSERT_EQ(Open("slow.avi", s), kOk);  // one frame a second
        s.seeking->SetRate(0.25);
        s.stream->SetState(StreamState::Run);
        ASSERT_EQ(s.sample->Update(), kOk);
        worker = std::thread([this] {
            result = s.sample->Update();
            returned = true;
        });
    }
    void TearDown() override
    {
        if (worker.joinable()) worker.join();
    }
};

TEST_F(PendingUpdate, AbortFromAnotherThreadWakesItAtOnce)
{
    s.sample->Abort();
    EXPECT_TRUE(testing::WaitFor([&] { return returned.load(); }, milliseconds(500)));
    worker.join();
    EXPECT_EQ(result.load(), kAborted);
    EXPECT_EQ(s.sample->Update(), kAborted) << "until the stream runs again";
    s.stream->SetState(StreamState::Run);
    s.seeking->SetRate(4.0);
    EXPECT_EQ(s.sample->Update(), kOk);
}

TEST_F(PendingUpdate, StoppingTheStreamWakesIt)
{
    s.stream->SetState(StreamState::Stop);
    EXPECT_TRUE(testing::WaitFor([&] { return returned.load(); }, milliseconds(500)));
    worker.join();
    EXPECT_EQ(result.load(), kNotRunning);
}

}  // namespace
}  // namespace media
