#pragma once
// What the engine tests share: an engine window, a stand-in for the stream
// where a real file cannot produce the case, and a drawing factory that
// fails on request.

#include <gtest/gtest.h>

#include <condition_variable>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "PlayerTestSupport.h"
#include "engine/DrawSurface.h"
#include "engine/MovieEngine.h"
#include "engine/media/MediaStream.h"

namespace enginetest {

using engine::MovieEngine;
using testsupport::CapturedMessages;
using testsupport::Kept;
using testsupport::MoviePath;
using namespace media;

constexpr StreamTime kFrame = 400'000;

// An engine window of 320 x 240 with its drawing objects made.
struct EngineWindow {
    explicit EngineWindow(MovieEngine::Services services = MovieEngine::DefaultServices())
        : engine(nullptr, std::move(services))
    {
        engine.resize(320, 240);
        engine.Create();
    }
    bool Idle() { return QTest::qWaitFor([&] { return engine.GetPlayState() == MovieEngine::Idle; }); }
    MovieEngine engine;
};

// A stream whose every answer is set by the test. Frames are plain grey
// pictures; Update returns kOk `frames` times, then `endStatus`, and can be
// held until the test lets it go.
struct StreamScript {
    std::string failAt;  // "create", "initialize", "addvideo", "addaudio", "open", "graph",
                         // "audio", "seeking", "mediastream", "query", "format", "sample"
    StreamTime duration = 20'000'000;
    StreamTime timePerFrame = kFrame;
    std::uint32_t caps = kCanSeekAbsolute;
    StreamTime time = 0;  // what GetTime answers while stopped
    int frames = 1'000'000;
    Result endStatus = kEndOfStream;
    bool holdUpdates = false;      // each Update waits for Release() (or Abort)
    bool holdWorkerStops = false;  // a worker's SetState(Stop) waits for ReleaseStops() (or Abort)

    // Written by the stand-in.
    std::vector<StreamTime> seeks;
    std::vector<StreamState> states;
    long volume = 0;
    double rate = 0;
    int updates = 0;
};

class ScriptedMedia : public MediaFactory, public std::enable_shared_from_this<ScriptedMedia> {
public:
    Result CreateMultiMediaStream(std::shared_ptr<MultiMediaStream>& stream) override;
    MovieEngine::Services Services() { return {shared_from_this(), draw::CreateDrawFactory()}; }

    // Waits until an Update (or a worker's Stop) is held; Release lets one
    // held Update return. Each is false if none was held within 2 s.
    bool WaitForHeldUpdate() { return WaitForHeld(held); }
    bool WaitForHeldStop() { return WaitForHeld(heldStops); }
    bool Release()
    {
        if (!WaitForHeldUpdate()) return false;
        std::lock_guard lock(mutex);
        ++releases;
        cv.notify_all();
        return true;
    }
    void ReleaseStops()
    {
        std::lock_guard lock(mutex);
        script.holdWorkerStops = false;
        cv.notify_all();
    }

    StreamScript script;
    std::mutex mutex;
    std::condition_variable cv;
    int held = 0;       // Updates waiting
    int heldStops = 0;  // workers' SetState(Stop) waiting
    int releases = 0;   // releases not yet taken
    bool aborted = false;

private:
    bool WaitForHeld(const int& count)
    {
        std::unique_lock lock(mutex);
        return cv.wait_for(lock, std::chrono::seconds(2), [&] { return count > 0; });
    }
};

// One object answers as every interface of the stream, its sample included.
class ScriptedStream final : public MultiMediaStream,
                             public MediaStream,
                             public DrawMediaStream,
                             public StreamSample,
                             public FilterGraph,
                             public BasicAudio,
                             public MediaSeeking,
                             public std::enable_shared_from_this<ScriptedStream> {
public:
    explicit ScriptedStream(ScriptedMedia& media) : m_media(media), s(media.script) {}

    Result Fail(const char* step) const { return s.failAt == step ? kFail : kOk; }
    template <typename T, typename V>
    static Result Set(T& to, const V& value)
    {
        to = value;
        return kOk;
    }
    template <typename T>
    Result Give(const char* step, std::shared_ptr<T>& out)
    {
        if (s.failAt == step) return kFail;
        out = shared_from_this();
        return kOk;
    }

    Result Initialize() override { return Fail("initialize"); }
    Result AddMediaStream(StreamPurpose purpose, bool) override
    {
        return Fail(purpose == StreamPurpose::PrimaryVideo ? "addvideo" : "addaudio");
    }
    Result OpenFile(const std::string&) override { return Fail("open"); }
    Result GetFilterGraph(std::shared_ptr<FilterGraph>& graph) override { return Give("graph", graph); }
    Result GetMediaStream(StreamPurpose, std::shared_ptr<MediaStream>& out) override { return Give("mediastream", out); }
    Result QueryDrawMediaStream(std::shared_ptr<DrawMediaStream>& out) override { return Give("query", out); }
    Result QueryBasicAudio(std::shared_ptr<BasicAudio>& out) override { return Give("audio", out); }
    Result QueryMediaSeeking(std::shared_ptr<MediaSeeking>& out) override { return Give("seeking", out); }
    Result CreateSample(const PixelBuffer& target, const FrameRect& rect, std::shared_ptr<StreamSample>& out) override
    {
        m_target = target;
        m_rect = rect;
        return Give("sample", out);
    }
    Result GetFormat(int& width, int& height) override
    {
        width = 320;
        height = 240;
        return Fail("format");
    }
    Result SetState(StreamState state) override
    {
        std::unique_lock lock(m_media.mutex);
        if (state == StreamState::Stop && s.holdWorkerStops && std::this_thread::get_id() != m_maker) {
            ++m_media.heldStops;
            m_media.cv.notify_all();
            m_media.cv.wait(lock, [&] { return !s.holdWorkerStops || m_media.aborted; });
            --m_media.heldStops;
        }
        s.states.push_back(state);
        if (state == StreamState::Run) m_media.aborted = false;
        m_running = state == StreamState::Run;
        m_media.cv.notify_all();
        return kOk;
    }
    Result GetTime(StreamTime& time) override
    {
        std::lock_guard lock(m_media.mutex);
        time = s.time;
        return kOk;
    }
    Result Seek(StreamTime time) override
    {
        std::lock_guard lock(m_media.mutex);
        s.seeks.push_back(time);
        s.time = time;
        return kOk;
    }
    Result GetDuration(StreamTime& duration) override { return Set(duration, s.duration); }
    Result GetTimeline(std::shared_ptr<const Timeline>&) override { return kFalse; }
    Result GetTimePerFrame(StreamTime& tpf) override { return Set(tpf, s.timePerFrame); }
    Result PutVolume(long volume) override { return Set(s.volume, volume); }
    Result GetVolume(long& volume) override { return Set(volume, s.volume); }
    Result GetCapabilities(std::uint32_t& caps) override { return Set(caps, s.caps); }
    Result SetRate(double rate) override { return Set(s.rate, rate); }
    Result GetRate(double& rate) override { return Set(rate, s.rate); }

    Result Update() override
    {
        std::unique_lock lock(m_media.mutex);
        if (s.holdUpdates) {
            ++m_media.held;
            m_media.cv.notify_all();
            m_media.cv.wait(lock, [&] { return m_media.releases > 0 || m_media.aborted || !m_running; });
            --m_media.held;
            if (m_media.releases > 0) --m_media.releases;
        }
        if (m_media.aborted) return kAborted;
        if (!m_running) return kNotRunning;
        if (s.updates >= s.frames) return s.endStatus;
        ++s.updates;
        for (int y = m_rect.top; y < m_rect.bottom; ++y)
            std::memset(m_target.bits + static_cast<std::ptrdiff_t>(y) * m_target.stride + m_rect.left * 4, 0x80,
                        static_cast<std::size_t>(m_rect.Width()) * 4);
        return kOk;
    }
    void Abort() override
    {
        std::lock_guard lock(m_media.mutex);
        m_media.aborted = true;
        m_media.cv.notify_all();
    }

private:
    ScriptedMedia& m_media;
    StreamScript& s;
    PixelBuffer m_target;
    FrameRect m_rect;
    bool m_running = false;  // guarded by m_media.mutex
    const std::thread::id m_maker = std::this_thread::get_id();
};

inline Result ScriptedMedia::CreateMultiMediaStream(std::shared_ptr<MultiMediaStream>& stream)
{
    if (script.failAt == "create") return kFail;
    stream = std::make_shared<ScriptedStream>(*this);
    return kOk;
}

// The real drawing device, but the n-th CreateSurface (counted from 1)
// fails, or the device itself cannot be made when n is 0.
class FailingDraw : public draw::DrawFactory, public draw::DrawDevice {
public:
    explicit FailingDraw(int failSurface) : m_failSurface(failSurface) {}
    Result CreateDirectDraw(std::shared_ptr<draw::DrawDevice>& device) override
    {
        if (m_failSurface == 0) return kFail;
        m_made = 0;
        draw::CreateDrawFactory()->CreateDirectDraw(m_real);
        device = std::shared_ptr<draw::DrawDevice>(m_self.lock(), this);
        return kOk;
    }
    Result SetCooperativeLevel(std::uint32_t flags) override { return m_real->SetCooperativeLevel(flags); }
    Result CreateSurface(const draw::SurfaceDesc& desc, std::shared_ptr<draw::Surface>& surface) override
    {
        if (++m_made == m_failSurface) return kOutOfMemory;
        return m_real->CreateSurface(desc, surface);
    }
    Result CreateClipper(std::shared_ptr<draw::Clipper>& clipper) override { return m_real->CreateClipper(clipper); }

    static MovieEngine::Services Services(int failSurface)
    {
        auto draw = std::make_shared<FailingDraw>(failSurface);
        draw->m_self = draw;
        return {CreateMediaFactory(), draw};
    }

private:
    std::weak_ptr<FailingDraw> m_self;
    std::shared_ptr<draw::DrawDevice> m_real;
    int m_failSurface;
    int m_made = 0;
};

}  // namespace enginetest
