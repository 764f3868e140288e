#pragma once
// The character set of a subtitle file, found and converted to UTF-8.
// Files come from every kind of editor: UTF-8 with or without a byte-order
// mark, UTF-16 either way round, and the legacy sets (Shift_JIS as Windows
// writes it, EUC-JP, Windows-1252 and the others uchardet knows).

#include <string>
#include <string_view>

namespace media {

// `bytes` as UTF-8 text, without a byte-order mark; `charset` tells what it
// was taken for. False when no character set reads it (bytes that are no
// text at all may still read as some set: the subtitle reader tells those).
bool SubtitleTextToUtf8(std::string_view bytes, std::string& text, std::string* charset = nullptr);

}  // namespace media
