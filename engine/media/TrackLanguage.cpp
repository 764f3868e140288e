#include "engine/media/TrackLanguage.h"

#include <cctype>

namespace media {
namespace {

struct Alias {
    const char* from;
    const char* to;
};

// Two-letter codes of the languages films are made and subtitled in most,
// and the bibliographic codes Matroska files often carry.
constexpr Alias kAliases[] = {
    {"ja", "jpn"}, {"en", "eng"}, {"fr", "fra"}, {"de", "deu"}, {"es", "spa"}, {"it", "ita"},
    {"zh", "zho"}, {"ko", "kor"}, {"ru", "rus"}, {"pt", "por"}, {"nl", "nld"}, {"sv", "swe"},
    {"da", "dan"}, {"no", "nor"}, {"fi", "fin"}, {"pl", "pol"}, {"cs", "ces"}, {"hu", "hun"},
    {"el", "ell"}, {"tr", "tur"}, {"ar", "ara"}, {"he", "heb"}, {"hi", "hin"}, {"th", "tha"},
    {"vi", "vie"}, {"id", "ind"}, {"uk", "ukr"}, {"ro", "ron"}, {"fa", "fas"}, {"ms", "msa"},
    {"fre", "fra"}, {"ger", "deu"}, {"chi", "zho"}, {"dut", "nld"}, {"cze", "ces"}, {"gre", "ell"},
    {"per", "fas"}, {"rum", "ron"}, {"slo", "slk"}, {"may", "msa"}, {"ice", "isl"}, {"wel", "cym"},
    {"arm", "hye"}, {"baq", "eus"}, {"geo", "kat"}, {"mac", "mkd"}, {"alb", "sqi"}, {"bur", "mya"},
    {"tib", "bod"}, {"mao", "mri"},
};

}  // namespace

std::string NormalLanguage(const std::string& code)
{
    // Two or three letters, then at most a region ("pt-BR", "en_US").
    std::string lower;
    std::size_t i = 0;
    for (; i < code.size() && std::isalpha(static_cast<unsigned char>(code[i])); ++i)
        lower += static_cast<char>(std::tolower(static_cast<unsigned char>(code[i])));
    const bool region = i < code.size() && (code[i] == '-' || code[i] == '_') && i + 1 < code.size();
    if (i < code.size() && !region) return {};
    if (lower.size() < 2 || lower.size() > 3 || lower == "und" || lower == "mul" || lower == "zxx")
        return {};
    for (const Alias& a : kAliases)
        if (lower == a.from) return a.to;
    return lower;
}

}  // namespace media
