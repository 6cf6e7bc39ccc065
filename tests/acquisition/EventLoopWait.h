// Waiting in the acquisition tests: a real event loop, which blocks between events as the program's
// does, so a frame source sees the GUI thread idle. The deadline only ends a wait for something that
// never comes; it is long enough for a sanitized build on a loaded machine.
#pragma once

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTimer>

#include <functional>

namespace acquisitiontest {

constexpr int FuseMs = 60000;

// Runs the event loop until done() holds; returns done().
inline bool loopUntil(const std::function<bool()>& done, int fuseMs = FuseMs)
{
    if (done())
        return true;
    const QDeadlineTimer fuse(fuseMs);
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (done() || fuse.hasExpired())
            loop.quit();
    });
    poll.start(10);
    loop.exec();
    return done();
}

} // namespace acquisitiontest
