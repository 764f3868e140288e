// Switching sound tracks, heard through SDL's disk driver: a movie whose
// English track is a 440 Hz tone and whose French one is 880 Hz goes from
// the one to the other, with the pictures running on, and the new
// track takes the volume and the speed as the old one had them.

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <vector>

#include "MediaTestSupport.h"

namespace media {
namespace {

constexpr int kRate = 44100;
// Pieces of the capture judged one by one: long enough for a tone's
// crossings to be counted to a few hertz.
constexpr int kPiece = kRate / 50;

// What a piece of the capture is: silence, either tone, or neither (a
// piece where one ends and the other begins).
enum class Heard { Silence, Low, High, Other };

struct Capture {
    std::vector<float> left;  // the left channel
    double RmsDb(std::size_t from, std::size_t count) const
    {
        double sum = 0;
        for (std::size_t i = from; i < from + count; ++i) sum += double(left[i]) * left[i];
        return 10 * std::log10(sum / count + 1e-30);
    }
    Heard Piece(std::size_t from) const
    {
        if (RmsDb(from, kPiece) < -60) return Heard::Silence;
        // A piece the sound starts or stops in is neither tone, though its
        // crossings may count like the other's.
        if (std::abs(RmsDb(from, kPiece / 2) - RmsDb(from + kPiece / 2, kPiece / 2)) > 1) return Heard::Other;
        int crossings = 0;
        for (std::size_t i = from + 1; i < from + kPiece; ++i) crossings += (left[i - 1] < 0) != (left[i] < 0);
        const double hz = crossings / 2.0 / (double(kPiece) / kRate);
        return std::abs(hz - 440) < 30 ? Heard::Low : std::abs(hz - 880) < 40 ? Heard::High : Heard::Other;
    }
    std::vector<Heard> Pieces() const
    {
        std::vector<Heard> pieces;
        for (std::size_t from = 0; from + kPiece <= left.size(); from += kPiece) pieces.push_back(Piece(from));
        return pieces;
    }
};

// Plays the stream to its end; `during(frame)` is called after each picture.
template <typename During>
void Play(testing::OpenedStream& s, During during)
{
    s.stream->SetState(StreamState::Run);
    int last = -1;
    while (s.sample->Update() == kOk) {
        const int frame = s.Shown();
        EXPECT_GT(frame, last) << "the pictures run on, in order";
        last = frame;
        during(frame);
    }
    s.stream->SetState(StreamState::Stop);
}

Capture Read(const std::filesystem::path& file)
{
    std::vector<float> data(std::filesystem::file_size(file) / sizeof(float));
    std::ifstream(file, std::ios::binary)
        .read(reinterpret_cast<char*>(data.data()), static_cast<std::streamsize>(data.size() * sizeof(float)));
    Capture c;
    for (std::size_t i = 0; i + 1 < data.size(); i += 2) c.left.push_back(data[i]);
    return c;
}

struct DiskFile {
    std::filesystem::path path = std::filesystem::temp_directory_path() /
                                 ("reelscope-tracks-" + std::to_string(::getpid()) + ".raw");
    DiskFile() { ::setenv("SDL_DISKAUDIOFILE", path.c_str(), 1); }
    ~DiskFile() { std::filesystem::remove(path); }
};

TEST(SoundTracks, ASwitchWhilePlayingIsHeardFromThenOnAndThePicturesRunOn)
{
    const DiskFile disk;
    {
        testing::OpenedStream s;
        ASSERT_EQ(testing::Open("tracks.mkv", s), kOk);
        std::shared_ptr<StreamTracks> tracks;
        ASSERT_EQ(s.stream->QueryTracks(tracks), kOk);
        const std::vector<TrackInfo> sounds = tracks->Tracks(TrackKind::Sound);
        ASSERT_EQ(sounds.size(), 2u);
        EXPECT_EQ(sounds[0].language, "eng");
        EXPECT_EQ(sounds[1].language, "fra");
        EXPECT_EQ(sounds[1].codec, "aac");
        EXPECT_EQ(sounds[1].channels, 2);
        EXPECT_EQ(tracks->Selected(TrackKind::Sound), 0);
        Play(s, [&](int frame) {
            if (frame == 25) {
                EXPECT_EQ(tracks->Select(TrackKind::Sound, 1), kOk);
            }
        });
        EXPECT_EQ(tracks->Selected(TrackKind::Sound), 1);
    }  // closing the device flushes the file
    const std::vector<Heard> pieces = Read(disk.path).Pieces();
    // The low tone, then the high one: never the other way round, and each
    // for a good part of its second. (How soon the new track is heard is
    // timing, left to the benchmark: a loaded machine may starve the sound.)
    const auto first = [&](Heard h) { return std::find(pieces.begin(), pieces.end(), h) - pieces.begin(); };
    const auto last = [&](Heard h) { return pieces.rend() - std::find(pieces.rbegin(), pieces.rend(), h) - 1; };
    const long n = static_cast<long>(pieces.size());
    ASSERT_LT(first(Heard::High), n) << "the second track was heard";
    EXPECT_LT(last(Heard::Low), first(Heard::High));
    EXPECT_GE(std::count(pieces.begin(), pieces.end(), Heard::Low), 10);
    EXPECT_GE(std::count(pieces.begin(), pieces.end(), Heard::High), 10);
}

TEST(SoundTracks, TheTrackSwitchedToKeepsTheVolumeAndThePitchAtDoubleSpeed)
{
    const DiskFile disk;
    {
        testing::OpenedStream s;
        ASSERT_EQ(testing::Open("tracks.mkv", s), kOk);
        std::shared_ptr<StreamTracks> tracks;
        ASSERT_EQ(s.stream->QueryTracks(tracks), kOk);
        ASSERT_EQ(s.audio->PutVolume(-2000), kOk);  // 20 dB down
        ASSERT_EQ(s.seeking->SetRate(2.0), kOk);
        ASSERT_EQ(tracks->Select(TrackKind::Sound, 1), kOk);  // paused: heard when play starts
        Play(s, [](int) {});
    }
    const Capture c = Read(disk.path);
    const std::vector<Heard> pieces = c.Pieces();
    std::size_t high = 0, first = pieces.size();
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        EXPECT_NE(pieces[i], Heard::Low) << "piece " << i << ": the first track";
        if (pieces[i] == Heard::High) {
            first = std::min(first, i);
            ++high;
        }
    }
    EXPECT_GE(high, 10u) << "the second track was heard";
    ASSERT_LT(first, pieces.size());
    EXPECT_NEAR(c.RmsDb(first * kPiece, kPiece), -9.03 - 20, 1.5);
}

}  // namespace
}  // namespace media
