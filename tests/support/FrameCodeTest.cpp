// The frame-number reader refuses what is not a clean code: every other test
// trusts it to say which frame is on screen, and a picture not yet shown
// must not read as frame 0. (That it reads the right number, every decoding
// test shows.)

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

TEST(FrameCodeReader, ReadsNothingButACleanCode)
{
    QImage strip(640, 30, QImage::Format_RGB32);
    strip.fill(Qt::black);
    Paint(strip, QRect(62, 4, 29, 22), 0x5A5A);
    // A black slot (nothing shown yet), a rectangle outside the picture, a
    // picture with a grey cell, no picture at all.
    EXPECT_EQ(ReadFrameNumber(strip, QRect(0, 4, 29, 22)), -1);
    EXPECT_EQ(ReadFrameNumber(strip, QRect(630, 4, 29, 22)), -1);
    QPainter(&strip).fillRect(QRect(62 + 8, 4 + 6, 7, 5), QColor(128, 128, 128));
    EXPECT_EQ(ReadFrameNumber(strip, QRect(62, 4, 29, 22)), -1);
    EXPECT_EQ(ReadFrameNumber(nullptr, 0, 64, 48), -1);
}

}  // namespace
