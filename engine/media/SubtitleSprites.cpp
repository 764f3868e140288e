#include "engine/media/SubtitleSprites.h"

#include <ass/ass.h>

#include <algorithm>
#include <cstring>

#include "engine/media/SubtitleBlend.h"
#include "engine/media/SubtitleTrack.h"

namespace media {
namespace {

constexpr std::size_t kKeptBox = 1u << 18;  // pixels: a megabyte
constexpr std::size_t kMostGroups = 4;       // a tile's
// Beyond this the drawings kept (hundreds of large cues in full screen)
// would outweigh what they save: such pictures are laid out whole.
constexpr std::size_t kMostKeptBytes = 96u << 20;

}  // namespace

std::shared_ptr<const CueDrawing> CueDrawing::Still(const ASS_Image* images, int width, int height)
{
    auto drawing = std::make_shared<CueDrawing>();
    // The box of every image, inside the frame.
    int left = width, top = height, right = 0, bottom = 0;
    for (const ASS_Image* image = images; image; image = image->next) {
        if (image->w <= 0 || image->h <= 0 || (image->color & 0xFF) == 0xFF) continue;
        left = std::min(left, std::max(image->dst_x, 0));
        top = std::min(top, std::max(image->dst_y, 0));
        right = std::max(right, std::min(image->dst_x + image->w, width));
        bottom = std::max(bottom, std::min(image->dst_y + image->h, height));
    }
    if (right <= left || bottom <= top) return drawing;
    const int w = right - left, h = bottom - top;
    // Flattened in a box kept by the thread: a turned line's box is a
    // quarter of a megabyte, freshly mapped and faulted in if allocated anew.
    thread_local std::vector<std::uint32_t> box;
    box.assign(static_cast<std::size_t>(w) * h, 0);
    CompositeAssImages(images, left, top, w, h, box.data());
    // Each row from its first covered pixel to its last: a turned line
    // covers a thin slant of its box. Runs start and end on whole vectors
    // of pixels (the transparent ones blend to nothing), so that blending
    // them, whole or cut at tiles, never takes the pixel-at-a-time path.
    for (int row = 0; row < h; ++row) {
        const std::uint32_t* line = &box[static_cast<std::size_t>(row) * w];
        int first = 0, last = w;
        while (first < w && line[first] >> 24 == 0) ++first;
        if (first == w) continue;
        while (line[last - 1] >> 24 == 0) --last;
        const int from = (left + first) & ~(kVector - 1), to = std::min((left + last + kVector - 1) & ~(kVector - 1), width);
        drawing->m_runs.push_back(Run{from, top + row, to - from, drawing->m_pixels.size()});
        drawing->m_pixels.resize(drawing->m_pixels.size() + static_cast<std::size_t>(to - from), 0);
        std::copy(line + first, line + last, drawing->m_pixels.end() - (to - (left + last)) - (last - first));
    }
    // The tiles it covers, from its runs: a turned line crosses far fewer
    // than its box.
    for (const Run& run : drawing->m_runs) drawing->Cover(run.x, run.y, run.x + run.count, run.y + 1);
    // A box the size of the picture (a cue scaled up past it) is not kept.
    if (box.capacity() > kKeptBox) std::vector<std::uint32_t>().swap(box);
    return drawing;
}

void CueDrawing::Cover(int left, int top, int right, int bottom)
{
    left = std::max(left, 0), top = std::max(top, 0);
    if (right <= left || bottom <= top) return;
    for (int band = top / kTile; band <= (bottom - 1) / kTile; ++band) {
        const auto same = std::find_if(m_tileRows.begin(), m_tileRows.end(), [band](const TileRow& r) { return r.row == band; });
        if (same == m_tileRows.end())
            m_tileRows.push_back(TileRow{band, left / kTile, (right - 1) / kTile});
        else
            same->from = std::min(same->from, left / kTile), same->to = std::max(same->to, (right - 1) / kTile);
    }
}

std::shared_ptr<const CueDrawing> CueDrawing::Moving(const ASS_Image* images)
{
    auto drawing = std::make_shared<CueDrawing>();
    // Each mask widened with empty columns to start and end on whole
    // vectors, as the runs of a still one are.
    const auto from = [](const ASS_Image& image) { return image.dst_x & ~(kVector - 1); };
    const auto width = [&from](const ASS_Image& image) {
        return ((image.dst_x + image.w + kVector - 1) & ~(kVector - 1)) - from(image);
    };
    std::size_t bytes = 0;
    for (const ASS_Image* image = images; image; image = image->next)
        if (image->w > 0 && image->h > 0 && image->bitmap) {
            drawing->m_masks.push_back(*image);
            bytes += static_cast<std::size_t>(width(*image)) * image->h;
        }
    // Not cleared first: every byte is written once, mask or margin.
    drawing->m_bits.reset(new std::uint8_t[bytes]);
    std::size_t at = 0;
    for (std::size_t i = 0; i < drawing->m_masks.size(); ++i) {
        ASS_Image& mask = drawing->m_masks[i];
        const int x = from(mask), w = width(mask), before = mask.dst_x - x, after = w - before - mask.w;
        for (int row = 0; row < mask.h; ++row) {
            std::uint8_t* line = &drawing->m_bits[at + static_cast<std::size_t>(row) * w];
            std::memset(line, 0, static_cast<std::size_t>(before));
            std::memcpy(line + before, mask.bitmap + std::ptrdiff_t{row} * mask.stride, static_cast<std::size_t>(mask.w));
            std::memset(line + before + mask.w, 0, static_cast<std::size_t>(after));
        }
        mask.bitmap = &drawing->m_bits[at];
        mask.stride = mask.w = w;
        mask.dst_x = x;
        mask.next = i + 1 < drawing->m_masks.size() ? &drawing->m_masks[i + 1] : nullptr;
        at += static_cast<std::size_t>(w) * mask.h;
        drawing->Cover(mask.dst_x, mask.dst_y, mask.dst_x + mask.w, mask.dst_y + mask.h);
    }
    return drawing;
}

void CueDrawing::DrawTile(int column, int row, const PixelBuffer& target, const FrameRect& rect) const
{
    // The tile as a picture of its own, so that blending clips to it.
    const int x = column * kTile, y = row * kTile;
    const FrameRect tile{0, 0, std::min(kTile, rect.Width() - x), std::min(kTile, rect.Height() - y)};
    if (tile.right <= 0 || tile.bottom <= 0) return;
    const PixelBuffer view{target.bits + std::ptrdiff_t{rect.top + y} * target.stride + std::ptrdiff_t{rect.left + x} * 4,
                           target.stride, tile.right, tile.bottom};
    if (!m_masks.empty()) BlendAssImagesAt(m_masks.data(), -x, -y, view, tile);
    const auto first = std::lower_bound(m_runs.begin(), m_runs.end(), y, [](const Run& r, int v) { return r.y < v; });
    for (auto run = first; run != m_runs.end() && run->y < y + tile.bottom; ++run)
        BlendPremultipliedRun(&m_pixels[run->at], run->count, view, tile, run->x - x, run->y - y);
}

void CueDrawing::FlattenTile(int column, int row, std::uint32_t* tile) const
{
    const int x = column * kTile, y = row * kTile;
    const auto first = std::lower_bound(m_runs.begin(), m_runs.end(), y, [](const Run& r, int v) { return r.y < v; });
    for (auto run = first; run != m_runs.end() && run->y < y + kTile; ++run) {
        const int from = std::max(run->x, x), to = std::min(run->x + run->count, x + kTile);
        if (to > from)
            FlattenPremultipliedRun(&m_pixels[run->at + static_cast<std::size_t>(from - run->x)], to - from,
                                    tile + std::ptrdiff_t{run->y - y} * kTile + (from - x));
    }
}

std::size_t CueDrawing::Bytes() const
{
    std::size_t bytes = sizeof *this + m_runs.size() * sizeof(Run) + m_pixels.size() * 4;
    for (const ASS_Image& mask : m_masks) bytes += sizeof mask + static_cast<std::size_t>(mask.stride) * mask.h;
    return bytes;
}

bool CueDrawing::Meets(const CueDrawing& other) const
{
    for (const TileRow& a : m_tileRows)
        for (const TileRow& b : other.m_tileRows)
            if (a.row == b.row && a.from <= b.to && b.from <= a.to) return true;
    return false;
}

bool CueSprites::LayOut(ASS_Renderer* renderer, TextTrack& track, long long nowMs, int width, int height,
                        std::vector<CueDrawingPtr>& out)
{
    out.clear();
    if (m_tooMany) return false;
    std::vector<int> alone, others;
    for (const int cue : track.Shown()) (track.Motion(cue).Alone() ? alone : others).push_back(cue);
    if (alone.empty()) return false;
    // libass stacks by layer, then by reading order.
    const auto stacking = [&track](int cue) {
        const ASS_Event& event = track.Event(cue);
        return std::pair{event.Layer, event.ReadOrder};
    };
    std::stable_sort(alone.begin(), alone.end(), [&](int a, int b) { return stacking(a) < stacking(b); });
    std::vector<std::pair<std::pair<int, int>, CueDrawingPtr>> laid;
    const unsigned layout = ++m_layouts;
    for (const int cue : alone) {
        const ASS_Event& event = track.Event(cue);
        const int stretch = track.Motion(cue).Stretch(nowMs - event.Start, event.Duration);
        const Key key{cue, event.Start, event.Duration, stretch};
        CueDrawingPtr drawing;
        if (stretch >= 0) {
            if (const auto kept = m_kept.find(key); kept != m_kept.end()) {
                kept->second.used = layout;
                drawing = kept->second.drawing;
            }
        }
        if (!drawing) {
            ASS_Track* alone = track.Alone(cue);
            if (!alone) return false;
            const ASS_Image* images = ass_render_frame(renderer, alone, nowMs, nullptr);
            drawing = stretch >= 0 ? CueDrawing::Still(images, width, height) : CueDrawing::Moving(images);
            if (stretch >= 0) {
                m_keptBytes += drawing->Bytes();
                m_kept[key] = Kept{drawing, layout};
            }
        }
        if (!drawing->Empty()) laid.emplace_back(stacking(cue), std::move(drawing));
    }
    // What this picture and the one before took stays: the picture laid
    // out ahead and the one drawn meanwhile share most of it.
    std::erase_if(m_kept, [this, layout](const auto& kept) {
        const bool old = kept.second.used + 1 < layout;
        if (old) m_keptBytes -= kept.second.drawing->Bytes();
        return old;
    });
    if (m_keptBytes > kMostKeptBytes) {
        Forget();
        m_tooMany = true;
        return false;
    }
    if (!others.empty()) {
        // The others are laid out together as libass lays out the whole
        // script, the cues placed by themselves hidden (they take no part
        // in placing the others), and drawn as one where the lowest of them
        // stacks. That is exact unless a cue placed by itself stacks between
        // them and meets them.
        std::vector<long long> lengths;
        const ASS_Image* images = ass_render_frame(renderer, track.Hide(alone, lengths), nowMs, nullptr);
        track.Show(alone, lengths);
        CueDrawingPtr together = CueDrawing::Moving(images);
        const auto [lowest, highest] = std::minmax_element(
            others.begin(), others.end(), [&](int a, int b) { return stacking(a) < stacking(b); });
        const auto low = stacking(*lowest), high = stacking(*highest);
        for (const auto& [place, drawing] : laid)
            if (low < place && place < high && drawing->Meets(*together)) return false;
        const auto above = std::find_if(laid.begin(), laid.end(), [&](const auto& one) { return one.first > low; });
        laid.emplace(above, low, std::move(together));
    }
    for (auto& [place, drawing] : laid) out.push_back(std::move(drawing));
    return true;
}

void CueSprites::Draw(const std::vector<CueDrawingPtr>& drawings, const PixelBuffer& target, const FrameRect& rect)
{
    constexpr int kTile = CueDrawing::kTile;
    const int columns = (rect.Width() + kTile - 1) / kTile, rows = (rect.Height() + kTile - 1) / kTile;
    if (columns != m_columns || rows != m_rows) {
        m_columns = columns, m_rows = rows;
        m_tiles.assign(static_cast<std::size_t>(columns) * rows, Tile{});
        m_touching.assign(m_tiles.size(), {});
    }
    for (std::vector<int>& over : m_touching) over.clear();
    for (std::size_t i = 0; i < drawings.size(); ++i)
        drawings[i]->Touches([&](int column, int row) {
            if (column < columns && row < rows)
                m_touching[static_cast<std::size_t>(row) * columns + column].push_back(static_cast<int>(i));
        });
    for (int row = 0; row < rows; ++row)
        for (int column = 0; column < columns; ++column) {
            const std::size_t index = static_cast<std::size_t>(row) * columns + column;
            DrawTile(drawings, m_touching[index], m_tiles[index], column, row, target, rect);
        }
}

void CueSprites::DrawTile(const std::vector<CueDrawingPtr>& drawings, const std::vector<int>& over, Tile& tile, int column,
                          int row, const PixelBuffer& target, const FrameRect& rect)
{
    constexpr int kTile = CueDrawing::kTile;
    const auto at = [&](std::size_t i) -> const CueDrawingPtr& { return drawings[static_cast<std::size_t>(over[i])]; };
    std::size_t groups = 0;
    for (std::size_t i = 0; i < over.size();) {
        std::size_t end = i;
        while (end < over.size() && at(end)->IsStill()) ++end;
        // A moving cue, one still alone (it blends as cheaply as it is), or
        // stills past a few groups (stacked in turn with moving cues): as
        // they are.
        if (end <= i + 1 || groups == kMostGroups) {
            for (end = std::max(end, i + 1); i < end; ++i) at(i)->DrawTile(column, row, target, rect);
            continue;
        }
        // The group kept for these stills, wherever it stood: moving cues
        // come and go between groups.
        const auto holds = [&](const Group& group) {
            if (group.flat.size() != end - i) return false;
            for (std::size_t k = 0; k < group.flat.size(); ++k)
                if (group.flat[k] != at(i + k)) return false;
            return true;
        };
        const auto kept = static_cast<std::size_t>(
            std::find_if(tile.begin() + static_cast<std::ptrdiff_t>(groups), tile.end(), holds) - tile.begin());
        const bool found = kept < tile.size();
        if (groups == tile.size()) tile.emplace_back();
        Group& group = tile[groups++];
        if (found) {
            std::swap(group, tile[kept]);
        } else {
            group.flat.clear();
            group.pixels.assign(static_cast<std::size_t>(kTile) * kTile, 0);
            for (std::size_t k = i; k < end; ++k) {
                group.flat.push_back(at(k));
                at(k)->FlattenTile(column, row, group.pixels.data());
            }
        }
        i = end;
        BlendPremultiplied(group.pixels.data(), kTile, kTile, target, rect, column * kTile, row * kTile);
    }
    tile.resize(groups);
}

void CueSprites::Forget()
{
    m_kept.clear();
    m_keptBytes = 0;
    m_tooMany = false;
    m_tiles.assign(m_tiles.size(), Tile{});
}

}  // namespace media
