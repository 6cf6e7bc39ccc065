// Answering modal dialogs that a test opens: the answer is scheduled before the call that shows
// the dialog, since that call only returns once the dialog is closed.
#pragma once

#include <QApplication>
#include <QTimer>
#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace testhelpers {

// Acts on the next modal dialog of type W once it shows; a dialog that does not show within about
// `waitMs` milliseconds fails the test.
template <typename W>
void whenShown(std::function<void(W*)> act, int waitMs = 3000)
{
    auto* timer = new QTimer(qApp);
    auto ticks = std::make_shared<int>(0);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, ticks, act, waitMs] {
        if (auto* d = qobject_cast<W*>(QApplication::activeModalWidget())) {
            timer->stop();
            timer->deleteLater();
            act(d);
        } else if (++*ticks > waitMs / 10) {
            ADD_FAILURE() << "expected dialog did not show";
            timer->stop();
            timer->deleteLater();
        }
    });
    timer->start(10);
}

} // namespace testhelpers
