#pragma once
// When a styled cue looks the same from one picture to the next. A cue
// placed by \pos or \move is laid out without regard to the others, and
// between its animations (\t, \move, \fad, \fade, karaoke) it does not
// change: its drawing can be kept and blended again while the movie plays
// through such a stretch. Read from the cue's override tags; anything not
// understood counts as changing all the time.

#include <string_view>
#include <vector>

namespace media {

class CueMotion {
public:
    // `text`: the event's text with its override blocks; `effect`: its
    // Effect field (scrolling and banners move all the time).
    static CueMotion Of(std::string_view text, std::string_view effect);

    // Whether the cue stands on its own: placed by itself, every tag read.
    bool Alone() const { return m_alone; }
    // At `at` ms after the cue's start, of a cue lasting `duration` ms:
    // -1 while it may change, else the number of the still stretch `at`
    // lies in (the same number, the same drawing). Meaningful only Alone.
    int Stretch(long long at, long long duration) const;

private:
    // Where the cue may change: [from, to] ms after its start, or, when
    // `fromEnd`, [duration - from, duration - to].
    struct Window {
        long long from, to;
        bool fromEnd;
    };
    void Whole() { m_windows.assign(1, Window{kMin, kMax, false}); }
    void Add(long long from, long long to, bool fromEnd = false);

    static constexpr long long kMin = -(1ll << 50), kMax = 1ll << 50;
    bool m_alone = false;
    std::vector<Window> m_windows;
};

}  // namespace media
