// The stream's sound tracks and subtitles: which are chosen as a movie
// opens, switching between them, and subtitle files beside the movie or
// added to it.

#include <algorithm>

#include "engine/media/FfmpegStream.h"
#include "engine/media/SubtitleFile.h"
#include "engine/media/SubtitleOverlay.h"
#include "engine/media/SubtitleStreams.h"
#include "engine/media/TrackLanguage.h"

namespace media {
namespace {

// Subtitle tracks listed at most, the movie's own and files together: as
// many as the menu has room for.
constexpr std::size_t kMaxSubtitleTracks = 64;

// The first track in the first of `languages` that has one; -1 when none.
int ByLanguage(const std::vector<TrackInfo>& tracks, const std::vector<std::string>& languages)
{
    for (const std::string& wanted : languages) {
        const std::string language = NormalLanguage(wanted);
        if (language.empty()) continue;
        for (std::size_t i = 0; i < tracks.size(); ++i)
            if (tracks[i].language == language) return static_cast<int>(i);
    }
    return -1;
}

int FirstWhere(const std::vector<TrackInfo>& tracks, bool (*test)(const TrackInfo&))
{
    const auto it = std::find_if(tracks.begin(), tracks.end(), test);
    return it == tracks.end() ? -1 : static_cast<int>(it - tracks.begin());
}

std::string FileName(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

void FfmpegStream::SetTrackPreferences(const TrackPreferences& preferences)
{
    m_preferences = preferences;
}

Result FfmpegStream::QueryTracks(std::shared_ptr<StreamTracks>& out)
{
    if (!m_open) return kFail;
    out = shared_from_this();
    return kOk;
}

void FfmpegStream::OpenTracks(const std::string& path)
{
    const AVFormatContext* format = m_demuxer.Format();
    std::vector<int> read;
    for (unsigned i = 0; i < format->nb_streams; ++i) {
        const AVStream* st = format->streams[i];
        if (st->codecpar->codec_type != AVMEDIA_TYPE_AUDIO) continue;
        m_soundStreams.push_back(SoundStream::Of(st));
        m_soundTracks.push_back(TrackInfoOf(st));
        read.push_back(static_cast<int>(i));
    }
    // The sound in the language preferred; else the one the file marks as
    // the default; else the demuxer's pick (FFmpeg's best).
    if (m_shared.audioIndex.load() >= 0) {
        int chosen = ByLanguage(m_soundTracks, m_preferences.soundLanguages);
        if (chosen < 0) chosen = FirstWhere(m_soundTracks, [](const TrackInfo& t) { return t.isDefault; });
        if (chosen >= 0) {
            m_shared.audioIndex = m_soundStreams[static_cast<std::size_t>(chosen)].index;
            m_shared.wantedSound = m_shared.audioIndex.load();
        }
    }

    const AVStream* video = m_demuxer.VideoStream();
    if (!m_wantVideo || !video) {
        m_demuxer.ReadOnly(read);
        return;
    }
    auto overlay = std::make_shared<SubtitleOverlay>(
        [this] {
            int width = 0, height = 0;
            GetFormat(width, height);
            return std::pair<int, int>{width, height};
        },
        video->codecpar->width, video->codecpar->height);
    m_subtitleStreams = std::make_shared<SubtitleStreams>(format, m_shared.origin, *overlay);
    for (const SubtitleStreams::Stream& s : m_subtitleStreams->Streams()) {
        m_subtitleTracks.push_back(s.info);
        read.push_back(s.index);
    }
    m_demuxer.ReadOnly(read);
    if (!m_subtitleTracks.empty()) m_shared.subtitles = m_subtitleStreams.get();
    m_subtitles = overlay;
    for (const std::string& file : SubtitleFilesBeside(path))
        if (Failed(AddSubtitleTrack(file))) m_unreadFiles.push_back(file);
    SetOverlay(overlay);

    // Shown: the language preferred; else the track the file marks as the
    // default; else a file beside the movie (put there to be shown); else
    // the first there is.
    if (!m_preferences.subtitlesShown || m_subtitleTracks.empty()) return;
    int chosen = ByLanguage(m_subtitleTracks, m_preferences.subtitleLanguages);
    if (chosen < 0) chosen = FirstWhere(m_subtitleTracks, [](const TrackInfo& t) { return t.isDefault && !t.external; });
    if (chosen < 0) chosen = FirstWhere(m_subtitleTracks, [](const TrackInfo& t) { return t.external; });
    m_subtitles->Select(std::max(chosen, 0));
}

Result FfmpegStream::AddSubtitleTrack(const std::string& path)
{
    if (!m_subtitles) return kNoStream;
    if (m_subtitleTracks.size() >= kMaxSubtitleTracks) return kFail;
    SubtitleScript script;
    if (const Result r = ReadSubtitleFile(path, script); Failed(r)) return r;
    m_subtitles->AddTextTrack(script.header, script.fileReadOrder).Add(script.cues);
    TrackInfo info;
    info.language = LanguageOfSubtitleFile(path);
    info.title = FileName(path);
    info.codec = script.charset;
    info.external = true;
    m_subtitleTracks.push_back(std::move(info));
    return kOk;
}

Result FfmpegStream::AddSubtitleFile(const std::string& path)
{
    if (!m_open) return kFail;
    return AddSubtitleTrack(path);
}

std::vector<std::string> FfmpegStream::TakeUnreadFiles()
{
    return std::exchange(m_unreadFiles, {});
}

std::vector<TrackInfo> FfmpegStream::Tracks(TrackKind kind)
{
    return kind == TrackKind::Sound ? m_soundTracks : m_subtitleTracks;
}

int FfmpegStream::Selected(TrackKind kind)
{
    if (kind == TrackKind::Subtitle) return m_subtitles ? m_subtitles->Selected() : -1;
    const int wanted = m_shared.wantedSound.load();
    for (std::size_t i = 0; i < m_soundStreams.size(); ++i)
        if (m_soundStreams[i].index == wanted) return static_cast<int>(i);
    return -1;
}

Result FfmpegStream::Select(TrackKind kind, int index)
{
    if (!m_open) return kFail;
    if (kind == TrackKind::Sound) {
        if (index < 0 || index >= static_cast<int>(m_soundStreams.size())) return kInvalidArg;
        return SelectSound(index);
    }
    if (index < -1 || index >= static_cast<int>(m_subtitleTracks.size()) || !m_subtitles) return kInvalidArg;
    m_subtitles->Select(index);
    return kOk;
}

Result FfmpegStream::SelectSound(int position)
{
    std::lock_guard lock(m_control);
    const SoundStream& wanted = m_soundStreams[static_cast<std::size_t>(position)];
    if (wanted.index == m_shared.wantedSound.load()) return kFalse;
    if (!m_audio || !m_output || !m_ring) {
        // Nothing plays the sound (no device): only the choice is kept.
        m_shared.wantedSound = wanted.index;
        m_shared.audioIndex = wanted.index;
        return kOk;
    }
    // The new track joins where the movie stands. Its decoder takes the
    // place of the old one with the sound the old one had queued dropped,
    // so it is heard within one device buffer of its first packet; the
    // clock runs on meanwhile.
    const StreamTime joinAt = ClockNow();
    auto ring = std::make_unique<AudioRing>(m_ring->CapacityFrames(), m_ring->Channels());
    m_audio->Suspend();
    if (const Result r = m_audio->Switch(wanted, *ring, joinAt); Failed(r)) {
        m_audio->Resume();
        return r;
    }
    m_audioPackets.Flush();
    m_output->Attach(ring.get());
    m_ring = std::move(ring);
    m_shared.WantSound(wanted.index);
    m_audio->Resume();
    return kOk;
}

}  // namespace media
