#include "engine/media/picture/ToneMap.h"

#include <algorithm>
#include <cmath>

namespace media {
namespace {

// SMPTE ST 2084's constants.
constexpr double kM1 = 2610.0 / 16384.0;
constexpr double kM2 = 2523.0 / 4096.0 * 128.0;
constexpr double kC1 = 3424.0 / 4096.0;
constexpr double kC2 = 2413.0 / 4096.0 * 32.0;
constexpr double kC3 = 2392.0 / 4096.0 * 32.0;
constexpr double kPqPeak = 10000.0;
// The SDR display's transfer (BT.1886, a display of zero black).
constexpr double kSdrGamma = 2.4;

}  // namespace

double PqToNits(double code)
{
    const double p = std::pow(std::clamp(code, 0.0, 1.0), 1.0 / kM2);
    return kPqPeak * std::pow(std::max(p - kC1, 0.0) / (kC2 - kC3 * p), 1.0 / kM1);
}

double NitsToPq(double nits)
{
    const double y = std::pow(std::clamp(nits / kPqPeak, 0.0, 1.0), kM1);
    return std::pow((kC1 + kC2 * y) / (1.0 + kC3 * y), kM2);
}

double ToneMapped(double pqCode, double peakNits)
{
    // In PQ, normalised to the picture's range (its black is 0 cd/m2).
    const double sourcePeak = NitsToPq(peakNits);
    const double e1 = std::clamp(pqCode / sourcePeak, 0.0, 1.0);
    const double maxLum = NitsToPq(kSdrWhiteNits) / sourcePeak;
    double e2 = e1;
    if (maxLum < 1.0) {
        // The knee, and a Hermite spline from it to the display's peak.
        const double ks = 1.5 * maxLum - 0.5;
        if (e1 > ks) {
            const double t = (e1 - ks) / (1.0 - ks);
            const double t2 = t * t, t3 = t2 * t;
            e2 = (2 * t3 - 3 * t2 + 1) * ks + (t3 - 2 * t2 + t) * (1 - ks) + (-2 * t3 + 3 * t2) * maxLum;
        }
    }
    return std::min(PqToNits(e2 * sourcePeak) / kSdrWhiteNits, 1.0);
}

std::vector<std::uint16_t> ToneMapTable(double peakNits)
{
    std::vector<std::uint16_t> table(65536);
    for (std::size_t code = 0; code < table.size(); ++code) {
        const double light = ToneMapped(static_cast<double>(code) / 65535.0, peakNits);
        table[code] = static_cast<std::uint16_t>(std::lround(std::pow(light, 1.0 / kSdrGamma) * 65535.0));
    }
    return table;
}

}  // namespace media
