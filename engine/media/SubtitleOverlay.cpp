#include "engine/media/SubtitleOverlay.h"

#include <ass/ass.h>

#include <cstdarg>

#include "engine/media/SubtitleBlend.h"

namespace media {
namespace {

// libass tells of every font it picks and every tag it skips: damaged and
// unusual scripts are expected, and the viewer sees the result.
void Quiet(int, const char*, va_list, void*) {}

// libass's own caches, kept modest: one film's glyphs, and the bitmaps of a
// few seconds of dense styled text at full-screen sizes.
constexpr int kGlyphCache = 10'000;
constexpr int kBitmapCacheMb = 128;

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
    if (hadRenderer && header.find("[Fonts]") != std::string::npos)
        ass_set_fonts(m_renderer, nullptr, "sans-serif", ASS_FONTPROVIDER_AUTODETECT, nullptr, 1);
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
    if (rect.Width() != m_frameWidth || rect.Height() != m_frameHeight) {
        m_frameWidth = rect.Width();
        m_frameHeight = rect.Height();
        ass_set_frame_size(m_renderer, m_frameWidth, m_frameHeight);
    }
    auto [shownWidth, shownHeight] = m_shownSize ? m_shownSize() : std::pair<int, int>{0, 0};
    if (shownWidth <= 0 || shownHeight <= 0) shownWidth = m_frameWidth, shownHeight = m_frameHeight;
    if (shownWidth != m_storageWidth || shownHeight != m_storageHeight) {
        m_storageWidth = shownWidth;
        m_storageHeight = shownHeight;
        ass_set_storage_size(m_renderer, m_storageWidth, m_storageHeight);
    }
    long long now = 0;
    ASS_Track* prepared = track.text->Prepare(start, length, now);
    if (!prepared) return;
    int changed = 0;
    BlendAssImages(ass_render_frame(m_renderer, prepared, now, &changed), target, rect);
}

}  // namespace media
