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

// BT.2100 HLG's constants.
constexpr double kHlgA = 0.17883277;
constexpr double kHlgB = 1 - 4 * kHlgA;
const double kHlgC = 0.5 - kHlgA * std::log(4 * kHlgA);

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

double HlgToScene(double code)
{
    const double v = std::clamp(code, 0.0, 1.0);
    return v <= 0.5 ? v * v / 3 : (std::exp((v - kHlgC) / kHlgA) + kHlgB) / 12;
}

ToneCurve::ToneCurve(double peakNits)
    // In PQ, normalised to the picture's range (its black is 0 cd/m2).
    : m_sourcePeak(NitsToPq(peakNits)), m_maxLum(NitsToPq(kSdrWhiteNits) / m_sourcePeak), m_knee(1.5 * m_maxLum - 0.5)
{
}

double ToneCurve::operator()(double pqCode) const
{
    const double e1 = std::clamp(pqCode / m_sourcePeak, 0.0, 1.0);
    double e2 = e1;
    // A picture no brighter than the SDR white needs no roll-off; above
    // the knee a Hermite spline runs from it to the display's peak.
    if (m_maxLum < 1.0 && e1 > m_knee) {
        const double t = (e1 - m_knee) / (1.0 - m_knee);
        const double t2 = t * t, t3 = t2 * t;
        e2 = (2 * t3 - 3 * t2 + 1) * m_knee + (t3 - 2 * t2 + t) * (1 - m_knee) + (-2 * t3 + 3 * t2) * m_maxLum;
    }
    return std::min(PqToNits(e2 * m_sourcePeak) / kSdrWhiteNits, 1.0);
}

}  // namespace media
