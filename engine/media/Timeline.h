#pragma once
// What reading a whole file, packets only, tells of its pictures: when
// each is shown, whether they come at one steady rate, where its key frames
// lie, where the last picture lies and where the movie really ends. Made
// once per movie, on a thread of its own after the open; never changed
// afterwards.

#include <vector>

#include "engine/media/FrameTiming.h"
#include "engine/media/MediaTypes.h"

namespace media {

// The pictures of a video stream as its packets come, in file order. A
// field-coded picture (interlaced video as camcorders and broadcasts write
// it) comes as two packets, one per field: they are one picture, at the
// first field's time.
class PictureTimes {
public:
    void Add(StreamTime time, bool field, bool key);
    // Whether a packet that is (or is not) a field completes a picture
    // begun before it rather than beginning one.
    bool Completes(bool field) const { return field && m_halfPicture; }
    std::vector<StreamTime> times;
    std::vector<StreamTime> keys;

private:
    bool m_halfPicture = false;  // the last packet was a field whose pair has not come yet
};

struct Timeline {
    // The pictures' times in display order, kept only when they do not come
    // at one steady rate: frame n is then the n-th of them. Empty when they
    // do (the frame time's arithmetic numbers the frames).
    std::vector<StreamTime> pictures;
    // Where the key frames are, in order: a seek goes straight to the one
    // before its target. Empty when every picture is one.
    std::vector<StreamTime> keyFrames;
    StreamTime lastPicture = -1;  // when the last picture that exists is shown; -1 unknown
    StreamTime end = 0;           // where the last picture or sound ends; 0 unknown
    // The header's rate and the container's finest tick. A recording still
    // being written when it was read goes on past its last picture: the
    // pictures after it are numbered at this rate from it.
    FrameTiming rate;
    StreamTime tick = 1;

    bool Numbers() const { return !pictures.empty(); }
    int Count() const { return static_cast<int>(pictures.size()); }
    // The frame shown at `time`: the last picture at or before it (0 before
    // the first), and past the last picture, counted on at the rate. Only
    // when Numbers().
    int FrameAt(StreamTime time) const;
    // When frame `frame` is shown: at the rate past the last picture, the
    // first picture before it.
    StreamTime TimeOf(int frame) const;
    // The last key frame at or before `time`; -1 when none is known.
    StreamTime KeyFrameAtOrBefore(StreamTime time) const;

    // The timeline of `pictures` for a movie whose header gives `rate`
    // (unknown: says nothing), with container timestamps `tick` apart at the
    // finest.
    static Timeline Of(PictureTimes pictures, const FrameTiming& rate, StreamTime tick, StreamTime end);
};

}  // namespace media
