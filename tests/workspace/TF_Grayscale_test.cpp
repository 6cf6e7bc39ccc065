// The grayscale dialog on an image window: what it shows when opened, the reactions of its
// controls, the preview against the chain run on a reduced copy, OK on the chosen image or on all,
// Cancel, and the zoom limits.
#include "workspace/TF_Grayscale.h"

#include "image/TFastDIB.h"
#include "project/TStitchObject.h"
#include "shell/TThinTrackBar.h"
#include "workspace/AdjustPreview.h"
#include "workspace/TF_Histogram.h"

#include "support/ImageWindowTest.h"
#include "support/ModalDialogs.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTest>
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
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

std::unique_ptr<TFastDIB> filtered(const TFastDIB& d, const GrayscaleSettings& s)
{
    auto c = copyOf(d);
    ApplyGrayscaleChain(*c, s);
    return c;
}

class Grayscale : public testhelpers::ImageWindowTest {
protected:
    void SetUp() override
    {
        testhelpers::ImageWindowTest::SetUp();
        for (int i = 0; i < 2; ++i) {
            auto so = std::make_unique<TStitchObject>();
            so->FD->LoadFromHandle(testhelpers::patterned(45, 30, i).convertToFormat(QImage::Format_RGB888));
            so->FT->MakeCopy(*so->FD, true);
            so->filename = QStringLiteral("/scans/disc%1.bmp").arg(i);
            so->x = i * 45;
            so->Width = 45;
            so->Height = 30;
            w->StitchList.push_back(std::move(so));
        }
        w->UpdateArea();
        for (const auto& so : w->StitchList)
            before.push_back(copyOf(*so->FD));
    }
    void TearDown() override
    {
        delete F_Grayscale.data();
        testhelpers::ImageWindowTest::TearDown();
    }

    std::vector<std::unique_ptr<TFastDIB>> before;
};

} // namespace

TEST_F(Grayscale, OpensWithFreeWeightsThresholdAndFirstImage)
{
    TF_Grayscale d;
    d.MDI = w;
    d.TB_Threshold->setValue(10);
    d.show();
    EXPECT_EQ(d.CB_PreviewImage->count(), 2);
    EXPECT_EQ(d.CB_PreviewImage->currentText(), QStringLiteral("disc0.bmp"));
    EXPECT_EQ(d.TB_Threshold->value(), 128);
    EXPECT_EQ(d.BW_Size, 3);
    EXPECT_TRUE(d.RB_Free->isChecked());
    EXPECT_EQ(d.SE_Red->value(), 30);
    EXPECT_EQ(d.SE_Green->value(), 59);
    EXPECT_EQ(d.SE_Blue->value(), 11);
    EXPECT_FALSE(d.GB_EdgeDetection->isVisible());
    EXPECT_EQ(d.GrayPreviewDIB->Info.Header.Width, 15);
    d.reject();
}

TEST_F(Grayscale, ControlsTickTheirGroupAndPresetsWriteTheWeights)
{
    TF_Grayscale d;
    d.MDI = w;
    d.show();
    d.RB_Neutral->click();
    EXPECT_TRUE(d.CB_GrayScale->isChecked());
    EXPECT_TRUE(d.RB_Neutral->isChecked()) << "a preset's weights do not select Free";
    EXPECT_EQ(d.SE_Red->value(), 33);
    EXPECT_EQ(d.SE_Green->value(), 34);
    EXPECT_EQ(d.SE_Blue->value(), 33);
    d.SE_Red->setValue(40);
    EXPECT_TRUE(d.RB_Free->isChecked());

    d.SE_Higher->setValue(30);
    EXPECT_TRUE(d.CB_BrightnessSlicing->isChecked());
    d.CB_Bits[3]->click();
    EXPECT_TRUE(d.CB_Bitplane->isChecked());

    // The preview shows the chain as set, on the copy reduced three times.
    TFastDIB reduced;
    ReducedCopy(*before[0], reduced, 3);
    EXPECT_TRUE(sameBytes(*d.GrayPreviewDIB, *filtered(reduced, d.Settings())));

    d.B_Reset->click();
    for (QCheckBox* c : {d.CB_BlackWhite, d.CB_GrayScale, d.CB_Bitplane, d.CB_BrightnessSlicing})
        EXPECT_FALSE(c->isChecked());
    EXPECT_TRUE(sameBytes(*d.GrayPreviewDIB, reduced));
    d.reject();
}

// Each control inside a group ticks it, and the preview shows the chain as then set.
TEST_F(Grayscale, EveryControlInAGroupTicksItAndThePreviewFollows)
{
    TF_Grayscale d;
    d.MDI = w;
    d.show();
    TFastDIB reduced;
    ReducedCopy(*before[0], reduced, 3);
    const struct {
        const char* name;
        QCheckBox* TF_Grayscale::*group;
        std::function<void(TF_Grayscale&)> use;
    } rows[] = {
        {"lower threshold", &TF_Grayscale::CB_BrightnessSlicing, [](TF_Grayscale& g) { g.SE_Lower->setValue(100); }},
        {"slice width", &TF_Grayscale::CB_BrightnessSlicing, [](TF_Grayscale& g) { g.SE_Higher->setValue(40); }},
        {"slice invert", &TF_Grayscale::CB_BrightnessSlicing, [](TF_Grayscale& g) { g.CB_InvertSlice->click(); }},
        {"slice keeps values", &TF_Grayscale::CB_BrightnessSlicing,
         [](TF_Grayscale& g) { g.CB_KeepGrayScalesSlice->click(); }},
        {"include slice", &TF_Grayscale::CB_BrightnessSlicing, [](TF_Grayscale& g) { g.CB_IncludeSlice->click(); }},
        {"bit 0", &TF_Grayscale::CB_Bitplane, [](TF_Grayscale& g) { g.CB_Bits[0]->click(); }},
        {"bits keep values", &TF_Grayscale::CB_Bitplane, [](TF_Grayscale& g) { g.CB_KeepGrayscales->click(); }},
        {"bits invert", &TF_Grayscale::CB_Bitplane, [](TF_Grayscale& g) { g.CB_Invert->click(); }},
        {"threshold", &TF_Grayscale::CB_BlackWhite, [](TF_Grayscale& g) {
             g.CB_BlackWhite->click();
             g.TB_Threshold->setValue(60);
         }},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        d.B_Reset->click();
        ASSERT_FALSE((d.*r.group)->isChecked());
        r.use(d);
        EXPECT_TRUE((d.*r.group)->isChecked());
        EXPECT_TRUE(sameBytes(*d.GrayPreviewDIB, *filtered(reduced, d.Settings())));
    }
    d.reject();
}

TEST_F(Grayscale, AnotherImageIsPreviewed)
{
    TF_Grayscale d;
    d.MDI = w;
    d.show();
    d.CB_GrayScale->click();
    d.CB_PreviewImage->setCurrentIndex(1);
    emit d.CB_PreviewImage->activated(1);
    TFastDIB reduced;
    ReducedCopy(*before[1], reduced, 3);
    EXPECT_TRUE(sameBytes(*d.GrayPreviewDIB, *filtered(reduced, d.Settings())));
    d.reject();
}

TEST_F(Grayscale, ShowingAndResetPutThePreviewBackInItsCorner)
{
    TF_Grayscale d;
    d.MDI = w;
    d.show();
    const struct {
        const char* name;
        std::function<void()> act;
    } rows[] = {
        {"shown again", [&d] {
             d.hide();
             d.show();
         }},
        {"Reset", [&d] { d.B_Reset->click(); }},
    };
    for (const auto& r : rows) {
        d.PB_Preview->onPan(QPoint(30, 20));
        ASSERT_EQ(QPoint(d.BW_X, d.BW_Y), QPoint(31, 21));
        r.act();
        EXPECT_EQ(QPoint(d.BW_X, d.BW_Y), QPoint(1, 1)) << r.name;
    }
    d.reject();
}

TEST_F(Grayscale, ZoomStopsAtOneAndSixtyOne)
{
    TF_Grayscale d;
    d.MDI = w;
    d.show();
    for (int i = 0; i < 5; ++i)
        d.ZoomBy(120);
    EXPECT_EQ(d.BW_Size, 1);
    for (int i = 0; i < 80; ++i)
        d.ZoomBy(-120);
    EXPECT_EQ(d.BW_Size, 61);
    d.reject();
}

TEST_F(Grayscale, OkFiltersTheChosenImageOrAll)
{
    struct Case {
        const char* name;
        bool all;
        int chosen;
    };
    const Case cases[] = {{"chosen second image", false, 1}, {"all images", true, 0}};
    for (const Case& c : cases) {
        for (size_t i = 0; i < 2; ++i) {
            w->StitchList[i]->FD->MakeCopy(*before[i], true);
            w->StitchList[i]->ImageChanged = false;
        }
        GrayscaleSettings expected;
        whenShown<TF_Grayscale>([&](TF_Grayscale* d) {
            d->CB_PreviewImage->setCurrentIndex(c.chosen);
            d->CB_ApplyAll->setChecked(c.all);
            d->CB_BlackWhite->click();
            d->TB_Threshold->setValue(90);
            expected = d->Settings();
            d->B_Ok->click();
        });
        w->GrayscaleCommand();
        ASSERT_TRUE(expected.BlackWhite) << c.name;
        for (size_t i = 0; i < 2; ++i) {
            const bool changes = c.all || int(i) == c.chosen;
            const TStitchObject& so = *w->StitchList[i];
            EXPECT_TRUE(sameBytes(*so.FD, changes ? *filtered(*before[i], expected) : *before[i])) << c.name << ", image " << i;
            EXPECT_TRUE(sameBytes(*so.FT, *so.FD)) << c.name << ": the tracker's copy follows, image " << i;
            EXPECT_EQ(so.ImageChanged, changes) << c.name << ", image " << i;
        }
        // The group stays ticked for the next showing; untick it for the next case.
        F_Grayscale->CB_BlackWhite->setChecked(false);
    }
}

// The histogram opened alongside goes with the dialog.
TEST_F(Grayscale, ClosingClosesTheHistogram)
{
    F_Histogram = new TF_Histogram;
    F_Histogram->show();
    TF_Grayscale d;
    d.MDI = w;
    d.show();
    d.reject();
    EXPECT_FALSE(F_Histogram->isVisible());
    delete F_Histogram.data();
}

TEST_F(Grayscale, CancelChangesNothing)
{
    whenShown<TF_Grayscale>([](TF_Grayscale* d) {
        d->CB_ApplyAll->setChecked(true);
        d->CB_GrayScale->click();
        d->B_Cancel->click();
    });
    w->GrayscaleCommand();
    for (size_t i = 0; i < 2; ++i) {
        EXPECT_TRUE(sameBytes(*w->StitchList[i]->FD, *before[i]));
        EXPECT_TRUE(sameBytes(*w->StitchList[i]->FT, *before[i])) << "the tracker keeps its copy";
        EXPECT_FALSE(w->StitchList[i]->ImageChanged);
    }
}
