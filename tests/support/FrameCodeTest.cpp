// The frame-number reader on pictures painted the way the generator paints
// them: every other test trusts it to say which frame is on screen, so it
// must read the right number and refuse what is not a clean code. (Decoded
// and scaled pictures of the generated movies are read by the media, engine
// and view tests themselves.)

#include "FrameCode.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>
#include <QRect>

namespace {

// A code of `number` in the rectangle of `image`: light 222 for 1, dark 36
// for 0, as the generator's cells are.
void Paint(QImage& image, const QRect& r, int number)
{
    QPainter painter(&image);
    for (int row = 0; row < 4; ++row)
        for (int col = 0; col < 4; ++col) {
            const int v = ((number >> (row * 4 + col)) & 1) ? 222 : 36;
            painter.fillRect(QRect(r.x() + col * r.width() / 4, r.y() + row * r.height() / 4, r.width() / 4,
                                   r.height() / 4),
                             QColor(v, v, v));
        }
}

TEST(FrameCodeReader, ReadsEveryNumberAtFullSizeAndAsAThumbnail)
{
    for (const int number : {0, 1, 49, 999, 0x5A5A, 0xFFFF}) {
        QImage picture(320, 240, QImage::Format_RGB32);
        Paint(picture, picture.rect(), number);
        EXPECT_EQ(ReadFrameNumber(picture), number);
        // The strip's thumbnails are 29 x 22.
        const QImage thumb = picture.scaled(29, 22, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        EXPECT_EQ(ReadFrameNumber(thumb), number);
    }
}

TEST(FrameCodeReader, ReadsOneRectangleOfALargerPicture)
{
    QImage strip(640, 30, QImage::Format_RGB32);
    strip.fill(Qt::black);
    Paint(strip, QRect(62, 4, 29, 22), 500);
    EXPECT_EQ(ReadFrameNumber(strip, QRect(62, 4, 29, 22)), 500);
    EXPECT_EQ(ReadFrameNumber(strip, QRect(0, 4, 29, 22)), -1);  // a black slot
    EXPECT_EQ(ReadFrameNumber(strip, QRect(630, 4, 29, 22)), -1);  // not inside the picture
}

TEST(FrameCodeReader, WhatIsNoCleanCodeReadsMinusOne)
{
    QImage picture(64, 48, QImage::Format_RGB32);
    picture.fill(Qt::black);  // nothing shown yet is not frame 0
    EXPECT_EQ(ReadFrameNumber(picture), -1);
    Paint(picture, picture.rect(), 7);
    QPainter(&picture).fillRect(QRect(16, 12, 16, 12), QColor(128, 128, 128));  // a grey cell
    EXPECT_EQ(ReadFrameNumber(picture), -1);
    EXPECT_EQ(ReadFrameNumber(nullptr, 0, 64, 48), -1);
}

}  // namespace
