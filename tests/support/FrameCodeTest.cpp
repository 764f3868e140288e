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
    for (int bit = 0; bit < 16; ++bit) {
        const int v = ((number >> bit) & 1) ? 222 : 36;
        const int col = bit % 4, row = bit / 4;
        painter.fillRect(QRect(r.x() + col * r.width() / 4, r.y() + row * r.height() / 4, r.width() / 4, r.height() / 4),
                         QColor(v, v, v));
    }
}

TEST(FrameCodeReader, ReadsEveryNumberAtFullSizeAsAThumbnailAndInASlotAndNothingElse)
{
    for (const int number : {0, 1, 49, 999, 0x5A5A, 0xFFFF}) {
        QImage picture(320, 240, QImage::Format_RGB32);
        Paint(picture, picture.rect(), number);
        EXPECT_EQ(ReadFrameNumber(picture), number);
        // The strip's thumbnails are 29 x 22.
        EXPECT_EQ(ReadFrameNumber(picture.scaled(29, 22, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)), number);
        QImage strip(640, 30, QImage::Format_RGB32);
        strip.fill(Qt::black);
        Paint(strip, QRect(62, 4, 29, 22), number);
        EXPECT_EQ(ReadFrameNumber(strip, QRect(62, 4, 29, 22)), number);
        // What is no clean code reads -1: a black slot (nothing shown yet is
        // not frame 0), a rectangle outside the picture, a grey cell.
        EXPECT_EQ(ReadFrameNumber(strip, QRect(0, 4, 29, 22)), -1);
        EXPECT_EQ(ReadFrameNumber(strip, QRect(630, 4, 29, 22)), -1);
        QPainter(&picture).fillRect(QRect(80, 60, 80, 60), QColor(128, 128, 128));
        EXPECT_EQ(ReadFrameNumber(picture), -1);
    }
    EXPECT_EQ(ReadFrameNumber(nullptr, 0, 64, 48), -1);
}

}  // namespace
