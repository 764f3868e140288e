#include "engine/media/SubtitleOverlay.h"

#include <ass/ass.h>

#include <algorithm>
#include <cstdarg>
#include <system_error>

#include "engine/media/SubtitleBlend.h"
#include "engine/media/ThreadPriority.h"

namespace media {
namespace {

// libass tells of every font it picks and every tag it skips: damaged and
// unusual scripts are expected, and the viewer sees the result.
void Quiet(int, const char*, va_list, void*) {}

// libass's own caches. Glyph outlines: one film's. Bitmaps: those of the
// lines on screen are kept whatever the limit (they are in use), so the
// limit bounds only what is kept of lines gone by, for the movie coming
// back to them; a little of that is enough. A larger limit only lets the
// memory grow for minutes, as seeks find lines not drawn before, for no
// gain in playing on.
constexpr int kGlyphCache = 10'000;
constexpr int kBitmapCacheMb = 16;

}  // namespace

SubtitleOverlay::SubtitleOverlay(ShownSize shownSize, int storedWidth, int storedHeight)
    : m_shownSize(std::move(shownSize)), m_storedWidth(storedWidth), m_storedHeight(storedHeight)
{
    m_library = ass_library_init();
    if (m_library) {
        ass_set_message_cb(m_library, &Quiet, nullptr);
        // Fonts in a script's own [Fonts] section are used too.
        ass_set_extract_fonts(m_library, 1);
    }
}

SubtitleOverlay::~SubtitleOverlay()
{
    {
        std::lock_guard lock(m_mutex);
        m_quit = true;
    }
    m_wake.notify_all();
    if (m_thread.joinable()) m_thread.join();
    std::lock_guard lock(m_mutex);
    m_tracks.clear();  // before the library they were made with
    if (m_renderer) ass_renderer_done(m_renderer);
    if (m_library) ass_library_done(m_library);
}

void SubtitleOverlay::AddFont(const std::string& name, const char* data, std::size_t size)
{
    std::lock_guard lock(m_mutex);
    if (!m_library || !data || size == 0 || size > static_cast<std::size_t>(INT32_MAX)) return;
    ass_add_font(m_library, name.c_str(), data, static_cast<int>(size));
}

bool SubtitleOverlay::MakeRenderer()
{
    if (m_renderer) return true;
    if (!m_library) return false;
    m_renderer = ass_renderer_init(m_library);
    if (!m_renderer) return false;
    // Fonts through fontconfig, "sans-serif" for what a script asks for
    // and the system lacks; a glyph missing from the chosen font (Japanese
    // in a Latin style) is taken from one that has it.
    ass_set_fonts(m_renderer, nullptr, "sans-serif", ASS_FONTPROVIDER_AUTODETECT, nullptr, 1);
    ass_set_cache_limits(m_renderer, kGlyphCache, kBitmapCacheMb);
    // Text stays inside the picture, also when it is letter-boxed.
    ass_set_use_margins(m_renderer, 0);
    return true;
}

TextTrack& SubtitleOverlay::AddTextTrack(const std::string& header, bool fileReadOrder)
{
    std::lock_guard lock(m_mutex);
    // The track first: fonts its header carries are added to the library,
    // and the renderer takes the library's fonts when it is made.
    auto track = std::make_unique<TextTrack>(m_library, header, fileReadOrder);
    const bool hadRenderer = m_renderer != nullptr;
    MakeRenderer();
    if (hadRenderer && header.find("[Fonts]") != std::string::npos) {
        ass_set_fonts(m_renderer, nullptr, "sans-serif", ASS_FONTPROVIDER_AUTODETECT, nullptr, 1);
        m_ahead.made = false;  // laid out with the fonts before
        m_sprites.Forget();
    }
    m_tracks.push_back(Track{std::move(track), nullptr});
    return *m_tracks.back().text;
}

BitmapTrack& SubtitleOverlay::AddBitmapTrack()
{
    std::lock_guard lock(m_mutex);
    m_tracks.push_back(Track{nullptr, std::make_unique<BitmapTrack>()});
    return *m_tracks.back().bitmap;
}

int SubtitleOverlay::Count() const
{
    std::lock_guard lock(m_mutex);
    return static_cast<int>(m_tracks.size());
}

void SubtitleOverlay::Select(int index)
{
    std::lock_guard lock(m_mutex);
    m_selected = index >= 0 && index < static_cast<int>(m_tracks.size()) ? index : -1;
    m_ahead.made = false;
    m_sprites.Forget();
}

int SubtitleOverlay::Selected() const
{
    std::lock_guard lock(m_mutex);
    return m_selected;
}

void SubtitleOverlay::Draw(StreamTime start, StreamTime length, const PixelBuffer& target, const FrameRect& rect)
{
    if (!target.bits || rect.Width() <= 0 || rect.Height() <= 0) return;
    std::lock_guard lock(m_mutex);
    if (m_selected < 0) return;
    Track& track = m_tracks[static_cast<std::size_t>(m_selected)];
    if (track.bitmap) return track.bitmap->Draw(start, length, target, rect, m_storedWidth, m_storedHeight);
    if (!track.text || !m_renderer) return;

    // Laid out at the size the picture is drawn at, not scaled afterwards:
    // sharp in full screen. The shape of the movie's pictures tells libass
    // the pixels' aspect.
    auto [shownWidth, shownHeight] = m_shownSize ? m_shownSize() : std::pair<int, int>{0, 0};
    if (shownWidth <= 0 || shownHeight <= 0) shownWidth = rect.Width(), shownHeight = rect.Height();
    const Ahead asked{true, m_selected, start, length, rect.Width(), rect.Height(), shownWidth, shownHeight, nullptr, {}};
    // The next picture's length is not known ahead (frame times in 100 ns
    // units alternate, 333333, 333334...): the text is the same unless a cue
    // begins between the two ends.
    const auto same = [&track](const Ahead& a, const Ahead& b) {
        return a.track == b.track && a.start == b.start && a.width == b.width && a.height == b.height &&
               a.shownWidth == b.shownWidth && a.shownHeight == b.shownHeight && a.length > 0 && b.length > 0 &&
               !track.text->CueBeginsIn(a.start + std::min(a.length, b.length), a.start + std::max(a.length, b.length));
    };
    // What was laid out ahead is this picture's text unless cues came in
    // since that belong to it.
    const bool ahead = m_ahead.made && same(m_ahead, asked) && !track.text->TakeNewTouching(start, length);
    Ahead laid = asked;
    if (ahead) {
        laid.images = m_ahead.images;
        laid.drawings = std::move(m_ahead.drawings);
    } else {
        if (rect.Width() != m_frameWidth || rect.Height() != m_frameHeight) {
            m_frameWidth = rect.Width();
            m_frameHeight = rect.Height();
            ass_set_frame_size(m_renderer, m_frameWidth, m_frameHeight);
            m_sprites.Forget();
        }
        if (shownWidth != m_storageWidth || shownHeight != m_storageHeight) {
            m_storageWidth = shownWidth;
            m_storageHeight = shownHeight;
            ass_set_storage_size(m_renderer, m_storageWidth, m_storageHeight);
            m_sprites.Forget();
        }
        LayOut(*track.text, laid);
    }
    m_ahead.made = false;  // the next layout, by either thread, ends its images
    BlendAssImages(laid.images, target, rect);
    if (!laid.drawings.empty()) m_sprites.Draw(laid.drawings, target, rect);

    // The next picture, as playing goes on: laid out meanwhile.
    m_wanted = asked;
    m_wanted.start = start + length;
    m_wanted.made = length > 0;
    if (!m_wanted.made) return;
    if (!m_thread.joinable()) {
        try {
            m_thread = std::thread([this] { LayOutAhead(); });
        } catch (const std::system_error&) {
            // No thread to be had: each picture's text is laid out as it is
            // drawn, as without one.
            m_wanted.made = false;
            return;
        }
    }
    m_wake.notify_one();
}

void SubtitleOverlay::LayOut(TextTrack& track, Ahead& into)
{
    into.images = nullptr;
    into.drawings.clear();
    long long now = 0;
    ASS_Track* prepared = track.Prepare(into.start, into.length, now);
    if (!prepared || m_sprites.LayOut(m_renderer, track, now, m_frameWidth, m_frameHeight, into.drawings)) return;
    into.drawings.clear();
    into.images = ass_render_frame(m_renderer, prepared, now, nullptr);
}

void SubtitleOverlay::LayOutAhead()
{
    LowerThisThread("reelscope-subs", kWorkerNice);
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [this] { return m_quit || m_wanted.made; });
        if (m_quit) return;
        const Ahead wanted = m_wanted;
        m_wanted.made = false;
        // Only for the track and the size drawn last: anything else is
        // laid out when it is drawn.
        if (wanted.track != m_selected || !m_renderer || wanted.width != m_frameWidth ||
            wanted.height != m_frameHeight || wanted.shownWidth != m_storageWidth ||
            wanted.shownHeight != m_storageHeight)
            continue;
        TextTrack* text = m_tracks[static_cast<std::size_t>(wanted.track)].text.get();
        if (!text) continue;
        m_ahead = wanted;
        LayOut(*text, m_ahead);
    }
}

}  // namespace media
