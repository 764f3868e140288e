#include "engine/media/SubtitleFile.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <fstream>
#include <string_view>

#include "engine/media/SubtitleCharset.h"
#include "engine/media/SubtitleTrack.h"
#include "engine/media/TrackLanguage.h"

namespace media {
namespace {

// Only these readers may take a subtitle file: a file named .srt must not
// be able to make FFmpeg read something else (a playlist naming other
// files, say).
constexpr const char* kReaders = "srt,ass,webvtt";
// Files beside a movie looked at, at most: a folder of thousands of
// subtitle files belongs to no one movie.
constexpr std::size_t kMaxFilesBeside = 16;
constexpr int kIoBufferBytes = 32 * 1024;

std::string Lower(std::string s)
{
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
    return s;
}

std::string Extension(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    const std::size_t dot = path.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
    return Lower(path.substr(dot + 1));
}

const char* ReaderFor(const std::string& path)
{
    const std::string ext = Extension(path);
    if (ext == "srt") return "srt";
    if (ext == "ass" || ext == "ssa") return "ass";
    if (ext == "vtt") return "webvtt";
    return nullptr;
}

// A WebVTT file's text with only its header and its cues. FFmpeg's reader
// stops at the first block that is no cue (a STYLE, REGION or NOTE block),
// and every cue after it would be lost; what those blocks say (CSS, regions,
// comments) is nothing libass draws from anyway. A block runs up to an
// empty line; a cue is the one block that has a "-->" in it.
bool IsWebVtt(const std::string& text)
{
    return text.compare(0, 6, "WEBVTT") == 0 && (text.size() == 6 || std::isspace(static_cast<unsigned char>(text[6])));
}

std::string WebVttCuesOnly(const std::string& text)
{
    std::string out, block;
    out.reserve(text.size());
    bool header = true, cue = false;
    const auto endBlock = [&] {
        if (!block.empty() && (header || cue)) out += block + "\n";
        if (!block.empty()) header = false;
        block.clear();
        cue = false;
    };
    std::size_t at = 0;
    while (at < text.size()) {
        // Lines end in CR LF, LF or CR alone.
        const std::size_t end = std::min(text.find_first_of("\r\n", at), text.size());
        const std::string_view line(text.data() + at, end - at);
        at = end + (text.compare(end, 2, "\r\n") == 0 ? 2 : 1);
        if (line.empty()) {
            endBlock();
            continue;
        }
        cue = cue || line.find("-->") != std::string_view::npos;
        block.append(line).push_back('\n');
    }
    endBlock();
    return out;
}

// The UTF-8 text, given to FFmpeg as a file in memory.
struct Memory {
    const std::string* text;
    std::size_t at = 0;

    static int Read(void* opaque, std::uint8_t* buffer, int size)
    {
        auto* m = static_cast<Memory*>(opaque);
        const std::size_t n = std::min<std::size_t>(static_cast<std::size_t>(size), m->text->size() - m->at);
        if (n == 0) return AVERROR_EOF;
        std::memcpy(buffer, m->text->data() + m->at, n);
        m->at += n;
        return static_cast<int>(n);
    }
    static std::int64_t Seek(void* opaque, std::int64_t offset, int whence)
    {
        auto* m = static_cast<Memory*>(opaque);
        const auto size = static_cast<std::int64_t>(m->text->size());
        std::int64_t to;
        switch (whence & ~AVSEEK_FORCE) {
        case AVSEEK_SIZE: return size;
        case SEEK_SET: to = offset; break;
        case SEEK_CUR: to = static_cast<std::int64_t>(m->at) + offset; break;
        case SEEK_END: to = size + offset; break;
        default: return AVERROR(EINVAL);
        }
        if (to < 0 || to > size) return AVERROR(EINVAL);
        m->at = static_cast<std::size_t>(to);
        return to;
    }
};

struct IoFree {
    void operator()(AVIOContext* io) const
    {
        av_freep(&io->buffer);
        avio_context_free(&io);
    }
};

// Reads the text with the reader `format` names (null: whichever of ours
// recognises it) into `script`.
Result Parse(const std::string& text, const char* format, SubtitleScript& script)
{
    Memory memory{&text};
    auto* buffer = static_cast<std::uint8_t*>(av_malloc(kIoBufferBytes));
    if (!buffer) return kOutOfMemory;
    std::unique_ptr<AVIOContext, IoFree> io(
        avio_alloc_context(buffer, kIoBufferBytes, 0, &memory, &Memory::Read, nullptr, &Memory::Seek));
    if (!io) {
        av_free(buffer);
        return kOutOfMemory;
    }
    AVFormatContext* raw = avformat_alloc_context();
    if (!raw) return kOutOfMemory;
    raw->pb = io.get();
    raw->flags |= AVFMT_FLAG_CUSTOM_IO;
    AVDictionary* options = nullptr;
    av_dict_set(&options, "format_whitelist", kReaders, 0);
    const AVInputFormat* input = format ? av_find_input_format(format) : nullptr;
    const int opened = avformat_open_input(&raw, "", input, &options);  // frees `raw` when it fails
    av_dict_free(&options);
    if (opened < 0) return kUnsupported;
    FormatContextPtr ctx(raw);
    if (avformat_find_stream_info(ctx.get(), nullptr) < 0 || ctx->nb_streams == 0) return kUnsupported;
    const AVStream* stream = ctx->streams[0];
    SubtitleDecoder decoder;
    if (stream->codecpar->codec_type != AVMEDIA_TYPE_SUBTITLE ||
        !decoder.Open(stream->codecpar, stream->time_base) || decoder.Bitmap())
        return kUnsupported;
    script.header = decoder.Header();
    script.fileReadOrder =
        stream->codecpar->codec_id == AV_CODEC_ID_ASS || stream->codecpar->codec_id == AV_CODEC_ID_SSA;
    script.cues.clear();
    std::vector<BitmapCue> none;
    PacketPtr packet(av_packet_alloc());
    while (av_read_frame(ctx.get(), packet.get()) >= 0) {
        if (packet->stream_index == 0 && script.cues.size() < TextTrack::kMaxCues)
            decoder.Decode(*packet, script.cues, none);
        av_packet_unref(packet.get());
    }
    return script.cues.empty() ? kUnsupported : kOk;
}

}  // namespace

bool IsSubtitleFileName(const std::string& path)
{
    return ReaderFor(path) != nullptr;
}

Result ReadSubtitleFile(const std::string& path, SubtitleScript& script)
{
    struct stat st{};
    if (path.empty() || ::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return kFail;
    if (static_cast<std::size_t>(st.st_size) > kMaxSubtitleFileBytes) return kUnsupported;
    std::ifstream in(path, std::ios::binary);
    if (!in) return kFail;
    std::string bytes(static_cast<std::size_t>(st.st_size), '\0');
    in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    bytes.resize(static_cast<std::size_t>(in.gcount()));
    std::string text;
    if (!SubtitleTextToUtf8(bytes, text, &script.charset)) return kUnsupported;
    bytes = std::string();
    if (IsWebVtt(text)) text = WebVttCuesOnly(text);
    // By its name first; a file misnamed (an ASS script called .srt) is
    // recognised by what it holds.
    const char* named = ReaderFor(path);
    if (named && Parse(text, named, script) == kOk) return kOk;
    return Parse(text, nullptr, script);
}

std::string LanguageOfSubtitleFile(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    const std::string name = path.substr(slash == std::string::npos ? 0 : slash + 1);
    const std::size_t last = name.rfind('.');
    if (last == std::string::npos || last == 0) return {};
    const std::size_t before = name.rfind('.', last - 1);
    if (before == std::string::npos) return {};
    return NormalLanguage(name.substr(before + 1, last - before - 1));
}

std::vector<std::string> SubtitleFilesBeside(const std::string& moviePath)
{
    std::vector<std::string> found;
    const std::size_t slash = moviePath.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : moviePath.substr(0, slash == 0 ? 1 : slash);
    std::string base = moviePath.substr(slash == std::string::npos ? 0 : slash + 1);
    if (const std::size_t dot = base.rfind('.'); dot != std::string::npos && dot > 0) base.resize(dot);
    if (base.empty()) return found;
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) return found;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        // "base.ext" or "base.<part>.ext"; the movie itself is no subtitle file.
        if (name.size() <= base.size() + 1 || name.compare(0, base.size(), base) != 0 || name[base.size()] != '.')
            continue;
        if (!IsSubtitleFileName(name)) continue;
        const std::size_t last = name.rfind('.');
        if (last > base.size() && name.substr(base.size() + 1, last - base.size() - 1).find('.') != std::string::npos)
            continue;
        found.push_back(folder == "/" ? "/" + name : folder + "/" + name);
    }
    ::closedir(dir);
    std::sort(found.begin(), found.end());
    if (found.size() > kMaxFilesBeside) found.resize(kMaxFilesBeside);
    return found;
}

}  // namespace media
