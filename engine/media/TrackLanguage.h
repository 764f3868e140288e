#pragma once
// Language codes as files write them ("en", "eng", "fre", "ja", "jpn"):
// one form to compare them by, ISO 639-2 as Matroska and MP4 use it, with
// the terminology codes for the few languages that have two.

#include <string>

namespace media {

// Lower case, three letters where the code has a three-letter form; an
// empty string for "und" and for what is no language code at all.
std::string NormalLanguage(const std::string& code);

}  // namespace media
