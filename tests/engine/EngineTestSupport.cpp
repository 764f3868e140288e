#include "EngineTestSupport.h"

#include <QCoreApplication>
#include <QImage>
#include <QThread>
#include <chrono>
#include <cstring>
#include <thread>

#include "FrameCode.h"

namespace enginetest {

using namespace media;

namespace {

class ScriptedStream;

class ScriptedSample final : public StreamSample {
public:
    ScriptedSample(std::shared_ptr<ScriptedStream> stream, PixelBuffer target, FrameRect rect)
        : m_stream(std::move(stream)), m_target(target), m_rect(rect)
    {
    }
    Result Update() override;
    void Abort() override;

private:
    std::shared_ptr<ScriptedStream> m_stream;
    PixelBuffer m_target;
    FrameRect m_rect;
};

class ScriptedStream final : public MultiMediaStream,
                             public MediaStream,
                             public DrawMediaStream,
                             public FilterGraph,
                             public BasicAudio,
                             public MediaSeeking,
                             public std::enable_shared_from_this<ScriptedStream> {
public:
    explicit ScriptedStream(ScriptedMedia& media) : m_media(media), s(media.m_script) {}

    Result Fail(const char* step) const { return s.failAt == step ? kFail : kOk; }

    Result Initialize() override { return Fail("initialize"); }
    Result AddMediaStream(StreamPurpose purpose, bool) override
    {
        return Fail(purpose == StreamPurpose::PrimaryVideo ? "addvideo" : "addaudio");
    }
    Result OpenFile(const std::string&) override { return Fail("open"); }
    Result GetFilterGraph(std::shared_ptr<FilterGraph>& graph) override
    {
        if (Failed(Fail("graph"))) return kFail;
        graph = shared_from_this();
        return kOk;
    }
    Result GetMediaStream(StreamPurpose, std::shared_ptr<MediaStream>& stream) override
    {
        if (Failed(Fail("mediastream"))) return kFail;
        stream = shared_from_this();
        return kOk;
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
    Result GetDuration(StreamTime& duration) override
    {
        duration = s.duration;
        return kOk;
    }
    Result Seek(StreamTime time) override
    {
        std::lock_guard lock(m_media.mutex);
        s.seeks.push_back(time);
        s.time = time;
        return kOk;
    }
    Result GetTimeline(std::shared_ptr<const Timeline>&) override { return kFalse; }
    Result QueryDrawMediaStream(std::shared_ptr<DrawMediaStream>& out) override
    {
        if (Failed(Fail("query"))) return kFail;
        out = shared_from_this();
        return kOk;
    }
    Result GetFormat(int& width, int& height) override
    {
        width = s.width;
        height = s.height;
        return Fail("format");
    }
    Result CreateSample(const PixelBuffer& target, const FrameRect& rect,
                        std::shared_ptr<StreamSample>& sample) override
    {
        if (Failed(Fail("sample"))) return kFail;
        sample = std::make_shared<ScriptedSample>(shared_from_this(), target, rect);
        return kOk;
    }
    Result GetTimePerFrame(StreamTime& tpf) override
    {
        tpf = s.timePerFrame;
        return kOk;
    }
    Result QueryBasicAudio(std::shared_ptr<BasicAudio>& out) override
    {
        if (Failed(Fail("audio"))) return kFail;
        out = shared_from_this();
        return kOk;
    }
    Result QueryMediaSeeking(std::shared_ptr<MediaSeeking>& out) override
    {
        if (Failed(Fail("seeking"))) return kFail;
        out = shared_from_this();
        return kOk;
    }
    Result PutVolume(long volume) override
    {
        s.volume = volume;
        return kOk;
    }
    Result GetVolume(long& volume) override
    {
        volume = s.volume;
        return kOk;
    }
    Result GetCapabilities(std::uint32_t& caps) override
    {
        caps = s.caps;
        return kOk;
    }
    Result SetRate(double rate) override
    {
        s.rate = rate;
        return kOk;
    }
    Result GetRate(double& rate) override
    {
        rate = s.rate;
        return kOk;
    }

    Result Update(const PixelBuffer& target, const FrameRect& rect)
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
        for (int y = rect.top; y < rect.bottom; ++y)
            std::memset(target.bits + static_cast<std::ptrdiff_t>(y) * target.stride + rect.left * 4, 0x80,
                        static_cast<std::size_t>(rect.Width()) * 4);
        return kOk;
    }

    void Abort()
    {
        std::lock_guard lock(m_media.mutex);
        m_media.aborted = true;
        m_media.cv.notify_all();
    }

private:
    ScriptedMedia& m_media;
    StreamScript& s;
    bool m_running = false;  // guarded by m_media.mutex
    const std::thread::id m_maker = std::this_thread::get_id();
};

Result ScriptedSample::Update()
{
    return m_stream->Update(m_target, m_rect);
}

void ScriptedSample::Abort()
{
    m_stream->Abort();
}

class FailingDevice final : public draw::DrawDevice {
public:
    FailingDevice(std::shared_ptr<draw::DrawDevice> real, int failSurface)
        : m_real(std::move(real)), m_failSurface(failSurface)
    {
    }
    Result SetCooperativeLevel(std::uint32_t flags) override { return m_real->SetCooperativeLevel(flags); }
    Result CreateSurface(const draw::SurfaceDesc& desc, std::shared_ptr<draw::Surface>& surface) override
    {
        if (++m_made == m_failSurface) return kOutOfMemory;
        return m_real->CreateSurface(desc, surface);
    }
    Result CreateClipper(std::shared_ptr<draw::Clipper>& clipper) override { return m_real->CreateClipper(clipper); }

private:
    std::shared_ptr<draw::DrawDevice> m_real;
    int m_failSurface;
    int m_made = 0;
};

}  // namespace

Result ScriptedMedia::CreateMultiMediaStream(std::shared_ptr<MultiMediaStream>& stream)
{
    if (m_script.failAt == "create") return kFail;
    stream = std::make_shared<ScriptedStream>(*this);
    return kOk;
}

bool ScriptedMedia::WaitForHeldUpdate()
{
    std::unique_lock lock(mutex);
    return cv.wait_for(lock, std::chrono::seconds(2), [&] { return held > 0; });
}

bool ScriptedMedia::WaitForHeldStop()
{
    std::unique_lock lock(mutex);
    return cv.wait_for(lock, std::chrono::seconds(2), [&] { return heldStops > 0; });
}

void ScriptedMedia::ReleaseStops()
{
    std::lock_guard lock(mutex);
    m_script.holdWorkerStops = false;
    cv.notify_all();
}

bool ScriptedMedia::Release()
{
    if (!WaitForHeldUpdate()) return false;
    std::lock_guard lock(mutex);
    ++releases;
    cv.notify_all();
    return true;
}

Result FailingDraw::CreateDirectDraw(std::shared_ptr<draw::DrawDevice>& device)
{
    if (m_failSurface == 0) return kFail;
    std::shared_ptr<draw::DrawDevice> real;
    draw::CreateDrawFactory()->CreateDirectDraw(real);
    device = std::make_shared<FailingDevice>(real, m_failSurface);
    return kOk;
}

int KeptFrameNumber(engine::MovieEngine& engine)
{
    const QImage kept = engine.KeptFrame();
    return kept.isNull() ? -1 : ReadFrameNumber(kept);
}

EngineWindow::EngineWindow(engine::MovieEngine::Services services) : engine(nullptr, std::move(services))
{
    engine.resize(320, 240);
    engine.Create();
}

}  // namespace enginetest
