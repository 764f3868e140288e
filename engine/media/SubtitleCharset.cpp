#include "engine/media/SubtitleCharset.h"

#include <iconv.h>
#include <uchardet/uchardet.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <memory>
#include <type_traits>
#include <vector>

namespace media {
namespace {

// Enough of the file to tell UTF-16 by its zero bytes, and enough for
// uchardet to be sure: a subtitle file says what it is in its first lines.
constexpr std::size_t kSniffBytes = 64 * 1024;
// Text in UTF-16 has a zero in one byte of most of its characters (digits,
// the arrows and line breaks of every cue), and almost none in the other.
constexpr double kUtf16ZeroShare = 0.2;
constexpr double kUtf16OtherZeroShare = 0.02;

bool StartsWith(std::string_view bytes, std::string_view prefix)
{
    return bytes.substr(0, prefix.size()) == prefix;
}

bool ValidUtf8(std::string_view s)
{
    std::size_t i = 0;
    const auto* p = reinterpret_cast<const unsigned char*>(s.data());
    const std::size_t n = s.size();
    while (i < n) {
        const unsigned char c = p[i];
        int follow = 0;
        std::uint32_t cp = 0;
        if (c < 0x80) {
            ++i;
            continue;
        } else if ((c & 0xE0) == 0xC0) {
            follow = 1, cp = c & 0x1F;
        } else if ((c & 0xF0) == 0xE0) {
            follow = 2, cp = c & 0x0F;
        } else if ((c & 0xF8) == 0xF0) {
            follow = 3, cp = c & 0x07;
        } else {
            return false;
        }
        if (i + follow >= n) return false;  // cut off
        for (int k = 1; k <= follow; ++k) {
            if ((p[i + k] & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (p[i + k] & 0x3F);
        }
        // Overlong forms, surrogates and values past Unicode are not UTF-8.
        static constexpr std::uint32_t kLeast[] = {0, 0x80, 0x800, 0x10000};
        if (cp < kLeast[follow] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
        i += static_cast<std::size_t>(follow) + 1;
    }
    return true;
}

// "UTF-16LE", "UTF-16BE" or empty, by where the zero bytes fall.
const char* Utf16ByZeros(std::string_view bytes)
{
    const std::size_t n = std::min(bytes.size(), kSniffBytes) & ~std::size_t{1};
    if (n < 4) return nullptr;
    std::size_t even = 0, odd = 0;
    for (std::size_t i = 0; i < n; i += 2) {
        even += bytes[i] == '\0';
        odd += bytes[i + 1] == '\0';
    }
    const double pairs = static_cast<double>(n / 2);
    if (odd >= kUtf16ZeroShare * pairs && even <= kUtf16OtherZeroShare * pairs) return "UTF-16LE";
    if (even >= kUtf16ZeroShare * pairs && odd <= kUtf16OtherZeroShare * pairs) return "UTF-16BE";
    return nullptr;
}

std::string Detect(std::string_view bytes)
{
    std::unique_ptr<std::remove_pointer_t<uchardet_t>, void (*)(uchardet_t)> detector(uchardet_new(), uchardet_delete);
    if (!detector) return {};
    const std::string_view sample = bytes.substr(0, kSniffBytes);
    if (uchardet_handle_data(detector.get(), sample.data(), sample.size()) != 0) return {};
    uchardet_data_end(detector.get());
    const char* name = uchardet_get_charset(detector.get());
    return name ? name : "";
}

// The names iconv should use for what uchardet answers: the Windows forms,
// which are what such files are really written in (Shift_JIS files carry
// Microsoft's extra characters, EUC-JP ones the same through their own
// rows, Latin-1 files the curly quotes of 1252).
std::string IconvName(std::string name)
{
    std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return std::toupper(c); });
    if (name == "SHIFT_JIS" || name == "SJIS" || name == "WINDOWS-31J") return "CP932";
    if (name == "EUC-JP") return "EUC-JP-MS";
    if (name == "ISO-8859-1" || name == "WINDOWS-1252" || name == "ASCII") return "CP1252";
    return name;
}

// How much of the text's non-ASCII is kana: Japanese always has some,
// Chinese and Korean none, and Japanese bytes taken for another set come
// out without.
double KanaShare(const std::string& utf8)
{
    std::size_t wide = 0, kana = 0;
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        const auto c = static_cast<unsigned char>(utf8[i]);
        if (c < 0x80 || (c & 0xC0) == 0x80) continue;
        ++wide;
        // U+3040..U+30FF: E3 81 80 .. E3 83 BF.
        if (c == 0xE3 && i + 1 < utf8.size()) {
            const auto d = static_cast<unsigned char>(utf8[i + 1]);
            kana += d >= 0x81 && d <= 0x83;
        }
    }
    return wide ? static_cast<double>(kana) / static_cast<double>(wide) : 0.0;
}

// Short Japanese files are often guessed as Chinese (their bytes are valid
// in both): a Japanese reading with kana in it goes first.
constexpr double kJapaneseKanaShare = 0.05;

// Converts the whole of `bytes` from `from`; false at the first sequence the
// set does not have (the guess was wrong). A sequence cut off at the very
// end is dropped.
bool Convert(std::string_view bytes, const std::string& from, std::string& text)
{
    iconv_t cd = iconv_open("UTF-8", from.c_str());
    if (cd == reinterpret_cast<iconv_t>(-1)) return false;
    std::string out;
    out.resize(bytes.size() * 2 + 16);
    char* in = const_cast<char*>(bytes.data());
    std::size_t inLeft = bytes.size();
    std::size_t done = 0;
    bool ok = true;
    while (inLeft > 0) {
        char* dst = out.data() + done;
        std::size_t outLeft = out.size() - done;
        const std::size_t r = iconv(cd, &in, &inLeft, &dst, &outLeft);
        done = out.size() - outLeft;
        if (r != static_cast<std::size_t>(-1)) break;
        if (errno == E2BIG) {
            out.resize(out.size() * 2);
            continue;
        }
        if (errno == EINVAL) break;  // cut off at the end
        ok = false;
        break;
    }
    iconv_close(cd);
    if (!ok) return false;
    out.resize(done);
    text = std::move(out);
    return true;
}

}  // namespace

bool SubtitleTextToUtf8(std::string_view bytes, std::string& text, std::string* charset)
{
    auto take = [&](std::string_view body, const std::string& from) {
        if (!Convert(body, from, text)) return false;
        if (charset) *charset = from;
        return true;
    };
    if (StartsWith(bytes, "\xEF\xBB\xBF")) {
        bytes.remove_prefix(3);
        if (!ValidUtf8(bytes)) return false;
        text.assign(bytes);
        if (charset) *charset = "UTF-8";
        return true;
    }
    if (StartsWith(bytes, std::string_view("\xFF\xFE\0\0", 4))) return take(bytes.substr(4), "UTF-32LE");
    if (StartsWith(bytes, std::string_view("\0\0\xFE\xFF", 4))) return take(bytes.substr(4), "UTF-32BE");
    if (StartsWith(bytes, "\xFF\xFE")) return take(bytes.substr(2), "UTF-16LE");
    if (StartsWith(bytes, "\xFE\xFF")) return take(bytes.substr(2), "UTF-16BE");
    if (const char* wide = Utf16ByZeros(bytes); wide && take(bytes, wide)) return true;
    // Plain ASCII is UTF-8 too; a guess at a short UTF-8 file would only err.
    if (ValidUtf8(bytes)) {
        text.assign(bytes);
        if (charset) *charset = "UTF-8";
        return true;
    }
    std::vector<std::string> candidates;
    const std::string guess = IconvName(Detect(bytes));
    if (guess != "CP932" && guess != "EUC-JP-MS") {
        double best = kJapaneseKanaShare;
        for (const char* japanese : {"CP932", "EUC-JP-MS"}) {
            std::string reading;
            if (!Convert(bytes.substr(0, kSniffBytes), japanese, reading)) continue;
            if (const double share = KanaShare(reading); share >= best) {
                best = share;
                candidates.insert(candidates.begin(), japanese);
            }
        }
    }
    if (!guess.empty()) candidates.push_back(guess);
    // When the guess fails: Japanese files first, then the Western set,
    // which has a character for nearly every byte.
    for (const char* fallback : {"CP932", "EUC-JP-MS", "CP1252"})
        if (std::find(candidates.begin(), candidates.end(), fallback) == candidates.end())
            candidates.emplace_back(fallback);
    for (const std::string& from : candidates)
        if (take(bytes, from)) return true;
    return false;
}

}  // namespace media
