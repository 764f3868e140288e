#pragma once
// What our lines (PictureLines) do to a picture's colours. Where the
// display's colours need only a matrix on the samples, that matrix. For
// HDR, one table of the whole way from the picture's codes, baked once per
// kind of colours: the EOTF (and HLG's OOTF), the tone map (ToneMap), the
// primaries into BT.709's in linear light, and the display's gamma 2.4,
// clipped to its gamut after the interpolation. zimg reads the picture
// (size, chroma siting, range) into 16-bit samples and our lines do the
// rest per pixel: zimg's own floating-point way costs three times as much.
// The table is exact at its nodes and within a fraction of a level between
// them, except where one channel of a bright colour lies near black in the
// display's gamut (a dark red beside a bright green): there it may be
// several levels off, which is why SDR pictures of other primaries keep
// zimg's exact way.

#include <cstdint>
#include <memory>
#include <vector>

#include "engine/media/picture/PictureColours.h"
#include "engine/media/picture/PictureLines.h"

namespace media {

// How the lines of a picture of `colours` get their colours: through a
// matrix where the display's colours need no more (the transfer and the
// primaries are its own); through a table for HDR, which zimg does not
// tone map; through zimg's own linear-light way for every other picture.
enum class ColourWay { Matrix, Table, Zimg };
ColourWay WayOf(const PictureColours& colours);

// The format zimg reads a picture of `colours` into for our lines
// (`way` Matrix or Table): its own colour family, matrix, transfer and
// primaries, at 4:4:4 and 16 bits, `width` x `height`. The matrix takes
// the picture's own range; the table full range, so that its nodes fall
// on black and white. A grey picture is read as grey: its chroma is the
// neutral code.
zimg_image_format LineInput(const PictureColours& colours, ColourWay way, unsigned width, unsigned height);

// The matrix that brings samples read for it (LineInput) to the display's
// levels; false when zimg has none for those colours, or its numbers do
// not fit the lines' arithmetic.
bool MatrixFor(const PictureColours& colours, LineMatrix& matrix);

class ColourTable {
public:
    // The table for HDR pictures of `colours`; null for others, or when
    // zimg cannot convert their colours. Made once while anyone holds it: a movie's worker and
    // its repaints share one.
    static std::shared_ptr<const ColourTable> For(const PictureColours& colours);

    // Whether the table serves pictures of `colours` (a change of anything
    // but their layout and size makes a new one).
    bool Serves(const PictureColours& colours) const;

    const std::uint32_t* Nodes() const { return m_nodes.data(); }

private:
    static std::unique_ptr<ColourTable> Bake(const PictureColours& colours);

    std::vector<std::uint32_t> m_nodes;
    PictureColours m_colours;
};

}  // namespace media
