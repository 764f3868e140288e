// The stream and its parts. The clock following the sound, on a hand-turned
// monotonic time, and the lock-free ring between the audio decoder and the
// device callback on their own; then the stream over real files: every generated
// format opens with its size, length and frame time and seeks exactly;
// anything that names other files is refused; frames come in order and on
// time, and on from the frame shown after a stop or a seek; a pending Update
// can always be woken.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <thread>
#include <sys/syscall.h>
#include <unistd.h>

#include "MediaTestSupport.h"
#include "engine/media/AudioRing.h"
#include "engine/media/Clock.h"
#include "engine/media/Timeline.h"

namespace media {
namespace {

struct ClockTest : ::testing::Test {
    std::int64_t now = 1'000'000'000;  // ns
    Clock clock{[this] { return now; }};
    void Advance(std::int64_t ms) { now += ms * 1'000'000; }
};

TEST_F(ClockTest, FollowsTheSoundButIgnoresJitterAndReportsFromBeforeAJump)
{
    clock.Run();
    Advance(100);
    // The sound is 20 ms behind: the clock follows it and runs on from there.
    clock.SyncTo(80 * kUnitsPerMs, now);
    Advance(10);
    EXPECT_EQ(clock.Now(), 90 * kUnitsPerMs);
    // A report within a couple of milliseconds is callback jitter.
    clock.SyncTo(92 * kUnitsPerMs, now);
    EXPECT_EQ(clock.Now(), 90 * kUnitsPerMs);
    // A report made before the last seek describes sound from before it.
    const std::int64_t before = now;
    Advance(5);
    clock.Set(10 * kUnitsPerSecond);
    clock.SyncTo(kUnitsPerSecond, before);
    EXPECT_EQ(clock.Now(), 10 * kUnitsPerSecond);
    // And a stopped clock is not moved by sound, nor does it say that what
    // lies ahead of it is due.
    clock.Stop();
    Advance(5);
    clock.SyncTo(kUnitsPerSecond, now);
    EXPECT_EQ(clock.Now(), 10 * kUnitsPerSecond);
    EXPECT_EQ(clock.NsUntil(10 * kUnitsPerSecond), 0);
    EXPECT_GT(clock.NsUntil(10 * kUnitsPerSecond + 1), 1'000'000'000'000);
    // At double speed it runs twice as fast, from where it stood.
    clock.SetRate(2.0);
    clock.Run();
    Advance(100);
    EXPECT_EQ(clock.Now(), 10 * kUnitsPerSecond + 200 * kUnitsPerMs);
    EXPECT_EQ(clock.NsUntil(10 * kUnitsPerSecond + 400 * kUnitsPerMs), 100'000'000);
}

std::vector<float> Ramp(int samples, float start)
{
    std::vector<float> v(static_cast<std::size_t>(samples));
    for (std::size_t i = 0; i < v.size(); ++i) v[i] = start + static_cast<float>(i);
    return v;
}

TEST(AudioRing, ReadsBackWhatWasWrittenWithTheStreamTimeOfEachSample)
{
    AudioRing ring(100, 2);
    ring.Write(Ramp(60, 0).data(), 30, 1000, 10.0, 1);
    ring.Write(Ramp(40, 1000).data(), 20, 5000, 20.0, 1);
    EXPECT_EQ(ring.Writable(), 50);
    std::vector<float> out(80, -1);
    AudioRing::Span span = ring.Read(out.data(), 40, 1);
    EXPECT_EQ(span.frames, 40);
    ASSERT_TRUE(span.timed);
    EXPECT_EQ(span.startTime, 1000);
    EXPECT_EQ(span.endTime, 5000 + 10 * 20);  // ten frames into the second chunk
    EXPECT_EQ(out[0], 0);
    EXPECT_EQ(out[59], 59);
    EXPECT_EQ(out[60], 1000);
    span = ring.Read(out.data(), 40, 1);
    EXPECT_EQ(span.frames, 10);
    EXPECT_EQ(span.startTime, 5000 + 10 * 20);
    EXPECT_EQ(ring.Queued(), 0);
}

TEST(AudioRing, SoundFromBeforeASeekIsSkippedNotPlayed)
{
    AudioRing ring(100, 1);
    ring.Write(Ramp(40, 0).data(), 40, 0, 10.0, 1);
    ring.Write(Ramp(10, 500).data(), 10, 90000, 10.0, 2);
    std::vector<float> out(50, -1);
    const AudioRing::Span span = ring.Read(out.data(), 50, 2);
    EXPECT_EQ(span.frames, 10);
    EXPECT_EQ(span.startTime, 90000);
    EXPECT_EQ(out[0], 500);
    EXPECT_EQ(out[10], -1);  // untouched beyond what was read
    EXPECT_EQ(ring.Queued(), 0);
}

TEST(AudioRing, RunningOutOfChunkSlotsStopsTheWriterBeforeItOverwrites)
{
    AudioRing ring(1000, 1, 4);
    const float one = 0;
    for (int i = 0; i < 4; ++i) ring.Write(&one, 1, i, 1.0, 0);
    EXPECT_EQ(ring.Writable(), 0);
    float out[4];
    ring.Read(out, 1, 0);
    EXPECT_GT(ring.Writable(), 0);
}

using namespace std::chrono;
using testing::Open;
using testing::OpenedStream;

constexpr StreamTime kFrame = 400'000;  // 25 frames per second

// Runs a stopped stream for one frame and stops it again: the frame shown.
int RunOne(OpenedStream& s)
{
    s.stream->SetState(StreamState::Run);
    const Result r = s.sample->Update();
    s.stream->SetState(StreamState::Stop);
    return r == kOk ? s.Shown() : -1;
}

int ShowAt(OpenedStream& s, StreamTime time)
{
    s.stream->Seek(time);
    return RunOne(s);
}

struct Format {
    const char* file;
    int width, height, frames;
    std::vector<int> seeks;  // frames sought to, in this order
};
// A middle one, each side of a key frame (every 12th), the last, then
// backwards again.
const std::vector<int> kSeeks = {0, 25, 11, 12, 13, 49, 1, 36, 35};

class EveryFormat : public ::testing::TestWithParam<Format> {};

TEST_P(EveryFormat, OpensWithItsSizeAndLengthAndSeeksToTheFrameWhoseIntervalHoldsTheTarget)
{
    const Format& f = GetParam();
    OpenedStream s;
    ASSERT_EQ(Open(f.file, s), kOk);
    EXPECT_EQ(s.width, f.width);
    EXPECT_EQ(s.height, f.height);
    EXPECT_EQ(s.timePerFrame, kFrame);
    // The length counts whole frames, give or take the container's rounding
    // and a sound track that runs on for part of a frame.
    EXPECT_NEAR(static_cast<double>(s.duration), f.frames * kFrame, 2.0 * kFrame);
    std::uint32_t caps = 0;
    ASSERT_EQ(s.seeking->GetCapabilities(caps), kOk);
    EXPECT_EQ(caps & kCanSeekAbsolute, kCanSeekAbsolute);
    EXPECT_EQ(s.Time(), 0);
    for (const int frame : f.seeks) {
        ASSERT_EQ(s.stream->Seek(frame * kFrame), kOk);
        EXPECT_EQ(s.Time(), frame * kFrame) << "a stopped stream stands where it was sought to";
        EXPECT_EQ(RunOne(s), frame);
    }
    // Inside a frame's interval, and at or past the end: the last frame.
    EXPECT_EQ(ShowAt(s, 8 * kFrame - 1), 7);
    EXPECT_EQ(ShowAt(s, f.frames * kFrame), f.frames - 1);
    EXPECT_EQ(ShowAt(s, (f.frames + 30) * kFrame), f.frames - 1);
}

INSTANTIATE_TEST_SUITE_P(Generated, EveryFormat,
                         ::testing::Values(Format{"mjpeg.avi", 320, 240, 50, kSeeks},
                                           Format{"mpeg4.avi", 320, 240, 50, kSeeks},
                                           Format{"mpeg1.mpg", 320, 240, 50, kSeeks},
                                           Format{"wmv2.asf", 320, 240, 50, kSeeks},
                                           Format{"h264.mp4", 320, 240, 50, kSeeks},
                                           Format{"h264.mkv", 320, 240, 50, kSeeks},
                                           Format{"videoonly.avi", 320, 240, 50, kSeeks},
                                           Format{"odd.avi", 321, 241, 25, {0, 12, 11, 13, 24, 1}},
                                           // One key frame, at the start: every seek is far from it.
                                           Format{"onekey.mp4", 320, 240, 100, {97, 40, 99}}),
                         [](const auto& info) {
                             std::string name = info.param.file;
                             std::replace(name.begin(), name.end(), '.', '_');
                             return name;
                         });

TEST(Timeline, TheTwoFieldsOfAPictureAreOneFrameAndItsKeyFramesAreKnown)
{
    // 1080i as camcorders write it: 25 pictures a second, each as two field
    // packets 20 ms apart, a key frame every 12; then pictures coded whole.
    PictureTimes packets;
    for (int n = 0; n < 31; ++n) {
        packets.Add(n * kFrame, true, n % 12 == 0);
        packets.Add(n * kFrame + kFrame / 2, true, false);
    }
    for (int n = 31; n < 40; ++n) packets.Add(n * kFrame, false, false);
    const Timeline t = Timeline::Of(std::move(packets), FrameTiming::OfTimePerFrame(kFrame), kUnitsPerMs, 0);
    EXPECT_FALSE(t.Numbers()) << "40 pictures at one steady rate, numbered by it";
    EXPECT_EQ(t.lastPicture, 39 * kFrame);
    EXPECT_EQ(t.end, 40 * kFrame);
    EXPECT_EQ(t.keyFrames, (std::vector<StreamTime>{0, 12 * kFrame, 24 * kFrame}));
    EXPECT_EQ(t.KeyFrameAtOrBefore(20 * kFrame), 12 * kFrame);
}

TEST(Timeline, ARecordingReadWhileBeingWrittenIsNumberedOnPastItsLastPicture)
{
    // At 30000/1001, stamped on the 90 kHz clock.
    const FrameTiming rate(30000, 1001);
    const StreamTime tick = kUnitsPerSecond / 90'000;
    auto stamp = [](std::int64_t ticks) { return (ticks * kUnitsPerSecond + 45'000) / 90'000; };

    // The writer's last group is ragged (two pictures before its last one
    // are not in the file yet): still one steady rate.
    PictureTimes ragged;
    for (int n = 0; n < 100; ++n)
        if (n != 96 && n != 97) ragged.Add(stamp(n * 3003), false, n % 30 == 0);
    EXPECT_FALSE(Timeline::Of(std::move(ragged), rate, tick, 0).Numbers());
    // The same gap before the last key frame is a picture that is missing.
    PictureTimes gap;
    for (int n = 0; n < 100; ++n)
        if (n != 56) gap.Add(stamp(n * 3003), false, n % 30 == 0);
    EXPECT_TRUE(Timeline::Of(std::move(gap), rate, tick, 0).Numbers());

    // Twice the rate for a while, so numbered by its pictures; then the file
    // grew, and an hour later each picture still has its own number, whose
    // time leads back to it.
    PictureTimes packets;
    for (int n = 0; n < 20; ++n) packets.Add(stamp(n * 1501), false, n == 0);
    for (int n = 10; n < 110; ++n) packets.Add(stamp(n * 3003), false, false);
    const Timeline t = Timeline::Of(std::move(packets), rate, tick, 0);
    ASSERT_TRUE(t.Numbers());
    ASSERT_EQ(t.Count(), 120);
    for (const std::int64_t n : {110LL, 111LL, 1000LL, 108'000LL}) {
        const int frame = 119 + static_cast<int>(n - 109);
        EXPECT_EQ(t.FrameAt(stamp(n * 3003)), frame) << n;
        EXPECT_EQ(t.FrameAt(stamp(n * 3003 - 1501)), frame - 1) << n;
        EXPECT_EQ(t.FrameAt(t.TimeOf(frame)), frame) << n;
        EXPECT_LE(std::abs(t.TimeOf(frame) - stamp(n * 3003)), tick) << n;
    }
}

// The bytes this process's thread called `name` has read so far.
long long BytesReadBy(const std::string& name)
{
    for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
        std::string comm;
        std::getline(std::ifstream(task.path() / "comm"), comm);
        if (comm != name) continue;
        std::ifstream io(task.path() / "io");
        for (std::string key; io >> key;) {
            long long value = 0;
            io >> value;
            if (key == "rchar:") return value;
        }
    }
    return -1;
}

TEST(Seeking, TheEndOfARecordingWithoutAnIndexIsFoundWithoutReadingTheWholeFile)
{
    // The last key frame lies 12 s before the end: a seek there lands after
    // it, and must reach back to it, at once after the open and once the
    // file's key frames are known; never by reading the file from its start.
    const auto size = static_cast<long long>(std::filesystem::file_size(testing::MoviePath("longgop.ts")));
    OpenedStream s;
    ASSERT_EQ(Open("longgop.ts", s), kOk);
    ASSERT_TRUE(QTest::qWaitFor([] { return BytesReadBy("reelscope-read") >= 0; }));
    for (const int frame : {2999, 2990, 2999}) {
        const long long before = BytesReadBy("reelscope-read");
        EXPECT_EQ(ShowAt(s, frame * kFrame), frame);
        EXPECT_LT(BytesReadBy("reelscope-read") - before, size / 2) << frame;
        ASSERT_EQ(ShowAt(s, 0), 0);
    }
}

TEST(Opening, FilesThatNameOtherFilesOrAddressesAreRefused)
{
    // Each would make FFmpeg open what it names; a movie is one local file.
    const auto dir = std::filesystem::temp_directory_path() / ("reelscope-lists-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    std::filesystem::copy_file(testing::MoviePath("mjpeg.avi"), dir / "part.avi");
    std::ofstream(dir / "list.avi") << "ffconcat version 1.0\nfile 'part.avi'\n";
    std::ofstream(dir / "list.m3u8") << "#EXTM3U\n#EXT-X-TARGETDURATION:2\n#EXTINF:2.0,\nhttp://127.0.0.1:9/a.ts\n"
                                        "#EXT-X-ENDLIST\n";
    for (const char* list : {"list.avi", "list.m3u8"}) {
        OpenedStream s;
        EXPECT_TRUE(Failed(Open((dir / list).string(), s))) << list;
    }
    std::filesystem::remove_all(dir);
}

TEST(Playing, FramesComeInOrderNeverBeforeTheirTimeAtNormalAndDoubleSpeedAndTheEndStays)
{
    for (const double rate : {1.0, 2.0}) {
        OpenedStream s;
        ASSERT_EQ(Open("mjpeg.avi", s), kOk);
        ASSERT_EQ(s.seeking->SetRate(rate), kOk);
        // The clock starts with the first picture, however long that took:
        // no frame can be due before this moment and its time.
        const auto start = steady_clock::now();
        ASSERT_EQ(s.stream->SetState(StreamState::Run), kOk);
        ASSERT_EQ(s.sample->Update(), kOk);
        ASSERT_EQ(s.Shown(), 0);
        int last = 0;
        Result r = kOk;
        while ((r = s.sample->Update()) == kOk) {
            const int frame = s.Shown();
            ASSERT_GT(frame, last) << "frames come in order";
            // Never early, by the stream's own clock and by the wall's. How
            // late a busy machine makes them is the benchmarks' to measure.
            EXPECT_GE(s.Time(), frame * kFrame) << "frame " << frame << " at " << rate;
            const double ms = duration<double, std::milli>(steady_clock::now() - start).count();
            EXPECT_GE(ms, frame * 40 / rate) << "frame " << frame << " at " << rate;
            last = frame;
        }
        EXPECT_EQ(r, kEndOfStream);
        EXPECT_EQ(last, 49);
        // The end is a status of its own, and it stays.
        EXPECT_EQ(s.sample->Update(), kEndOfStream);
        s.stream->SetState(StreamState::Stop);
        EXPECT_EQ(s.Time(), 49 * kFrame) << "stopped, it stands on its last picture";
        EXPECT_TRUE(Failed(s.seeking->SetRate(0.0)));
        EXPECT_TRUE(Failed(s.seeking->SetRate(-1.0)));
    }
}

TEST(Playing, GoesOnFromTheFrameShownAfterAStopASeekBackToItOrASeekWhileRunning)
{
    OpenedStream s;
    ASSERT_EQ(Open("mpeg1.mpg", s), kOk);
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
    // A seek while running retargets at once.
    for (const int frame : {30, 31, 29, 3}) {
        s.stream->Seek(frame * kFrame);
        ASSERT_EQ(s.sample->Update(), kOk);
        EXPECT_EQ(s.Shown(), frame);
    }
    // What the seek worker does: show the frame, stop, put the stream back
    // at the target; playing then starts with that frame.
    ASSERT_EQ(ShowAt(s, 20 * kFrame), 20);
    s.stream->Seek(20 * kFrame);
    EXPECT_EQ(s.Time(), 20 * kFrame);
    s.stream->SetState(StreamState::Run);
    for (const int frame : {20, 21}) {
        ASSERT_EQ(s.sample->Update(), kOk);
        EXPECT_EQ(s.Shown(), frame);
    }
}

// Whether the thread `tid` of this process is asleep in the kernel.
bool Asleep(pid_t tid)
{
    std::ifstream stat("/proc/self/task/" + std::to_string(tid) + "/stat");
    std::string line;
    std::getline(stat, line);
    const std::size_t close = line.rfind(')');
    return close != std::string::npos && close + 2 < line.size() && line[close + 2] == 'S';
}

TEST(PendingUpdate, AnAbortOrAStopWakesAnUpdateThatWaitsForItsFrame)
{
    for (const bool abort : {true, false}) {
        // Left to itself, a waiting Update looks at the clock again only
        // after a minute: only the wake can return it sooner.
        MediaOptions options;
        options.lookAgainNs = 60'000'000'000;
        OpenedStream s;
        ASSERT_EQ(Open("slow.avi", s, options), kOk);  // a frame a second: at a quarter speed, four seconds a frame
        s.seeking->SetRate(0.25);
        s.stream->SetState(StreamState::Run);
        ASSERT_EQ(s.sample->Update(), kOk);
        std::atomic<pid_t> tid{0};
        std::atomic<Result> result{kOk};
        std::atomic<bool> returned{false};
        std::thread worker([&] {
            tid = static_cast<pid_t>(::syscall(SYS_gettid));
            result = s.sample->Update();
            returned = true;
        });
        // It waits first; then the wake, long before the frame is due.
        EXPECT_TRUE(QTest::qWaitFor([&] { return tid != 0 && Asleep(tid); }));
        if (abort) s.sample->Abort();
        else s.stream->SetState(StreamState::Stop);
        EXPECT_TRUE(QTest::qWaitFor([&] { return returned.load(); }, 2000)) << abort;
        worker.join();
        EXPECT_EQ(result.load(), abort ? kAborted : kNotRunning);
        if (!abort) continue;
        EXPECT_EQ(s.sample->Update(), kAborted) << "until the stream runs again";
        s.stream->SetState(StreamState::Run);
        s.seeking->SetRate(4.0);
        EXPECT_EQ(s.sample->Update(), kOk);
    }
}

}  // namespace
}  // namespace media
