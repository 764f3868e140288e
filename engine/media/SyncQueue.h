#pragma once
// A bounded queue between two threads of the stream. Every item carries the
// seek serial it was produced under; a seek bumps the serial and flushes, so
// items still in flight from before the seek are recognised and dropped.
// Waits end on: room or an item, Close (the stream is going away), a flush,
// or Wake (the caller's own condition may have changed).

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>

namespace media {

template <typename T>
class SyncQueue {
public:
    // An item may be pushed while fewer than `maxItems` items and
    // `maxCost` cost units are queued; a single item is always accepted into
    // an empty queue, whatever its cost.
    SyncQueue(std::size_t maxItems, std::size_t maxCost) : m_maxItems(maxItems), m_maxCost(maxCost) {}

    // Blocks while the queue is full. Returns false, dropping the item, when
    // the queue was closed or flushed meanwhile, or `cancel` became true.
    bool Push(T item, std::size_t cost, const std::function<bool()>& cancel = {})
    {
        std::unique_lock lock(m_mutex);
        const unsigned flushes = m_flushes;
        m_cv.wait(lock, [&] {
            return m_closed || m_flushes != flushes || (cancel && cancel()) || m_items.empty() ||
                   (m_items.size() < m_maxItems && m_cost + cost <= m_maxCost);
        });
        if (m_closed || m_flushes != flushes || (cancel && cancel())) return false;
        m_items.push_back(Entry{std::move(item), cost});
        m_cost += cost;
        m_cv.notify_all();
        return true;
    }

    // Whether Push would block for an item of `cost`.
    bool Full(std::size_t cost) const
    {
        std::lock_guard lock(m_mutex);
        return !m_items.empty() && (m_items.size() >= m_maxItems || m_cost + cost > m_maxCost);
    }

    // Blocks until an item is there. Returns false when the queue was closed
    // or `cancel` became true.
    bool Pop(T& item, const std::function<bool()>& cancel = {}) { return PopFor(item, -1, cancel) == Popped::Item; }

    enum class Popped { Item, TimedOut, Ended };
    // As Pop, but gives up after `timeoutNs` (never, when negative).
    Popped PopFor(T& item, std::int64_t timeoutNs, const std::function<bool()>& cancel = {})
    {
        std::unique_lock lock(m_mutex);
        auto ready = [&] { return m_closed || (cancel && cancel()) || !m_items.empty(); };
        if (timeoutNs < 0)
            m_cv.wait(lock, ready);
        else if (!m_cv.wait_for(lock, std::chrono::nanoseconds(timeoutNs), ready))
            return Popped::TimedOut;
        if (m_closed || (cancel && cancel())) return Popped::Ended;
        TakeFront(item);
        return Popped::Item;
    }

    // Calls `fn(front, second-or-null)` with the lock held once an item is
    // there, or after `timeoutNs` (then with nullptr, nullptr). Lets the
    // consumer look at the next items without taking them.
    template <typename Fn>
    bool PeekWait(std::int64_t timeoutNs, const std::function<bool()>& cancel, Fn&& fn)
    {
        std::unique_lock lock(m_mutex);
        auto ready = [&] { return m_closed || (cancel && cancel()) || !m_items.empty(); };
        if (timeoutNs < 0)
            m_cv.wait(lock, ready);
        else
            m_cv.wait_for(lock, std::chrono::nanoseconds(timeoutNs), ready);
        if (m_closed || (cancel && cancel())) return false;
        if (m_items.empty()) {
            fn(static_cast<T*>(nullptr), static_cast<T*>(nullptr));
        } else {
            T* second = m_items.size() > 1 ? &m_items[1].item : nullptr;
            fn(&m_items.front().item, second);
        }
        return true;
    }

    // Waits up to `timeoutNs` for Wake, a flush or Close. For timed waits
    // that must still end promptly on those events.
    void WaitFor(std::int64_t timeoutNs, const std::function<bool()>& cancel)
    {
        std::unique_lock lock(m_mutex);
        const unsigned wakes = m_wakes;
        const unsigned flushes = m_flushes;
        m_cv.wait_for(lock, std::chrono::nanoseconds(timeoutNs), [&] {
            return m_closed || m_wakes != wakes || m_flushes != flushes || (cancel && cancel());
        });
    }

    bool TryPop(T& item)
    {
        std::lock_guard lock(m_mutex);
        if (m_items.empty()) return false;
        TakeFront(item);
        return true;
    }

    void Flush()
    {
        std::lock_guard lock(m_mutex);
        m_items.clear();
        m_cost = 0;
        ++m_flushes;
        m_cv.notify_all();
    }

    void Wake()
    {
        std::lock_guard lock(m_mutex);
        ++m_wakes;
        m_cv.notify_all();
    }

    void Close()
    {
        std::lock_guard lock(m_mutex);
        m_closed = true;
        m_items.clear();
        m_cost = 0;
        m_cv.notify_all();
    }

private:
    struct Entry {
        T item;
        std::size_t cost;
    };

    void TakeFront(T& item)
    {
        item = std::move(m_items.front().item);
        m_cost -= m_items.front().cost;
        m_items.pop_front();
        m_cv.notify_all();
    }

    const std::size_t m_maxItems;
    const std::size_t m_maxCost;
    mutable std::mutex m_mutex;
    std::condition_variable m_cv;
    // -- All the following fields are guarded by m_mutex.
    std::deque<Entry> m_items;
    std::size_t m_cost = 0;
    unsigned m_flushes = 0;
    unsigned m_wakes = 0;
    bool m_closed = false;
};

}  // namespace media
