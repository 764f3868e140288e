#include "engine/media/SubtitleMotion.h"

#include <cmath>
#include <cstdlib>
#include <string>

namespace media {
namespace {

// More windows than this (a karaoke line of hundreds of syllables) and the
// cue is taken as changing throughout: a still stretch would be too short
// to keep anyway.
constexpr std::size_t kMaxWindows = 64;
// Karaoke times are summed as libass sums them, in whole ms from
// centiseconds given as decimals; a window this much wider on each side
// leaves no doubt which side of a syllable's edge a picture falls on.
constexpr long long kSlackMs = 1;

bool Space(char c)
{
    return c == ' ' || c == '\t';
}

// A number as libass reads a tag's argument; false when it is none or out
// of all reason.
bool Number(std::string_view text, double& value)
{
    while (!text.empty() && Space(text.front())) text.remove_prefix(1);
    while (!text.empty() && Space(text.back())) text.remove_suffix(1);
    if (text.empty() || text.size() > 32) return false;
    const std::string copy(text);
    char* end = nullptr;
    value = std::strtod(copy.c_str(), &end);
    return end == copy.c_str() + copy.size() && std::isfinite(value) && std::fabs(value) < 1e12;
}

// The comma-separated arguments of a tag written "name(a, b, ...)" that
// start `rest` (just after the name): up to `most` leading numbers.
// `more`: what follows them is not a number (\t's tags). False when the
// parenthesis does not follow at once, or is not closed.
bool Arguments(std::string_view rest, std::vector<double>& numbers, bool& more, std::size_t most = 8)
{
    numbers.clear();
    more = false;
    if (rest.empty() || rest.front() != '(') return false;
    rest.remove_prefix(1);
    for (;;) {
        const std::size_t stop = rest.find_first_of(",)\\");
        if (stop == std::string_view::npos) return false;
        double value = 0;
        if (rest[stop] == '\\' || !Number(rest.substr(0, stop), value)) {
            more = true;
            return true;
        }
        if (numbers.size() == most) return false;
        numbers.push_back(value);
        if (rest[stop] == ')') return true;
        rest.remove_prefix(stop + 1);
    }
}

}  // namespace

void CueMotion::Add(long long from, long long to, bool fromEnd)
{
    if (m_windows.size() <= kMaxWindows) m_windows.push_back(Window{from, to, fromEnd});
}

CueMotion CueMotion::Of(std::string_view text, std::string_view effect)
{
    CueMotion motion;
    // Banners and scrolls move throughout and are placed with the others.
    if (!effect.empty()) return motion;
    // `odd`: a tag that places the cue written in a way whose reading we
    // cannot be sure of.
    bool placed = false, whole = false, odd = false;
    long long sung = 0;  // karaoke: the syllables' time so far, ms
    std::vector<double> args;
    bool more = false;
    for (std::size_t open = text.find('{'); open != std::string_view::npos;
         open = text.find('{', open + 1)) {
        // An unclosed block runs to the end, as libass reads it.
        const std::size_t close = std::min(text.find('}', open), text.size());
        const std::string_view block = text.substr(open + 1, close - open - 1);
        for (std::size_t at = block.find('\\'); at != std::string_view::npos;
             at = block.find('\\', at + 1)) {
            const std::string_view tag = block.substr(at + 1);
            if (tag.empty()) continue;
            if (Space(tag.front())) odd = true;
            switch (tag.front()) {
            case 'k':
            case 'K': {
                // \k and \ko switch a syllable at its start, \kf and \K
                // sweep it; \kt sets the clock anew.
                const bool sweep = tag.front() == 'K' || tag.substr(0, 2) == "kf";
                if (tag.substr(0, 2) == "kt") {
                    whole = true;
                    break;
                }
                const std::size_t skip = tag.front() == 'K' ? 1 : tag.substr(0, 2) == "kf" || tag.substr(0, 2) == "ko" ? 2 : 1;
                const std::size_t end = tag.find_first_of("\\}", skip);
                double centiseconds = 0;
                if (!Number(tag.substr(skip, end == std::string_view::npos ? tag.npos : end - skip), centiseconds) ||
                    centiseconds < 0) {
                    whole = true;
                    break;
                }
                const long long length = static_cast<long long>(centiseconds * 10);
                if (sweep)
                    motion.Add(sung - kSlackMs, sung + length + kSlackMs);
                else {
                    motion.Add(sung - kSlackMs, sung + kSlackMs);
                    motion.Add(sung + length - kSlackMs, sung + length + kSlackMs);
                }
                sung += length;
                break;
            }
            case 't':
                // \t(a, b, accel, tags), \t(a, b, tags), \t(accel, tags),
                // \t(tags): changing from a to b, or throughout.
                if (!Arguments(tag.substr(1), args, more, 3) || !more || args.size() < 2 ||
                    (args[0] == 0 && args[1] == 0))
                    whole = true;
                else
                    motion.Add(static_cast<long long>(std::min(args[0], args[1])),
                               static_cast<long long>(std::max(args[0], args[1])));
                break;
            case 'm':
                // \move(x1, y1, x2, y2[, t1, t2]): throughout, or from t1 to t2.
                if (tag.substr(0, 4) != "move" || !Arguments(tag.substr(4), args, more) || more ||
                    (args.size() != 4 && args.size() != 6)) {
                    odd = true;
                    break;
                }
                placed = true;
                if (args.size() == 4 || (args[4] <= 0 && args[5] <= 0))
                    whole = true;
                else
                    motion.Add(static_cast<long long>(std::min(args[4], args[5])),
                               static_cast<long long>(std::max(args[4], args[5])));
                break;
            case 'f':
                if (tag.substr(0, 3) != "fad") break;  // \fax, \fn, \fs...: the same throughout
                // \fad(in, out), or \fade(a1, a2, a3, t1, t2, t3, t4).
                if (!Arguments(tag.substr(tag.substr(0, 4) == "fade" ? 4 : 3), args, more) || more) {
                    whole = true;
                } else if (args.size() == 2 && args[0] >= 0 && args[1] >= 0) {
                    motion.Add(0, static_cast<long long>(args[0]));
                    motion.Add(static_cast<long long>(args[1]), 0, true);
                } else if (args.size() == 7) {
                    double from = args[3], to = args[3];
                    for (int i = 4; i < 7; ++i) from = std::min(from, args[i]), to = std::max(to, args[i]);
                    motion.Add(static_cast<long long>(from), static_cast<long long>(to));
                } else {
                    whole = true;
                }
                break;
            case 'p':
                if (tag.substr(0, 3) != "pos") break;  // \p, \pbo: drawings
                if (Arguments(tag.substr(3), args, more) && !more && args.size() == 2)
                    placed = true;
                else
                    odd = true;
                break;
            default: break;
            }
        }
        if (close == text.size()) break;
    }
    // Only a cue placed by itself is laid out the same whatever else is on
    // screen; the others are stacked out of each other's way.
    motion.m_alone = placed && !odd;
    if (whole || motion.m_windows.size() > kMaxWindows) motion.Whole();
    return motion;
}

int CueMotion::Stretch(long long at, long long duration) const
{
    int before = 0;
    for (const Window& w : m_windows) {
        const long long from = w.fromEnd ? duration - w.from : w.from;
        const long long to = w.fromEnd ? duration - w.to : w.to;
        if (at >= from - kSlackMs && at <= to + kSlackMs) return -1;
        if (to + kSlackMs < at) ++before;
    }
    return before;
}

}  // namespace media
