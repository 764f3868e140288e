// The main window as a person meets it: its size, the caption, the status
// panes, the context menus, a bad file, the command line, drops, and a
// desktop without a session bus; every command's enable and check rule, and
// what a disabled command does from any source: nothing; what the program
// keeps between runs: the switches, the top-most frame, the recent files,
// and what it does with a store it cannot read.

#include <QAction>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDBusConnection>
#include <QLabel>
#include <QMenuBar>
#include <QScrollBar>
#include <QSettings>
#include <QStatusBar>
#include <QTest>
#include <QToolBar>
#include <QWindow>
#include <QProcess>
#include <array>
#include <csignal>
#include <fstream>
#include <iterator>
#include <sstream>
#include <filesystem>

#include "PlayerFixture.h"
#include "app/RecentFileList.h"

namespace playertest {
namespace {

const QString kOpenFailed = QStringLiteral("Could not Open format not supported. ?");

class Window : public PlayerFixture {};

TEST_F(Window, TheFirstWindowIs400By400WithItsFrame)
{
    Start();
    EXPECT_EQ(frame->frameGeometry().size(), QSize(400, 400));
}

TEST_F(Window, TheCaptionIsTheFileNameExactly)
{
    Start();
    EXPECT_EQ(frame->windowTitle(), "Reelscope");
    // Only slashes separate folders; nothing in a name is Qt's to interpret.
    for (const QString& name : {QStringLiteral("Live: Tokyo\\2019.avi"), QStringLiteral("clip[*].avi"),
                                QStringLiteral("It's a \"movie\" 映画.avi")}) {
        ASSERT_EQ(view->OpenMovieFile(CopyMovie("short.avi", name)), 0);
        EXPECT_EQ(frame->windowHandle()->title(), name);
    }
}

TEST_F(Window, NarrowFramesCutTheRightHandPanesOffWithoutOverlapping)
{
    Start();
    ASSERT_TRUE(Open("seven.avi"));
    Command(ID_SIZE_HALF);
    ASSERT_EQ(view->size(), QSize(80, 60));
    const auto panes = frame->statusBar()->findChildren<QLabel*>();
    ASSERT_EQ(panes.size(), 3);
    for (int i = 0; i + 1 < 3; ++i) EXPECT_GE(panes[i + 1]->x(), panes[i]->x() + panes[i]->width()) << i;
    EXPECT_GE(panes[0]->width(), panes[0]->fontMetrics().horizontalAdvance("Seekling"));
}

TEST_F(Window, NoContextMenuButThePlayersOwn)
{
    Start();
    QWidget* toolBarButton = frame->ToolBar()->widgetForAction(frame->ToolBar()->actions().first());
    for (QWidget* widget : {static_cast<QWidget*>(frame->ToolBar()), toolBarButton,
                            static_cast<QWidget*>(frame->menuBar()), static_cast<QWidget*>(view->ScrollBar())}) {
        bool popped = false, looked = false;
        QTimer::singleShot(100, [&] {
            if (QWidget* popup = QApplication::activePopupWidget()) {
                popped = true;
                popup->close();
            }
            looked = true;
        });
        QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(5, 5), widget->mapToGlobal(QPoint(5, 5)));
        QApplication::sendEvent(widget, &event);
        ASSERT_TRUE(QTest::qWaitFor([&] { return looked; }));
        EXPECT_FALSE(popped) << widget->metaObject()->className();
    }
}

TEST_F(Window, ThePlayersKeysActWhereTheyArePressedNeverInADialogOrAMenu)
{
    Start();
    ASSERT_TRUE(Open("mjpeg.avi"));
    At(20);
    QApplication::setActiveWindow(frame);
    const int volume = engine->GetVolume();
    auto unmoved = [&](const char* where) {
        EXPECT_EQ(Kept(), 20) << where;
        EXPECT_EQ(engine->GetVolume(), volume) << where;
        EXPECT_FALSE(engine->IsFullScreen()) << where;
    };
    // The open dialog's keys are its own.
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        EXPECT_TRUE(QTest::qWaitForWindowActive(dialog));
        for (const Qt::Key key : {Qt::Key_Down, Qt::Key_F, Qt::Key_Right, Qt::Key_M})
            QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : dialog, key);
        unmoved("under the dialog");
        dialog->reject();
    });
    Command(ID_FILE_OPEN);
    unmoved("after the dialog");
    // In a menu of the menu bar, Right goes to the next menu.
    QMenuBar* bar = frame->menuBar();
    bar->setActiveAction(bar->actions().at(1));
    ASSERT_TRUE(QTest::qWaitFor([] { return QApplication::activePopupWidget() != nullptr; }));
    QTest::keyClick(QApplication::activePopupWidget(), Qt::Key_Right);
    EXPECT_EQ(bar->activeAction(), bar->actions().at(2));
    QTest::keyClick(QApplication::activePopupWidget(), Qt::Key_Escape);
    unmoved("in the menu");
    // The control menu has its access key.
    EXPECT_TRUE(bar->actions().at(1)->text().contains(QStringLiteral("&")));
}

TEST_F(Window, AlwaysOnTopChangesTheStackingNotTheWindow)
{
    Start();
    QWindow* native = frame->windowHandle();
    const WId id = frame->winId();
    // Never taken down and put up again, which would lose the focus and
    // bring it over full screen.
    struct Hides : QObject {
        int count = 0;
        bool eventFilter(QObject*, QEvent* event) override { return count += event->type() == QEvent::Hide, false; }
    } hides;
    frame->installEventFilter(&hides);
    for (const bool on : {true, false}) {
        Command(ID_VIEW_TOPMOST);
        EXPECT_EQ(frame->windowHandle(), native);
        EXPECT_EQ(frame->winId(), id);
        EXPECT_EQ(hides.count, 0);
        EXPECT_EQ(bool(native->flags() & Qt::WindowStaysOnTopHint), on);
    }
}

TEST_F(Window, ABadFileShowsItsMessageAndLeavesNoMovie)
{
    Start();
    ASSERT_TRUE(Open("mjpeg.avi"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !ShowsIdlePicture(); }));
    EXPECT_FALSE(Open("random.avi"));
    EXPECT_EQ(messages.texts, std::vector<QString>{kOpenFailed});
    EXPECT_EQ(engine->GetPlayState(), -1);
    EXPECT_EQ(frame->windowTitle(), "mjpeg.avi");  // unchanged by the failure
    EXPECT_EQ(player->RecentFiles().Count(), 1);
    // The last movie's picture is gone with it.
    EXPECT_TRUE(ShowsIdlePicture());
}

TEST_F(Window, SoundWithoutPictureAsTheFirstMovieLeavesNoMovieWhileItsMessageIsUp)
{
    // Continuous play on: the tick that runs under the message must find no
    // movie to restart.
    WriteSettings("[MCI]\nAutoReplay=1\n");
    bool ticked = false;
    messages.upUntil = [&] { return ticked = player->MainFrame()->PaneText(0) == "Ready"; };
    Start(MovieBytes("audioonly.avi"));
    EXPECT_TRUE(ticked) << "the tick ran under the message";
    EXPECT_EQ(messages.texts, std::vector<QString>{"Initialization failure in InitRenderToSurface"});
    EXPECT_EQ(engine->GetPlayState(), -1);
    EXPECT_TRUE(ShowsIdlePicture());
    ASSERT_TRUE(Open("short.avi"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return Kept() >= 2; }));
}

TEST_F(Window, TheCommandLineIsOnePath)
{
    const QByteArray spaced = CopyMovie("short.avi", "two words.avi");
    Start(spaced);
    EXPECT_EQ(frame->windowTitle(), "two words.avi");
    EXPECT_GE(engine->GetPlayState(), 0);
    // Quotes are part of the path, so a quoted name is not opened.
    Start("\"" + spaced + "\"");
    EXPECT_EQ(engine->GetPlayState(), -1);
    EXPECT_EQ(frame->windowTitle(), "Reelscope");
    EXPECT_EQ(messages.texts.back(), kOpenFailed);
}

TEST_F(Window, ADropOpensItsFirstFileOnce)
{
    Start();
    Drop(frame, {QUrl::fromLocalFile(QString::fromStdString(MoviePath("short.avi"))),
                 QUrl::fromLocalFile(QString::fromStdString(MoviePath("mjpeg.avi")))});
    EXPECT_EQ(frame->windowTitle(), "short.avi");
    EXPECT_EQ(player->RecentFiles().Count(), 1);
    EXPECT_TRUE(messages.texts.empty());
    // A folder is refused with the open failure's message.
    Drop(frame, {QUrl::fromLocalFile(QDir::tempPath())});
    EXPECT_EQ(messages.texts, std::vector<QString>{kOpenFailed});
    // An address that is no local file is not taken at all.
    Drop(frame, {QUrl("https://example.com/movie.avi")});
    EXPECT_EQ(messages.texts.size(), 1u);
}

// These tests run without a session bus (tests/CMakeLists.txt), where the
// player's place on the desktop is simply missing, without a word.
TEST_F(Window, WithoutASessionBusThePlayerPlaysAndSaysNothing)
{
    ASSERT_FALSE(QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("probe")).isConnected());
    QDBusConnection::disconnectFromBus(QStringLiteral("probe"));
    Start(MovieBytes("h264.mp4"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return engine->GetCurrentFrame() >= 5; }));
    player.reset();  // and leaves as quietly
    EXPECT_TRUE(messages.texts.empty());
}


// The processor time the process `pid` has had, in clock ticks, and
// whether it catches SIGTERM yet.
long long CpuTicks(qint64 pid)
{
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    std::getline(stat, line);
    std::istringstream fields(line.substr(line.rfind(')') + 2));
    std::vector<std::string> f{std::istream_iterator<std::string>(fields), {}};
    return f.size() > 12 ? std::stoll(f[11]) + std::stoll(f[12]) : -1;  // utime and stime, fields 14 and 15
}
bool CatchesTerm(qint64 pid)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("SigCgt:", 0) == 0) return (std::stoull(line.substr(7), nullptr, 16) >> (SIGTERM - 1)) & 1;
    return false;
}

TEST(Signals, TermEndsTheProgramWhateverIsUp)
{
    QTemporaryDir config;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), config.path());
    for (const char* movie : {"audioonly.avi", "frames1000.avi"}) {  // its failure's message up; playing
        QProcess program;
        program.setProcessEnvironment(environment);
        program.start(QStringLiteral(REELSCOPE_PROGRAM), {QString::fromStdString(MoviePath(movie))});
        ASSERT_TRUE(program.waitForStarted());
        // Started up: the message box waits for the user (the process has
        // stopped using the processor for a while); the movie plays.
        const bool box = std::string(movie) == "audioonly.avi";
        long long last = -1;
        int still = 0;
        ASSERT_TRUE(QTest::qWaitFor(
            [&] {
                const long long now = CpuTicks(program.processId());
                still = now == last ? still + 1 : 0;
                last = now;
                return CatchesTerm(program.processId()) && (box ? still >= 30 : now > 10);
            },
            20000));
        ::kill(static_cast<pid_t>(program.processId()), SIGTERM);
        EXPECT_TRUE(program.waitForFinished(10000)) << movie;
        EXPECT_EQ(program.exitStatus(), QProcess::NormalExit) << movie;
        EXPECT_EQ(program.exitCode(), 0) << movie;
        program.kill();
        program.waitForFinished();
    }
}

class CommandRules : public PlayerFixture {};

TEST_F(CommandRules, TheBarsSwitchesAreCheckedAsTheBarsAreShown)
{
    Start();
    for (const int id : {ID_VIEW_TOOLBAR, ID_VIEW_STATUS_BAR}) {
        QWidget* bar = id == ID_VIEW_TOOLBAR ? static_cast<QWidget*>(frame->ToolBar()) : frame->statusBar();
        EXPECT_TRUE(State(id).enabled);
        for (const bool shown : {true, false, true}) {
            EXPECT_EQ(bar->isVisible(), shown) << id;
            EXPECT_EQ(State(id).checked, shown) << id;
            Command(id);
        }
    }
}

TEST_F(CommandRules, ADisabledCommandDoesNothingWhateverSendsIt)
{
    Start();
    ASSERT_TRUE(Open("mjpeg.avi"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return Kept() >= 0; }));
    // The keys reach their commands: the copy key copies...
    QGuiApplication::clipboard()->clear();
    QApplication::setActiveWindow(frame);
    QTest::keyClick(frame, Qt::Key_Insert, Qt::ControlModifier);
    EXPECT_FALSE(QGuiApplication::clipboard()->image().isNull());
    // The toolbar's play button was enabled by the idle refresh...
    QAction* play = frame->Commands().Action(ID_PLAY);
    frame->Commands().Refresh(play);
    ASSERT_TRUE(play->isEnabled());
    // ...then the movie goes, and the button is pressed before the next refresh.
    EXPECT_NE(view->OpenMovieFile(MovieBytes("random.avi")), 0);
    play->trigger();
    EXPECT_EQ(engine->GetPlayState(), -1);
}


QByteArray Garbage()
{
    QByteArray garbage;
    for (int i = 0; i < 4096; ++i) garbage += char((i * 7919) & 0xff);
    return garbage;
}

// The switches, each with its command and its key in the store.
const std::pair<int, const char*> kSwitches[] = {{ID_TIME_DISPLAY, "MCI/FrameTime"},
                                                 {ID_AUTO_REPLAY, "MCI/AutoReplay"},
                                                 {ID_VIEW_SCROLL, "MCI/PreViewFlag"},
                                                 {ID_VIEW_SCROLLBAR, "MCI/ScrollBar"},
                                                 {ID_VIEW_TOPMOST, "MainFrame/TopMost"}};
using Switches = std::array<bool, std::size(kSwitches)>;

struct Store {
    const char* name;
    QByteArray file;  // the settings file before the start; empty: none
    Switches on;      // as read, in the order of kSwitches
    QByteArray recent;  // the one recent file, if any
    bool keptAside;     // the file could not be read and is kept beside the new one
    friend void PrintTo(const Store& s, std::ostream* os) { *os << s.name; }
};

class Settings : public PlayerFixture, public ::testing::WithParamInterface<Store> {
protected:
    Switches Read()
    {
        const Switches on = {view->m_bShowTime, view->m_bAutoReplay, view->m_bStrip, view->m_bScrollBar, frame->IsTopMost()};
        EXPECT_EQ(frame->PaneText(1), on[0] ? "Time" : "Frame");
        EXPECT_EQ(State(ID_VIEW_TOPMOST).checked, on[4]);
        EXPECT_EQ(bool(frame->windowHandle()->flags() & Qt::WindowStaysOnTopHint), on[4]);
        return on;
    }
    std::map<QString, QString> Stored()
    {
        QSettings file(SettingsFile(), QSettings::IniFormat);
        std::map<QString, QString> values;
        for (const QString& k : file.allKeys()) values[k] = file.value(k).toString();
        return values;
    }
};

TEST_P(Settings, AreReadAsWrittenOrAsOffEachWrittenAtOnceAndAStoreThatCannotBeReadIsKeptAside)
{
    const Store& s = GetParam();
    if (!s.file.isEmpty()) WriteSettings(s.file);
    Start();
    EXPECT_EQ(Read(), s.on);
    EXPECT_EQ(player->RecentFiles().Count(), s.recent.isEmpty() ? 0 : 1);
    EXPECT_EQ(State(ID_FILE_MRU_FILE1).enabled, !s.recent.isEmpty());
    if (s.file.isEmpty()) {
        // A first run writes nothing until something changes.
        player.reset();
        EXPECT_FALSE(QFile::exists(SettingsFile()));
        Start();
    }
    // Each switch writes its own key at once, and only that.
    Switches switched = s.on;
    for (std::size_t i = 0; i < switched.size(); ++i) {
        auto before = Stored();
        Command(kSwitches[i].first);
        switched[i] = !switched[i];
        auto after = Stored();
        const QString key = QString::fromLatin1(kSwitches[i].second);
        EXPECT_EQ(after[key], switched[i] ? "1" : "0") << key.toStdString();
        after.erase(key);
        before.erase(key);
        if (!s.keptAside) {
            EXPECT_EQ(after, before) << key.toStdString();
        }
    }
    // What could not be read is kept whole beside the new file.
    EXPECT_EQ(ReadFile(SettingsFile() + ".damaged"), s.keptAside ? s.file : QByteArray());
    // A restart brings the switches back, and the recent files read are
    // kept, the new one first.
    Start();
    EXPECT_EQ(Read(), switched);
    ASSERT_TRUE(Open("short.avi"));
    EXPECT_EQ(player->RecentFiles().Path(0), MovieBytes("short.avi"));
    if (!s.recent.isEmpty()) {
        EXPECT_EQ(player->RecentFiles().Path(1), s.recent);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Stores, Settings,
    ::testing::Values(Store{"FirstRun", {}, {}, {}, false},
                      Store{"AnyNumberButZeroIsOn", "[MCI]\nAutoReplay=2\nFrameTime=-7\n[MainFrame]\nTopMost=2\n",
                            {true, true, false, false, true}, {}, false},
                      Store{"WhatIsNoNumberIsOff", "[MCI]\nAutoReplay=yes\nScrollBar=\nPreViewFlag=0x1\n", {}, {}, false},
                      Store{"GoodWithAComment", "; comment\n[MCI]\nAutoReplay=1\n\n[MainFrame]\nTopMost=0\n",
                            {false, true, false, false, false}, {}, false},
                      Store{"Garbage", Garbage(), {}, {}, true},
                      Store{"RecentFileAmongDamage",
                            "[Recent%20File%20List]\nFile1=/no/such/movie.avi\n[MCI\nAutoReplay=on\n"
                            "garbage line without equals\n",
                            {}, "/no/such/movie.avi", true}),
    [](const auto& info) { return std::string(info.param.name); });

class RecentFiles : public PlayerFixture {};

TEST_F(RecentFiles, FourCleanPathsNewestFirstSavedAsTheyChange)
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
    // Numbered in the menu.
    EXPECT_TRUE(recent.MenuText(0).startsWith("&1 "));
    EXPECT_TRUE(recent.MenuText(0).endsWith("h264.mkv"));
}

TEST_F(RecentFiles, OneThatNoLongerOpensIsRemovedAndOneNamedByAnyBytesOpensAfterARestart)
{
    Start();
    EXPECT_EQ(ui::MenuText(ID_FILE_MRU_FILE1), "最近使ったﾌｧｲﾙ");  // the greyed item of an empty list
    const QByteArray gone = CopyMovie("short.avi", "gone.avi");
    // Bytes that are not UTF-8, made by their bytes: text would not carry them.
    const QByteArray foreign = QFile::encodeName(m_files.path()) + "/caf\xe9-\xff.avi";
    std::filesystem::copy_file(MoviePath("short.avi"), foreign.toStdString());
    ASSERT_EQ(view->OpenMovieFile(gone), 0);
    ASSERT_EQ(view->OpenMovieFile(foreign), 0);
    ASSERT_TRUE(QFile::remove(QFile::decodeName(gone)));
    Start();
    ASSERT_EQ(player->RecentFiles().Path(0), foreign);
    Command(ID_FILE_MRU_FILE1 + 1);
    EXPECT_EQ(messages.texts.back(), "Could not Open format not supported. ?");
    ASSERT_EQ(player->RecentFiles().Count(), 1);
    Command(ID_FILE_MRU_FILE1);
    EXPECT_EQ(engine->GetPlayState(), MovieEngine::Playing);
    EXPECT_EQ(view->MoviePath(), foreign);
}

TEST(RecentFileNames, LongPathsKeepTheRootAndTheWholeName)
{
    for (const auto& [path, shown] :
         {std::pair{"/tmp/b.avi", "/tmp/b.avi"},
          {"/home/someone/Videos/holiday/beach.avi", "/.../Videos/holiday/beach.avi"},
          {"/home/someone/Videos/2026/summer-holiday/beach.avi", "/.../summer-holiday/beach.avi"},
          {"/home/a-very-long-name-indeed-for-a-file.avi", "a-very-long-name-indeed-for-a-file.avi"}})
        EXPECT_EQ(app::RecentFileList::Abbreviate(path, 30), shown);
}

}  // namespace
}  // namespace playertest
