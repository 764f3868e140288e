#pragma once
// HDR to SDR: the ITU-R BT.2390 EETF on PQ-coded light, each of R, G and B
// alike. Highlights above what the SDR display reaches are rolled off
// smoothly up to the picture's own peak (nothing below it is clipped),
// black stays black, and the SDR display's white is HDR's reference white
// (ITU-R BT.2408: 203 cd/m2), so skin and paper keep their brightness.
// HLG is first shown as on the 1000 cd/m2 display it is graded for
// (BT.2100's OOTF, system gamma 1.2), then mapped as PQ is.

namespace media {

inline constexpr double kSdrWhiteNits = 203.0;
// The HLG reference display, and the system gamma BT.2100 gives it.
inline constexpr double kHlgDisplayNits = 1000.0;
inline constexpr double kHlgSystemGamma = 1.2;
// The SDR display's transfer (BT.1886, a display of zero black).
inline constexpr double kSdrGamma = 2.4;

// Light in cd/m2 of a PQ (SMPTE ST 2084) code in [0, 1], and back.
double PqToNits(double code);
double NitsToPq(double nits);

// ARIB STD-B67 / BT.2100 HLG: the scene light (0..1) of a code. The
// display light is the scene's times kHlgDisplayNits times the scene's
// luminance to the power kHlgSystemGamma - 1 (the OOTF).
double HlgToScene(double code);

// The EETF for a picture whose peak is `peakNits`: display light (relative
// to the SDR white, 0..1) for a PQ code. Made once per picture kind: its
// constants cost as much as a mapping.
class ToneCurve {
public:
    explicit ToneCurve(double peakNits);
    double operator()(double pqCode) const;

private:
    double m_sourcePeak;  // PQ code of the picture's peak
    double m_maxLum;      // the SDR white, as a share of m_sourcePeak
    double m_knee;        // where the roll-off starts, as such a share
};

}  // namespace media
