#pragma once
// Reads the file's packets on its own thread into the video and audio
// packet queues, ahead of the decoders, and carries out seeks.

#include <string>
#include <thread>

#include "engine/media/SoundBacklog.h"
#include "engine/media/StreamShared.h"
#include "engine/media/Timeline.h"

namespace media {

class Demuxer {
public:
    explicit Demuxer(StreamShared& shared);
    ~Demuxer();

    // Opens and probes the file; picks the best video and audio streams.
    // Refuses anything but a regular file: a pipe or a device could block
    // the open, or never end.
    Result Open(const std::string& path);
    // Before Start: the packets of the streams not listed are not read
    // (the video and the sound in use are always read).
    void ReadOnly(const std::vector<int>& streams);

    AVFormatContext* Format() const { return m_format.get(); }
    AVStream* VideoStream() const;
    AVStream* AudioStream() const;
    bool Seekable() const;
    // Length of the movie from stream time 0, or 0 when unknown.
    StreamTime Duration() const;

    // `audio` may be null: audio packets are then dropped at once.
    void Start(PacketQueue* video, PacketQueue* audio);
    void Stop();  // joins the thread; Quit must have been set on the shared state

private:
    void Run();
    void DoSeek(const SeekRequest& request);
    void SeekToStart();
    bool Reopen();
    void PushEnd(int serial);
    // Sends another sound track on when one is wanted, starting with what
    // the backlog kept of it.
    void FollowSoundSwitch(int serial);
    bool IsSound(int index) const;

    static int Interrupt(void* self);

    StreamShared& m_shared;
    FormatContextPtr m_format;  // replaced only by Reopen, on the demuxer's thread
    std::string m_path;
    PacketQueue* m_video = nullptr;
    PacketQueue* m_audio = nullptr;
    std::thread m_thread;
    SoundBacklog m_backlog;  // the demuxer thread's own
    // Monotonic deadline for opening, so a pathological file cannot hold
    // the interface; 0 while not opening.
    std::atomic<std::int64_t> m_openDeadlineNs{0};
};

// Reads every packet of the file at `path` (opened afresh, as the demuxer
// `shared` describes it opened) and tells what their times say of the
// pictures. Stops early, with an empty timeline, once `shared.quit` is set.
Timeline ReadTimeline(const std::string& path, const StreamShared& shared);

}  // namespace media
