#pragma once
// A block of 32-bit RGB pixels with rows aligned for SIMD, seen both as a
// PixelBuffer (for the media layer) and as a QImage sharing the memory (for
// painting). The QImage never owns the memory, so it never detaches.

#include <QImage>
#include <cstdlib>
#include <memory>

#include "engine/media/MediaTypes.h"

namespace engine {

class PixelStore {
public:
    // New pixels are black. False when the memory cannot be had.
    bool Allocate(int width, int height);
    void Release();

    bool IsNull() const { return !m_bits; }
    int Width() const { return m_width; }
    int Height() const { return m_height; }
    media::PixelBuffer Buffer() const { return {m_bits.get(), m_stride, m_width, m_height}; }
    QImage& Image() { return m_image; }

private:
    struct Free {
        void operator()(std::uint8_t* p) const { std::free(p); }
    };
    std::unique_ptr<std::uint8_t, Free> m_bits;
    QImage m_image;
    int m_width = 0;
    int m_height = 0;
    int m_stride = 0;
};

}  // namespace engine
