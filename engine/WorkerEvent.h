#pragma once
// A manual-reset event: once set it stays set until reset, and every wait
// on it returns.

#include <condition_variable>
#include <mutex>

namespace engine {

class WorkerEvent {
public:
    void Set()
    {
        {
            std::lock_guard lock(m_mutex);
            m_set = true;
        }
        m_cv.notify_all();
    }
    void Reset()
    {
        std::lock_guard lock(m_mutex);
        m_set = false;
    }
    void Wait()
    {
        std::unique_lock lock(m_mutex);
        m_cv.wait(lock, [&] { return m_set; });
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_cv;
    bool m_set = false;
};

}  // namespace engine
