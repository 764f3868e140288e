#include "FrameCode.h"

#include <QImage>
#include <QRect>

#include <algorithm>
#include <cstddef>

namespace {

// BT.601 weights, the same ones the generator uses to set cell luma.
int Luma(const std::uint8_t* bgra) { return (29 * bgra[0] + 150 * bgra[1] + 77 * bgra[2] + 128) >> 8; }

// Only the middle 40 % of a cell is looked at: edges blur into neighbours
// under block coding, chroma subsampling and scaling.
void Centre(int start, int length, int& from, int& to) {
    from = start + (length * 3 + 5) / 10;
    to = std::max(start + (length * 7 + 5) / 10, from + 1);
}

}  // namespace

int ReadFrameNumber(const std::uint8_t* bits, int stride, int w, int h) {
    if (!bits || w < 4 || h < 4) return -1;
    int number = 0;
    for (int r = 0; r < 4; ++r) {
        for (int c = 0; c < 4; ++c) {
            int x0 = 0, x1 = 0, y0 = 0, y1 = 0;
            Centre(c * w / 4, (c + 1) * w / 4 - c * w / 4, x0, x1);
            Centre(r * h / 4, (r + 1) * h / 4 - r * h / 4, y0, y1);
            long sum = 0;
            int lo = 255, hi = 0;
            for (int py = y0; py < y1; ++py) {
                const std::uint8_t* p = bits + static_cast<std::ptrdiff_t>(py) * stride + 4 * static_cast<std::ptrdiff_t>(x0);
                for (int px = x0; px < x1; ++px, p += 4) {
                    const int l = Luma(p);
                    sum += l;
                    lo = std::min(lo, l);
                    hi = std::max(hi, l);
                }
            }
            const long count = static_cast<long>(x1 - x0) * (y1 - y0);
            const long mean = (sum + count / 2) / count;
            // A mean on the right side is not enough: a torn or half-blended
            // picture can average out, so no pixel may stray across the middle.
            if (mean >= kFrameCodeLightMin && lo >= kFrameCodeDarkMax) {
                number |= 1 << (r * 4 + c);
            } else if (mean < kFrameCodeDarkMin || mean > kFrameCodeDarkMax || hi >= kFrameCodeLightMin) {
                return -1;
            }
        }
    }
    return number;
}

int ReadFrameNumber(const QImage& image, const QRect& rect) {
    if (image.isNull() || !image.rect().contains(rect)) return -1;
    const QImage part = (rect == image.rect() ? image : image.copy(rect)).convertToFormat(QImage::Format_RGB32);
    return ReadFrameNumber(part.constBits(), static_cast<int>(part.bytesPerLine()), part.width(), part.height());
}

int ReadFrameNumber(const QImage& image) { return ReadFrameNumber(image, image.rect()); }
