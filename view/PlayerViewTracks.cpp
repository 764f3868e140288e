// The sound-track and subtitle commands: the menus list the open movie's
// tracks and send the viewer's choice to the engine; the choice is kept as
// the preference for the movies that follow.

#include <QFile>
#include <QFileDialog>

#include "resources/UiResources.h"
#include "view/PlayerView.h"

namespace view {
namespace {

// Languages kept in the preference lists, the most recent choice first.
constexpr int kMaxPreferred = 4;

struct LanguageName {
    const char* code;
    const char* name;
};

// The languages a viewer meets most in films, by their ISO 639-2 codes.
constexpr LanguageName kLanguageNames[] = {
    {"jpn", "日本語"},       {"eng", "英語"},         {"fra", "フランス語"},   {"deu", "ドイツ語"},
    {"spa", "スペイン語"},   {"ita", "イタリア語"},   {"zho", "中国語"},       {"kor", "韓国語"},
    {"rus", "ロシア語"},     {"por", "ポルトガル語"}, {"nld", "オランダ語"},   {"swe", "スウェーデン語"},
    {"dan", "デンマーク語"}, {"nor", "ノルウェー語"}, {"fin", "フィンランド語"}, {"pol", "ポーランド語"},
    {"ces", "チェコ語"},     {"hun", "ハンガリー語"}, {"ell", "ギリシャ語"},   {"tur", "トルコ語"},
    {"ara", "アラビア語"},   {"heb", "ヘブライ語"},   {"hin", "ヒンディー語"}, {"tha", "タイ語"},
    {"vie", "ベトナム語"},   {"ind", "インドネシア語"}, {"ukr", "ウクライナ語"},
};

QString LanguageText(const std::string& code)
{
    if (code.empty()) return QStringLiteral("言語不明");
    const QString tag = QStringLiteral("[%1]").arg(QString::fromStdString(code));
    for (const LanguageName& l : kLanguageNames)
        if (code == l.code) return QString::fromUtf8(l.name) + QLatin1Char(' ') + tag;
    return tag;
}

QStringList Preferred(const QString& language, const QStringList& before)
{
    QStringList list{language};
    for (const QString& l : before)
        if (l != language && list.size() < kMaxPreferred) list << l;
    return list;
}

std::vector<std::string> ToStd(const QStringList& list)
{
    std::vector<std::string> out;
    for (const QString& s : list) out.push_back(s.toStdString());
    return out;
}

}  // namespace

QString PlayerView::TrackLabel(int number, const media::TrackInfo& track)
{
    // "&1 英語 [eng] aac 2ch", "&3 外部 日本語 [jpn] film.ja.srt"; the
    // number is the item's access key, as in the recent-file list.
    QString label = QStringLiteral("&%1 ").arg(number);
    if (track.external) label += QStringLiteral("外部 ");
    label += LanguageText(track.language);
    // A title, or for a file its name; "&" would be taken for an access key.
    QString title = QString::fromStdString(track.title).replace(QLatin1Char('&'), QStringLiteral("&&"));
    if (!title.isEmpty()) label += track.external ? QLatin1Char(' ') + title : QStringLiteral(" 「%1」").arg(title);
    if (!track.external) label += QLatin1Char(' ') + QString::fromStdString(track.codec);
    if (track.channels > 0) label += QStringLiteral(" %1ch").arg(track.channels);
    return label;
}

bool PlayerView::IsSubtitleFile(const QByteArray& path)
{
    const QByteArray lower = path.toLower();
    for (const char* ext : {".srt", ".ass", ".ssa", ".vtt"})
        if (lower.endsWith(ext)) return true;
    return false;
}

media::TrackPreferences PlayerView::TrackPreferences() const
{
    return media::TrackPreferences{ToStd(m_soundLanguages), ToStd(m_subtitleLanguages), m_bSubtitles};
}

bool PlayerView::OnTrackCmdMsg(int id, CommandState* state)
{
    const bool open = m_wndEngine.GetPlayState() >= 0;
    if (id >= ID_SOUND_TRACK1 && id <= ID_SOUND_TRACK_LAST)
        return OnTrack(media::TrackKind::Sound, id - ID_SOUND_TRACK1, state);
    if (id >= ID_SUBTITLE_TRACK1 && id <= ID_SUBTITLE_TRACK_LAST)
        return OnTrack(media::TrackKind::Subtitle, id - ID_SUBTITLE_TRACK1, state);
    switch (id) {
    case ID_SUBTITLE_OFF:
        if (state) {
            state->Enable(open);
            state->SetCheck(open && m_wndEngine.GetSelectedTrack(media::TrackKind::Subtitle) < 0);
        } else {
            m_wndEngine.SelectTrack(media::TrackKind::Subtitle, -1);
            RememberChoice(media::TrackKind::Subtitle, -1);
        }
        return true;
    case ID_SUBTITLE_OPEN:
        if (state) state->Enable(open);
        else OnSubtitleOpen();
        return true;
    default:
        return false;
    }
}

bool PlayerView::OnTrack(media::TrackKind kind, int index, CommandState* state)
{
    // Only the tracks the movie has are handled: the others' items hide.
    const std::vector<media::TrackInfo> tracks = m_wndEngine.GetTracks(kind);
    if (index < 0 || index >= static_cast<int>(tracks.size())) return false;
    if (state) {
        state->SetText(TrackLabel(index + 1, tracks[static_cast<std::size_t>(index)]));
        state->SetCheck(m_wndEngine.GetSelectedTrack(kind) == index);
        return true;
    }
    if (m_wndEngine.SelectTrack(kind, index)) RememberChoice(kind, index);
    return true;
}

void PlayerView::RememberChoice(media::TrackKind kind, int index)
{
    if (kind == media::TrackKind::Subtitle) {
        const bool shown = index >= 0;
        if (shown != m_bSubtitles) {
            m_bSubtitles = shown;
            if (m_host) m_host->WriteProfileInt("MCI", "Subtitles", shown ? 1 : 0);
        }
    }
    if (index < 0) return;
    const std::vector<media::TrackInfo> tracks = m_wndEngine.GetTracks(kind);
    if (index >= static_cast<int>(tracks.size())) return;
    const QString language = QString::fromStdString(tracks[static_cast<std::size_t>(index)].language);
    // A track of no known language says nothing of what the viewer prefers.
    if (language.isEmpty()) return;
    const bool sound = kind == media::TrackKind::Sound;
    QStringList& list = sound ? m_soundLanguages : m_subtitleLanguages;
    const QStringList updated = Preferred(language, list);
    if (updated == list) return;
    list = updated;
    if (m_host) m_host->WriteProfileString("MCI", sound ? "SoundLanguages" : "SubtitleLanguages", list.join(QLatin1Char(',')));
}

bool PlayerView::OpenSubtitleFile(const QByteArray& path)
{
    if (m_wndEngine.GetPlayState() < 0) return false;
    if (!m_wndEngine.OpenSubtitleFile(path.toStdString())) return false;
    RememberChoice(media::TrackKind::Subtitle, m_wndEngine.GetSelectedTrack(media::TrackKind::Subtitle));
    return true;
}

void PlayerView::OnSubtitleOpen()
{
    QFileDialog dialog(this);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setNameFilters({QString::fromUtf8(ui::kSubtitleFilter), QStringLiteral("All Files (*)")});
    // Beside the movie, where its subtitles usually are.
    const QByteArray movie = MoviePath();
    if (const qsizetype slash = movie.lastIndexOf('/'); slash > 0) dialog.setDirectory(QFile::decodeName(movie.left(slash)));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
    OpenSubtitleFile(QFile::encodeName(dialog.selectedFiles().first()));
}

}  // namespace view
