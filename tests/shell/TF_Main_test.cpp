#include "shell/TF_Main.h"

#include <QMdiArea>
#include <gtest/gtest.h>

TEST(TF_Main, FrameHoldsAnMdiAreaAsCentralWidget)
{
    TF_Main main;
    ASSERT_NE(main.mdiArea(), nullptr);
    EXPECT_EQ(main.centralWidget(), main.mdiArea());
    EXPECT_TRUE(main.mdiArea()->subWindowList().isEmpty());
}
