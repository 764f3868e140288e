#pragma once
// HDR to SDR: the ITU-R BT.2390 EETF on PQ-coded light. Highlights above
// what the SDR display reaches are rolled off smoothly up to the picture's
// own peak (nothing below it is clipped), black stays black, and the SDR
// display's white is HDR's reference white (ITU-R BT.2408: 203 cd/m2), so
// skin and paper keep their brightness. Made once per movie, as a table
// from a 16-bit PQ code to a 16-bit code for the SDR display (BT.1886,
// gamma 2.4), the same for each of R, G and B.

#include <cstdint>
#include <vector>

namespace media {

inline constexpr double kSdrWhiteNits = 203.0;

// Light in cd/m2 of a PQ (SMPTE ST 2084) code in [0, 1], and back.
double PqToNits(double code);
double NitsToPq(double nits);

// The display light (relative to the SDR white, 0..1) that the EETF gives
// a PQ code for a picture whose peak is `peakNits`.
double ToneMapped(double pqCode, double peakNits);

// The table: 65536 16-bit SDR codes, by 16-bit PQ code.
std::vector<std::uint16_t> ToneMapTable(double peakNits);

}  // namespace media
