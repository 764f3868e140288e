#include <SDL.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <mutex>
#include <vector>

#include "engine/media/AudioOutput.h"
#include "engine/media/Clock.h"

namespace media {

void HeardPosition::Publish(StreamTime position, std::int64_t atNs, int serial)
{
    std::unique_lock lock(m_mutex, std::try_to_lock);
    if (!lock.owns_lock()) return;
    m_valid = true;
    m_position = position;
    m_atNs = atNs;
    m_serial = serial;
}

bool HeardPosition::Read(StreamTime& position, std::int64_t& atNs, int& serial) const
{
    std::lock_guard lock(m_mutex);
    if (!m_valid) return false;
    position = m_position;
    atNs = m_atNs;
    serial = m_serial;
    return true;
}

float GainOfVolume(long volume)
{
    if (volume <= -10000) return 0.0f;
    if (volume >= 0) return 1.0f;
    // Hundredths of a decibel: amplitude = 10^(dB / 20) = 10^(volume / 2000).
    return static_cast<float>(std::pow(10.0, static_cast<double>(volume) / 2000.0));
}

namespace {
std::mutex g_subsystemMutex;
std::weak_ptr<AudioSubsystem> g_subsystem;
}  // namespace

std::shared_ptr<AudioSubsystem> AudioSubsystem::Acquire()
{
    std::lock_guard lock(g_subsystemMutex);
    if (auto existing = g_subsystem.lock()) return existing;
    // SDL's audio brings its event loop along, which would turn SIGINT and
    // SIGTERM into quit events nobody reads: the program could not be
    // stopped. The signals keep their usual meaning.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return nullptr;
    std::shared_ptr<AudioSubsystem> created(new AudioSubsystem);
    g_subsystem = created;
    return created;
}

AudioSubsystem::~AudioSubsystem()
{
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

namespace {

class SdlAudioOutput final : public AudioOutput {
public:
    ~SdlAudioOutput() override
    {
        if (m_device != 0) SDL_CloseAudioDevice(m_device);  // waits for a running callback
    }

    bool Open(int rate, int channels) override
    {
        m_sdl = AudioSubsystem::Acquire();
        if (!m_sdl) return false;
        SDL_AudioSpec want{};
        want.freq = rate;
        want.format = AUDIO_F32SYS;
        want.channels = static_cast<Uint8>(std::clamp(channels, 1, 8));
        // About 20 ms per callback: short enough for a responsive volume and
        // clock, long enough not to underrun when the machine is busy.
        want.samples = rate > 48000 ? 2048 : 1024;
        want.callback = &SdlAudioOutput::Callback;
        want.userdata = this;
        SDL_AudioSpec have{};
        m_device = SDL_OpenAudioDevice(nullptr, 0, &want, &have,
                                       SDL_AUDIO_ALLOW_FREQUENCY_CHANGE | SDL_AUDIO_ALLOW_CHANNELS_CHANGE);
        if (m_device == 0) {
            m_sdl.reset();
            return false;
        }
        m_rate = have.freq;
        m_channels = have.channels;
        // Real devices play a buffer after what they already hold, about one
        // buffer; the dummy and disk drivers keep no time at all.
        const char* driver = SDL_GetCurrentAudioDriver();
        m_keepsTime = !(driver && (std::strcmp(driver, "dummy") == 0 || std::strcmp(driver, "disk") == 0));
        m_latency = m_keepsTime ? have.samples : 0;
        return true;
    }

    int Rate() const override { return m_rate; }
    int Channels() const override { return m_channels; }
    bool KeepsTime() const override { return m_keepsTime; }
    void Attach(AudioRing* ring) override
    {
        // Under the device's lock: once this returns, no callback still
        // reads the ring attached before, and the caller may free it.
        if (m_device != 0) SDL_LockAudioDevice(m_device);
        m_ring.store(ring, std::memory_order_release);
        if (m_device != 0) SDL_UnlockAudioDevice(m_device);
    }
    void SetSerial(int serial) override { m_serial.store(serial, std::memory_order_release); }
    void SetPaused(bool paused) override
    {
        if (m_device != 0) SDL_PauseAudioDevice(m_device, paused ? 1 : 0);
    }
    void SetVolume(long volume) override { m_targetGain.store(GainOfVolume(volume), std::memory_order_relaxed); }
    const HeardPosition& Heard() const override { return m_heard; }

private:
    static void Callback(void* userdata, Uint8* stream, int len)
    {
        static_cast<SdlAudioOutput*>(userdata)->Fill(reinterpret_cast<float*>(stream), len);
    }

    void Fill(float* out, int bytes)
    {
        const int frames = bytes / static_cast<int>(sizeof(float) * m_channels);
        AudioRing* ring = m_ring.load(std::memory_order_acquire);
        AudioRing::Span span;
        const int serial = m_serial.load(std::memory_order_acquire);
        if (ring && ring->Channels() == m_channels) span = ring->Read(out, frames, serial);
        std::fill(out + static_cast<std::size_t>(span.frames) * m_channels,
                  out + static_cast<std::size_t>(frames) * m_channels, 0.0f);

        // Ramp to a new volume over one buffer, so a change does not click.
        const float target = m_targetGain.load(std::memory_order_relaxed);
        if (target != m_gain || target != 1.0f) {
            const float step = frames > 0 ? (target - m_gain) / static_cast<float>(frames) : 0.0f;
            float gain = m_gain;
            for (int f = 0; f < span.frames; ++f) {
                gain += step;
                for (int c = 0; c < m_channels; ++c) out[f * m_channels + c] *= gain;
            }
            m_gain = target;
        }

        if (span.timed && span.frames > 0) {
            const double unitsPerFrame =
                static_cast<double>(span.endTime - span.startTime) / static_cast<double>(span.frames);
            const StreamTime heard = span.startTime - static_cast<StreamTime>(m_latency * unitsPerFrame);
            m_heard.Publish(heard, SteadyNowNs(), serial);
        }
    }

    std::shared_ptr<AudioSubsystem> m_sdl;
    SDL_AudioDeviceID m_device = 0;
    int m_rate = 0;
    int m_channels = 0;
    int m_latency = 0;
    bool m_keepsTime = false;
    std::atomic<AudioRing*> m_ring{nullptr};
    std::atomic<int> m_serial{0};
    std::atomic<float> m_targetGain{1.0f};
    float m_gain = 1.0f;  // callback thread only
    HeardPosition m_heard;
};

}  // namespace

std::unique_ptr<AudioOutput> CreateDeviceAudioOutput()
{
    return std::make_unique<SdlAudioOutput>();
}

}  // namespace media
