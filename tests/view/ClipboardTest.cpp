// Copying the frame on screen: at its displayed size, the right frame,
// nothing without one, and the message when the clipboard cannot be had.

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

#include "FrameCode.h"
#include "PlayerFixture.h"
#include "resources/UiResources.h"

namespace playertest {
namespace {

using engine::MovieEngine;

class Clipboard : public PlayerFixture {
protected:
    void SetUp() override
    {
        PlayerFixture::SetUp();
        Start();
        QGuiApplication::clipboard()->setText(QStringLiteral("kept"));
    }
};

TEST_F(Clipboard, TheCopyHasTheDisplayedSizeAndShowsTheFrame)
{
    ASSERT_TRUE(Open("mjpeg.avi"));
    engine->Pause();
    engine->Seek(10, MovieEngine::SeekAndShow);
    ASSERT_TRUE(Idle());
    for (const auto& [size, expected] : {std::pair{ID_SIZE_HALF, QSize(160, 120)}, {ID_SIZE_DOUBLE, QSize(640, 480)},
                                        {ID_SIZE_NORMAL, QSize(320, 240)}}) {
        Command(size);
        Command(ID_EDIT_COPY);
        const QImage copied = QGuiApplication::clipboard()->image();
        EXPECT_EQ(copied.size(), expected);
        EXPECT_EQ(ReadFrameNumber(copied), 10);
    }
    // A second copy replaces the first.
    engine->Seek(30, MovieEngine::SeekAndShow);
    ASSERT_TRUE(Idle());
    Command(ID_EDIT_COPY);
    EXPECT_EQ(ReadFrameNumber(QGuiApplication::clipboard()->image()), 30);
    EXPECT_TRUE(messages.texts.empty());
}

TEST_F(Clipboard, WithTheWindowEnlargedTheCopyHasThePicturesLetterBoxedSize)
{
    ASSERT_TRUE(Open("mjpeg.avi"));
    ASSERT_TRUE(WaitFor([&] { return Kept() >= 0; }));
    engine->Pause();
    frame->FitClientToSize(800, 300);
    Command(ID_EDIT_COPY);
    EXPECT_EQ(QGuiApplication::clipboard()->image().size(), QSize(400, 300));
}

TEST_F(Clipboard, NothingToCopyLeavesTheClipboardAlone)
{
    Command(ID_EDIT_COPY);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "kept");
    EXPECT_TRUE(messages.texts.empty());
}

TEST_F(Clipboard, AClipboardThatCannotBeTakenIsReported)
{
    ASSERT_TRUE(Open("mjpeg.avi"));
    ASSERT_TRUE(WaitFor([&] { return Kept() >= 0; }));
    view->SetClipboardWriter([](const QImage&) { return false; });
    Command(ID_EDIT_COPY);
    ASSERT_EQ(messages.texts.size(), 1u);
    EXPECT_EQ(messages.texts[0], "Can't open Cipborad");
}

}  // namespace
}  // namespace playertest
