// The live half of the image-series window: the shade outside the frame, live camera pictures
// (and the one dropped while another is shown), the frame dragged with the right button, the
// crosshair placed with the left one, and the wheel zoom with its panel.
#include "acquisition/TF_CreateSeries.h"

#include "acquisition/ImageView32.h"
#include "image/FastJPG.h"
#include "image/TFastDIB.h"
#include "image/ToolkitBitmap.h"
#include "platform/FakeDialogs.h"
#include "shell/SettingsStore.h"
#include "shell/TColorPickerButton.h"
#include "shell/TF_ErrorLog.h"

#include <QApplication>
#include <QBuffer>
#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QSlider>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <QWheelEvent>
#include <gtest/gtest.h>

namespace {

QByteArray jpegBytes(const QImage& picture)
{
    TFastDIB dib;
    EXPECT_TRUE(BitmapToDIB(picture.convertToFormat(QImage::Format_RGB888), dib));
    TFastJPG jpg;
    jpg.AttachImage(&dib);
    jpg.Props.Quality = 95;
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    EXPECT_EQ(jpg.SaveStream(&buffer), 0);
    return buffer.data();
}

QImage plain(int w, int h, QRgb colour)
{
    QImage img(w, h, QImage::Format_RGB32);
    img.fill(colour);
    return img;
}

class LiveView : public ::testing::Test {
protected:
    void SetUp() override
    {
        fake = dynamic_cast<FakeDialogs*>(&dialogs());
        ASSERT_NE(fake, nullptr);
        ASSERT_TRUE(root.isValid());
        TF_ErrorLog::ClearLog();
        CreateSeriesValues values;
        values.LastPath = root.path();
        values.CrossHairsVisible = true;
        SaveCreateSeriesSettings(values);
        w = new TF_CreateSeries;
        w->resize(1000, 700);
        w->show();
        QCoreApplication::processEvents();
        w->E_Fileprefix->setText(QStringLiteral("L_"));
    }
    void TearDown() override
    {
        EXPECT_TRUE(fake->errors().isEmpty()) << fake->errors().join(QLatin1Char('\n')).toStdString();
        delete w.data();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    void useSource(int type)
    {
        w->ActiveCameraType = type;
        w->SetCameraType();
        QCoreApplication::processEvents();
    }
    void send(QWidget* target, QEvent::Type type, const QPoint& at, Qt::MouseButton button, Qt::MouseButtons held)
    {
        QMouseEvent e(type, QPointF(at), target->mapToGlobal(QPointF(at)), button, held, Qt::NoModifier);
        QApplication::sendEvent(target, &e);
    }
    void wheel(QWidget* target, int notches)
    {
        const QPointF at(5, 5);
        QWheelEvent e(at, target->mapToGlobal(at), QPoint(), QPoint(0, 120 * notches), Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
        QApplication::sendEvent(target, &e);
    }
    // The view's control point showing picture pixel p.
    QPoint controlOf(TImgView32* view, const QPoint& p) const
    {
        return (view->pictureOrigin() + QPointF(p) * view->effectiveScale()).toPoint();
    }

    FakeDialogs* fake = nullptr;
    QTemporaryDir root;
    QPointer<TF_CreateSeries> w;
};

} // namespace

TEST(LiveViewShade, BlendsTheShadeColourAtHalfAlpha)
{
    const struct {
        QRgb under, expected;
    } rows[] = {
        {qRgb(0, 0, 0), qRgb(0, 32, 64)},
        {qRgb(255, 255, 255), qRgb(128, 160, 192)},
        {qRgb(0, 64, 128), qRgb(0, 64, 128)}, // the shade colour itself
        {qRgb(200, 10, 90), qRgb(100, 37, 109)},
    };
    for (const auto& r : rows)
        EXPECT_EQ(ShadePixel(r.under), r.expected) << std::hex << r.under;
}

TEST(LiveViewShade, FourFillsAroundTheFrameLeaveItClear)
{
    const QRgb white = qRgb(255, 255, 255);
    const QRgb shaded = ShadePixel(white);
    const struct {
        QRect frame;
        QRect clear; // the part left as it was
    } rows[] = {
        {QRect(2, 1, 4, 3), QRect(2, 1, 4, 3)},
        {QRect(0, 0, 10, 8), QRect(0, 0, 10, 8)},   // the whole picture
        {QRect(-5, -5, 8, 7), QRect(0, 0, 3, 2)},    // over the top left corner
        {QRect(7, 6, 20, 20), QRect(7, 6, 3, 2)},    // over the bottom right corner
        {QRect(3, 3, 0, 0), QRect()},               // empty: all shaded
        {QRect(50, 50, 5, 5), QRect()},             // outside: all shaded
    };
    for (const auto& r : rows) {
        QImage img = plain(10, 8, white);
        ShadeOutsideFrame(img, r.frame);
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 10; ++x)
                ASSERT_EQ(img.pixel(x, y) & 0xFFFFFF, (r.clear.contains(x, y) ? white : shaded) & 0xFFFFFF)
                    << "pixel " << x << "," << y << " frame " << r.frame.x() << "," << r.frame.y();
    }
}

TEST_F(LiveView, CameraPictureShownAndShadedOnlyWithTheFrame)
{
    useSource(1);
    const QByteArray jpeg = jpegBytes(plain(320, 200, qRgb(255, 255, 255)));
    w->Frame = QRect(100, 50, 100, 80);
    w->CamRemoteViewfinderEvent(jpeg, ViewfinderPositionType{});
    const QImage off = w->EOS_IMG->bitmap();
    ASSERT_EQ(off.size(), QSize(320, 200));
    EXPECT_EQ(w->EOSViewSize, QSize(320, 200));
    EXPECT_GT(qRed(off.pixel(5, 5)), 250) << "without the frame nothing is shaded";

    w->CB_Frame->setChecked(true);
    EXPECT_EQ(w->SB_EOS_Panel1->text(), QStringLiteral("Right click in the image and drag a frame"));
    EXPECT_EQ(w->SB_VFW_Panel1->text(), QStringLiteral("Right click in the image and drag a frame"));
    w->CamRemoteViewfinderEvent(jpeg, ViewfinderPositionType{});
    const QImage on = w->EOS_IMG->bitmap();
    EXPECT_LT(qRed(on.pixel(5, 5)), 140) << "outside shaded";
    EXPECT_LT(qRed(on.pixel(250, 100)), 140);
    EXPECT_GT(qRed(on.pixel(150, 100)), 250) << "the frame stays clear";
    w->CB_Frame->setChecked(false);
    EXPECT_TRUE(w->SB_EOS_Panel1->text().isEmpty());
    EXPECT_EQ(w->Frame, QRect(100, 50, 100, 80)) << "the frame stays while switched off";
}

TEST_F(LiveView, CameraPictureShowsUprightInItsColours)
{
    useSource(1);
    QImage picture = plain(64, 48, qRgb(230, 20, 20));
    for (int y = 24; y < 48; ++y)
        for (int x = 32; x < 64; ++x)
            picture.setPixel(x, y, qRgb(20, 20, 230));
    w->CamRemoteViewfinderEvent(jpegBytes(picture), ViewfinderPositionType{});
    const QImage shown = w->EOS_IMG->bitmap();
    ASSERT_EQ(shown.size(), QSize(64, 48));
    EXPECT_GT(qRed(shown.pixel(4, 4)), 200);
    EXPECT_LT(qBlue(shown.pixel(4, 4)), 60);
    EXPECT_GT(qBlue(shown.pixel(60, 44)), 200) << "the bottom right stays at the bottom right";
    EXPECT_LT(qRed(shown.pixel(60, 44)), 60);
    EXPECT_GT(qRed(shown.pixel(60, 4)), 200);
}

TEST_F(LiveView, PictureArrivingWhileOneIsShownIsDropped)
{
    useSource(1);
    // A damaged picture would be logged if it were decoded; it comes while the first is shown.
    QTimer::singleShot(0, w, [this] { w->CamRemoteViewfinderEvent(QByteArray("broken"), ViewfinderPositionType{}); });
    w->CamRemoteViewfinderEvent(jpegBytes(plain(64, 48, qRgb(9, 9, 9))), ViewfinderPositionType{});
    EXPECT_EQ(w->EOS_IMG->bitmap().size(), QSize(64, 48));
    EXPECT_TRUE(TF_ErrorLog::Entries().empty()) << "the second picture was decoded";
    // Once shown, the next picture is taken; a damaged one is logged and the last stays.
    w->CamRemoteViewfinderEvent(QByteArray("broken"), ViewfinderPositionType{});
    EXPECT_EQ(TF_ErrorLog::Entries().size(), 1u);
    EXPECT_EQ(w->EOS_IMG->bitmap().size(), QSize(64, 48));
}

TEST_F(LiveView, RightDragDrawsAnOrderedFrameFromThePressedCorner)
{
    useSource(1);
    w->CamRemoteViewfinderEvent(jpegBytes(plain(400, 300, qRgb(200, 200, 200))), ViewfinderPositionType{});
    TImgView32* view = w->EOS_IMG;
    QWidget* vp = view->viewport();
    ASSERT_DOUBLE_EQ(view->effectiveScale(), 1.0);

    // Without the frame switch the right button changes nothing.
    send(vp, QEvent::MouseButtonPress, controlOf(view, {10, 10}), Qt::RightButton, Qt::RightButton);
    send(vp, QEvent::MouseMove, controlOf(view, {20, 30}), Qt::NoButton, Qt::RightButton);
    EXPECT_TRUE(w->Frame.isNull());

    w->CB_Frame->setChecked(true);
    // From (300, 200) to (100, 50), passing points on the way.
    send(vp, QEvent::MouseButtonPress, controlOf(view, {300, 200}), Qt::RightButton, Qt::RightButton);
    for (const QPoint p : {QPoint(250, 180), QPoint(310, 120), QPoint(160, 90), QPoint(100, 50)})
        send(vp, QEvent::MouseMove, controlOf(view, p), Qt::NoButton, Qt::RightButton);
    send(vp, QEvent::MouseButtonRelease, controlOf(view, {100, 50}), Qt::RightButton, Qt::NoButton);
    EXPECT_EQ(w->Frame, QRect(QPoint(100, 50), QSize(200, 150))); // Left 100, Top 50, Right 300, Bottom 200
    EXPECT_EQ(w->SB_EOS_Panel0->text(), QStringLiteral("100/50"));

    // Moves with no button or with both buttons leave the frame.
    send(vp, QEvent::MouseMove, controlOf(view, {5, 5}), Qt::NoButton, Qt::NoButton);
    send(vp, QEvent::MouseMove, controlOf(view, {6, 6}), Qt::NoButton, Qt::LeftButton | Qt::RightButton);
    EXPECT_EQ(w->Frame, QRect(QPoint(100, 50), QSize(200, 150)));
}

TEST_F(LiveView, LeftClickPlacesTheCrosshairWhichKeepsItsPlaceWhenZooming)
{
    useSource(1);
    w->CamRemoteViewfinderEvent(jpegBytes(plain(200, 100, qRgb(50, 50, 50))), ViewfinderPositionType{});
    QWidget* vp = w->EOS_IMG->viewport();
    ASSERT_TRUE(w->CB_Crosshairs->isChecked());
    EXPECT_TRUE(w->EOS_S_H->isVisible());
    EXPECT_EQ(w->EOS_CP, QPoint(vp->width() / 2, vp->height() / 2)) << "the centre of the view at first";

    send(vp, QEvent::MouseMove, QPoint(50, 40), Qt::NoButton, Qt::NoButton);
    send(vp, QEvent::MouseButtonPress, QPoint(50, 40), Qt::LeftButton, Qt::LeftButton);
    send(vp, QEvent::MouseButtonRelease, QPoint(50, 40), Qt::LeftButton, Qt::NoButton);
    EXPECT_EQ(w->EOS_S_H->geometry(), QRect(0, 40, vp->width(), 2));
    EXPECT_EQ(w->EOS_S_V->geometry(), QRect(50, 0, 2, vp->height()));

    for (int i = 0; i < 5; ++i)
        wheel(vp, 1);
    EXPECT_EQ(w->EOS_Zoom, 105);
    w->CamRemoteViewfinderEvent(jpegBytes(plain(200, 100, qRgb(50, 50, 50))), ViewfinderPositionType{});
    EXPECT_EQ(w->EOS_S_H->geometry().top(), 40);
    EXPECT_EQ(w->EOS_S_V->geometry().left(), 50);

    // The colour button colours every line; unticking hides them.
    w->CPB_Crosshairs->setColor(0x0000FF); // red as $00BBGGRR
    const QImage shown = vp->grab().toImage();
    EXPECT_EQ(shown.pixelColor(10, 40), QColor(255, 0, 0)) << "the horizontal line is painted red";
    EXPECT_EQ(shown.pixelColor(51, 5), QColor(255, 0, 0)) << "the vertical line is painted red";
    EXPECT_EQ(w->P_IS_V->palette().color(QPalette::Window), QColor(255, 0, 0));
    EXPECT_EQ(w->CrossHairsColor, 0x0000FF);
    w->CB_Crosshairs->setChecked(false);
    EXPECT_FALSE(w->EOS_S_H->isVisible());
    EXPECT_FALSE(w->EOS_S_V->isVisible());
}

TEST_F(LiveView, WheelZoomsByOnePercentWithinTenAndTwoHundred)
{
    useSource(1);
    QWidget* vp = w->EOS_IMG->viewport();
    for (int i = 0; i < 10; ++i)
        wheel(vp, 1);
    EXPECT_EQ(w->EOS_Zoom, 110);
    EXPECT_DOUBLE_EQ(w->EOS_IMG->scale(), 1.1);
    EXPECT_TRUE(w->P_Zoom->isVisible());
    EXPECT_TRUE(w->T_Zoom->isActive());
    EXPECT_EQ(w->S_100->styleSheet(), QStringLiteral("background: white"));

    // The panel goes at the eleventh tick after the last change.
    for (int i = 0; i < 10; ++i)
        w->T_ZoomTimer();
    EXPECT_TRUE(w->P_Zoom->isVisible());
    w->T_ZoomTimer();
    EXPECT_FALSE(w->P_Zoom->isVisible());

    for (int i = 0; i < 100; ++i)
        wheel(vp, 1);
    EXPECT_EQ(w->EOS_Zoom, 200);
    for (int i = 0; i < 250; ++i)
        wheel(vp, -1);
    EXPECT_EQ(w->EOS_Zoom, 10);

    // A double-click on the 100 % mark goes back to 100.
    QTest::mouseDClick(w->L_100, Qt::LeftButton);
    EXPECT_EQ(w->EOS_Zoom, 100);
    EXPECT_EQ(w->S_100->styleSheet(), QStringLiteral("background: #00FF00"));

    // With the list focused the wheel scrolls the list, not the picture.
    w->VST->setFocus();
    QCoreApplication::processEvents();
    ASSERT_TRUE(w->VST->hasFocus());
    wheel(vp, 3);
    EXPECT_EQ(w->EOS_Zoom, 100);

    // Without a source nothing zooms.
    useSource(-1);
    w->setFocus();
    EXPECT_FALSE(w->FormMouseWheel(120));
}

TEST_F(LiveView, VideoCrosshairHiddenWhileNoVideoRuns)
{
    useSource(3);
    w->ShowVideoFrame(plain(160, 120, qRgb(1, 2, 3)));
    EXPECT_EQ(w->VFW_IMG->bitmap().size(), QSize(160, 120));
    EXPECT_TRUE(w->CB_Crosshairs->isChecked());
    EXPECT_FALSE(w->VFW_S_H->isVisible());
    EXPECT_FALSE(w->VFW_S_V->isVisible());
}
