// The main window as a person meets it: fitting around the picture, the
// caption, drops, the status panes, a bad file, the about box's texts.

#include <QCoreApplication>
#include <QDir>
#include <QDropEvent>
#include <QFile>
#include <QMimeData>
#include <QApplication>
#include <QContextMenuEvent>
#include <QLabel>
#include <QMenuBar>
#include <QScrollBar>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QUrl>
#include <QWindow>

#include "PlayerFixture.h"
#include "resources/UiResources.h"

namespace playertest {
namespace {

class Window : public PlayerFixture {};

TEST_F(Window, FitsTheViewToAnExactClientSize)
{
    Start();
    for (const QSize wanted : {QSize(320, 240), QSize(640, 480), QSize(320, 240), QSize(500, 300)}) {
        frame->FitClientToSize(wanted.width(), wanted.height());
        EXPECT_EQ(view->size(), wanted);
    }
}

TEST_F(Window, OpeningShowsTheMovieAtItsSizeWithTheFileNameAsCaption)
{
    Start();
    EXPECT_EQ(frame->windowTitle(), "Reelscope");
    ASSERT_TRUE(Open("odd.avi"));
    EXPECT_EQ(frame->windowTitle(), "odd.avi");
    EXPECT_EQ(engine->size(), QSize(321, 241));
    EXPECT_EQ(view->size(), QSize(321, 241));
    EXPECT_EQ(engine->pos(), QPoint(0, 0));
}

TEST_F(Window, TheCaptionIsTheFileNameExactly)
{
    QTemporaryDir dir;
    Start();
    // Only slashes separate folders; nothing in a name is Qt's to interpret.
    for (const QString& name : {QStringLiteral("Live: Tokyo\\2019.avi"), QStringLiteral("clip[*].avi")}) {
        const QString named = dir.path() + "/" + name;
        ASSERT_TRUE(QFile::copy(QString::fromStdString(MoviePath("short.avi")), named));
        ASSERT_EQ(view->OpenMovieFile(QFile::encodeName(named)), 0);
        EXPECT_EQ(frame->windowHandle()->title(), name);
    }
}

TEST_F(Window, TheFirstWindowIs400By400WithItsFrame)
{
    Start();
    EXPECT_EQ(frame->frameGeometry().size(), QSize(400, 400));
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
        bool popped = false;
        QTimer::singleShot(100, [&] {
            if (QWidget* popup = QApplication::activePopupWidget()) {
                popped = true;
                popup->close();
            }
        });
        QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(5, 5), widget->mapToGlobal(QPoint(5, 5)));
        QApplication::sendEvent(widget, &event);
        WaitFor([] { return false; }, 200);
        EXPECT_FALSE(popped) << widget->metaObject()->className();
    }
}

TEST_F(Window, TheDisplaySizesAndTheLayoutKeepTheAspectRatio)
{
    Start();
    ASSERT_TRUE(Open("odd.avi"));
    Command(ID_SIZE_HALF);
    EXPECT_EQ(engine->size(), QSize(160, 120));  // 321 x 241 at 50 %, truncated
    EXPECT_EQ(view->size(), QSize(160, 120));
    Command(ID_SIZE_DOUBLE);
    EXPECT_EQ(engine->size(), QSize(642, 482));
    // A wider, lower client centres the picture at its aspect ratio.
    frame->FitClientToSize(800, 482);
    EXPECT_EQ(engine->geometry(), QRect((800 - 642) / 2, 0, 642, 482));
    // A narrower, higher one letter-boxes it.
    frame->FitClientToSize(642, 600);
    EXPECT_EQ(engine->geometry(), QRect(0, (600 - 482) / 2, 642, 482));
}

TEST_F(Window, ABadFileShowsItsMessageAndLeavesNoMovie)
{
    Start();
    ASSERT_TRUE(Open("mjpeg.avi"));
    ASSERT_TRUE(WaitFor([&] { return !ShowsIdlePicture(); }));
    EXPECT_FALSE(Open("random.avi"));
    ASSERT_EQ(messages.texts.size(), 1u);
    EXPECT_EQ(messages.texts[0], "Could not Open format not supported. ?");
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
    WriteSettings(QStringLiteral("[MCI]\nAutoReplay=1\n"));
    Start(MovieBytes("audioonly.avi"));
    ASSERT_EQ(messages.texts.size(), 1u);
    EXPECT_EQ(messages.texts[0], "Initialization failure in InitRenderToSurface");
    EXPECT_EQ(engine->GetPlayState(), -1);
    EXPECT_TRUE(ShowsIdlePicture());
    ASSERT_TRUE(Open("short.avi"));
    EXPECT_TRUE(WaitFor([&] { return Kept() >= 2; }));
}

TEST_F(Window, TheCommandLineIsOnePath)
{
    QTemporaryDir dir;
    const QString spaced = dir.path() + "/two words.avi";
    ASSERT_TRUE(QFile::copy(QString::fromStdString(MoviePath("short.avi")), spaced));
    Start(QFile::encodeName(spaced));
    EXPECT_EQ(frame->windowTitle(), "two words.avi");
    EXPECT_GE(engine->GetPlayState(), 0);
    // Quotes are part of the path, so a quoted name is not opened.
    Start("\"" + QFile::encodeName(spaced) + "\"");
    EXPECT_EQ(engine->GetPlayState(), -1);
    EXPECT_EQ(frame->windowTitle(), "Reelscope");
    EXPECT_EQ(messages.texts.back(), "Could not Open format not supported. ?");
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
    EXPECT_EQ(messages.texts.back(), "Could not Open format not supported. ?");
    // An address that is no local file is not taken at all.
    const auto shown = messages.texts.size();
    Drop(frame, {QUrl("https://example.com/movie.avi")});
    EXPECT_EQ(messages.texts.size(), shown);
}

TEST_F(Window, StatusPanesStartEmptyUntilTheFirstTick)
{
    Start();
    EXPECT_EQ(frame->PaneText(0), "");
    EXPECT_EQ(frame->PaneText(1), "Frame");
    EXPECT_EQ(frame->PaneText(2), "");
    view->OnTimer();
    EXPECT_EQ(frame->PaneText(0), "Ready");
    EXPECT_EQ(frame->PaneText(2), "0");
    ASSERT_TRUE(Open("mjpeg.avi"));
    view->OnTimer();
    EXPECT_EQ(frame->PaneText(0), "Play");
}

}  // namespace
}  // namespace playertest
