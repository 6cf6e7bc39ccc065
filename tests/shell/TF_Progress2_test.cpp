#include "shell/TF_Progress2.h"

#include "support/TestHelpers.h"

#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

TEST(TF_Progress2, StartsWithItsDesignState)
{
    TF_Progress2 box;
    EXPECT_EQ(box.size(), QSize(366, 90));
    EXPECT_EQ(box.L_Info->text(), QStringLiteral("Resizing images...."));
    EXPECT_EQ(box.Button1->text(), QStringLiteral("&Cancel"));
    EXPECT_EQ(box.GIF->size(), QSize(32, 32));
    EXPECT_FALSE(box.GIF->isRunning());
    EXPECT_TRUE(box.windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_EQ(box.Tag, 0);
}

TEST(TF_Progress2, AnimationRunsWhileShownAndAdvancesWithEvents)
{
    TF_Progress2 box;
    box.show();
    ASSERT_TRUE(box.GIF->isRunning());
    const int first = box.GIF->frame();
    EXPECT_TRUE(testhelpers::runUntil([&] { return box.GIF->frame() != first; })) << "the animation stood still";
    box.hide();
    EXPECT_FALSE(box.GIF->isRunning());
}

// The caller's side: work in slices, process events, stop where it can when Tag is -1.
TEST(TF_Progress2, WorkStopsWhenCancelArrivesFromAQueuedClick)
{
    F_Progress2 = new TF_Progress2;
    F_Progress2->show();
    QCoreApplication::processEvents();
    int slices = 0;
    for (; slices < 1000; ++slices) {
        if (slices == 5)
            QTimer::singleShot(0, F_Progress2->Button1, [] { QTest::mouseClick(F_Progress2->Button1, Qt::LeftButton); });
        QCoreApplication::processEvents();
        if (F_Progress2->Tag == TF_Progress2::TagCancelled)
            break;
    }
    EXPECT_EQ(slices, 5);
    EXPECT_FALSE(F_Progress2->GIF->isRunning());
    delete F_Progress2;
    EXPECT_TRUE(F_Progress2.isNull());
}

TEST(TF_Progress2, CancelTwiceKeepsTheFlagAndShowingAgainClearsIt)
{
    TF_Progress2 box;
    box.show();
    box.Button1->click();
    box.Button1->click();
    EXPECT_EQ(box.Tag, -1);
    // The user decided to go on: the caller clears the flag itself.
    box.Tag = 0;
    box.Button1->click();
    EXPECT_EQ(box.Tag, -1);
    box.hide();
    box.show();
    EXPECT_EQ(box.Tag, 0);
    EXPECT_TRUE(box.GIF->isRunning());
}

TEST(TF_Progress2, GlobalPointerClearsWhenItsOwnerGoes)
{
    auto* owner = new QWidget;
    F_Progress2 = new TF_Progress2(owner);
    delete owner;
    EXPECT_TRUE(F_Progress2.isNull());
}
