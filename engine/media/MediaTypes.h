#pragma once
// Plain types shared by the media layer and the engine. Nothing here names
// FFmpeg or SDL: the engine sees only these.

#include <cstdint>

namespace media {

// Time in 100-nanosecond units, as the stream reports and accepts it.
using StreamTime = std::int64_t;
inline constexpr StreamTime kUnitsPerSecond = 10'000'000;
inline constexpr StreamTime kUnitsPerMs = 10'000;

// Results follow the COM convention the engine was written against:
// 0 is success with a frame, negative values are failures, positive values
// are statuses that are not failures but still end a frame loop.
using Result = std::int32_t;
inline constexpr Result kOk = 0;
inline constexpr Result kFalse = 1;                 // nothing done (e.g. already in that state)
inline constexpr Result kEndOfStream = 0x40003;     // no more frames
inline constexpr Result kFail = static_cast<Result>(0x80004005);
inline constexpr Result kNotImplemented = static_cast<Result>(0x80004001);
inline constexpr Result kInvalidArg = static_cast<Result>(0x80070057);
inline constexpr Result kOutOfMemory = static_cast<Result>(0x8007000E);
inline constexpr Result kNotRunning = static_cast<Result>(0x80040200);   // Update on a stopped stream
inline constexpr Result kAborted = static_cast<Result>(0x80040201);      // Update woken by Abort
inline constexpr Result kUnsupported = static_cast<Result>(0x80040202);  // no demuxer/decoder for the file
inline constexpr Result kNoStream = static_cast<Result>(0x80040203);     // the file has no such stream

inline constexpr bool Failed(Result r) { return r < 0; }
inline constexpr bool Succeeded(Result r) { return r >= 0; }

enum class StreamState { Stop = 0, Run = 1 };

// Whether interlaced pictures are woven into whole ones: those the stream
// marks interlaced, all, or none.
enum class Deinterlace { Auto = 0, On = 1, Off = 2 };
enum class StreamPurpose { PrimaryVideo, PrimaryAudio };

// Seeking capability bits.
inline constexpr std::uint32_t kCanSeekAbsolute = 1;

// A 32-bit RGB pixel area laid out as QImage::Format_RGB32 (0xffRRGGBB words).
struct PixelBuffer {
    std::uint8_t* bits = nullptr;
    int stride = 0;  // bytes per row
    int width = 0;
    int height = 0;
};

// Rectangle with exclusive right and bottom edges.
struct FrameRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    constexpr int Width() const { return right - left; }
    constexpr int Height() const { return bottom - top; }
    friend constexpr bool operator==(const FrameRect&, const FrameRect&) = default;
};

}  // namespace media
