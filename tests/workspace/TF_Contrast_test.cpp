// The adjustment dialog on an image window: OK applies the sliders' settings to the chosen image
// or to all, Cancel and Reset change no pixel, the preview follows the sliders, the zoom limits
// and the edits' Enter.
#include "workspace/TF_Contrast.h"

#include "image/ColorEffects.h"
#include "image/TFastDIB.h"
#include "project/TStitchObject.h"
#include "shell/TFloatEdit.h"
#include "workspace/AdjustPreview.h"
#include "workspace/TF_Histogram.h"

#include "support/ImageWindowTest.h"
#include "support/ModalDialogs.h"
#include "support/TestHelpers.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QWheelEvent>
#include <gtest/gtest.h>

#include <cstring>
#include <memory>

namespace {

using testhelpers::whenShown;

bool sameBytes(const TFastDIB& a, const TFastDIB& b)
{
    return a.Info.Header.Width == b.Info.Header.Width && a.AbsHeight == b.AbsHeight && a.BWidth == b.BWidth
        && std::memcmp(a.Bits, b.Bits, size_t(qint64(a.BWidth) * a.AbsHeight)) == 0;
}

std::unique_ptr<TFastDIB> copyOf(const TFastDIB& d)
{
    auto c = std::make_unique<TFastDIB>();
    c->MakeCopy(d, true);
    return c;
}

// The preview box as it paints itself now.
QImage drawn(const AdjustPreview& box)
{
    QImage image(box.size(), QImage::Format_RGB32);
    QPainter painter(&image);
    box.render(painter);
    return image;
}

// The four effects in turn, as the settings say.
std::unique_ptr<TFastDIB> adjusted(const TFastDIB& d, const ImageAdjustments& a)
{
    auto c = copyOf(d);
    RGBContrast(*c, a.Contrast, a.Contrast, a.Contrast);
    RGBLightness(*c, a.Lightness, a.Lightness, a.Lightness);
    AdjustSaturation(*c, a.Saturation);
    RGBAdd(*c, a.Red, a.Green, a.Blue);
    return c;
}

class Contrast : public testhelpers::ImageWindowTest {
protected:
    void SetUp() override
    {
        testhelpers::ImageWindowTest::SetUp();
        for (int i = 0; i < 3; ++i) {
            auto so = std::make_unique<TStitchObject>();
            const QImage img = testhelpers::patterned(60, 40, i).convertToFormat(QImage::Format_RGB888);
            so->FD->LoadFromHandle(img);
            so->FT->MakeCopy(*so->FD, true);
            so->filename = QStringLiteral("/scans/core%1.jpg").arg(i);
            so->x = i * 60;
            so->Width = 60;
            so->Height = 40;
            w->StitchList.push_back(std::move(so));
        }
        w->UpdateArea();
        for (const auto& so : w->StitchList)
            before.push_back(copyOf(*so->FD));
    }
    void TearDown() override
    {
        delete F_Contrast.data();
        testhelpers::ImageWindowTest::TearDown();
    }

    static void setSliders(TF_Contrast* d, const ImageAdjustments& a)
    {
        d->SB_Contrast->setValue(a.Contrast);
        d->SB_Lightness->setValue(a.Lightness);
        d->SB_Saturation->setValue(a.Saturation);
        d->SB_Red->setValue(a.Red);
        d->SB_green->setValue(a.Green);
        d->SB_Blue->setValue(a.Blue);
    }

    std::vector<std::unique_ptr<TFastDIB>> before;
    const ImageAdjustments some{40, -15, 120, 10, -5, 30};
};

} // namespace

TEST_F(Contrast, OkAdjustsTheChosenImageOnly)
{
    whenShown<TF_Contrast>([this](TF_Contrast* d) {
        EXPECT_EQ(d->CB_PreviewImage->count(), 3);
        EXPECT_EQ(d->CB_PreviewImage->itemText(1), QStringLiteral("core1.jpg"));
        d->CB_PreviewImage->setCurrentIndex(1);
        d->BeginImageEdit();
        setSliders(d, some);
        d->B_Ok->click();
    });
    w->AdjustImagesCommand();
    for (int i = 0; i < 3; ++i) {
        const TStitchObject& so = *w->StitchList[size_t(i)];
        const auto want = i == 1 ? adjusted(*before[size_t(i)], some) : copyOf(*before[size_t(i)]);
        EXPECT_TRUE(sameBytes(*so.FD, *want)) << "image " << i;
        EXPECT_TRUE(sameBytes(*so.FT, *want)) << "the tracker's copy of image " << i;
        EXPECT_EQ(so.ImageChanged, i == 1) << "image " << i;
    }
}

// The histogram open alongside counts the pictures as OK left them.
TEST_F(Contrast, OkRecountsTheOpenHistogram)
{
    F_Histogram = new TF_Histogram;
    F_Histogram->show();
    F_Histogram->UpdateHistogram(w);
    whenShown<TF_Contrast>([this](TF_Contrast* d) {
        setSliders(d, some);
        d->B_Ok->click();
    });
    w->AdjustImagesCommand();
    HistogramCounts expected;
    CountHistograms({w->StitchList[0]->FD.get(), w->StitchList[1]->FD.get(), w->StitchList[2]->FD.get()}, expected);
    EXPECT_EQ(F_Histogram->counts().Brightness, expected.Brightness);
    delete F_Histogram.data();
}

TEST_F(Contrast, OkWithApplyAllAdjustsEveryImage)
{
    whenShown<TF_Contrast>([this](TF_Contrast* d) {
        d->CB_ApplyAll->setChecked(true);
        setSliders(d, some);
        d->B_Ok->click();
    });
    w->AdjustImagesCommand();
    for (int i = 0; i < 3; ++i) {
        EXPECT_TRUE(sameBytes(*w->StitchList[size_t(i)]->FD, *adjusted(*before[size_t(i)], some))) << "image " << i;
        EXPECT_TRUE(w->StitchList[size_t(i)]->ImageChanged);
    }
}

TEST_F(Contrast, CancelResetAndNeutralOkChangeNoPixel)
{
    whenShown<TF_Contrast>([this](TF_Contrast* d) {
        setSliders(d, some);
        d->B_Cancel->click();
    });
    w->AdjustImagesCommand();
    whenShown<TF_Contrast>([this](TF_Contrast* d) {
        EXPECT_EQ(d->SB_Contrast->value(), some.Contrast) << "the sliders stay between showings";
        d->B_reset->click();
        EXPECT_TRUE(d->Settings().isNeutral());
        EXPECT_EQ(d->FE_Saturation->text(), QStringLiteral("255"));
        EXPECT_EQ(d->L_Red->text(), QStringLiteral("0"));
        d->B_Ok->click();
    });
    w->AdjustImagesCommand();
    for (int i = 0; i < 3; ++i)
        EXPECT_TRUE(sameBytes(*w->StitchList[size_t(i)]->FD, *before[size_t(i)])) << "image " << i;
    EXPECT_TRUE(w->StitchList[0]->ImageChanged) << "OK marks the chosen image changed";
    EXPECT_FALSE(w->StitchList[1]->ImageChanged);
}

TEST_F(Contrast, PreviewFollowsTheSlidersAtItsReduction)
{
    TF_Contrast d;
    d.MDI = w;
    d.show();
    ASSERT_EQ(d.ContrastSize, 5);
    setSliders(&d, some);
    // The bias labels follow at once, before the preview is rebuilt.
    EXPECT_EQ(QStringList({d.L_Red->text(), d.L_Green->text(), d.L_Blue->text()}),
              QStringList({QStringLiteral("10"), QStringLiteral("-5"), QStringLiteral("30")}));
    TFastDIB reduced;
    ReducedCopy(*before[0], reduced, 5);
    ASSERT_EQ(reduced.Info.Header.Width, 12);
    const auto want = adjusted(reduced, some);
    // The moves are gathered into one rebuild once the event loop turns.
    EXPECT_TRUE(testhelpers::runUntil([&] { return sameBytes(*d.ContrastPreviewDIB, *want); }));
    EXPECT_TRUE(sameBytes(*w->StitchList[0]->FD, *before[0])) << "the sliders alone change no picture";
    EXPECT_EQ(d.L_Blue->text(), QStringLiteral("30"));
    EXPECT_EQ(d.FE_Contrast->text(), QStringLiteral("40"));
    d.reject();
}

TEST_F(Contrast, EditsFollowTheirSliders)
{
    TF_Contrast d;
    const struct {
        QScrollBar* bar;
        TFloatEdit* edit;
        int value;
    } rows[] = {
        {d.SB_Contrast, d.FE_Contrast, -30},
        {d.SB_Lightness, d.FE_Lightness, 70},
        {d.SB_Saturation, d.FE_Saturation, 12},
    };
    for (const auto& r : rows) {
        r.bar->setValue(r.value);
        EXPECT_EQ(r.edit->text(), QString::number(r.value));
    }
}

TEST_F(Contrast, ResetShowsThePictureAsItIsInItsCorner)
{
    TF_Contrast d;
    d.MDI = w;
    d.show();
    setSliders(&d, some);
    TFastDIB reduced;
    ReducedCopy(*before[0], reduced, 5);
    ASSERT_TRUE(testhelpers::runUntil([&] { return sameBytes(*d.ContrastPreviewDIB, *adjusted(reduced, some)); }));
    d.PB_Contrast->onPan(QPoint(30, 20));
    d.B_reset->click();
    EXPECT_TRUE(sameBytes(*d.ContrastPreviewDIB, reduced));
    EXPECT_EQ(QPoint(d.BW_X, d.BW_Y), QPoint(1, 1));
    d.reject();
}

TEST_F(Contrast, ZoomStopsAtOneAndSixtyOne)
{
    TF_Contrast d;
    d.MDI = w;
    d.show();
    for (int i = 0; i < 10; ++i)
        d.ZoomBy(120);
    EXPECT_EQ(d.ContrastSize, 1);
    EXPECT_EQ(d.ContrastPreviewDIB->Info.Header.Width, 60);
    for (int i = 0; i < 70; ++i)
        d.ZoomBy(-120);
    EXPECT_EQ(d.ContrastSize, 61);
    EXPECT_EQ(d.ContrastPreviewDIB->Bits, nullptr) << "a 60-pixel image reduced 61 times has no pixel";
    d.reject();
}

TEST_F(Contrast, WheelZoomsUnlessTheImageListHasTheFocus)
{
    TF_Contrast d;
    d.MDI = w;
    d.show();
    QApplication::setActiveWindow(&d);
    const struct {
        bool listFocused;
        int delta;
        int size;
    } rows[] = {{false, 120, 4}, {false, -120, 6}, {true, 120, 5}};
    for (const auto& r : rows) {
        d.BeginImageEdit();
        ASSERT_EQ(d.ContrastSize, 5);
        if (r.listFocused) {
            d.CB_PreviewImage->setFocus();
            ASSERT_TRUE(d.CB_PreviewImage->hasFocus());
        }
        QWheelEvent wheel(QPointF(5, 5), d.mapToGlobal(QPointF(5, 5)), QPoint(), QPoint(0, r.delta), Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(&d, &wheel);
        EXPECT_EQ(d.ContrastSize, r.size) << r.delta << (r.listFocused ? " over the focused list" : "");
        EXPECT_TRUE(d.B_reset->hasFocus());
    }
    d.reject();
}

TEST_F(Contrast, AnotherImageIsPreviewedAfreshAtTheFirstReduction)
{
    TF_Contrast d;
    d.MDI = w;
    d.show();
    d.ZoomBy(120);
    d.ZoomBy(120);
    d.PB_Contrast->onPan(QPoint(30, 20));
    ASSERT_EQ(d.ContrastSize, 3);
    d.CB_PreviewImage->setCurrentIndex(2);
    emit d.CB_PreviewImage->activated(2);
    EXPECT_EQ(d.ContrastSize, 5);
    EXPECT_EQ(QPoint(d.BW_X, d.BW_Y), QPoint(1, 1));
    TFastDIB reduced;
    ReducedCopy(*before[2], reduced, 5);
    EXPECT_TRUE(sameBytes(*d.ContrastPreviewDIB, reduced));
    // The box draws it in its corner again.
    AdjustPreview corner;
    corner.resize(d.PB_Contrast->size());
    corner.setPicture(d.ContrastPreviewDIB.get(), QPoint(1, 1));
    EXPECT_TRUE(testhelpers::runUntil([&] { return drawn(*d.PB_Contrast) == drawn(corner); }));
    d.reject();
}

TEST_F(Contrast, EnterInAnEditMovesItsSliderWithinRange)
{
    TF_Contrast d;
    d.MDI = w;
    d.show();
    d.FE_Contrast->setFocus();
    d.FE_Contrast->selectAll();
    QTest::keyClicks(d.FE_Contrast, QStringLiteral("300"));
    QTest::keyClick(d.FE_Contrast, Qt::Key_Return);
    EXPECT_EQ(d.SB_Contrast->value(), 255);
    d.reject();
}

// A value typed and left by Tab or by a click elsewhere moves its slider as Enter does.
TEST_F(Contrast, LeavingAnEditMovesItsSliderToo)
{
    TF_Contrast d;
    d.MDI = w;
    d.show();
    QApplication::setActiveWindow(&d);
    const struct {
        TFloatEdit* edit;
        QScrollBar* bar;
        const char* typed;
        int value;
    } rows[] = {
        {d.FE_Contrast, d.SB_Contrast, "40", 40},
        {d.FE_Lightness, d.SB_Lightness, "-70", -70},
        {d.FE_Saturation, d.SB_Saturation, "120", 120},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.typed);
        r.edit->setFocus();
        ASSERT_TRUE(r.edit->hasFocus());
        r.edit->selectAll();
        const int before = r.bar->value();
        QTest::keyClicks(r.edit, QString::fromLatin1(r.typed));
        EXPECT_EQ(r.bar->value(), before) << "typing alone moves nothing";
        QTest::keyClick(r.edit, Qt::Key_Tab);
        ASSERT_FALSE(r.edit->hasFocus());
        QCoreApplication::processEvents();
        EXPECT_EQ(r.bar->value(), r.value);
    }
    d.reject();
}

TEST_F(Contrast, ClosingItsWindowClosesTheDialogWorkingOnIt)
{
    struct Row {
        const char* name;
        bool ownWindow;
        bool staysOpen;
    } rows[] = {{"working on the closing window", true, false}, {"working on another window", false, true}};
    for (const Row& row : rows) {
        TF_SMDI other;
        F_Contrast = new TF_Contrast;
        F_Contrast->MDI = row.ownWindow ? w.data() : &other;
        F_Contrast->show();
        setSliders(F_Contrast, some);
        ASSERT_TRUE(F_Contrast->isVisible()) << row.name;
        w->FormClose();
        EXPECT_EQ(F_Contrast->isVisible(), row.staysOpen) << row.name;
        F_Contrast->MDI = nullptr;
        F_Contrast->hide();
        delete F_Contrast.data();
    }
}
