// The progress box over a long image operation: the operation's name, the bar stepped once per
// part of the work, hidden however the work ends. Pixel work once begun runs to its end, so the
// box offers no Cancel meanwhile. Small work shows no box: it would only flicker.
#pragma once

#include "shell/TF_Progress.h"

#include <QPointer>
#include <QString>

class OperationProgress {
public:
    // Shows the box when `pixels` (the work's size) is large; `steps` parts are stepped.
    OperationProgress(const QString& caption, int steps, qint64 pixels);
    ~OperationProgress();
    OperationProgress(const OperationProgress&) = delete;
    OperationProgress& operator=(const OperationProgress&) = delete;

    // One part done; `text` goes on the second line when given. Repaints, takes no user input.
    void step(const QString& text = {});
    bool shown() const { return m_box != nullptr; }

    // Work of at least this many pixels shows the box.
    static constexpr qint64 MinPixels = 4'000'000;

private:
    QPointer<TF_Progress> m_box;
    bool m_cancelWasVisible = false;
};
