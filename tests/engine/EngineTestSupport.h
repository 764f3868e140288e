#pragma once
// What the engine tests share: message capture, a stand-in for the stream
// where a real file cannot produce the case, and a drawing factory that
// fails on request.

#include <QString>
#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "engine/DrawSurface.h"
#include "engine/MovieEngine.h"
#include "PlayerTestSupport.h"
#include "engine/media/MediaStream.h"

namespace enginetest {

using testsupport::CapturedMessages;
using testsupport::MoviePath;
using testsupport::WaitFor;

// A stream whose every answer is set by the test. Frames are plain grey
// pictures; Update returns kOk `frames` times, then `endStatus`, and can be
// held until the test lets it go.
struct StreamScript {
    std::string failAt;  // "create", "initialize", "addvideo", "addaudio", "open", "graph",
                         // "audio", "seeking", "mediastream", "query", "format", "sample"
    int width = 320;
    int height = 240;
    media::StreamTime duration = 20'000'000;
    media::StreamTime timePerFrame = 400'000;
    std::uint32_t caps = media::kCanSeekAbsolute;
    media::StreamTime time = 0;  // what GetTime answers while stopped
    int frames = 1'000'000;
    media::Result endStatus = media::kEndOfStream;
    bool holdUpdates = false;  // each Update waits for Release() (or Abort)
    bool holdWorkerStops = false;  // a worker's SetState(Stop) waits for ReleaseStops() (or Abort)

    // Written by the stand-in.
    std::vector<media::StreamTime> seeks;
    std::vector<media::StreamState> states;
    long volume = 0;
    double rate = 0;
    int updates = 0;
};

class ScriptedMedia : public media::MediaFactory {
public:
    explicit ScriptedMedia(StreamScript& script) : m_script(script) {}
    media::Result CreateMultiMediaStream(std::shared_ptr<media::MultiMediaStream>& stream) override;

    // Lets one held Update return; false if none was waiting within 2 s.
    bool Release();
    // Waits until an Update is held.
    bool WaitForHeldUpdate();
    bool WaitForHeldStop();
    void ReleaseStops();

    StreamScript& m_script;
    std::mutex mutex;
    std::condition_variable cv;
    int held = 0;       // Updates waiting
    int heldStops = 0;  // workers' SetState(Stop) waiting
    int releases = 0;   // releases not yet taken
    bool aborted = false;
};

// The real drawing factory, but its device fails the n-th CreateSurface
// (counted from 1), or the creation of the device itself when n is 0.
class FailingDraw : public draw::DrawFactory {
public:
    explicit FailingDraw(int failSurface) : m_failSurface(failSurface) {}
    media::Result CreateDirectDraw(std::shared_ptr<draw::DrawDevice>& device) override;

private:
    int m_failSurface;
};

// The frame number shown in the engine's kept frame, -1 when none.
int KeptFrameNumber(engine::MovieEngine& engine);

// An engine window of 320 x 240 with its drawing objects made.
struct EngineWindow {
    explicit EngineWindow(engine::MovieEngine::Services services = engine::MovieEngine::DefaultServices());
    engine::MovieEngine engine;
};

}  // namespace enginetest
