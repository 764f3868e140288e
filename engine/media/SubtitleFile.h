#pragma once
// Subtitle files of their own: SubRip, ASS/SSA and WebVTT, in any character
// set, read whole into cues; and finding those that lie beside a movie
// ("film.srt", "film.ja.srt" beside "film.mkv").

#include <string>
#include <vector>

#include "engine/media/SubtitleDecoder.h"

namespace media {

struct SubtitleScript {
    std::string header;          // the styles the cues refer to
    bool fileReadOrder = false;  // ASS/SSA: the cues carry their reading order
    std::vector<TextCue> cues;   // times from 0, the movie's start
    std::string charset;         // what the bytes were read as
};

// Larger files are no subtitles (a long film's, with styles, is a few MB).
inline constexpr std::size_t kMaxSubtitleFileBytes = 64u << 20;

// kOk with at least one cue; kUnsupported when the file holds no subtitles
// in a form we read; kFail when it cannot be read at all.
Result ReadSubtitleFile(const std::string& path, SubtitleScript& script);

// Whether a name ends as a subtitle file's does (.srt, .ass, .ssa, .vtt).
bool IsSubtitleFileName(const std::string& path);

// The subtitle files beside `moviePath` that belong to it: its name without
// the extension, then optionally ".<anything>", then a subtitle extension;
// sorted by name.
std::vector<std::string> SubtitleFilesBeside(const std::string& moviePath);

// The language a name such as "film.ja.srt" gives; empty when none.
std::string LanguageOfSubtitleFile(const std::string& path);

}  // namespace media
