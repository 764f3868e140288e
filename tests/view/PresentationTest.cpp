// What the engine window shows: the kept frame at any size, or black with
// the idle picture centred by the truncating rule.

#include <QImage>
#include <QPainter>

#include "FrameCode.h"
#include "PlayerFixture.h"
#include "resources/UiResources.h"

namespace playertest {
namespace {

using engine::MovieEngine;

class Presentation : public PlayerFixture {
protected:
    void SetUp() override
    {
        PlayerFixture::SetUp();
        Start();
    }
    // The engine window as painted now.
    QImage Painted() { return engine->grab().toImage().convertToFormat(QImage::Format_RGB32); }
};

TEST_F(Presentation, WithoutAMovieTheIdlePictureSitsCentredOnBlack)
{
    const QImage idle = QImage(QString::fromLatin1(ui::kIdlePicture)).convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(idle.size(), QSize(73, 63));
    frame->FitClientToSize(400, 300);
    ASSERT_EQ(engine->size(), QSize(400, 300));
    const QImage shown = Painted();
    EXPECT_EQ(shown.copy(163, 118, 73, 63), idle);
    EXPECT_EQ(shown.pixel(0, 0), qRgb(0, 0, 0));
    EXPECT_EQ(shown.pixel(162, 150), qRgb(0, 0, 0));
    EXPECT_EQ(shown.pixel(399, 299), qRgb(0, 0, 0));
}

TEST_F(Presentation, ANarrowWindowCutsTheIdlePictureOnBothSides)
{
    const QImage idle = QImage(QString::fromLatin1(ui::kIdlePicture)).convertToFormat(QImage::Format_RGB32);
    engine->resize(50, 100);
    const QImage shown = Painted();
    // x = (50 - 73) / 2 = -11, truncated toward zero: columns 11 .. 60 show.
    EXPECT_EQ(shown.copy(0, (100 - 63) / 2, 50, 63), idle.copy(11, 0, 50, 63));
}

TEST_F(Presentation, TheKeptFrameFillsTheWindowAtAnySize)
{
    ASSERT_TRUE(Open("mjpeg.avi"));
    engine->Pause();
    engine->Seek(21, MovieEngine::SeekAndShow);
    ASSERT_TRUE(Idle());
    for (const int id : {ID_SIZE_HALF, ID_SIZE_NORMAL, ID_SIZE_DOUBLE}) {
        Command(id);
        const QImage shown = Painted();
        EXPECT_EQ(shown.size(), engine->size());
        EXPECT_EQ(ReadFrameNumber(shown), 21) << "size command " << id;
    }
    // Wider and lower than the movie: stretched one way, shrunk the other.
    QImage odd(400, 200, QImage::Format_RGB32);
    odd.fill(Qt::white);
    QPainter painter(&odd);
    ASSERT_TRUE(engine->DrawFrame(painter, engine::Rect{0, 0, 400, 200}));
    painter.end();
    EXPECT_EQ(ReadFrameNumber(odd), 21);
}

TEST_F(Presentation, DrawFrameWithoutAKeptFrameLeavesTheTargetAlone)
{
    QImage target(64, 48, QImage::Format_RGB32);
    target.fill(Qt::white);
    QPainter painter(&target);
    EXPECT_FALSE(engine->DrawFrame(painter, engine::Rect{0, 0, 64, 48}));
    painter.end();
    EXPECT_EQ(target.pixel(10, 10), qRgb(255, 255, 255));
}

TEST_F(Presentation, WhatThePlayingWorkerBlitsReachesTheWindow)
{
    ASSERT_TRUE(Open("mjpeg.avi"));
    ASSERT_TRUE(WaitFor([&] { return ReadFrameNumber(engine->ScreenSnapshot()) >= 5; }));
    Command(ID_SIZE_DOUBLE);
    ASSERT_TRUE(WaitFor([&] { return engine->ScreenSnapshot().size() == QSize(640, 480); }));
    ASSERT_TRUE(WaitFor([&] { return ReadFrameNumber(engine->ScreenSnapshot()) >= 20; }));
}

}  // namespace
}  // namespace playertest
