#pragma once
// The subtitles drawn over the movie's pictures: its tracks (the movie's
// own streams and the files added to it), which of them is shown, and
// libass, which lays text out at the size the picture is shown at, with the
// fonts fontconfig finds (Japanese ones included) and those the file
// carries. Pictures whose cues are all placed by themselves are laid out
// cue by cue, and the cues standing still are kept (CueSprites).
//
// Threads: Draw on whoever presents a picture (the stream's worker, or the
// interface thread for a repaint); the rest on the interface thread, while
// the readers feed the tracks from theirs. While a text track plays, a
// thread of the overlay's own lays out the next picture's text as soon as
// one picture is drawn, so that the presenting thread only blends it. One
// lock orders them all.

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "engine/media/PictureOverlay.h"
#include "engine/media/SubtitleSprites.h"
#include "engine/media/SubtitleTrack.h"

struct ass_image;
struct ass_library;
struct ass_renderer;

namespace media {

class SubtitleOverlay final : public PictureOverlay {
public:
    // How large the movie's pictures are as shown: text is laid out for that
    // shape. Asked at every picture, since it may change mid-stream.
    using ShownSize = std::function<std::pair<int, int>()>;
    // `storedWidth` x `storedHeight`: the pictures as coded, where bitmap
    // subtitles that do not say otherwise are placed.
    SubtitleOverlay(ShownSize shownSize, int storedWidth, int storedHeight);
    ~SubtitleOverlay() override;
    SubtitleOverlay(const SubtitleOverlay&) = delete;
    SubtitleOverlay& operator=(const SubtitleOverlay&) = delete;

    // A font the movie carries; only those added before the first text
    // track are used.
    void AddFont(const std::string& name, const char* data, std::size_t size);
    // A new track, numbered from 0 in the order added. The track lives as
    // long as the overlay.
    TextTrack& AddTextTrack(const std::string& header, bool fileReadOrder);
    BitmapTrack& AddBitmapTrack();
    int Count() const;
    // -1: none shown.
    void Select(int index);
    int Selected() const;

    void Draw(StreamTime start, StreamTime length, const PixelBuffer& target, const FrameRect& rect) override;

private:
    struct Track {
        std::unique_ptr<TextTrack> text;
        std::unique_ptr<BitmapTrack> bitmap;
    };
    // A picture's text as laid out, for the track and picture it was made for.
    struct Ahead {
        bool made = false;
        int track = -1;
        StreamTime start = 0, length = 0;
        int width = 0, height = 0, shownWidth = 0, shownHeight = 0;
        // Laid out whole: libass's images, valid until its next layout.
        ass_image* images = nullptr;
        // Or cue by cue.
        std::vector<CueDrawingPtr> drawings;
    };
    // Lays out the text of picture `into` of `track`. Caller holds m_mutex.
    void LayOut(TextTrack& track, Ahead& into);
    bool MakeRenderer();  // caller holds m_mutex
    void LayOutAhead();   // the thread's loop

    const ShownSize m_shownSize;
    const int m_storedWidth;
    const int m_storedHeight;

    mutable std::mutex m_mutex;
    // -- Guarded by m_mutex.
    ass_library* m_library = nullptr;
    ass_renderer* m_renderer = nullptr;  // made with the first text track
    std::vector<Track> m_tracks;
    CueSprites m_sprites;  // the selected track's cues drawn one by one
    int m_selected = -1;
    int m_frameWidth = 0, m_frameHeight = 0;  // libass's frame, as last set
    int m_storageWidth = 0, m_storageHeight = 0;
    Ahead m_ahead;      // made by the thread
    Ahead m_wanted;     // asked of it; `made` says it is waiting to be done
    bool m_quit = false;
    std::condition_variable m_wake;  // the thread: something is wanted, or quit
    std::thread m_thread;            // started by the first text drawn
};

}  // namespace media
