// Magnifier: the square around the mouse enlarged over the client area, the fill where the square
// leaves the picture, the crosshairs, staying square, and following the image window's mouse.
#include "workspace/TF_Zoom.h"

#include "project/ObjectDrawing.h"
#include "project/Settings.h"
#include "workspace/TF_SMDI.h"

#include "support/ImageWindowTest.h"
#include "support/ReferenceDrawing.h"

#include <QApplication>
#include <QCoreApplication>
#include <QPainter>
#include <gtest/gtest.h>

namespace {

using testhelpers::expectSameImage;
using testhelpers::patterned;
using testhelpers::rgbOf;

class Magnifier : public testhelpers::ImageWindowTest {
protected:
    void SetUp() override
    {
        ApplyAbsentSettingDefaults();
        SettingZoomWidth = 41; // the window's square is made with it
        SettingAreaBrush = bsSolid;
        SettingAreaColor = 0x00336699;
        ImageWindowTest::SetUp();
        zoom = new TF_Zoom;
        F_Zoom = zoom;
        zoom->drawcrosshairs = false;
        zoom->resize(164, 164);
        zoom->show();
        QCoreApplication::processEvents();
        // A background the test knows pixel by pixel.
        w->B_Background = patterned(200, 150, 7);
    }
    void TearDown() override
    {
        delete zoom.data();
        ImageWindowTest::TearDown();
    }

    // What a 164-pixel magnifier shows for the mouse at m: the 40 x 40 background pixels from
    // m - 20 stretched over the 41 x 41 square (nearest: the pixel under the middle of each square
    // pixel, so the middle one, 20, is doubled), each square pixel 4 times 4; what lies off the
    // background is fill.
    QImage expected(QPoint m, QRgb fill) const
    {
        auto source = [](int i) { return i <= 20 ? i : i - 1; };
        QImage img(164, 164, QImage::Format_RGB32);
        for (int y = 0; y < 164; ++y)
            for (int x = 0; x < 164; ++x) {
                const QPoint src(m.x() - 20 + source(x / 4), m.y() - 20 + source(y / 4));
                img.setPixel(x, y, w->B_Background.rect().contains(src) ? w->B_Background.pixel(src) : fill);
            }
        return img;
    }

    QPointer<TF_Zoom> zoom;
};

TEST_F(Magnifier, EnlargesTheFortyPixelSquareAroundTheMouse)
{
    ASSERT_EQ(w->B_Zoom.size(), QSize(41, 41));
    struct Row {
        const char* name;
        QPoint mouse;
    };
    const Row rows[] = {
        {"inside", {100, 70}},
        {"top left edge: the fill shows", {5, 12}},
        {"bottom right edge", {195, 148}},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        w->Mouse = r.mouse;
        zoom->UpdateZoom(w);
        EXPECT_EQ(zoom->MDIForm, w.data());
        expectSameImage(zoom->view(), expected(r.mouse, rgbOf(SettingAreaColor)));
    }
}

TEST_F(Magnifier, ClearAreaBrushShowsTheButtonFaceInsideTheOutline)
{
    SettingAreaBrush = bsClear;
    w->Mouse = {3, 3};
    zoom->UpdateZoom(w);
    const QRgb face = QApplication::palette().color(QPalette::Button).rgb();
    // (0, 0) of the square is left of the background: the outline in the area colour.
    EXPECT_EQ(zoom->view().pixel(1, 1), rgbOf(SettingAreaColor) | 0xFF000000);
    // (1, 1) is inside the outline and still off the background.
    EXPECT_EQ(zoom->view().pixel(5, 5), face | 0xFF000000);
    EXPECT_EQ(zoom->view().pixel(4 * 20 + 3, 4 * 20 + 3), w->B_Background.pixel(3, 3)) << "the mouse pixel";
}

TEST_F(Magnifier, CrosshairsPassHalfAMagnifiedPixelRightAndBelowTheMiddle)
{
    SettingAreaColor = 0; // black fill, so the crosshair colour is unmistakable
    w->B_Background.fill(Qt::black);
    w->Mouse = {100, 70};
    zoom->crosshaircolor = 0x0000FF00;
    zoom->PM_ZoomPopup();
    EXPECT_FALSE(zoom->PM_Crosshairs->isChecked());
    zoom->PM_Crosshairs->trigger();
    EXPECT_TRUE(zoom->drawcrosshairs);
    zoom->PM_ZoomPopup();
    EXPECT_TRUE(zoom->PM_Crosshairs->isChecked());
    zoom->UpdateZoom(w);

    // c = Round(164 / 41) div 2 = 2: lines at 82 + 2.
    QImage want(164, 164, QImage::Format_RGB32);
    want.fill(Qt::black);
    for (int i = 0; i < 164; ++i) {
        want.setPixel(84, i, qRgb(0, 255, 0));
        want.setPixel(i, 84, qRgb(0, 255, 0));
    }
    expectSameImage(zoom->view(), want);
}

TEST_F(Magnifier, StaysSquare)
{
    zoom->resize(200, 120);
    EXPECT_EQ(zoom->size(), QSize(200, 200));
    zoom->resize(90, 300);
    EXPECT_EQ(zoom->size(), QSize(90, 90));
}

TEST_F(Magnifier, FollowsTheMouseOverTheWindowAndEmptiesWhenItCloses)
{
    w->PBMouseMove(Qt::NoButton, Qt::NoModifier, 60, 50);
    EXPECT_EQ(zoom->MDIForm, w.data()) << "a move over the window shows its square";
    EXPECT_EQ(w->Mouse, QPoint(60, 50));

    zoom->hide();
    zoom->UpdateZoom(nullptr);
    w->PBMouseMove(Qt::NoButton, Qt::NoModifier, 61, 50);
    EXPECT_EQ(zoom->MDIForm, nullptr) << "a hidden magnifier is left alone";

    zoom->show();
    w->PBMouseMove(Qt::NoButton, Qt::NoModifier, 62, 50);
    ASSERT_EQ(zoom->MDIForm, w.data());
    w->FormClose();
    EXPECT_EQ(zoom->MDIForm, nullptr);
    QImage white(zoom->view().size(), QImage::Format_RGB32);
    white.fill(Qt::white);
    expectSameImage(zoom->view(), white);
}

} // namespace
