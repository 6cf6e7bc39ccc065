// The draw-object editor and the repaint monitor.
#include "workspace/TF_EditDrawObject.h"

#include "project/JEX4_Objects.h"
#include "shell/TColorPickerButton.h"
#include "shell/TPageControlEx.h"
#include "support/ImageWindowTest.h"
#include "workspace/TF_Monitor.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <gtest/gtest.h>

#include <functional>

namespace {

class EditDrawObject : public testhelpers::ImageWindowTest {
protected:
    void SetUp() override
    {
        ImageWindowTest::SetUp();
        ASSERT_NE(static_cast<TPath*>(w->CurrentPath), nullptr);
        F_Monitor = new TF_Monitor;
    }

    void TearDown() override
    {
        delete F_EditDrawObject.data();
        delete F_Monitor.data();
        ImageWindowTest::TearDown();
    }

    TArrow* newArrow()
    {
        w->A_ArrowExecute();
        return dynamic_cast<TArrow*>(w->DrawList.back().get());
    }
    TRectangle* newRectangle()
    {
        w->A_RectangleExecute();
        return dynamic_cast<TRectangle*>(w->DrawList.back().get());
    }
    int repaints() const { return F_Monitor->iSmoothDraw; }
};

TEST_F(EditDrawObject, NewArrowOpensItsPageFilledFromTheArrow)
{
    TArrow* arrow = newArrow();
    ASSERT_NE(arrow, nullptr);
    TF_EditDrawObject* e = F_EditDrawObject;
    ASSERT_NE(e, nullptr);
    EXPECT_TRUE(e->isVisible());
    EXPECT_EQ(e->windowTitle(), QStringLiteral("Edit Object"));
    EXPECT_EQ(e->ADO.get(), arrow);
    EXPECT_EQ(e->PCE->currentWidget(), e->TSS_Arrow);
    EXPECT_FALSE(e->PCE->isTabVisible(0));
    EXPECT_FALSE(e->PCE->isTabVisible(1));
    EXPECT_EQ(e->HelpContext, 5007);
    EXPECT_EQ(e->SE_Width->value(), 3);
    EXPECT_EQ(e->CPB_Color->color(), 0x00FFFF);
    EXPECT_EQ(e->CB_Tip->currentIndex(), 3);
    EXPECT_EQ(e->CB_Base->currentIndex(), 0);
    EXPECT_EQ(e->SE_TipSize->value(), 10);
    EXPECT_EQ(e->SE_BaseSize->value(), 10);
    EXPECT_TRUE(e->E_ArrowCaption->text().isEmpty());
    EXPECT_EQ(e->SE_TipSize->maximum(), 2000);
    EXPECT_EQ(e->SE_Width->maximum(), 20);
    EXPECT_EQ(e->CB_Tip->count(), 4);
}

TEST_F(EditDrawObject, ArrowPageChangesReachTheArrowAtOnce)
{
    TArrow* arrow = newArrow();
    TF_EditDrawObject* e = F_EditDrawObject;
    int before = repaints();
    QTest::keyClicks(e->E_ArrowCaption, QStringLiteral("Oak"));
    EXPECT_EQ(arrow->caption, QStringLiteral("Oak"));
    EXPECT_EQ(repaints(), before + 3); // one repaint per key

    struct Case {
        const char* what;
        std::function<void()> change;
        std::function<bool()> applied;
    };
    const Case cases[] = {
        {"width", [&] { e->SE_Width->setValue(7); }, [&] { return arrow->Width == 7; }},
        {"colour", [&] { e->CPB_Color->setColor(0x102030); }, [&] { return arrow->Color == 0x102030; }},
        {"tip", [&] { e->CB_Tip->setCurrentIndex(1); }, [&] { return arrow->TipType == 1; }},
        {"base", [&] { e->CB_Base->setCurrentIndex(2); }, [&] { return arrow->BaseType == 2; }},
        {"tip size", [&] { e->SE_TipSize->setValue(2000); }, [&] { return arrow->TipWidth == 2000; }},
        {"base size", [&] { e->SE_BaseSize->setValue(1); }, [&] { return arrow->BaseWidth == 1; }},
    };
    for (const Case& c : cases) {
        before = repaints();
        c.change();
        EXPECT_TRUE(c.applied()) << c.what;
        EXPECT_EQ(repaints(), before + 1) << c.what;
    }
    // Every control is read on each change, not only the one changed.
    EXPECT_EQ(arrow->Width, 7);
    EXPECT_EQ(arrow->Color, 0x102030);
    EXPECT_EQ(arrow->TipType, 1);
    EXPECT_EQ(arrow->caption, QStringLiteral("Oak"));
}

TEST_F(EditDrawObject, OpeningOnARectangleLeavesItUnchanged)
{
    TRectangle* rect = newRectangle();
    ASSERT_NE(rect, nullptr);
    // Values the controls cannot hold as they are: a fill must not write them back.
    rect->PColor = 0x123456;
    rect->BColor = 0xABCDEF;
    rect->PWidth = 40;
    rect->Transparent = false;
    const int before = repaints();
    F_EditDrawObject->Edit(rect);
    TF_EditDrawObject* e = F_EditDrawObject;
    EXPECT_EQ(e->PCE->currentWidget(), e->TSS_Rectangle);
    EXPECT_EQ(e->HelpContext, 5008);
    EXPECT_EQ(e->CPB_R_PenColor->color(), 0x123456);
    EXPECT_EQ(e->CPB_R_BrushColor->color(), 0xABCDEF);
    EXPECT_EQ(e->SE_R_LineWidth->value(), 20);
    EXPECT_FALSE(e->CB_R_Transparent->isChecked());
    EXPECT_EQ(rect->PColor, 0x123456);
    EXPECT_EQ(rect->BColor, 0xABCDEF);
    EXPECT_EQ(rect->PWidth, 40);
    EXPECT_FALSE(rect->Transparent);
    EXPECT_EQ(repaints(), before);

    // The arrow page does not write into a rectangle.
    e->SE_Width->setValue(e->SE_Width->value() == 5 ? 6 : 5);
    e->E_ArrowCaption->setText(QStringLiteral("x"));
    EXPECT_EQ(rect->PWidth, 40);
    EXPECT_EQ(repaints(), before);
}

TEST_F(EditDrawObject, RectanglePageChangesSetEveryField)
{
    TRectangle* rect = newRectangle();
    TF_EditDrawObject* e = F_EditDrawObject;
    struct Case {
        const char* what;
        std::function<void()> change;
    };
    const Case cases[] = {
        {"line width", [&] { e->SE_R_LineWidth->setValue(9); }},
        {"pen colour", [&] { e->CPB_R_PenColor->setColor(0x0000FF); }},
        {"brush colour", [&] { e->CPB_R_BrushColor->setColor(0xFF0000); }},
        {"transparent", [&] { e->CB_R_Transparent->setChecked(!e->CB_R_Transparent->isChecked()); }},
    };
    for (const Case& c : cases) {
        // The rectangle drifts from the controls; any change takes all four back.
        rect->PColor = rect->BColor = 0x777777;
        rect->PWidth = 1;
        rect->Transparent = !e->CB_R_Transparent->isChecked();
        const int before = repaints();
        c.change();
        EXPECT_EQ(rect->PWidth, e->SE_R_LineWidth->value()) << c.what;
        EXPECT_EQ(rect->PColor, e->CPB_R_PenColor->color()) << c.what;
        EXPECT_EQ(rect->BColor, e->CPB_R_BrushColor->color()) << c.what;
        EXPECT_EQ(rect->Transparent, e->CB_R_Transparent->isChecked()) << c.what;
        EXPECT_EQ(repaints(), before + 1) << c.what;
    }
    EXPECT_EQ(rect->PWidth, 9);
    EXPECT_EQ(rect->PColor, 0x0000FF);
    EXPECT_EQ(rect->BColor, 0xFF0000);
}

TEST_F(EditDrawObject, DeletedObjectIsNotReached)
{
    newArrow();
    TF_EditDrawObject* e = F_EditDrawObject;
    w->DrawObject = nullptr;
    w->DrawList.clear();
    EXPECT_EQ(e->ADO.get(), nullptr);
    const int before = repaints();
    e->E_ArrowCaption->setText(QStringLiteral("gone"));
    e->SE_Width->setValue(12);
    EXPECT_EQ(repaints(), before);
}

TEST_F(EditDrawObject, EditCommandOpensTheEditorOnTheSelectedObject)
{
    TArrow* arrow = newArrow();
    TRectangle* rect = newRectangle();
    delete F_EditDrawObject.data();

    tool->SelectOnly(arrow);
    tool->AM_MeasurementsUpdate();
    ASSERT_TRUE(tool->A_EditDO->isEnabled());
    tool->A_EditDO->trigger();
    ASSERT_NE(F_EditDrawObject.data(), nullptr);
    EXPECT_TRUE(F_EditDrawObject->isVisible());
    EXPECT_EQ(F_EditDrawObject->ADO.get(), arrow);

    // Open already: it turns to the other object and its page.
    tool->SelectOnly(rect);
    tool->A_EditDO->trigger();
    EXPECT_EQ(F_EditDrawObject->ADO.get(), rect);
    EXPECT_EQ(F_EditDrawObject->PCE->currentWidget(), F_EditDrawObject->TSS_Rectangle);

    // A path is not a draw object: the editor stays on what it had.
    tool->SelectOnly(w->CurrentPath);
    tool->A_EditDO->trigger();
    EXPECT_EQ(F_EditDrawObject->ADO.get(), rect);

    QTest::mouseClick(F_EditDrawObject->B_Ok, Qt::LeftButton);
    EXPECT_FALSE(F_EditDrawObject->isVisible());
}

TEST_F(EditDrawObject, ListItemsShowTheirEndPictureOnWhite)
{
    TF_EditDrawObject e;
    ASSERT_EQ(e.IL_Tips.size(), 4);
    // The pictures differ from one another.
    for (int i = 0; i < 4; ++i)
        for (int j = i + 1; j < 4; ++j)
            EXPECT_NE(e.IL_Tips[i].toImage(), e.IL_Tips[j].toImage()) << i << " " << j;

    const QSize pic = e.IL_Tips[3].size();
    QImage canvas(pic + QSize(10, 10), QImage::Format_RGB32);
    canvas.fill(Qt::red);
    const QRect item(3, 3, pic.width() + 2, pic.height() + 2);
    {
        QPainter p(&canvas);
        e.CB_TipDrawItem(&p, item, 3);
    }
    EXPECT_EQ(canvas.pixel(2, 2), qRgb(255, 255, 255)); // one pixel beyond the item
    EXPECT_EQ(canvas.pixel(item.right() + 1, item.bottom() + 1), qRgb(255, 255, 255));
    EXPECT_EQ(canvas.pixel(1, 1), qRgb(255, 0, 0));
    EXPECT_EQ(canvas.copy(QRect(item.topLeft() + QPoint(1, 1), pic)), e.IL_Tips[3].toImage().convertToFormat(QImage::Format_RGB32));
}

TEST_F(EditDrawObject, MonitorCountsEachRepaint)
{
    EXPECT_EQ(F_Monitor->windowTitle(), QStringLiteral("F_Monitor"));
    EXPECT_FALSE(F_Monitor->isVisible());
    EXPECT_EQ(F_Monitor->L_SmoothDraw->text(), QStringLiteral("***"));
    w->SmoothDraw(false);
    EXPECT_EQ(F_Monitor->iSmoothDraw, 1);
    EXPECT_EQ(F_Monitor->L_SmoothDraw->text(), QStringLiteral("SmoothDraw1"));
    w->SmoothDraw(true);
    EXPECT_EQ(F_Monitor->L_SmoothDraw->text(), QStringLiteral("SmoothDraw2"));
    EXPECT_EQ(F_Monitor->L_FillMeasurements->text(), QStringLiteral("***"));
    EXPECT_EQ(F_Monitor->iFillMeasurements, 0);
}

} // namespace
