#include "engine/media/SubtitleTrack.h"

#include <ass/ass.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <limits>
#include <string_view>

#include "engine/media/SubtitleBlend.h"

namespace media {
namespace {

// Floor division to milliseconds, also for times before 0.
long long FloorMs(StreamTime t)
{
    return t >= 0 ? t / kUnitsPerMs : -((-t + kUnitsPerMs - 1) / kUnitsPerMs);
}

// The line after its first field (the reading order), which two readings of
// the same cue may number differently.
std::string_view AfterReadOrder(std::string_view line)
{
    const std::size_t comma = line.find(',');
    return comma == std::string_view::npos ? line : line.substr(comma + 1);
}

// The header without the fonts and pictures it may carry, which the
// library has taken once already.
std::string WithoutAttachments(const std::string& header)
{
    std::string out;
    bool skipping = false;
    std::size_t at = 0;
    while (at < header.size()) {
        std::size_t end = header.find('\n', at);
        end = end == std::string::npos ? header.size() : end + 1;
        const std::string_view line(header.data() + at, end - at);
        if (!line.empty() && line.front() == '[') skipping = line.starts_with("[Fonts]") || line.starts_with("[Graphics]");
        if (!skipping) out.append(line);
        at = end;
    }
    return out;
}

// A tag's number at the start of `text`, as libass reads it; false when
// none stands there.
bool LeadingNumber(std::string_view text, double& value)
{
    std::size_t length = 0;
    while (length < text.size() && length < 24 && (std::isdigit(static_cast<unsigned char>(text[length])) || text[length] == '.'))
        ++length;
    if (length == 0) return false;
    value = std::strtod(std::string(text.substr(0, length)).c_str(), nullptr);
    return true;
}

// A cue whose letters stand taller or wider than the whole picture shows
// nothing that can be read, and libass takes a tenth of a second a letter
// to draw it (a damaged or hostile script): such a cue is skipped. Its
// style's size and scale count, and the largest of its own; in a cue with
// a drawing only the size, as a sign's box is often a unit square scaled up
// many times.
bool Oversized(const ASS_Track& track, const ASS_Event& event)
{
    if (event.Style < 0 || event.Style >= track.n_styles || !event.Text) return false;
    const ASS_Style& style = track.styles[event.Style];
    double size = style.FontSize, scaleX = style.ScaleX, scaleY = style.ScaleY, value = 0;
    bool drawing = false;
    const std::string_view text = event.Text;
    for (std::size_t open = text.find('{'); open != std::string_view::npos; open = text.find('{', open + 1)) {
        const std::string_view block = text.substr(open, text.find('}', open) - open);
        for (std::size_t at = block.find("\\p"); at != std::string_view::npos; at = block.find("\\p", at + 2))
            drawing = drawing || (LeadingNumber(block.substr(at + 2), value) && value > 0);
        for (std::size_t at = block.find("\\fs"); at != std::string_view::npos; at = block.find("\\fs", at + 3)) {
            const std::string_view rest = block.substr(at + 3);
            if (rest.starts_with("cx") && LeadingNumber(rest.substr(2), value))
                scaleX = std::max(scaleX, value / 100);
            else if (rest.starts_with("cy") && LeadingNumber(rest.substr(2), value))
                scaleY = std::max(scaleY, value / 100);
            else if (LeadingNumber(rest, value))
                size = std::max(size, value);
        }
    }
    // The script's own size, as libass takes it when the header leaves it out.
    double width = track.PlayResX, height = track.PlayResY;
    if (width <= 0 && height <= 0) width = 384, height = 288;
    if (width <= 0) width = height * 4 / 3;
    if (height <= 0) height = width * 3 / 4;
    if (drawing) scaleX = scaleY = 1;
    return size * scaleY > height || size * scaleX > width;
}

std::uint64_t CueKey(const TextCue& cue)
{
    const std::uint64_t text = std::hash<std::string_view>{}(AfterReadOrder(cue.line));
    std::uint64_t key = text ^ (static_cast<std::uint64_t>(cue.start) * 0x9E3779B97F4A7C15ull);
    key ^= static_cast<std::uint64_t>(cue.end) + 0x632BE59BD9B4E019ull + (key << 6) + (key >> 2);
    return key;
}

}  // namespace

TextTrack::TextTrack(ASS_Library* library, const std::string& header, bool fileReadOrder)
    : m_track(ass_new_track(library)), m_fileReadOrder(fileReadOrder)
{
    if (!m_track) return;
    m_alone = ass_new_track(library);
    for (ASS_Track* track : {m_track, m_alone}) {
        if (!track) continue;
        if (!header.empty()) {
            std::string copy = track == m_track ? header : WithoutAttachments(header);  // parsed in place
            ass_process_codec_private(track, copy.data(), static_cast<int>(copy.size()));
            // Cues come only through Add, each with its span: a dialogue
            // line left in the header (one the reader could not take as a
            // cue) would put libass's events out of step with the spans.
            ass_flush_events(track);
        }
        // Duplicates are told apart here, by time and text: the reading
        // order is no identity when two readers number the same cue
        // differently.
        ass_set_check_readorder(track, 0);
    }
}

TextTrack::~TextTrack()
{
    if (m_alone) ass_free_track(m_alone);
    if (m_track) ass_free_track(m_track);
}

const ASS_Event& TextTrack::Event(int cue) const
{
    return m_track->events[cue];
}

ASS_Track* TextTrack::Alone(int cue)
{
    if (!m_alone || !m_track || cue < 0 || cue >= m_track->n_events) return nullptr;
    ass_flush_events(m_alone);
    const int slot = ass_alloc_event(m_alone);
    if (slot < 0) return nullptr;
    const ASS_Event& from = m_track->events[cue];
    ASS_Event& to = m_alone->events[slot];
    const auto copy = [](const char* text) { return text ? strdup(text) : nullptr; };  // libass frees them
    to.Start = from.Start;
    to.Duration = from.Duration;
    to.ReadOrder = from.ReadOrder;
    to.Layer = from.Layer;
    to.Style = from.Style;
    to.MarginL = from.MarginL;
    to.MarginR = from.MarginR;
    to.MarginV = from.MarginV;
    to.Name = copy(from.Name);
    to.Effect = copy(from.Effect);
    to.Text = copy(from.Text);
    if (!to.Text) {
        ass_flush_events(m_alone);
        return nullptr;
    }
    return m_alone;
}

ASS_Track* TextTrack::Hide(const std::vector<int>& cues, std::vector<long long>& kept)
{
    kept.clear();
    for (const int cue : cues) {
        kept.push_back(m_track->events[cue].Duration);
        m_track->events[cue].Duration = 0;
    }
    return m_track;
}

void TextTrack::Show(const std::vector<int>& cues, const std::vector<long long>& kept)
{
    for (std::size_t i = 0; i < cues.size() && i < kept.size(); ++i) m_track->events[cues[i]].Duration = kept[i];
}

void TextTrack::Add(std::vector<TextCue>& cues)
{
    std::lock_guard lock(m_mutex);
    for (TextCue& cue : cues) {
        if (m_seen.size() >= kMaxCues) break;
        if (!m_seen.insert(CueKey(cue)).second) continue;
        if (!m_fileReadOrder) {
            // Numbered in the order first read: that is the file's order
            // for a track read through, and stacks overlapping lines as
            // they come.
            cue.line = std::to_string(m_nextReadOrder++) + "," + std::string(AfterReadOrder(cue.line));
        }
        m_new.push_back(std::move(cue));
    }
    cues.clear();
}

int TextTrack::Size()
{
    std::lock_guard lock(m_mutex);
    return static_cast<int>(m_seen.size());
}

bool TextTrack::TakeNewTouching(StreamTime start, StreamTime length)
{
    const auto [from, to] = TakeNew();
    return from < to && from <= start + std::max<StreamTime>(length, 0) && to > start;
}

bool TextTrack::CueBeginsIn(StreamTime from, StreamTime to) const
{
    const auto first = m_starts.lower_bound(from);
    return first != m_starts.end() && *first < to;
}

std::pair<StreamTime, StreamTime> TextTrack::TakeNew()
{
    std::pair<StreamTime, StreamTime> touched{std::numeric_limits<StreamTime>::max(),
                                              std::numeric_limits<StreamTime>::min()};
    const auto touch = [&touched](StreamTime from, StreamTime to) {
        touched.first = std::min(touched.first, from);
        touched.second = std::max(touched.second, to);
    };
    std::vector<TextCue> taken;
    {
        std::lock_guard lock(m_mutex);
        taken.swap(m_new);
    }
    if (!m_track || taken.empty()) return touched;
    for (TextCue& cue : taken) {
        const int before = m_track->n_events;
        const long long startMs = FloorMs(cue.start);
        const long long endMs = cue.end == kOpenEnd ? startMs + 1 : std::max(FloorMs(cue.end), startMs);
        ass_process_chunk(m_track, cue.line.data(), static_cast<int>(cue.line.size()), startMs, endMs - startMs);
        if (m_track->n_events != before + 1) continue;  // not a line libass could read
        const ASS_Event& event = m_track->events[before];
        if (Oversized(*m_track, event)) {
            ass_free_event(m_track, before);
            --m_track->n_events;
            continue;
        }
        m_motions.push_back(CueMotion::Of(event.Text ? event.Text : "", event.Effect ? event.Effect : ""));
        const bool open = cue.end == kOpenEnd;
        m_spans.push_back(Span{cue.start, open ? cue.start + kOpenLength : std::max(cue.end, cue.start), open});
        touch(m_spans.back().start, m_spans.back().end);
        m_starts.insert(cue.start);
        if (open) m_openCues.push_back(before);
    }
    // A cue without an end lasts until the next begins.
    for (const int i : m_openCues) {
        Span& span = m_spans[static_cast<std::size_t>(i)];
        const auto next = m_starts.upper_bound(span.start);
        const StreamTime was = span.end;
        span.end = span.start + kOpenLength;
        if (next != m_starts.end()) span.end = std::min(span.end, *next);
        if (span.end != was) touch(span.start, std::max(span.end, was));
    }
    return touched;
}

ASS_Track* TextTrack::Prepare(StreamTime start, StreamTime length, long long& nowMs)
{
    TakeNew();
    if (!m_track) return nullptr;
    const StreamTime end = start + std::max<StreamTime>(length, 0);
    const long long now = FloorMs(start);
    nowMs = now;
    // Every cue is given the times that make libass show it at `now`
    // exactly when it overlaps the picture's interval: one that begins
    // inside the interval is moved back to its start, one that ends inside
    // it kept on for it. Its own animations (fades, karaoke) are timed from
    // its true start, so they are off by less than a frame at most.
    m_shown.clear();
    for (std::size_t i = 0; i < m_spans.size(); ++i) {
        const Span& span = m_spans[i];
        const bool overlaps = length > 0 ? span.start < end && span.end > start : span.start <= start && span.end > start;
        ASS_Event& event = m_track->events[i];
        if (!overlaps || static_cast<int>(m_shown.size()) >= kMaxShown) {
            event.Duration = 0;  // never shown
            continue;
        }
        m_shown.push_back(static_cast<int>(i));
        const long long from = std::min(FloorMs(span.start), now);
        const long long to = std::max(FloorMs(span.end), now + 1);
        event.Start = from;
        event.Duration = to - from;
    }
    return m_track;
}

void BitmapTrack::Add(std::vector<BitmapCue>& cues)
{
    std::lock_guard lock(m_mutex);
    for (BitmapCue& cue : cues) {
        if (m_cues.count(cue.start)) continue;  // read before
        Entry entry;
        entry.bytes = cue.Bytes();
        entry.cue = std::move(cue);
        m_bytes += entry.bytes;
        m_cues.emplace(entry.cue.start, std::move(entry));
    }
    cues.clear();
    Evict();
}

std::size_t BitmapTrack::Size()
{
    std::lock_guard lock(m_mutex);
    return m_cues.size();
}

void BitmapTrack::Evict()
{
    while (m_bytes > kMaxBytes && m_cues.size() > 1) {
        // The end further from the place last drawn goes.
        auto first = m_cues.begin();
        auto last = std::prev(m_cues.end());
        auto victim = m_focus - first->first > last->first - m_focus ? first : last;
        m_bytes -= victim->second.bytes;
        m_cues.erase(victim);
    }
}

void BitmapTrack::Scale(Entry& entry, const FrameRect& rect, int canvasWidth, int canvasHeight)
{
    const int cw = entry.cue.canvasWidth > 0 ? entry.cue.canvasWidth : canvasWidth;
    const int ch = entry.cue.canvasHeight > 0 ? entry.cue.canvasHeight : canvasHeight;
    const int key = rect.Width() * 65536 + rect.Height();
    if (entry.scaledFor == key && !entry.scaled.empty()) return;
    entry.scaled.clear();
    entry.scaledFor = key;
    if (cw <= 0 || ch <= 0) return;
    for (const BitmapRect& r : entry.cue.rects) {
        // Placed by its canvas, clipped to it: a rectangle reaching past the
        // picture is damage and shows only what lies on it.
        const long long x0 = std::clamp<long long>(r.x, 0, cw), y0 = std::clamp<long long>(r.y, 0, ch);
        const long long x1 = std::clamp<long long>(static_cast<long long>(r.x) + r.width, 0, cw);
        const long long y1 = std::clamp<long long>(static_cast<long long>(r.y) + r.height, 0, ch);
        if (x1 <= x0 || y1 <= y0) continue;
        Scaled s;
        s.x = static_cast<int>(x0 * rect.Width() / cw);
        s.y = static_cast<int>(y0 * rect.Height() / ch);
        s.width = static_cast<int>(x1 * rect.Width() / cw) - s.x;
        s.height = static_cast<int>(y1 * rect.Height() / ch) - s.y;
        if (s.width <= 0 || s.height <= 0) continue;
        if (!ScalePalettePicture(r, static_cast<int>(x0) - r.x, static_cast<int>(y0) - r.y,
                                 static_cast<int>(x1 - x0), static_cast<int>(y1 - y0), s.width, s.height, s.pixels))
            continue;
        entry.scaled.push_back(std::move(s));
    }
}

void BitmapTrack::Draw(StreamTime start, StreamTime length, const PixelBuffer& target, const FrameRect& rect,
                       int canvasWidth, int canvasHeight)
{
    std::lock_guard lock(m_mutex);
    m_focus = start;
    const StreamTime end = start + std::max<StreamTime>(length, 0);
    std::vector<StreamTime> drawn;
    for (auto it = m_cues.lower_bound(start - kMaxLength); it != m_cues.end() && it->first <= end; ++it) {
        const auto next = std::next(it);
        StreamTime until = std::min(it->second.cue.end, it->first + kMaxLength);
        if (next != m_cues.end()) until = std::min(until, next->first);
        const bool overlaps = length > 0 ? it->first < end && until > start : it->first <= start && until > start;
        if (!overlaps || it->second.cue.rects.empty()) continue;
        Scale(it->second, rect, canvasWidth, canvasHeight);
        for (const Scaled& s : it->second.scaled)
            BlendPremultiplied(s.pixels.data(), s.width, s.height, target, rect, s.x, s.y);
        drawn.push_back(it->first);
    }
    // Only the pictures on screen keep their scaled copies.
    for (const StreamTime t : m_drawn) {
        if (std::find(drawn.begin(), drawn.end(), t) != drawn.end()) continue;
        if (auto it = m_cues.find(t); it != m_cues.end()) {
            it->second.scaled.clear();
            it->second.scaledFor = 0;
        }
    }
    m_drawn = std::move(drawn);
}

}  // namespace media
