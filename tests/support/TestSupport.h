#pragma once
// What every test program shares: the test movies' folder, and waiting for a
// condition while Qt (when there is an application) delivers its events.

#include <QCoreApplication>
#include <QThread>
#include <chrono>
#include <functional>
#include <string>

namespace testsupport {

inline std::string MoviePath(const std::string& name)
{
    return std::string(TEST_MOVIE_DIR) + "/" + name;
}

// Lets Qt deliver events until `condition` holds or `timeoutMs` passes.
inline bool WaitFor(const std::function<bool()>& condition, int timeoutMs = 5000)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(2);
    }
    return true;
}

}  // namespace testsupport
