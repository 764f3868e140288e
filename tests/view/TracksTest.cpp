// Sound tracks and subtitles as a person meets them: the menus list every
// track with its number and language ("外部" for a file), choosing goes
// through the command table and is remembered for the next movie; the
// subtitle of the frame shown is on screen after a step back, after a choice
// made while paused and in full screen, but never in the copy; a subtitle
// file dropped on a movie joins it, and one that cannot be read is told.

#include <QPainter>
#include <QTest>

#include "PlayerFixture.h"
#include "engine/FullScreenWindow.h"

namespace playertest {
namespace {

using media::TrackKind;

class Tracks : public PlayerFixture {
protected:
    void SetUp() override
    {
        PlayerFixture::SetUp();
        Start();
    }
    // The frame shown, as the engine draws it without subtitles at the size
    // of `shown`, and how many of the pixels shown differ from it.
    std::pair<int, int> Look(const QImage& shown, const QRect& picture)
    {
        QImage bare(picture.size(), QImage::Format_RGB32);
        {
            QPainter dc(&bare);
            if (!engine->DrawFrame(dc, engine::Rect{0, 0, bare.width(), bare.height()})) return {-1, 0};
        }
        const QImage on = shown.copy(picture).convertToFormat(QImage::Format_RGB32);
        int differ = 0;
        for (int y = 0; y < bare.height(); ++y)
            for (int x = 0; x < bare.width(); ++x) differ += (on.pixel(x, y) & 0xFFFFFF) != (bare.pixel(x, y) & 0xFFFFFF);
        return {ReadFrameNumber(bare), differ};
    }
    std::pair<int, int> OnScreen() { return Look(Painted(), QRect(QPoint(0, 0), engine->size())); }
    static constexpr int kSubtitlePixels = 20;
};

TEST_F(Tracks, TheMenusListEveryTrackAndAChoiceIsKeptForTheNextMovie)
{
    ASSERT_TRUE(Open("tracks.mkv"));
    // Labels from the update handlers; items past the last track are not handled.
    const std::pair<int, const char*> labels[] = {
        {ID_SOUND_TRACK1, "&1 英語 [eng] aac 2ch"},
        {ID_SOUND_TRACK1 + 1, "&2 フランス語 [fra] aac 2ch"},
        {ID_SUBTITLE_TRACK1, "&1 日本語 [jpn] subrip"},
        {ID_SUBTITLE_TRACK1 + 1, "&2 英語 [eng] 「Signs」 ass"},
    };
    for (const auto& [id, text] : labels) EXPECT_EQ(State(id).text, QString::fromUtf8(text)) << id;
    view::CommandState none;
    EXPECT_FALSE(frame->OnCmdMsg(ID_SOUND_TRACK1 + 2, &none));
    EXPECT_FALSE(frame->OnCmdMsg(ID_SUBTITLE_TRACK1 + 2, &none));
    // The film's default sound; Japanese subtitles, as a first run prefers.
    EXPECT_TRUE(State(ID_SOUND_TRACK1).checked);
    EXPECT_TRUE(State(ID_SUBTITLE_TRACK1).checked);
    EXPECT_FALSE(State(ID_SUBTITLE_OFF).checked);

    Command(ID_SUBTITLE_OFF);
    EXPECT_TRUE(State(ID_SUBTITLE_OFF).checked);
    EXPECT_EQ(engine->GetSelectedTrack(TrackKind::Subtitle), -1);
    EXPECT_TRUE(ReadSettings().contains(QStringLiteral("Subtitles=0")));
    Command(ID_SUBTITLE_TRACK1 + 1);
    Command(ID_SOUND_TRACK1 + 1);
    EXPECT_EQ(engine->GetSelectedTrack(TrackKind::Subtitle), 1);
    EXPECT_EQ(engine->GetSelectedTrack(TrackKind::Sound), 1);
    const QString settings = ReadSettings();
    for (const char* key : {"Subtitles=1", "SoundLanguages=fra", "SubtitleLanguages=\"eng,jpn\""})
        EXPECT_TRUE(settings.contains(QString::fromLatin1(key))) << key << "\n" << settings.toStdString();

    // The next run opens the film with the languages chosen.
    Start();
    ASSERT_TRUE(Open("tracks.mkv"));
    EXPECT_TRUE(State(ID_SOUND_TRACK1 + 1).checked);
    EXPECT_TRUE(State(ID_SUBTITLE_TRACK1 + 1).checked);

    // Files beside a movie are listed after its own tracks, as "外部", in
    // their names' order, with the language their names give.
    ASSERT_TRUE(Open("beside.avi"));
    EXPECT_EQ(State(ID_SUBTITLE_TRACK1).text, QString::fromUtf8("&1 外部 フランス語 [fra] beside.fr.srt"));
    EXPECT_EQ(State(ID_SUBTITLE_TRACK1 + 1).text, QString::fromUtf8("&2 外部 日本語 [jpn] beside.ja.srt"));
    EXPECT_EQ(State(ID_SUBTITLE_TRACK1 + 2).text, QString::fromUtf8("&3 外部 言語不明 beside.srt"));
    EXPECT_EQ(State(ID_SOUND_TRACK1).text, QString::fromUtf8("&1 言語不明 pcm_s16le 2ch"));
    EXPECT_TRUE(State(ID_SUBTITLE_TRACK1 + 1).checked) << "Japanese, the language preferred after English";
    EXPECT_TRUE(messages.texts.empty());
}

TEST_F(Tracks, TheSubtitleOfTheFrameShownIsOnScreenAfterAStepBackAPausedChoiceAndInFullScreenButNotInTheCopy)
{
    ASSERT_TRUE(Open("tracks.mkv"));
    At(22);
    EXPECT_EQ(OnScreen(), std::make_pair(22, 0));
    // Back into the first cue (frames 10 to 20), one frame at a time.
    Command(ID_STEP_BACK);
    Command(ID_STEP_BACK);
    ASSERT_TRUE(Idle());
    ASSERT_TRUE(QTest::qWaitFor([&] { return OnScreen().first == 20; }));
    EXPECT_GT(OnScreen().second, kSubtitlePixels);
    At(10);
    EXPECT_GT(OnScreen().second, kSubtitlePixels);
    Command(ID_STEP_BACK);
    ASSERT_TRUE(Idle());
    ASSERT_TRUE(QTest::qWaitFor([&] { return OnScreen().first == 9; }));
    EXPECT_EQ(OnScreen().second, 0);

    // Chosen while paused, the picture standing shows it at once.
    At(12);
    Command(ID_SUBTITLE_OFF);
    EXPECT_EQ(OnScreen(), std::make_pair(12, 0));
    Command(ID_SUBTITLE_TRACK1 + 1);
    EXPECT_GT(OnScreen().second, kSubtitlePixels);

    // The copy is the movie's own picture.
    QImage copied;
    view->SetClipboardWriter([&](const QImage& image) {
        copied = image;
        return true;
    });
    Command(ID_EDIT_COPY);
    ASSERT_FALSE(copied.isNull());
    EXPECT_EQ(Look(copied, copied.rect()), std::make_pair(12, 0));

    // In full screen, over the letter-boxed picture at the screen's size.
    Command(ID_FULL_SCREEN);
    ASSERT_TRUE(engine->FullScreenWnd());
    const engine::Rect box = engine->ScreenRect();
    const auto shown = [&] { return Look(engine->FullScreenWnd()->Target().Snapshot(), engine::ToQRect(box)); };
    ASSERT_TRUE(QTest::qWaitFor([&] { return shown().first == 12; }));
    EXPECT_GT(shown().second, kSubtitlePixels * box.Height() / engine->height());
    Command(ID_FULL_SCREEN);
}

TEST_F(Tracks, ASubtitleFileDroppedOnAMovieJoinsItAndOneThatCannotBeReadIsToldWhileTheMoviePlaysOn)
{
    ASSERT_TRUE(Open("h264.mp4"));
    EXPECT_FALSE(State(ID_SUBTITLE_TRACK1).enabled);
    Drop(frame, {QUrl::fromLocalFile(QString::fromStdString(MoviePath("sub-utf8.srt")))});
    EXPECT_EQ(view->MoviePath(), MovieBytes("h264.mp4")) << "the movie stays";
    EXPECT_EQ(State(ID_SUBTITLE_TRACK1).text, QString::fromUtf8("&1 外部 言語不明 sub-utf8.srt"));
    EXPECT_TRUE(State(ID_SUBTITLE_TRACK1).checked);

    const QByteArray broken = CopyMovie("random.avi", QStringLiteral("broken.srt"));
    Drop(frame, {QUrl::fromLocalFile(QFile::decodeName(broken))});
    ASSERT_EQ(messages.texts.size(), 1u);
    EXPECT_TRUE(messages.texts[0].contains(QStringLiteral("broken.srt"))) << messages.texts[0].toStdString();
    EXPECT_EQ(engine->GetTracks(TrackKind::Subtitle).size(), 1u);
    EXPECT_EQ(view->MoviePath(), MovieBytes("h264.mp4"));
    Command(ID_PLAY);
    ASSERT_TRUE(QTest::qWaitFor([&] { return Kept() >= 5; }));
}

}  // namespace
}  // namespace playertest
