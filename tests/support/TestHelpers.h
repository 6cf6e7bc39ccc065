// Small helpers shared by the tests.
#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QString>

#include <functional>

namespace testhelpers {

// Root of the source tree, for sample files the tests read.
inline QString sourceDir() { return QStringLiteral(JEX4_SOURCE_DIR); }

// Turns the event loop until done() holds, giving a loaded machine 30 seconds; returns done().
inline bool runUntil(const std::function<bool()>& done, int ms = 30000)
{
    QElapsedTimer waited;
    waited.start();
    while (!done() && waited.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
    return done();
}

// Turns the event loop `turns` times without waiting: posted events, zero timers and what they
// post in turn. No clock is read, so a busy machine gets as many turns as an idle one.
inline void turnEventLoop(int turns = 10)
{
    for (int i = 0; i < turns; ++i) {
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
    }
}

} // namespace testhelpers
