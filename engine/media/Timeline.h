#pragma once
// What reading a whole file, packets only, tells of its pictures: when
// each is shown, whether they come at one steady rate, where the last one
// lies and where the movie really ends. Made once per movie, on a thread of
// its own after the open; never changed afterwards.

#include <vector>

#include "engine/media/MediaTypes.h"

namespace media {

struct Timeline {
    // The pictures' times in display order, kept only when they do not come
    // at one steady rate: frame n is then the n-th of them. Empty when they
    // do (the frame time's arithmetic numbers the frames).
    std::vector<StreamTime> pictures;
    StreamTime lastPicture = -1;  // when the last picture that exists is shown; -1 unknown
    StreamTime end = 0;           // where the last picture or sound ends; 0 unknown

    bool Numbers() const { return !pictures.empty(); }
    int Count() const { return static_cast<int>(pictures.size()); }
    // The frame shown at `time`: the last picture at or before it (0 before
    // the first). Only when Numbers().
    int FrameAt(StreamTime time) const;
    // When frame `frame` is shown, the frame limited to the movie.
    StreamTime TimeOf(int frame) const;

    // The timeline of pictures at `times` (any order) for a movie whose
    // header says one frame lasts `timePerFrame` (0: says nothing), with
    // container timestamps `tick` apart at the finest.
    static Timeline Of(std::vector<StreamTime> times, StreamTime timePerFrame, StreamTime tick, StreamTime end);
};

}  // namespace media
