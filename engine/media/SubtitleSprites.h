#pragma once
// Styled cues drawn one at a time and kept while they stand still. A dense
// karaoke or sign script puts hundreds of cues placed by \pos on screen,
// most of which look the same for seconds between their syllables and
// fades; libass lays all of them out again for every picture, at tens of
// microseconds a cue. Here each such cue is laid out alone, and for as long
// as it stands still its drawing is kept, flattened into one premultiplied
// picture of the rows it covers, and blended again. Cues that libass places
// among each other (stacked out of each other's way) are laid out together
// and drawn as one.
//
// Threads: one at a time (the overlay's lock).

#include <cstdint>
#include <map>
#include <memory>
#include <tuple>
#include <vector>

#include "engine/media/MediaTypes.h"

struct ass_image;
struct ass_renderer;

namespace media {

class TextTrack;

// One cue as libass drew it over one picture.
class CueDrawing {
public:
    // The squares the picture is cut into for keeping stills flattened.
    static constexpr int kTile = 64;
    // The pixels the blending kernels take at a time, at most.
    static constexpr int kVector = 8;

    // A still cue, flattened: only the rows and columns it covers are kept.
    static std::shared_ptr<const CueDrawing> Still(const ass_image* images, int width, int height);
    // A moving one, drawn for this picture alone: libass's masks, copied.
    static std::shared_ptr<const CueDrawing> Moving(const ass_image* images);

    bool IsStill() const { return m_masks.empty(); }
    // Whether the two cover a tile in common.
    bool Meets(const CueDrawing& other) const;
    bool Empty() const { return m_runs.empty() && m_masks.empty(); }
    std::size_t Bytes() const;
    // Calls `touch(column, row)` for each tile it may cover.
    template <typename Touch>
    void Touches(Touch&& touch) const
    {
        for (const TileRow& r : m_tileRows)
            for (int column = r.from; column <= r.to; ++column) touch(column, r.row);
    }
    // Its part inside tile (column, row), blended into `target`'s `rect`.
    void DrawTile(int column, int row, const PixelBuffer& target, const FrameRect& rect) const;
    // A still one's part inside tile (column, row), over the tile's
    // premultiplied pixels (kTile a row).
    void FlattenTile(int column, int row, std::uint32_t* tile) const;

private:
    struct Run {  // `count` pixels from pixel `at` on, at (x, y)
        int x, y, count;
        std::size_t at;
    };
    struct TileRow {  // tiles from..to of one row of them
        int row, from, to;
    };
    void Cover(int left, int top, int right, int bottom);  // adds to m_tileRows
    std::vector<Run> m_runs;  // by row
    std::vector<std::uint32_t> m_pixels;
    std::vector<ass_image> m_masks;  // linked, pointing into m_bits
    std::unique_ptr<std::uint8_t[]> m_bits;
    std::vector<TileRow> m_tileRows;
};
using CueDrawingPtr = std::shared_ptr<const CueDrawing>;

class CueSprites {
public:
    // The cues `track` shows after its Prepare at `nowMs`, in the order
    // libass stacks them, laid out by `renderer` for its frame of `width` x
    // `height`: those placed by themselves one by one, the others (placed
    // out of each other's way) together as one. False when the picture must
    // be laid out whole: none is placed by itself, or one stacked among the
    // others meets them.
    bool LayOut(ass_renderer* renderer, TextTrack& track, long long nowMs, int width, int height,
                std::vector<CueDrawingPtr>& out);
    // Blends the drawings, in order, into `rect` of `target`. Tile by tile:
    // each run of stills between moving cues is blended as one picture,
    // flattened once and kept while the run stays the same; moving cues are
    // blended as they are.
    void Draw(const std::vector<CueDrawingPtr>& drawings, const PixelBuffer& target, const FrameRect& rect);
    // The renderer's frame, fonts or track changed: no drawing kept holds.
    void Forget();

private:
    struct Group {
        std::vector<CueDrawingPtr> flat;   // the stills in `pixels`, bottom first
        std::vector<std::uint32_t> pixels;  // kTile x kTile premultiplied
    };
    using Tile = std::vector<Group>;  // bottom first
    // Draws what lies over one tile: `over`, the drawings' numbers, bottom first.
    void DrawTile(const std::vector<CueDrawingPtr>& drawings, const std::vector<int>& over, Tile& tile, int column,
                  int row, const PixelBuffer& target, const FrameRect& rect);
    // A cue, as timed for the picture, in one of its still stretches.
    using Key = std::tuple<int, long long, long long, int>;
    struct Kept {
        CueDrawingPtr drawing;
        unsigned used;  // the last layout that took it
    };
    std::map<Key, Kept> m_kept;
    std::size_t m_keptBytes = 0;
    bool m_tooMany = false;  // kept drawings grew past all use: laid out whole until Forget
    unsigned m_layouts = 0;
    int m_columns = 0, m_rows = 0;  // of m_tiles, for the frame drawn last
    std::vector<Tile> m_tiles;
    std::vector<std::vector<int>> m_touching;  // the drawings over each tile, bottom first
};

}  // namespace media
