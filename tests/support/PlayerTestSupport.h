#pragma once
// What the engine, view and application tests share besides the movies and
// waiting: messages captured instead of shown, and what the engine shows.

#include <QElapsedTimer>
#include <QEventLoop>
#include <QRect>
#include <QSize>
#include <ostream>
#include <QImage>
#include <QString>
#include <QTimer>
#include <functional>
#include <vector>

#include "FrameCode.h"
#include "TestSupport.h"
#include "engine/MovieEngine.h"
#include "engine/Notifier.h"
#include "resources/UiResources.h"

// GoogleTest prints Qt values readably in failure messages.
inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }
inline void PrintTo(const QByteArray& b, std::ostream* os) { *os << '"' << b.toStdString() << '"'; }
inline void PrintTo(const QSize& s, std::ostream* os) { *os << s.width() << 'x' << s.height(); }
inline void PrintTo(const QRect& r, std::ostream* os) { *os << '(' << r.x() << ',' << r.y() << ' ' << r.width() << 'x' << r.height() << ')'; }

namespace testsupport {

// Collects the texts the program would show in message boxes. Like the
// real modal box, a message runs the event loop while it is up: posted
// commands, paints and due timers run under it. It stays up until
// `upUntil` holds (bounded), or for `upMs`, or just for what is waiting.
class CapturedMessages : public engine::Notifier {
public:
    std::function<bool()> upUntil;
    int upMs = 0;

    CapturedMessages() : m_previous(engine::SetNotifier(this)) {}
    ~CapturedMessages() override { engine::SetNotifier(m_previous); }
    void Show(const QString& text) override
    {
        texts.push_back(text);
        if (!QCoreApplication::instance()) return;
        QEventLoop up;
        QTimer look;
        if (upUntil) {
            QObject::connect(&look, &QTimer::timeout, [&] {
                if (upUntil()) up.quit();
            });
            look.start(5);
            QTimer::singleShot(10'000, &up, &QEventLoop::quit);
        } else {
            QTimer::singleShot(upMs, &up, &QEventLoop::quit);
        }
        up.exec();
    }
    std::vector<QString> texts;

private:
    engine::Notifier* m_previous;
};

// The furthest a movie of `fps` frames a second can have come `ms` after it
// went on playing from frame `from`: no frame is ever shown before its time,
// however late a busy machine makes them.
inline int AtMost(int from, qint64 ms, int fps = 25)
{
    return from + static_cast<int>(ms * fps / 1000) + 1;
}

// The frame number in the engine's kept frame, -1 when there is none.
inline int Kept(engine::MovieEngine& engine)
{
    const QImage kept = engine.KeptFrame();
    return kept.isNull() ? -1 : ReadFrameNumber(kept);
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
