#pragma once
// The cues of one subtitle track, as the readers find them (in any order,
// and some more than once: the demuxer reads a stretch again after each
// seek) and as the picture needs them: exactly those whose time span
// overlaps a picture's display interval.
//
// Threads: Add from any reader; the rest from whoever draws (one at a time,
// see SubtitleOverlay).

#include <map>
#include <mutex>
#include <set>
#include <unordered_set>
#include <utility>
#include <vector>

#include "engine/media/MediaTypes.h"
#include "engine/media/SubtitleDecoder.h"
#include "engine/media/SubtitleMotion.h"

struct ass_event;
struct ass_library;
struct ass_track;

namespace media {

// A text track, laid out by libass.
class TextTrack {
public:
    // More cues than this in one track are damage (a film has a few
    // thousand); beyond it they are skipped.
    static constexpr std::size_t kMaxCues = 400'000;
    // Cues drawn over one picture at most: a script that puts thousands on
    // screen at once would take seconds a picture.
    static constexpr int kMaxShown = 500;
    // How long a cue whose stream gives no end lasts, unless the next comes
    // sooner.
    static constexpr StreamTime kOpenLength = 5 * kUnitsPerSecond;

    // `header`: the script's styles. `fileReadOrder`: the cues carry the
    // script's own reading order (ASS and SSA), which decides how
    // overlapping lines stack; other codings get it in the order read.
    TextTrack(ass_library* library, const std::string& header, bool fileReadOrder);
    ~TextTrack();
    TextTrack(const TextTrack&) = delete;
    TextTrack& operator=(const TextTrack&) = delete;

    void Add(std::vector<TextCue>& cues);

    // The track made ready to draw the picture shown for [start, start +
    // length): libass shows exactly the cues overlapping it at `nowMs`.
    ass_track* Prepare(StreamTime start, StreamTime length, long long& nowMs);
    int Size();  // distinct cues read so far
    // Takes the cues that came in since the last Prepare: whether any of
    // them (or the end of a cue without one, which they moved) touches the
    // picture shown for [start, start + length).
    bool TakeNewTouching(StreamTime start, StreamTime length);
    // Whether a cue taken begins in [from, to): whether pictures whose
    // intervals end there may show different cues.
    bool CueBeginsIn(StreamTime from, StreamTime to) const;

    // The cues the last Prepare shows (libass's event numbers), each as
    // libass has it then, and how it moves.
    const std::vector<int>& Shown() const { return m_shown; }
    const ass_event& Event(int cue) const;
    const CueMotion& Motion(int cue) const { return m_motions[static_cast<std::size_t>(cue)]; }
    // A track of the same styles holding that one cue alone, timed as
    // Prepare timed it; valid until the next call. Null when none can be made.
    ass_track* Alone(int cue);
    // The prepared track with `cues` not shown, their lengths kept in
    // `kept` until Show gives them back.
    ass_track* Hide(const std::vector<int>& cues, std::vector<long long>& kept);
    void Show(const std::vector<int>& cues, const std::vector<long long>& kept);

private:
    struct Span {
        StreamTime start;
        StreamTime end;
        bool open;  // the stream gave no end
    };
    // The span of the stream's time that the cues taken touch; empty
    // (first >= second) when none came.
    std::pair<StreamTime, StreamTime> TakeNew();

    ass_track* m_track;
    ass_track* m_alone = nullptr;  // the drawer's
    const bool m_fileReadOrder;
    std::vector<Span> m_spans;          // by libass event number; the drawer's
    std::vector<CueMotion> m_motions;   // likewise
    std::vector<int> m_shown;           // the drawer's
    std::multiset<StreamTime> m_starts;  // the drawer's, for cues without an end
    std::vector<int> m_openCues;         // the drawer's

    std::mutex m_mutex;
    // -- Guarded by m_mutex.
    std::vector<TextCue> m_new;
    std::unordered_set<std::uint64_t> m_seen;  // every cue taken, by a hash of its time and line
    int m_nextReadOrder = 0;
};

// A bitmap track: each cue shows until its end or the next cue's start.
class BitmapTrack {
public:
    // The decoded pictures kept; those furthest from where the movie was
    // last drawn go first (the demuxer decodes them again when it passes).
    static constexpr std::size_t kMaxBytes = 64u << 20;
    // The longest a bitmap cue shows: an end further off is damage.
    static constexpr StreamTime kMaxLength = 60 * kUnitsPerSecond;

    void Add(std::vector<BitmapCue>& cues);
    // Draws the cues overlapping [start, start + length) into `rect` of
    // `target`, scaled from their canvas (`canvasWidth` x `canvasHeight`
    // when the cue does not say) to the rectangle.
    void Draw(StreamTime start, StreamTime length, const PixelBuffer& target, const FrameRect& rect, int canvasWidth,
              int canvasHeight);
    std::size_t Size();

private:
    struct Scaled {
        int x = 0, y = 0, width = 0, height = 0;
        std::vector<std::uint32_t> pixels;  // premultiplied 0xAARRGGBB
    };
    struct Entry {
        BitmapCue cue;
        std::size_t bytes = 0;
        // The rectangles as last drawn, for a picture of this size.
        int scaledFor = 0;
        std::vector<Scaled> scaled;
    };
    void Evict();  // caller holds m_mutex
    void Scale(Entry& entry, const FrameRect& rect, int canvasWidth, int canvasHeight);

    std::mutex m_mutex;
    // -- Guarded by m_mutex.
    std::map<StreamTime, Entry> m_cues;  // by start
    std::size_t m_bytes = 0;
    StreamTime m_focus = 0;  // where the movie was last drawn
    std::vector<StreamTime> m_drawn;  // the cues whose scaled pictures are kept
};

}  // namespace media
