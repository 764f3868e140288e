#include "engine/PixelStore.h"

#include <algorithm>
#include <cstring>

namespace engine {
namespace {

// swscale's SIMD paths want rows on this boundary.
constexpr int kRowAlignment = 64;

}  // namespace

bool PixelStore::Allocate(int width, int height)
{
    Release();
    if (width <= 0 || height <= 0) return false;
    const long long stride = (static_cast<long long>(width) * 4 + kRowAlignment - 1) / kRowAlignment * kRowAlignment;
    const long long bytes = stride * height;
    auto* bits = static_cast<std::uint8_t*>(std::aligned_alloc(kRowAlignment, static_cast<std::size_t>(bytes)));
    if (!bits) return false;
    // Black with the alpha byte set, as Format_RGB32 expects.
    auto* words = reinterpret_cast<std::uint32_t*>(bits);
    std::fill(words, words + bytes / 4, 0xff000000u);
    m_bits.reset(bits);
    m_width = width;
    m_height = height;
    m_stride = static_cast<int>(stride);
    m_image = QImage(bits, width, height, m_stride, QImage::Format_RGB32);
    return true;
}

void PixelStore::Release()
{
    m_image = QImage();
    m_bits.reset();
    m_width = m_height = m_stride = 0;
}

}  // namespace engine
