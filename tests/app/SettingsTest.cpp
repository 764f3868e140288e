// What the program keeps between runs: the switches, the top-most frame,
// the recent files, and what it does with a store it cannot read.

#include <QDir>
#include <QFile>
#include <QSettings>
#include <map>

#include "PlayerFixture.h"
#include "app/RecentFileList.h"
#include "app/Settings.h"
#include "resources/UiResources.h"

namespace playertest {
namespace {

class Settings : public PlayerFixture {};

TEST_F(Settings, AFirstRunStartsWithEverySwitchOffAndWritesNothing)
{
    Start();
    EXPECT_FALSE(view->m_bShowTime);
    EXPECT_FALSE(view->m_bAutoReplay);
    EXPECT_FALSE(view->m_bStrip);
    EXPECT_FALSE(view->m_bScrollBar);
    EXPECT_FALSE(frame->IsTopMost());
    EXPECT_EQ(frame->PaneText(1), "Frame");
    EXPECT_FALSE(State(ID_FILE_MRU_FILE1).enabled);
    player.reset();
    EXPECT_FALSE(QFile::exists(SettingsFile()));
}

TEST_F(Settings, EachToggleWritesItsOwnKeyAtOnceAndARestartBringsItBack)
{
    Start();
    const std::vector<std::pair<int, QString>> toggles = {{ID_TIME_DISPLAY, "FrameTime"},
                                                          {ID_AUTO_REPLAY, "AutoReplay"},
                                                          {ID_VIEW_SCROLL, "PreViewFlag"},
                                                          {ID_VIEW_SCROLLBAR, "ScrollBar"},
                                                          {ID_VIEW_TOPMOST, "TopMost"}};
    auto stored = [&] {
        QSettings file(SettingsFile(), QSettings::IniFormat);
        std::map<QString, QString> values;
        for (const QString& k : file.allKeys()) values[k] = file.value(k).toString();
        return values;
    };
    for (const auto& [id, key] : toggles) {
        auto before = stored();
        Command(id);
        auto after = stored();
        // Exactly one value changed, the toggled switch's, now 1.
        const QString path = QString::fromLatin1(id == ID_VIEW_TOPMOST ? "MainFrame/" : "MCI/") + key;
        EXPECT_EQ(after[path], "1") << key.toStdString();
        after.erase(path);
        before.erase(path);
        EXPECT_EQ(after, before) << key.toStdString();
    }
    Start();
    EXPECT_TRUE(view->m_bShowTime);
    EXPECT_TRUE(view->m_bAutoReplay);
    EXPECT_TRUE(view->m_bStrip);
    EXPECT_TRUE(view->m_bScrollBar);
    EXPECT_TRUE(frame->IsTopMost());
    EXPECT_TRUE(frame->windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_EQ(frame->PaneText(1), "Time");
    EXPECT_TRUE(State(ID_VIEW_TOPMOST).checked);
}

TEST_F(Settings, AnyNonZeroValueIsOnAndSwitchingItOffWritesZero)
{
    WriteSettings("[MCI]\nAutoReplay=2\nFrameTime=-7\n[MainFrame]\nTopMost=2\n");
    Start();
    EXPECT_TRUE(view->m_bAutoReplay);
    EXPECT_TRUE(view->m_bShowTime);
    EXPECT_TRUE(frame->IsTopMost());
    EXPECT_TRUE(State(ID_VIEW_TOPMOST).checked);
    Command(ID_AUTO_REPLAY);
    Command(ID_VIEW_TOPMOST);
    EXPECT_TRUE(ReadSettings().contains("AutoReplay=0"));
    EXPECT_TRUE(ReadSettings().contains("TopMost=0"));
    EXPECT_FALSE(frame->windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_FALSE(State(ID_VIEW_TOPMOST).checked);
}

TEST_F(Settings, ValuesThatAreNotNumbersReadAsOff)
{
    WriteSettings("[MCI]\nAutoReplay=yes\nScrollBar=\nPreViewFlag=0x1\n");
    Start();
    EXPECT_FALSE(view->m_bAutoReplay);
    EXPECT_FALSE(view->m_bScrollBar);
    EXPECT_FALSE(view->m_bStrip);
}

class RecentFiles : public PlayerFixture {};

TEST_F(RecentFiles, TheSameFileTwiceKeepsOneEntryAtTheTop)
{
    Start();
    ASSERT_TRUE(Open("mjpeg.avi"));
    ASSERT_TRUE(Open("h264.mp4"));
    // However the same file is named, it is one entry.
    const QString saved = QDir::currentPath();
    QDir::setCurrent(QStringLiteral(TEST_MOVIE_DIR));
    ASSERT_EQ(view->OpenMovieFile("./mjpeg.avi"), 0);
    ASSERT_EQ(view->OpenMovieFile("..//testmovies/./mjpeg.avi"), 0);
    QDir::setCurrent(saved);
    app::RecentFileList& recent = player->RecentFiles();
    ASSERT_EQ(recent.Count(), 2);
    EXPECT_EQ(recent.Path(0), MovieBytes("mjpeg.avi"));
    EXPECT_EQ(recent.Path(1), MovieBytes("h264.mp4"));
    // Saved as they change, so a program that is killed keeps them.
    app::RecentFileList reloaded;
    reloaded.Load();
    ASSERT_EQ(reloaded.Count(), 2);
    EXPECT_EQ(reloaded.Path(0), MovieBytes("mjpeg.avi"));
    // Four at most, the oldest falling off.
    for (const char* movie : {"mpeg4.avi", "mpeg1.mpg", "wmv2.asf", "h264.mkv"}) ASSERT_TRUE(Open(movie));
    ASSERT_EQ(recent.Count(), 4);
    EXPECT_EQ(recent.Path(0), MovieBytes("h264.mkv"));
    EXPECT_EQ(recent.Path(3), MovieBytes("mpeg4.avi"));
}

TEST_F(RecentFiles, AnEntryThatNoLongerOpensIsRemoved)
{
    QTemporaryDir dir;
    const QString copy = dir.path() + "/gone.avi";
    ASSERT_TRUE(QFile::copy(QString::fromStdString(MoviePath("short.avi")), copy));
    Start();
    ASSERT_TRUE(view->OpenMovieFile(QFile::encodeName(copy)) == 0);
    ASSERT_TRUE(Open("mjpeg.avi"));
    ASSERT_TRUE(QFile::remove(copy));
    Command(ID_FILE_MRU_FILE1 + 1);
    EXPECT_EQ(messages.texts.back(), "Could not Open format not supported. ?");
    ASSERT_EQ(player->RecentFiles().Count(), 1);
    EXPECT_EQ(player->RecentFiles().Path(0), MovieBytes("mjpeg.avi"));
    // The one that works opens from the list.
    Command(ID_FILE_MRU_FILE1);
    EXPECT_EQ(engine->GetPlayState(), engine::MovieEngine::Playing);
}

TEST(RecentFileNames, LongPathsKeepTheRootAndTheWholeName)
{
    using app::RecentFileList;
    EXPECT_EQ(RecentFileList::Abbreviate("/tmp/b.avi", 30), "/tmp/b.avi");
    EXPECT_EQ(RecentFileList::Abbreviate("/home/someone/Videos/holiday/beach.avi", 30), "/.../Videos/holiday/beach.avi");
    EXPECT_EQ(RecentFileList::Abbreviate("/home/someone/Videos/2026/summer-holiday/beach.avi", 30),
              "/.../summer-holiday/beach.avi");
    EXPECT_EQ(RecentFileList::Abbreviate("/home/a-very-long-name-indeed-for-a-file.avi", 30),
              "a-very-long-name-indeed-for-a-file.avi");
}

TEST_F(RecentFiles, TheMenuShowsNumberedEntriesOrAGreyedItem)
{
    Start();
    EXPECT_EQ(ui::MenuText(ID_FILE_MRU_FILE1), "最近使ったﾌｧｲﾙ");
    ASSERT_TRUE(Open("short.avi"));
    EXPECT_TRUE(player->RecentFiles().MenuText(0).startsWith("&1 "));
    EXPECT_TRUE(player->RecentFiles().MenuText(0).endsWith("short.avi"));
}

}  // namespace
}  // namespace playertest
