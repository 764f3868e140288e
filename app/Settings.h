#pragma once
// The settings the program keeps between runs, in one place: section, key
// and default of each, and the store itself (QSettings under the company
// "Ostra" and the application "Reelscope"). Every write goes to disk at
// once, so a program that is killed loses nothing.

#include <QByteArray>
#include <QStringList>
#include <QVariant>

namespace app {

struct Setting {
    const char* section;
    const char* key;
    int defaultValue;
};

inline constexpr Setting kFrameTime{"MCI", "FrameTime", 0};      // counter shows time (1) or frames (0)
inline constexpr Setting kAutoReplay{"MCI", "AutoReplay", 0};    // continuous play
inline constexpr Setting kPreviewFlag{"MCI", "PreViewFlag", 0};  // thumbnail strip shown
inline constexpr Setting kScrollBar{"MCI", "ScrollBar", 0};      // seek bar shown
inline constexpr Setting kTopMost{"MainFrame", "TopMost", 0};    // main window always on top
inline constexpr Setting kSubtitles{"MCI", "Subtitles", 1};      // subtitles shown when a movie has them
// Which pictures are woven from their fields: 0 those the stream marks
// interlaced, 1 all, 2 none (media::Deinterlace's values).
inline constexpr Setting kDeinterlace{"MCI", "Deinterlace", 0};
inline constexpr Setting kPreviewPages{"Settings", "PreviewPages", 0};
// Lists of language codes (ISO 639), the most preferred first, separated
// by commas: the sound and the subtitles a movie opens with. The viewer's
// choice of a track puts its language first. Subtitles are wanted in
// Japanese until the viewer chooses otherwise; the sound the film marks.
struct TextSetting {
    const char* section;
    const char* key;
    const char* defaultValue;
};
inline constexpr TextSetting kSoundLanguages{"MCI", "SoundLanguages", ""};
inline constexpr TextSetting kSubtitleLanguages{"MCI", "SubtitleLanguages", "jpn"};
inline constexpr const char* kRecentSection = "Recent File List";
inline constexpr const char* kRecentKey = "File%1";  // File1 .. File4

// A missing or unreadable value reads as `defaultValue`.
int GetProfileInt(const char* section, const char* key, int defaultValue);
// False when the store could not be written; the caller keeps its value.
bool WriteProfileInt(const char* section, const char* key, int value);
QVariant GetProfileValue(const char* section, const QString& key);
QString GetProfileString(const TextSetting& setting);
bool WriteProfileString(const char* section, const char* key, const QString& value);
// A list setting's codes: letters only, two or three of them, at most four.
QStringList ReadLanguages(const TextSetting& setting);
bool WriteProfileValues(const char* section, const QList<QPair<QString, QVariant>>& values);

// A switch: any stored value other than 0 is on, and on is 1, so switching
// it off always writes 0.
inline bool ReadFlag(const Setting& s)
{
    return GetProfileInt(s.section, s.key, s.defaultValue) != 0;
}

// A choice of `count` values, 0 .. count-1; anything else stored is the
// default, so a damaged store never turns into a mode the menu cannot show.
inline int ReadChoice(const Setting& s, int count)
{
    const int value = GetProfileInt(s.section, s.key, s.defaultValue);
    return value >= 0 && value < count ? value : s.defaultValue;
}

}  // namespace app
