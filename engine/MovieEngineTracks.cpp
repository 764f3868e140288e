// The open movie's sound tracks and subtitles, as the view lists and
// chooses them, and what the viewer prefers for the next movie.

#include <QFile>

#include "engine/MovieEngine.h"
#include "engine/Notifier.h"

namespace engine {
namespace {

// Texts shown when a subtitle file cannot be read; the movie plays on.
const char* const kMsgUnreadSubtitles = "字幕ファイルを読み込めませんでした。\n%1";

// Hands every stream it makes the viewer's preferences before the stream
// opens its file, so the tracks are chosen before the first picture.
class PreferringFactory final : public media::MediaFactory {
public:
    explicit PreferringFactory(std::shared_ptr<media::MediaFactory> inner) : m_inner(std::move(inner)) {}
    media::Result CreateMultiMediaStream(std::shared_ptr<media::MultiMediaStream>& stream) override
    {
        const media::Result made = m_inner->CreateMultiMediaStream(stream);
        if (media::Succeeded(made) && stream) stream->SetTrackPreferences(preferences);
        return made;
    }
    media::TrackPreferences preferences;

private:
    std::shared_ptr<media::MediaFactory> m_inner;
};

std::shared_ptr<media::StreamTracks> TracksOf(const std::shared_ptr<media::MultiMediaStream>& stream)
{
    std::shared_ptr<media::StreamTracks> tracks;
    if (!stream || media::Failed(stream->QueryTracks(tracks))) return nullptr;
    return tracks;
}

void ReportUnread(const std::string& path)
{
    ShowMessage(QString::fromUtf8(kMsgUnreadSubtitles).arg(QFile::decodeName(QByteArray::fromStdString(path))));
}

}  // namespace

void MovieEngine::SetTrackPreferences(const media::TrackPreferences& preferences)
{
    if (!m_services.media) return;
    auto* preferring = dynamic_cast<PreferringFactory*>(m_services.media.get());
    if (!preferring) {
        auto wrapped = std::make_shared<PreferringFactory>(m_services.media);
        preferring = wrapped.get();
        m_services.media = std::move(wrapped);
    }
    preferring->preferences = preferences;
}

std::vector<media::TrackInfo> MovieEngine::GetTracks(media::TrackKind kind)
{
    const auto tracks = TracksOf(m_pMMStream);
    return tracks ? tracks->Tracks(kind) : std::vector<media::TrackInfo>{};
}

int MovieEngine::GetSelectedTrack(media::TrackKind kind)
{
    const auto tracks = TracksOf(m_pMMStream);
    return tracks ? tracks->Selected(kind) : -1;
}

bool MovieEngine::SelectTrack(media::TrackKind kind, int index)
{
    const auto tracks = TracksOf(m_pMMStream);
    if (!tracks || media::Failed(tracks->Select(kind, index))) return false;
    // Paused, the picture standing shows the subtitles chosen at once;
    // sound chosen while paused is heard when play resumes.
    if (kind == media::TrackKind::Subtitle) RefreshPicture();
    return true;
}

bool MovieEngine::OpenSubtitleFile(const std::string& path)
{
    const auto tracks = TracksOf(m_pMMStream);
    if (!tracks) return false;
    if (media::Failed(tracks->AddSubtitleFile(path))) {
        ReportUnread(path);
        return false;
    }
    return SelectTrack(media::TrackKind::Subtitle, static_cast<int>(tracks->Tracks(media::TrackKind::Subtitle).size()) - 1);
}

void MovieEngine::ReportUnreadSubtitles()
{
    const auto tracks = TracksOf(m_pMMStream);
    if (!tracks) return;
    for (const std::string& path : tracks->TakeUnreadFiles()) ReportUnread(path);
}

}  // namespace engine
