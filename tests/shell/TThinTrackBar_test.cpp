#include "shell/TThinTrackBar.h"

#include <QSignalSpy>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QTest>
#include <gtest/gtest.h>

namespace {

QRect handleRect(TThinTrackBar& bar)
{
    QStyleOptionSlider opt;
    opt.initFrom(&bar);
    opt.orientation = bar.orientation();
    opt.minimum = bar.minimum();
    opt.maximum = bar.maximum();
    opt.sliderPosition = bar.sliderPosition();
    opt.sliderValue = bar.value();
    opt.tickPosition = bar.tickPosition();
    opt.tickInterval = bar.tickInterval();
    opt.singleStep = bar.singleStep();
    opt.pageStep = bar.pageStep();
    opt.upsideDown = bar.invertedAppearance();
    opt.subControls = QStyle::SC_All;
    return bar.style()->subControlRect(QStyle::CC_Slider, &opt, QStyle::SC_SliderHandle, &bar);
}

// Drags the handle from where it is to the x coordinate `x`.
void dragHandleTo(TThinTrackBar& bar, int x)
{
    const QPoint from = handleRect(bar).center();
    QTest::mousePress(&bar, Qt::LeftButton, {}, from);
    QTest::mouseMove(&bar, QPoint((from.x() + x) / 2, from.y()));
    QTest::mouseMove(&bar, QPoint(x, from.y()));
    QTest::mouseRelease(&bar, Qt::LeftButton, {}, QPoint(x, from.y()));
}

} // namespace

TEST(TThinTrackBar, HasTrackBarDefaults)
{
    TThinTrackBar bar;
    EXPECT_EQ(bar.orientation(), Qt::Horizontal);
    EXPECT_EQ(bar.minimum(), 0);
    EXPECT_EQ(bar.maximum(), 10);
    EXPECT_EQ(bar.value(), 0);
    EXPECT_EQ(bar.pageStep(), 2);
    EXPECT_EQ(bar.tickPosition(), QSlider::TicksBelow);
}

TEST(TThinTrackBar, PositionIsKeptInsideTheRange)
{
    struct Case { int set; int expected; };
    const Case cases[] = {{128, 128}, {0, 0}, {255, 255}, {-5, 0}, {300, 255}};
    TThinTrackBar bar;
    bar.setRange(0, 255);
    for (const Case& c : cases) {
        bar.setValue(c.set);
        EXPECT_EQ(bar.value(), c.expected) << "set " << c.set;
    }
}

TEST(TThinTrackBar, HandleMovesRightAsThePositionGrows)
{
    TThinTrackBar bar;
    bar.setRange(0, 255);
    bar.resize(255, 30);
    bar.show();
    int lastX = -1;
    for (int v : {0, 1, 64, 128, 200, 255}) {
        bar.setValue(v);
        const int x = handleRect(bar).center().x();
        EXPECT_GT(x, lastX) << "value " << v;
        lastX = x;
    }
}

TEST(TThinTrackBar, DraggingTheHandleMapsTheMouseToThePosition)
{
    TThinTrackBar bar;
    bar.setRange(0, 255);
    bar.setValue(128);
    bar.resize(255, 30);
    bar.show();
    QSignalSpy changed(&bar, &QSlider::valueChanged);

    dragHandleTo(bar, bar.width() + 50);
    EXPECT_EQ(bar.value(), 255);
    dragHandleTo(bar, -50);
    EXPECT_EQ(bar.value(), 0);
    // Back to the handle's place for 128: the drag lands on 128 again.
    bar.setValue(128);
    const int x128 = handleRect(bar).center().x();
    bar.setValue(0);
    dragHandleTo(bar, x128);
    EXPECT_NEAR(bar.value(), 128, 1);
    EXPECT_GE(changed.count(), 3);
}
