#pragma once
// What the engine, view and application tests share: the test movies'
// folder, messages captured instead of shown, and waiting for a condition
// while Qt delivers its events.

#include <QCoreApplication>
#include <QEventLoop>
#include <QString>
#include <QThread>
#include <QTimer>
#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "engine/MovieEngine.h"
#include "engine/Notifier.h"
#include "resources/UiResources.h"

namespace testsupport {

inline std::string MoviePath(const std::string& name)
{
    return std::string(TEST_MOVIE_DIR) + "/" + name;
}

// Collects the texts the program would show in message boxes. Like the
// real modal box, a message stays up while the event loop runs: long enough
// for the view's half-second tick to fire, for posted commands and paints.
class CapturedMessages : public engine::Notifier {
public:
    static constexpr int kUpMs = 550;
    int upMs = kUpMs;  // how long each message stays up

    CapturedMessages() : m_previous(engine::SetNotifier(this)) {}
    ~CapturedMessages() override { engine::SetNotifier(m_previous); }
    void Show(const QString& text) override
    {
        texts.push_back(text);
        if (!QCoreApplication::instance()) return;
        QEventLoop up;
        QTimer::singleShot(upMs, &up, &QEventLoop::quit);
        up.exec();
    }
    std::vector<QString> texts;

private:
    engine::Notifier* m_previous;
};

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

// Whether the engine window, as painted now, is black with the idle picture
// in the middle.
inline bool ShowsIdlePicture(engine::MovieEngine& engine)
{
    const QImage idle = QImage(QString::fromLatin1(ui::kIdlePicture)).convertToFormat(QImage::Format_RGB32);
    const QImage shown = engine.grab().toImage().convertToFormat(QImage::Format_RGB32);
    const QPoint at((shown.width() - idle.width()) / 2, (shown.height() - idle.height()) / 2);
    return shown.copy(QRect(at, idle.size())) == idle && shown.pixel(0, 0) == qRgb(0, 0, 0);
}

}  // namespace testsupport
