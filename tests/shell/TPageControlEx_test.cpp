#include "shell/TPageControlEx.h"

#include <QLabel>
#include <QSignalSpy>
#include <QTabBar>
#include <QTest>
#include <gtest/gtest.h>

namespace {

class TPageControlExTest : public testing::Test {
protected:
    void SetUp() override
    {
        pce.resize(300, 200);
        for (int i = 0; i < 3; ++i)
            pages[i] = new QLabel(QStringLiteral("page %1").arg(i));
        pce.addTab(pages[0], QStringLiteral("One"));
        pce.addTab(pages[1], QStringLiteral("Two"));
        pce.addTab(pages[2], QStringLiteral("Three"));
        pce.show();
    }
    void hideAllTabs()
    {
        for (int i = 0; i < pce.count(); ++i)
            pce.setTabVisible(i, false);
        QCoreApplication::processEvents();
    }
    // The page's rectangle in the control's coordinates.
    QRect pageRect(int i) const { return QRect(pages[i]->mapTo(&pce, QPoint(0, 0)), pages[i]->size()); }

    TPageControlEx pce;
    QLabel* pages[3] = {};
};

} // namespace

TEST_F(TPageControlExTest, WithoutTabsTheCurrentPageCoversTheControl)
{
    hideAllTabs();
    EXPECT_FALSE(pce.tabBar()->isVisible());
    EXPECT_EQ(pageRect(pce.currentIndex()), pce.rect());
}

TEST_F(TPageControlExTest, HidingTheTabsKeepsTheCurrentPageShown)
{
    pce.setCurrentIndex(1);
    QSignalSpy changed(&pce, &TPageControlEx::currentChanged);
    hideAllTabs();
    EXPECT_EQ(pce.currentIndex(), 1);
    EXPECT_TRUE(pages[1]->isVisible());
    EXPECT_EQ(changed.count(), 0);
}

TEST_F(TPageControlExTest, CodeSwitchesPagesWhoseTabsAreHidden)
{
    hideAllTabs();
    QSignalSpy changed(&pce, &TPageControlEx::currentChanged);
    for (int target : {2, 0, 1}) {
        pce.setCurrentWidget(pages[target]);
        QCoreApplication::processEvents();
        EXPECT_EQ(pce.currentIndex(), target);
        EXPECT_EQ(pce.currentWidget(), pages[target]);
        for (int i = 0; i < 3; ++i)
            EXPECT_EQ(pages[i]->isVisible(), i == target) << "target " << target << " page " << i;
        EXPECT_EQ(pageRect(target), pce.rect());
    }
    ASSERT_EQ(changed.count(), 3);
    EXPECT_EQ(changed.at(0).at(0).toInt(), 2);
    EXPECT_EQ(changed.at(2).at(0).toInt(), 1);
}

TEST_F(TPageControlExTest, OutOfRangeIndexLeavesThePage)
{
    pce.setCurrentIndex(1);
    pce.setCurrentIndex(3);
    pce.setCurrentIndex(-1);
    pce.setCurrentWidget(nullptr);
    EXPECT_EQ(pce.currentIndex(), 1);
}

TEST_F(TPageControlExTest, VisibleTabsSitAbovePagesThatFillTheRest)
{
    QCoreApplication::processEvents();
    ASSERT_TRUE(pce.tabBar()->isVisible());
    const QRect page = pageRect(0);
    EXPECT_EQ(page.left(), 0);
    EXPECT_EQ(page.right(), pce.width() - 1);
    EXPECT_EQ(page.bottom(), pce.height() - 1);
    EXPECT_EQ(page.top(), pce.tabBar()->geometry().bottom() + 1);
}

TEST_F(TPageControlExTest, ClickingATabSwitchesThePage)
{
    QCoreApplication::processEvents();
    QSignalSpy changed(&pce, &TPageControlEx::currentChanged);
    QTest::mouseClick(pce.tabBar(), Qt::LeftButton, {}, pce.tabBar()->tabRect(2).center());
    EXPECT_EQ(pce.currentIndex(), 2);
    EXPECT_TRUE(pages[2]->isVisible());
    ASSERT_EQ(changed.count(), 1);
    EXPECT_EQ(changed.at(0).at(0).toInt(), 2);
}

TEST_F(TPageControlExTest, ShowingOneTabAgainBringsTheBarBack)
{
    hideAllTabs();
    pce.setTabVisible(1, true);
    QCoreApplication::processEvents();
    EXPECT_TRUE(pce.tabBar()->isVisible());
    EXPECT_EQ(pce.tabText(1), QStringLiteral("Two"));
    EXPECT_FALSE(pce.isTabVisible(0));
    EXPECT_TRUE(pce.isTabVisible(1));
}
