// The Image menu's commands on an image window with their dialogs (amount, border, resample,
// rotate): the dialogs' own reactions, the gates, Cancel, and that OK runs the operation with the
// dialog's values, checked against the operation run directly on a copy.
#include "workspace/TF_SMDI.h"

#include "image/Geometry.h"
#include "image/NeighbourFilters.h"
#include "image/Resample.h"
#include "image/TFastDIB.h"
#include "project/JEX4_Objects.h"
#include "shell/TColorPickerButton.h"
#include "shell/TFloatEdit.h"
#include "shell/TF_Progress.h"
#include "shell/TThinTrackBar.h"
#include "workspace/TF_AddBorder.h"
#include "workspace/TF_Resample.h"
#include "workspace/TF_Rotate.h"
#include "workspace/TF_SelectAmount.h"

#include "support/ImageWindowTest.h"
#include "support/ModalDialogs.h"

#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QLocale>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTest>
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>

namespace {

using testhelpers::fdPixel;
using testhelpers::whenShown;

// Same size and same bytes, padding included.
::testing::AssertionResult sameImage(const TFastDIB& a, const TFastDIB& b)
{
    if (a.Info.Header.Width != b.Info.Header.Width || a.AbsHeight != b.AbsHeight)
        return ::testing::AssertionFailure() << "sizes " << a.Info.Header.Width << " x " << a.AbsHeight << " and "
                                             << b.Info.Header.Width << " x " << b.AbsHeight;
    for (int y = 0; y < a.AbsHeight; ++y)
        for (int x = 0; x < a.Info.Header.Width; ++x)
            if (fdPixel(a, x, y) != fdPixel(b, x, y))
                return ::testing::AssertionFailure() << "first difference at (" << x << ", " << y << ")";
    return ::testing::AssertionSuccess();
}

class ImageCommands : public testhelpers::ImageWindowTest {
protected:
    void TearDown() override
    {
        // The dialogs live for the run; the next test makes its own over its own window.
        delete F_SelectAmount.data();
        delete F_AddBorder.data();
        delete F_Resample.data();
        testhelpers::ImageWindowTest::TearDown();
    }

    TStitchObject* addImage(const QImage& img, int x = 0)
    {
        auto so = std::make_unique<TStitchObject>();
        so->FD->LoadFromHandle(img.convertToFormat(QImage::Format_RGB888)); // project images are 24-bit
        so->x = x;
        so->Width = img.width();
        so->Height = img.height();
        TStitchObject* raw = so.get();
        w->StitchList.push_back(std::move(so));
        w->UpdateArea();
        return raw;
    }

    // A copy of the first image's pixels as they are now.
    std::unique_ptr<TFastDIB> firstCopy()
    {
        auto copy = std::make_unique<TFastDIB>();
        copy->MakeCopy(*w->StitchList.front()->FD, true);
        return copy;
    }

    void addIndexPoint()
    {
        auto i = std::make_unique<TIndex>();
        i->Pos = {3, 3};
        i->Path = w->PathList.front().get();
        w->PathList.front()->ObjectList.push_back(std::move(i));
    }
};

} // namespace

// ---- the dialogs ----

TEST_F(ImageCommands, BorderDialogSymmetricCopiesLeftIntoTheOthers)
{
    TF_AddBorder d;
    d.SE_Left->setValue(15);
    d.CB_Symmetric->click();
    for (QSpinBox* e : {d.SE_Top, d.SE_Right, d.SE_Bottom}) {
        EXPECT_EQ(e->value(), 15);
        EXPECT_FALSE(e->isEnabled());
    }
    d.SE_Left->setValue(7);
    EXPECT_EQ(d.SE_Bottom->value(), 7);
    d.CB_Symmetric->click();
    d.SE_Left->setValue(3);
    EXPECT_EQ(d.SE_Top->value(), 7) << "cleared: the other sides keep their widths";
    EXPECT_TRUE(d.SE_Top->isEnabled());
}

TEST_F(ImageCommands, ResampleDialogKeepsTheAspectRatio)
{
    addImage(testhelpers::patterned(1000, 800));
    TF_Resample d;
    d.f = w;
    d.show();
    EXPECT_EQ(d.CB_Keep->text(), QStringLiteral("Keep aspect ratio (1") + QLocale().decimalPoint() + QStringLiteral("25:1)"));
    EXPECT_EQ(d.SE_PixelWidth->value(), 1000);
    EXPECT_EQ(d.SE_PixelHeight->value(), 800);
    EXPECT_TRUE(d.GB_PixelSize->isEnabled());
    EXPECT_FALSE(d.GB_Percent->isEnabled());

    d.SE_PixelWidth->setValue(500);
    EXPECT_EQ(d.SE_PixelHeight->value(), 400);
    d.SE_PixelHeight->setValue(200);
    EXPECT_EQ(d.SE_PixelWidth->value(), 250);

    d.RB_Percent->click();
    EXPECT_FALSE(d.GB_PixelSize->isEnabled());
    EXPECT_TRUE(d.GB_Percent->isEnabled());
    d.SE_PercentX->setValue(50);
    EXPECT_EQ(d.SE_PercentY->value(), 50);
    EXPECT_EQ(d.SE_PixelWidth->value(), 500);
    EXPECT_EQ(d.SE_PixelHeight->value(), 400);

    d.CB_Keep->setChecked(false);
    d.SE_PercentY->setValue(25);
    EXPECT_EQ(d.SE_PercentX->value(), 50);
    EXPECT_EQ(d.SE_PixelHeight->value(), 200);
    EXPECT_EQ(d.SE_PixelWidth->value(), 500);
    d.B_OkClick();
    EXPECT_EQ(d.resultX, 500);
    EXPECT_EQ(d.resultY, 200);

    // Shown again: the image's size and 100 percent, typed in pixels.
    d.show();
    EXPECT_EQ(d.SE_PixelWidth->value(), 1000);
    EXPECT_EQ(d.SE_PercentY->value(), 100);
    EXPECT_TRUE(d.RB_Pixel->isChecked());
    EXPECT_TRUE(d.GB_PixelSize->isEnabled());
    EXPECT_FALSE(d.GB_Percent->isEnabled());
}

TEST_F(ImageCommands, ResampleDialogWithTheBoxClearedChangesEachFieldAlone)
{
    addImage(testhelpers::patterned(1000, 800));
    TF_Resample d;
    d.f = w;
    const struct {
        const char* field;
        QSpinBox* TF_Resample::*edit;
        int value;
        int width, height, percentX, percentY; // afterwards
    } rows[] = {
        {"width", &TF_Resample::SE_PixelWidth, 500, 500, 800, 100, 100},
        {"height", &TF_Resample::SE_PixelHeight, 200, 1000, 200, 100, 100},
        // A percentage always sets its own pixel field.
        {"percent width", &TF_Resample::SE_PercentX, 50, 500, 800, 50, 100},
        {"percent height", &TF_Resample::SE_PercentY, 25, 1000, 200, 100, 25},
    };
    for (const auto& r : rows) {
        d.show();
        d.CB_Keep->setChecked(false);
        (d.*r.edit)->setValue(r.value);
        EXPECT_EQ(d.SE_PixelWidth->value(), r.width) << r.field;
        EXPECT_EQ(d.SE_PixelHeight->value(), r.height) << r.field;
        EXPECT_EQ(d.SE_PercentX->value(), r.percentX) << r.field;
        EXPECT_EQ(d.SE_PercentY->value(), r.percentY) << r.field;
        d.hide();
    }
}

// The side kept by the aspect box is rounded to the nearest pixel, from either field, whatever the image's height.
TEST_F(ImageCommands, ResampleDialogRoundsTheKeptSide)
{
    TF_Resample d;
    d.f = w;
    using R = TF_Resample;
    const struct {
        const char* name;
        QSize image;
        QSpinBox* TF_Resample::*edit;
        int value;
        QSpinBox* TF_Resample::*kept;
        int expected;
    } rows[] = {
        {"width 500 gives a height of 399.6", {1001, 800}, &R::SE_PixelWidth, 500, &R::SE_PixelHeight, 400},
        {"width 300 gives a height of 239.76", {1001, 800}, &R::SE_PixelWidth, 300, &R::SE_PixelHeight, 240},
        {"height 333 gives a width of 416.67", {1001, 800}, &R::SE_PixelHeight, 333, &R::SE_PixelWidth, 417},
        {"a one-pixel row keeps its ratio too", {40, 1}, &R::SE_PixelHeight, 2, &R::SE_PixelWidth, 80},
    };
    for (const auto& r : rows) {
        w->StitchList.clear();
        addImage(testhelpers::patterned(r.image.width(), r.image.height()));
        d.show();
        (d.*r.edit)->setValue(r.value);
        EXPECT_EQ((d.*r.kept)->value(), r.expected) << r.name;
        d.hide();
    }
}

TEST_F(ImageCommands, AmountDialogGoesFromOneToTenAndEnterCancels)
{
    TF_SelectAmount d;
    d.TB_Amount->setValue(0);
    EXPECT_EQ(d.TB_Amount->value(), 1) << "every amount runs the filter at least once";
    d.TB_Amount->setValue(11);
    EXPECT_EQ(d.TB_Amount->value(), 10);

    addImage(testhelpers::patterned(20, 10));
    const auto before = firstCopy();
    bool closed = false;
    whenShown<TF_SelectAmount>([&closed](TF_SelectAmount* s) {
        QTest::keyClick(s, Qt::Key_Return);
        closed = !s->isVisible();
        if (!closed)
            s->reject();
    });
    w->SharpenCommand();
    EXPECT_TRUE(closed) << "Enter answers the dialog";
    EXPECT_TRUE(sameImage(*w->StitchList.front()->FD, *before)) << "and it is Cancel's";
    EXPECT_FALSE(w->StitchList.front()->ImageChanged);
}

TEST_F(ImageCommands, RotateDialogAngleEditSelectsFree)
{
    TF_Rotate d;
    d.show();
    QApplication::setActiveWindow(&d);
    EXPECT_TRUE(d.RB_90->isChecked());
    EXPECT_TRUE(d.CB_Clockwise->isChecked());
    QTest::mouseClick(d.FE_Angle, Qt::LeftButton);
    EXPECT_TRUE(d.RB_Free->isChecked());
    // The whole angle is selected, so that what is typed replaces it.
    QCoreApplication::processEvents();
    EXPECT_EQ(d.FE_Angle->selectedText(), d.FE_Angle->text());
    QTest::keyClicks(d.FE_Angle, QStringLiteral("45"));
    EXPECT_EQ(d.FE_Angle->Value(), 45);
}

// ---- the commands ----

TEST_F(ImageCommands, GatesRefuseSeveralImagesAndMeasurements)
{
    struct Case {
        const char* name;
        void (TF_SMDI::*command)();
    };
    const Case commands[] = {{"border", &TF_SMDI::AddBorderCommand},
                             {"resample", &TF_SMDI::ResampleCommand},
                             {"rotate", &TF_SMDI::RotateCommand}};
    addImage(testhelpers::patterned(20, 10));
    addImage(testhelpers::patterned(20, 10, 1), 20);
    for (const Case& c : commands) {
        (w->*c.command)();
        EXPECT_EQ(dialogs->shownTexts().value(dialogs->shownTexts().size() - 1), SingleImagesText) << c.name;
    }
    w->StitchList.pop_back();
    addIndexPoint();
    const auto before = firstCopy();
    for (const Case& c : commands) {
        (w->*c.command)();
        EXPECT_EQ(dialogs->shownTexts().value(dialogs->shownTexts().size() - 1), EmptyProjectText) << c.name;
    }
    EXPECT_EQ(dialogs->shownTexts().size(), 6);
    EXPECT_TRUE(sameImage(*w->StitchList.front()->FD, *before));
    EXPECT_FALSE(w->StitchList.front()->ImageChanged);
}

TEST_F(ImageCommands, CancelLeavesTheImage)
{
    struct Case {
        const char* name;
        void (TF_SMDI::*command)();
        std::function<void()> answer;
    };
    const Case cases[] = {
        {"sharpen", &TF_SMDI::SharpenCommand, [] { whenShown<TF_SelectAmount>([](auto* d) { d->B_Cancel->click(); }); }},
        {"soften", &TF_SMDI::SoftenCommand, [] { whenShown<TF_SelectAmount>([](auto* d) { d->reject(); }); }},
        {"border", &TF_SMDI::AddBorderCommand, [] { whenShown<TF_AddBorder>([](auto* d) {
             d->SE_Left->setValue(5);
             d->B_Cancel->click();
         }); }},
        {"resample", &TF_SMDI::ResampleCommand, [] { whenShown<TF_Resample>([](auto* d) {
             d->SE_PixelWidth->setValue(3);
             d->B_Cancel->click();
         }); }},
        {"rotate", &TF_SMDI::RotateCommand, [] { whenShown<TF_Rotate>([](auto* d) { d->B_Cancel->click(); }); }},
    };
    addImage(testhelpers::patterned(20, 10));
    const auto before = firstCopy();
    for (const Case& c : cases) {
        c.answer();
        (w->*c.command)();
        EXPECT_TRUE(sameImage(*w->StitchList.front()->FD, *before)) << c.name;
        EXPECT_FALSE(w->StitchList.front()->ImageChanged) << c.name;
    }
    EXPECT_TRUE(dialogs->shownTexts().isEmpty());
}

TEST_F(ImageCommands, SharpenAndSoftenRunAsOftenAsTheAmountSays)
{
    addImage(testhelpers::patterned(30, 20));
    addImage(testhelpers::patterned(30, 20, 5), 30);
    std::vector<std::unique_ptr<TFastDIB>> expected;
    for (const auto& so : w->StitchList) {
        auto e = std::make_unique<TFastDIB>();
        e->MakeCopy(*so->FD, true);
        for (int i = 0; i < 3; ++i)
            SharpenPixels(*e, 1);
        for (int i = 0; i < 2; ++i)
            SoftenPixels(*e);
        expected.push_back(std::move(e));
    }
    whenShown<TF_SelectAmount>([](TF_SelectAmount* d) {
        d->TB_Amount->setValue(3);
        d->B_Apply->click();
    });
    w->SharpenCommand();
    whenShown<TF_SelectAmount>([](TF_SelectAmount* d) {
        EXPECT_EQ(d->TB_Amount->value(), 3) << "the amount stays from the last use";
        d->TB_Amount->setValue(2);
        d->B_Apply->click();
    });
    w->SoftenCommand();
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_TRUE(sameImage(*w->StitchList[i]->FD, *expected[i])) << "image " << i;
        EXPECT_TRUE(w->StitchList[i]->ImageChanged);
    }
}

TEST_F(ImageCommands, AddBorderTakesTheDialogsWidthsAndColour)
{
    addImage(testhelpers::patterned(100, 50));
    const auto before = firstCopy();
    whenShown<TF_AddBorder>([](TF_AddBorder* d) {
        d->SE_Left->setValue(10);
        d->SE_Top->setValue(99);
        d->CB_Symmetric->click();
        d->CPB->setColor(0x00302010); // $00BBGGRR
        d->B_Ok->click();
    });
    w->AddBorderCommand();
    const TStitchObject& so = *w->StitchList.front();
    ASSERT_EQ(so.FD->Info.Header.Width, 120);
    ASSERT_EQ(so.FD->AbsHeight, 70);
    EXPECT_EQ(so.Width, 120);
    EXPECT_EQ(fdPixel(*so.FD, 0, 0), qRgb(0x10, 0x20, 0x30));
    EXPECT_EQ(fdPixel(*so.FD, 119, 69), qRgb(0x10, 0x20, 0x30));
    EXPECT_EQ(fdPixel(*so.FD, 10, 10), fdPixel(*before, 0, 0));
    EXPECT_EQ(fdPixel(*so.FD, 109, 59), fdPixel(*before, 99, 49));
    EXPECT_TRUE(so.ImageChanged);
}

TEST_F(ImageCommands, AddBorderPutsEachWidthOnItsSide)
{
    addImage(testhelpers::patterned(100, 50));
    const auto before = firstCopy();
    whenShown<TF_AddBorder>([](TF_AddBorder* d) {
        if (d->CB_Symmetric->isChecked())
            d->CB_Symmetric->click();
        d->SE_Left->setValue(1);
        d->SE_Left->setValue(0); // a side may have none
        d->SE_Top->setValue(2);
        d->SE_Right->setValue(3);
        d->SE_Bottom->setValue(4);
        d->CPB->setColor(0x00302010);
        d->B_Ok->click();
    });
    w->AddBorderCommand();
    const TFastDIB& fd = *w->StitchList.front()->FD;
    ASSERT_EQ(fd.Info.Header.Width, 103);
    ASSERT_EQ(fd.AbsHeight, 56);
    const QRgb border = qRgb(0x10, 0x20, 0x30);
    EXPECT_EQ(fdPixel(fd, 0, 2), fdPixel(*before, 0, 0)) << "left 0, top 2";
    EXPECT_EQ(fdPixel(fd, 99, 51), fdPixel(*before, 99, 49));
    EXPECT_EQ(fdPixel(fd, 0, 1), border);
    EXPECT_EQ(fdPixel(fd, 100, 51), border) << "right 3";
    EXPECT_EQ(fdPixel(fd, 99, 52), border) << "bottom 4";
}

TEST_F(ImageCommands, ResampleTakesTheDialogsSizeAndAsksBeforeChangingTheAspect)
{
    const struct {
        const char* name;
        QSize image;
        int percentX, percentY; // percentY 0: the aspect box keeps it
        int answer;             // to the aspect question; 0: none may be asked
        QSize size;
        int dpi;
    } rows[] = {
        {"aspect kept", {1000, 800}, 50, 0, 0, {500, 400}, 600},
        {"aspect changed, declined", {1000, 800}, 50, 100, mrNo, {1000, 800}, 1200},
        {"aspect changed, accepted", {1000, 800}, 50, 100, mrYes, {500, 800}, 600},
        {"a pixel of rounding is no change", {1001, 800}, 33, 0, 0, {330, 264}, 396},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        w->StitchList.clear();
        w->DPI = 1200;
        addImage(testhelpers::patterned(r.image.width(), r.image.height()));
        const auto before = firstCopy();
        const int asked = int(dialogs->shownTexts().count(AspectChangeText));
        if (r.answer)
            dialogs->answerMessage(r.answer);
        whenShown<TF_Resample>([&r](TF_Resample* d) {
            d->RB_Percent->click();
            d->CB_Keep->setChecked(r.percentY == 0);
            d->SE_PercentX->setValue(r.percentX);
            if (r.percentY)
                d->SE_PercentY->setValue(r.percentY);
            d->B_Ok->click();
        });
        w->ResampleCommand();
        EXPECT_EQ(dialogs->shownTexts().count(AspectChangeText) - asked, r.answer ? 1 : 0);
        EXPECT_EQ(dialogs->unusedAnswers(), 0);
        TFastDIB expected;
        expected.SetSize(r.size.width(), r.size.height(), 24);
        ResizeNearest(*before, expected);
        EXPECT_TRUE(sameImage(*w->StitchList.front()->FD, expected));
        EXPECT_EQ(QSize(w->StitchList.front()->Width, w->StitchList.front()->Height), r.size);
        EXPECT_EQ(w->DPI, r.dpi);
    }
}

// Each choice of the dialog against the operation it must run, on a copy of the picture.
TEST_F(ImageCommands, RotateMapsTheChoiceToTheOperation)
{
    struct Case {
        const char* name;
        int button; // 0: 90, 1: 180, 2: 270, 3: free
        bool clockwise;
        double angle;
        std::function<void(const TFastDIB&, TFastDIB&)> expected;
    };
    auto free = [](double angle) {
        return [angle](const TFastDIB& src, TFastDIB& dst) {
            RotatedSize(src, dst, angle);
            RotateAngle(src, dst, true, angle);
        };
    };
    const Case cases[] = {
        {"90 clockwise", 0, true, 0, [](const TFastDIB& s, TFastDIB& d) { Rotate90CW(s, d); }},
        {"90 counter-clockwise", 0, false, 0, [](const TFastDIB& s, TFastDIB& d) { Rotate90CCW(s, d); }},
        {"180", 1, false, 0, free(180)},
        {"270 clockwise", 2, true, 0, free(270)},
        {"270 counter-clockwise turns 90 through the free rotation", 2, false, 0, free(90)},
        {"free 30 clockwise", 3, true, 30, free(30)},
        {"free 30 counter-clockwise is 330 clockwise", 3, false, 30, free(330)},
    };
    for (const Case& c : cases) {
        w->StitchList.clear();
        addImage(testhelpers::patterned(31, 17, 2));
        const auto before = firstCopy();
        whenShown<TF_Rotate>([&c](TF_Rotate* d) {
            QRadioButton* buttons[] = {d->RB_90, d->RB_180, d->RB_270, d->RB_Free};
            buttons[c.button]->setChecked(true);
            d->CB_Clockwise->setChecked(c.clockwise);
            d->FE_Angle->setValue(c.angle);
            d->B_Ok->click();
        });
        w->RotateCommand();
        TFastDIB expected;
        c.expected(*before, expected);
        EXPECT_TRUE(sameImage(*w->StitchList.front()->FD, expected)) << c.name;
        EXPECT_EQ(w->StitchList.front()->Width, expected.Info.Header.Width) << c.name;
    }
}

// ---- wide scans ----

// 40000 pixels wide: 16.16 positions of 32 bits would wrap beyond 32767.
TEST_F(ImageCommands, OperationsOnImagesWiderThan32767Pixels)
{
    constexpr int W = 40000, H = 3;
    auto colour = [](int x, int y) { return qRgb(x & 255, (x >> 8) & 255, y * 50); };
    QImage img(W, H, QImage::Format_RGB32);
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x)
            img.setPixel(x, y, colour(x, y));

    addImage(img);
    w->Rotate90(true);
    const TFastDIB* fd = w->StitchList.front()->FD.get();
    ASSERT_EQ(fd->Info.Header.Width, H);
    ASSERT_EQ(fd->AbsHeight, W);
    EXPECT_EQ(fdPixel(*fd, H - 1, W - 1), colour(W - 1, 0)) << "clockwise: the top row becomes the right column";

    w->StitchList.clear();
    addImage(img);
    w->RotateFree(180, true);
    fd = w->StitchList.front()->FD.get();
    ASSERT_EQ(fd->Info.Header.Width, W);
    // The turn is about the centre pixel (W div 2, H div 2): column x samples W - x exactly.
    for (int x : {1, 20000, 32767, 32768, 39999})
        EXPECT_EQ(fdPixel(*fd, x, 1), colour(W - x, 1)) << "column " << x;

    w->StitchList.clear();
    addImage(img);
    w->AddBorder(2, 1, 3, 1, false, 0);
    fd = w->StitchList.front()->FD.get();
    ASSERT_EQ(fd->Info.Header.Width, W + 5);
    EXPECT_EQ(fdPixel(*fd, 39999 + 2, 1), colour(39999, 0));
    EXPECT_EQ(fdPixel(*fd, W + 4, 2), qRgb(0, 0, 0));

    w->StitchList.clear();
    addImage(img);
    w->Resample(W / 2, H);
    fd = w->StitchList.front()->FD.get();
    ASSERT_EQ(fd->Info.Header.Width, W / 2);
    for (int x : {0, 16384, 19999})
        EXPECT_EQ(fdPixel(*fd, x, 2), colour(2 * x + 1, 2)) << "column " << x << " samples the centre of its span";
}

// A turn of a big picture drives the progress box band by band and puts the box back as it was.
TEST_F(ImageCommands, FreeRotationOfABigPictureStepsTheProgressBox)
{
    F_Progress = new TF_Progress;
    addImage(QImage(2000, 2000, QImage::Format_RGB888));
    int shownWhileWorking = 0;
    QObject::connect(F_Progress->PB, &QProgressBar::valueChanged, F_Progress, [&] {
        if (F_Progress->isVisible() && F_Progress->B_Cancel->isHidden())
            ++shownWhileWorking;
    });
    w->RotateFree(10, true);
    EXPECT_EQ(F_Progress->PB->maximum(), 32);
    EXPECT_EQ(F_Progress->PB->value(), 32);
    EXPECT_EQ(shownWhileWorking, 32) << "the box shows without Cancel while it steps";
    EXPECT_FALSE(F_Progress->isVisible());
    EXPECT_FALSE(F_Progress->B_Cancel->isHidden());
    EXPECT_TRUE(F_Progress->B_Cancel->isEnabled());
    delete F_Progress.data();
}
