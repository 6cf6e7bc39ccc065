#include "shell/TF_Progress.h"

#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

namespace {

// Queues a real mouse click on the button; it arrives only when the loop processes events.
void queueClick(QPushButton* button)
{
    QTimer::singleShot(0, button, [button] { QTest::mouseClick(button, Qt::LeftButton); });
}

// The caller protocol: reset, run up to `steps` steps, poll the flag after each.
// Returns the number of steps done; `beforeStep(i)` runs before step i (1-based).
template <typename BeforeStep>
int runLoop(TF_Progress& box, int steps, BeforeStep beforeStep)
{
    box.L_1->setText(QStringLiteral("Converting projects"));
    box.PB->setValue(0);
    box.PB->setMaximum(steps);
    box.show();
    int done = 0;
    for (int i = 1; i <= steps; ++i) {
        beforeStep(i);
        box.L_2->setText(QString::number(i));
        box.DoStep();
        ++done;
        if (box.Tag == TF_Progress::TagCancelled)
            break;
    }
    box.hide();
    return done;
}

} // namespace

TEST(TF_Progress, StartsWithItsDesignState)
{
    TF_Progress box;
    EXPECT_EQ(box.size(), QSize(498, 100));
    EXPECT_EQ(box.PB->minimum(), 0);
    EXPECT_EQ(box.PB->maximum(), 8);
    EXPECT_EQ(box.PB->value(), 1);
    EXPECT_EQ(box.B_Cancel->text(), QStringLiteral("Cancel"));
    EXPECT_TRUE(box.L_1->font().bold());
    EXPECT_FALSE(box.L_2->font().bold());
    EXPECT_TRUE(box.windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_EQ(box.Tag, 0);
}

TEST(TF_Progress, DoStepAdvancesByOneAndStopsAtTheEnd)
{
    TF_Progress box;
    box.PB->setValue(0);
    box.PB->setMaximum(3);
    const int expected[] = {1, 2, 3, 3};
    for (int want : expected) {
        box.DoStep();
        EXPECT_EQ(box.PB->value(), want);
    }
}

TEST(TF_Progress, DoStepDeliversQueuedEvents)
{
    TF_Progress box;
    bool delivered = false;
    QTimer::singleShot(0, &box, [&] { delivered = true; });
    box.DoStep();
    EXPECT_TRUE(delivered);
}

TEST(TF_Progress, LoopStopsAtTheStepWhereCancelArrives)
{
    TF_Progress box;
    const int done = runLoop(box, 100, [&](int i) {
        if (i == 7)
            queueClick(box.B_Cancel);
    });
    EXPECT_EQ(done, 7);
    EXPECT_EQ(box.PB->value(), 7);
    EXPECT_EQ(box.Tag, TF_Progress::TagCancelled);
}

TEST(TF_Progress, LoopWithoutCancelRunsToTheEnd)
{
    TF_Progress box;
    EXPECT_EQ(runLoop(box, 20, [](int) {}), 20);
    EXPECT_EQ(box.PB->value(), 20);
    EXPECT_EQ(box.Tag, 0);
}

TEST(TF_Progress, CancelPressedTwiceKeepsTheFlagAndStopsOnce)
{
    TF_Progress box;
    const int done = runLoop(box, 50, [&](int i) {
        if (i == 3) {
            queueClick(box.B_Cancel);
            queueClick(box.B_Cancel);
        }
    });
    EXPECT_EQ(done, 3);
    EXPECT_EQ(box.Tag, TF_Progress::TagCancelled);
    // A late click after the loop has stopped changes nothing either.
    box.B_Cancel->click();
    EXPECT_EQ(box.Tag, TF_Progress::TagCancelled);
}

TEST(TF_Progress, EscapeCancelsWithoutClosingTheBox)
{
    TF_Progress box;
    box.show();
    QTest::keyClick(&box, Qt::Key_Escape);
    EXPECT_EQ(box.Tag, TF_Progress::TagCancelled);
    EXPECT_TRUE(box.isVisible());
}

TEST(TF_Progress, ShowingAgainAfterACancelledRunClearsTheFlag)
{
    TF_Progress box;
    runLoop(box, 10, [&](int i) {
        if (i == 2)
            queueClick(box.B_Cancel);
    });
    ASSERT_EQ(box.Tag, TF_Progress::TagCancelled);
    EXPECT_EQ(runLoop(box, 10, [](int) {}), 10);
    EXPECT_EQ(box.Tag, 0);
}

// DoStep lets other events run, so a window the loop works on can vanish mid-loop.
TEST(TF_Progress, AGuardedWindowDeletedDuringAStepIsSeenAsGone)
{
    TF_Progress box;
    auto* window = new QWidget;
    window->show();
    QPointer<QWidget> guard(window);
    box.show();
    int done = 0;
    for (int i = 1; i <= 100; ++i) {
        if (i == 4)
            QTimer::singleShot(0, window, [window] { delete window; });
        box.DoStep();
        if (!guard)
            break;
        ++done;
    }
    EXPECT_EQ(done, 3);
    EXPECT_TRUE(guard.isNull());
}
