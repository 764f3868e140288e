#include "engine/media/picture/PictureColours.h"

#include <algorithm>
#include <cstring>

extern "C" {
#include <libavutil/mastering_display_metadata.h>
#include <libavutil/pixdesc.h>
}

namespace media {
namespace {

// HDR material is graded for displays of this peak unless it says.
constexpr double kDefaultHdrPeakNits = 1000.0;
// Beyond PQ's range, or below an SDR display's, a stated peak is damage.
constexpr double kMinPeakNits = 100.0;
constexpr double kMaxPeakNits = 10000.0;

bool IsJpegFormat(AVPixelFormat f)
{
    return f == AV_PIX_FMT_YUVJ420P || f == AV_PIX_FMT_YUVJ422P || f == AV_PIX_FMT_YUVJ444P ||
           f == AV_PIX_FMT_YUVJ440P || f == AV_PIX_FMT_YUVJ411P;
}

// The H.273 codes zimg knows are its own enumerators.
zimg_matrix_coefficients_e MatrixOf(AVColorSpace c)
{
    switch (c) {
    case AVCOL_SPC_BT709: case AVCOL_SPC_FCC: case AVCOL_SPC_BT470BG: case AVCOL_SPC_SMPTE170M:
    case AVCOL_SPC_SMPTE240M: case AVCOL_SPC_YCGCO: case AVCOL_SPC_BT2020_NCL: case AVCOL_SPC_BT2020_CL:
    case AVCOL_SPC_CHROMA_DERIVED_NCL: case AVCOL_SPC_CHROMA_DERIVED_CL: case AVCOL_SPC_ICTCP:
        return static_cast<zimg_matrix_coefficients_e>(c);
    default:
        return ZIMG_MATRIX_UNSPECIFIED;
    }
}

zimg_transfer_characteristics_e TransferOf(AVColorTransferCharacteristic t)
{
    switch (t) {
    case AVCOL_TRC_BT709: case AVCOL_TRC_GAMMA22: case AVCOL_TRC_GAMMA28: case AVCOL_TRC_SMPTE170M:
    case AVCOL_TRC_SMPTE240M: case AVCOL_TRC_LINEAR: case AVCOL_TRC_LOG: case AVCOL_TRC_LOG_SQRT:
    case AVCOL_TRC_IEC61966_2_4: case AVCOL_TRC_IEC61966_2_1: case AVCOL_TRC_BT2020_10: case AVCOL_TRC_BT2020_12:
    case AVCOL_TRC_SMPTE2084: case AVCOL_TRC_ARIB_STD_B67:
        return static_cast<zimg_transfer_characteristics_e>(t);
    default:
        return ZIMG_TRANSFER_UNSPECIFIED;
    }
}

zimg_color_primaries_e PrimariesOf(AVColorPrimaries p)
{
    switch (p) {
    case AVCOL_PRI_BT709: case AVCOL_PRI_BT470M: case AVCOL_PRI_BT470BG: case AVCOL_PRI_SMPTE170M:
    case AVCOL_PRI_SMPTE240M: case AVCOL_PRI_FILM: case AVCOL_PRI_BT2020: case AVCOL_PRI_SMPTE428:
    case AVCOL_PRI_SMPTE431: case AVCOL_PRI_SMPTE432: case AVCOL_PRI_EBU3213:
        return static_cast<zimg_color_primaries_e>(p);
    default:
        return ZIMG_PRIMARIES_UNSPECIFIED;
    }
}

zimg_chroma_location_e SitingOf(AVChromaLocation l, bool jpeg)
{
    switch (l) {
    case AVCHROMA_LOC_LEFT: return ZIMG_CHROMA_LEFT;
    case AVCHROMA_LOC_CENTER: return ZIMG_CHROMA_CENTER;
    case AVCHROMA_LOC_TOPLEFT: return ZIMG_CHROMA_TOP_LEFT;
    case AVCHROMA_LOC_TOP: return ZIMG_CHROMA_TOP;
    case AVCHROMA_LOC_BOTTOMLEFT: return ZIMG_CHROMA_BOTTOM_LEFT;
    case AVCHROMA_LOC_BOTTOM: return ZIMG_CHROMA_BOTTOM;
    // Unsaid: JPEG sites chroma between its samples, MPEG-2 and after at
    // the left one.
    default: return jpeg ? ZIMG_CHROMA_CENTER : ZIMG_CHROMA_LEFT;
    }
}

}  // namespace

bool operator==(const PictureColours& a, const PictureColours& b)
{
    const zimg_image_format &x = a.format, &y = b.format;
    return x.width == y.width && x.height == y.height && x.pixel_type == y.pixel_type && x.depth == y.depth &&
           x.subsample_w == y.subsample_w && x.subsample_h == y.subsample_h && x.color_family == y.color_family &&
           x.matrix_coefficients == y.matrix_coefficients && x.transfer_characteristics == y.transfer_characteristics &&
           x.color_primaries == y.color_primaries && x.pixel_range == y.pixel_range &&
           x.chroma_location == y.chroma_location && a.hdr == b.hdr && a.peakNits == b.peakNits;
}

bool ZimgReads(AVPixelFormat format)
{
    const AVPixFmtDescriptor* d = av_pix_fmt_desc_get(format);
    if (!d || !(d->flags & AV_PIX_FMT_FLAG_PLANAR) || (d->flags & (AV_PIX_FMT_FLAG_BE | AV_PIX_FMT_FLAG_PAL |
                                                                  AV_PIX_FMT_FLAG_HWACCEL | AV_PIX_FMT_FLAG_BAYER |
                                                                  AV_PIX_FMT_FLAG_FLOAT)))
        return false;
    const int colours = (d->flags & AV_PIX_FMT_FLAG_ALPHA) ? d->nb_components - 1 : d->nb_components;
    if (colours != 1 && colours != 3) return false;
    for (int i = 0; i < colours; ++i) {
        const AVComponentDescriptor& c = d->comp[i];
        const int bytes = c.depth > 8 ? 2 : 1;
        // Each colour in a plane of its own, sample after sample.
        if (c.offset != 0 || c.shift != 0 || c.step != bytes || c.depth < 8 || c.depth > 16) return false;
        for (int j = 0; j < i; ++j)
            if (d->comp[j].plane == c.plane) return false;
    }
    return d->log2_chroma_w <= 2 && d->log2_chroma_h <= 2;
}

double PeakNitsOf(const AVFrame* frame)
{
    double peak = 0;
    if (const AVFrameSideData* s = av_frame_get_side_data(frame, AV_FRAME_DATA_CONTENT_LIGHT_LEVEL))
        peak = reinterpret_cast<const AVContentLightMetadata*>(s->data)->MaxCLL;
    if (peak <= 0)
        if (const AVFrameSideData* s = av_frame_get_side_data(frame, AV_FRAME_DATA_MASTERING_DISPLAY_METADATA)) {
            const auto* m = reinterpret_cast<const AVMasteringDisplayMetadata*>(s->data);
            if (m->has_luminance && m->max_luminance.den > 0) peak = av_q2d(m->max_luminance);
        }
    if (!(peak >= kMinPeakNits && peak <= kMaxPeakNits)) peak = kDefaultHdrPeakNits;
    return peak;
}

PictureColours ColoursOf(const AVFrame* frame)
{
    const auto format = static_cast<AVPixelFormat>(frame->format);
    const AVPixFmtDescriptor* d = av_pix_fmt_desc_get(format);
    PictureColours c;
    zimg_image_format& f = c.format;
    zimg_image_format_default(&f, ZIMG_API_VERSION);
    f.width = static_cast<unsigned>(frame->width);
    f.height = static_cast<unsigned>(frame->height);
    f.depth = static_cast<unsigned>(d->comp[0].depth);
    f.pixel_type = f.depth > 8 ? ZIMG_PIXEL_WORD : ZIMG_PIXEL_BYTE;
    f.subsample_w = d->log2_chroma_w;
    f.subsample_h = d->log2_chroma_h;
    const bool rgb = (d->flags & AV_PIX_FMT_FLAG_RGB) != 0;
    const bool grey = d->nb_components - ((d->flags & AV_PIX_FMT_FLAG_ALPHA) ? 1 : 0) == 1;
    f.color_family = rgb ? ZIMG_COLOR_RGB : grey ? ZIMG_COLOR_GREY : ZIMG_COLOR_YUV;
    const bool jpeg = IsJpegFormat(format);
    f.pixel_range = rgb || jpeg || frame->color_range == AVCOL_RANGE_JPEG ? ZIMG_RANGE_FULL : ZIMG_RANGE_LIMITED;
    f.chroma_location = SitingOf(frame->chroma_location, jpeg);

    // Untagged pictures are guessed as players do: HD by width or by lines
    // beyond PAL's, otherwise standard definition, PAL's 625 lines or NTSC's
    // 525 by the height.
    const bool hd = frame->width >= 1280 || frame->height > 576;
    const bool pal = !hd && frame->height > 480;
    f.matrix_coefficients = rgb ? ZIMG_MATRIX_RGB : MatrixOf(frame->colorspace);
    if (f.matrix_coefficients == ZIMG_MATRIX_UNSPECIFIED) f.matrix_coefficients = hd ? ZIMG_MATRIX_BT709 : ZIMG_MATRIX_BT470_BG;
    f.color_primaries = PrimariesOf(frame->color_primaries);
    if (f.color_primaries == ZIMG_PRIMARIES_UNSPECIFIED)
        f.color_primaries = hd ? ZIMG_PRIMARIES_BT709 : pal ? ZIMG_PRIMARIES_BT470_BG : ZIMG_PRIMARIES_ST170_M;
    // A transfer zimg does not know (or none said) is read as BT.709's.
    f.transfer_characteristics = TransferOf(frame->color_trc);
    if (f.transfer_characteristics == ZIMG_TRANSFER_UNSPECIFIED) f.transfer_characteristics = ZIMG_TRANSFER_BT709;
    c.hdr = f.transfer_characteristics == ZIMG_TRANSFER_ST2084 || f.transfer_characteristics == ZIMG_TRANSFER_ARIB_B67;
    if (c.hdr) c.peakNits = f.transfer_characteristics == ZIMG_TRANSFER_ARIB_B67 ? kDefaultHdrPeakNits : PeakNitsOf(frame);
    return c;
}

}  // namespace media
