#include "engine/media/Clock.h"

#include <chrono>
#include <cmath>
#include <limits>

namespace media {

std::int64_t SteadyNowNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

Clock::Clock(NowFn now) : m_now(std::move(now))
{
    m_baseNs = m_epochNs = m_now();
}

StreamTime Clock::PositionAt(std::int64_t ns) const
{
    if (!m_running) return m_base;
    // 100 ns units are nanoseconds / 100.
    const double elapsed = static_cast<double>(ns - m_baseNs) / 100.0 * m_rate;
    return m_base + static_cast<StreamTime>(std::llround(elapsed));
}

void Clock::Set(StreamTime position)
{
    std::lock_guard lock(m_mutex);
    m_base = position;
    m_baseNs = m_epochNs = m_now();
}

void Clock::Run()
{
    std::lock_guard lock(m_mutex);
    if (m_running) return;
    m_baseNs = m_epochNs = m_now();
    m_running = true;
}

void Clock::Stop()
{
    std::lock_guard lock(m_mutex);
    if (!m_running) return;
    m_base = PositionAt(m_now());
    m_running = false;
}

bool Clock::Running() const
{
    std::lock_guard lock(m_mutex);
    return m_running;
}

void Clock::SetRate(double rate)
{
    std::lock_guard lock(m_mutex);
    const std::int64_t now = m_now();
    m_base = PositionAt(now);
    m_baseNs = now;
    m_rate = rate;
}

double Clock::Rate() const
{
    std::lock_guard lock(m_mutex);
    return m_rate;
}

StreamTime Clock::Now() const
{
    std::lock_guard lock(m_mutex);
    return PositionAt(m_now());
}

void Clock::SyncTo(StreamTime position, std::int64_t atNs)
{
    std::lock_guard lock(m_mutex);
    if (!m_running || atNs <= m_epochNs) return;
    const StreamTime ours = PositionAt(atNs);
    if (std::llabs(ours - position) < kSyncTolerance) return;
    m_base = position;
    m_baseNs = atNs;
}

std::int64_t Clock::NsUntil(StreamTime t) const
{
    std::lock_guard lock(m_mutex);
    const StreamTime left = t - PositionAt(m_now());
    if (left <= 0) return 0;
    // A stopped clock gets no nearer: what is still ahead of it is never
    // due, so a stop that overtakes a waiting Update lets no frame out.
    if (!m_running) return std::numeric_limits<std::int64_t>::max();
    return static_cast<std::int64_t>(static_cast<double>(left) * 100.0 / m_rate);
}

}  // namespace media
