#pragma once
// The sound device behind a narrow interface. The device pulls sound from an
// AudioRing on its own thread (the callback): the callback never blocks,
// never touches the interface, applies the volume, plays silence when the
// ring runs dry, and publishes which stream time is being heard.

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>

#include "engine/media/AudioRing.h"
#include "engine/media/MediaTypes.h"

namespace media {

// What the device is playing: written by the callback, read by the stream's
// clock. The callback only ever tries the lock: when a reader holds it, that
// report is skipped and the next callback, a few milliseconds later, makes
// one; so the callback never waits.
class HeardPosition {
public:
    // `serial` is the seek serial of the sound heard, so a reader can tell
    // a report about sound from before a seek.
    void Publish(StreamTime position, std::int64_t atNs, int serial);
    // False until something was published.
    bool Read(StreamTime& position, std::int64_t& atNs, int& serial) const;

private:
    mutable std::mutex m_mutex;
    // -- Guarded by m_mutex.
    bool m_valid = false;
    StreamTime m_position = 0;
    std::int64_t m_atNs = 0;
    int m_serial = 0;
};

class AudioOutput {
public:
    virtual ~AudioOutput() = default;
    // Starts paused. Afterwards Rate() and Channels() tell what the device
    // accepts; the ring must carry float samples in that layout.
    virtual bool Open(int rate, int channels) = 0;
    virtual int Rate() const = 0;
    virtual int Channels() const = 0;
    // Whether the device plays at the pace of a real sound card, so that
    // what it has played can set the stream's clock. SDL's dummy and disk
    // drivers only pretend to, as fast or as slow as the machine lets them.
    virtual bool KeepsTime() const = 0;
    // The ring to play from and the serial whose sound is current.
    virtual void Attach(AudioRing* ring) = 0;
    virtual void SetSerial(int serial) = 0;
    virtual void SetPaused(bool paused) = 0;
    // Volume in hundredths of a decibel (-10000 silence, 0 full).
    virtual void SetVolume(long volume) = 0;
    virtual const HeardPosition& Heard() const = 0;
};

// The system's default sound output through SDL2.
std::unique_ptr<AudioOutput> CreateDeviceAudioOutput();

// Linear gain of a volume in hundredths of a decibel; exactly 0 at -10000.
float GainOfVolume(long volume);

// Brings SDL's audio subsystem up once per process and down with the last
// user. Open devices hold a reference.
class AudioSubsystem {
public:
    static std::shared_ptr<AudioSubsystem> Acquire();  // null when SDL audio cannot start
    ~AudioSubsystem();

private:
    AudioSubsystem() = default;
};

}  // namespace media
