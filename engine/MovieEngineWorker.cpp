// Pulling frames out of the stream: the per-frame step, the play and seek
// workers, and how they are started and stopped.

#include <system_error>

#include "engine/MovieEngine.h"
#include "engine/media/ThreadPriority.h"

namespace engine {

Rect MovieEngine::ScreenRect() const
{
    std::lock_guard lock(m_screenMutex);
    return m_rcScreen;
}

void MovieEngine::SetScreenRect(const Rect& rect)
{
    std::lock_guard lock(m_screenMutex);
    m_rcScreen = rect;
}

bool MovieEngine::StepFrame()
{
    StreamTime now = 0;
    if (media::Succeeded(m_pMMStream->GetTime(now))) m_tCurrent = now;

    const media::Result status = m_pSample->Update();
    if (status != media::kOk) {
        m_pMMStream->SetState(media::StreamState::Stop);
        if (status == media::kEndOfStream) m_bEndOfStream = true;
        return false;
    }

    const Rect screen = ScreenRect();
    if (m_pPrimary->Blt(&screen, m_pBack.get(), &m_rcDrawn, draw::kBltWait) == draw::kSurfaceLost)
        m_pPrimary->Restore();  // this frame is skipped on screen, the next one shows

    // The frame just decoded becomes the kept frame by the two surfaces
    // changing places, not by a copy: one pass over the picture less per
    // frame. The next frame is decoded into the surface kept until now.
    std::lock_guard lock(m_semSurface);
    std::swap(m_pBack, m_pFrame[0]);
    std::swap(m_pSample, m_pKeptSample);
    m_bFrameReady = true;
    return true;
}

void MovieEngine::LeaveWorker()
{
    m_nPlayState = Idle;
    m_workerDone.Set();
}

void MovieEngine::PlayThreadProc(MovieEngine* engine)
{
    media::LowerThisThread("reelscope-play", media::kWorkerNice);
    while (engine->m_nPlayState != Idle) {
        if (!engine->StepFrame()) break;
    }
    engine->LeaveWorker();
}

void MovieEngine::SeekThreadProc(MovieEngine* engine)
{
    media::LowerThisThread("reelscope-seek", media::kWorkerNice);
    for (;;) {
        const bool stepped = engine->m_nPlayState != Idle && engine->StepFrame();
        // Targets that came in while the frame was decoded were coalesced:
        // only the latest is taken up. The last look and the decision to
        // leave are one step, so no target can slip in between and be lost.
        StreamTime target;
        {
            std::lock_guard lock(engine->m_seekLock);
            target = engine->m_tSeekTarget;
            if (!stepped || target == engine->m_tSeekShown) {
                engine->m_bSeekClosing = true;
                break;
            }
        }
        engine->m_tSeekShown = target;
        engine->m_pMMStream->Seek(target);
    }
    engine->m_pMMStream->SetState(media::StreamState::Stop);
    engine->m_pMMStream->Seek(engine->m_tSeekShown);
    engine->LeaveWorker();
}

void MovieEngine::StopWorker()
{
    if (m_nPlayState != Idle) {
        m_nPlayState = Idle;
        // A worker may be waiting inside the stream for a frame that is not
        // due for a long time (a slow movie, a low rate); wake it. The worker
        // swaps the samples under the surface lock, so it is read under it;
        // both belong to one stream, whose abort wakes either.
        std::shared_ptr<media::StreamSample> sample;
        {
            std::lock_guard lock(m_semSurface);
            sample = m_pSample;
        }
        if (sample) sample->Abort();
        m_workerDone.Wait();
    }
    // Joined, so a worker that has been waited for can no longer write the
    // state of the next one.
    if (m_worker.joinable()) m_worker.join();
}

void MovieEngine::StartPlayWorker()
{
    if (m_nPlayState == Playing) return;
    if (m_nPlayState == Seeking) StopWorker();
    if (m_worker.joinable()) m_worker.join();  // one that left by itself
    m_nPlayState = Playing;
    m_workerDone.Reset();
    try {
        m_worker = std::thread(&MovieEngine::PlayThreadProc, this);
    } catch (const std::system_error&) {
        LeaveWorker();  // no thread: nobody may wait for one
    }
}

void MovieEngine::StartSeekWorker()
{
    if (m_nPlayState != Idle) return;
    if (m_worker.joinable()) m_worker.join();
    m_bSeekClosing = false;  // no worker runs: nobody else touches it now
    m_nPlayState = Seeking;
    m_workerDone.Reset();
    try {
        m_worker = std::thread(&MovieEngine::SeekThreadProc, this);
    } catch (const std::system_error&) {
        LeaveWorker();
    }
}

int MovieEngine::Play()
{
    StopWorker();
    m_bEndOfStream = false;
    if (!MovieOpen()) return 0;
    const media::Result run = m_pMMStream->SetState(media::StreamState::Run);
    if (run != media::kOk) return run;
    StartPlayWorker();
    return 0;
}

void MovieEngine::Pause()
{
    StopWorker();
    m_bEndOfStream = false;
    if (MovieOpen()) m_pMMStream->SetState(media::StreamState::Stop);
}

int MovieEngine::Seek(int frame, int mode)
{
    m_bEndOfStream = false;
    if (!MovieOpen()) return 0;
    // The last position, the frame count, has no picture of its own: a seek
    // there (the end command, the seek bar's right end) shows the last
    // frame and stands on it, so the counter names the picture shown and a
    // step back from there moves it.
    const StreamTime target = TimeOfFrame(std::min(frame, GetLastFrame()));
    if (mode == SeekOnly || mode == SeekTrack || mode == SeekAndShow) ++m_nSeekGeneration;

    auto stopAndRead = [&] {
        StopWorker();
        m_pMMStream->SetState(media::StreamState::Stop);
        StreamTime now = 0;
        if (media::Succeeded(m_pMMStream->GetTime(now))) m_tCurrent = now;
        return m_tCurrent.load() == target;  // already there: nothing to do or draw
    };

    switch (mode) {
    case SeekOnly:
        if (!stopAndRead()) m_pMMStream->Seek(target);
        return 0;
    case SeekTrack: {
        std::lock_guard lock(m_seekLock);
        if (m_nPlayState == Seeking && !m_bSeekClosing) {
            m_tSeekTarget = target;  // the running seek worker takes it up after its frame
            return 0;
        }
    }
        // A worker that is leaving is waited for, and the target shown anew.
        [[fallthrough]];
    case SeekAndShow:
        if (!stopAndRead()) ShowDecoded(target);
        return 0;
    default:
        return 0;
    }
}

void MovieEngine::ShowDecoded(StreamTime target)
{
    // The stream delivers exactly the frame whose display interval holds
    // the time it was sought to, so the seek goes to the target itself;
    // starting one frame early would show the frame before it.
    m_pMMStream->Seek(target);
    m_pMMStream->SetState(media::StreamState::Run);
    m_tSeekTarget = target;
    m_tSeekShown = target;
    StartSeekWorker();
}

void MovieEngine::SetDeinterlace(media::Deinterlace mode)
{
    m_deinterlace = mode;
    if (!MovieOpen()) return;
    m_pMMStream->SetDeinterlace(mode);
    // Playing, the pictures decoded from now on show the change.
    if (m_nPlayState != Idle) return;
    const bool atEnd = m_bEndOfStream;
    StopWorker();
    m_pMMStream->SetState(media::StreamState::Stop);
    ShowDecoded(m_tCurrent);
    m_bEndOfStream = atEnd;
}

}  // namespace engine
