#pragma once
// Waiting in a benchmark for what the player does, without spinning.

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <functional>

// Runs the event loop until `done`, looking every millisecond; the loop
// sleeps in between, so the waiting takes no processor from the player.
inline bool WaitUntil(const std::function<bool()>& done, int ms = 20000)
{
    QElapsedTimer t;
    t.start();
    QEventLoop loop;
    QTimer look;
    QObject::connect(&look, &QTimer::timeout, [&] {
        if (done() || t.elapsed() > ms) loop.quit();
    });
    look.start(1);
    if (!done()) loop.exec();
    return done();
}
