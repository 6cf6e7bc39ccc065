// The image-series window on a video device (test sources of the video layer): choosing it in
// the wizard, live frames with the crosshair, grabbing whole frames and frames cut to the frame,
// and a device that cannot start or goes away while the series keeps what was grabbed.
#include "acquisition/TF_CreateSeries.h"

#include "acquisition/ImageView32.h"
#include "acquisition/TF_SelectCamera.h"
#include "acquisition/VFrames.h"
#include "platform/FakeDialogs.h"
#include "platform/VideoCapture.h"
#include "shell/SettingsStore.h"
#include "shell/TF_ErrorLog.h"
#include "shell/TPageControlEx.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include "support/ModalDialogs.h"

#include "EventLoopWait.h"

#include <functional>

namespace {

const char* const kSources =
    "White Camera|videotestsrc is-live=true pattern=white|video/x-raw,format=I420,width=320,height=240"
    "||Short Camera|videotestsrc is-live=true num-buffers=15|video/x-raw,format=I420,width=160,height=120"
    "||Broken Camera|videotestsrc ! nosuchelement|video/x-raw,format=I420,width=160,height=120";

using acquisitiontest::loopUntil;

class SeriesVideo : public ::testing::Test {
protected:
    void SetUp() override
    {
        qputenv(VideoExtraSourcesVariable, kSources);
        fake = dynamic_cast<FakeDialogs*>(&dialogs());
        ASSERT_NE(fake, nullptr);
        ASSERT_TRUE(root.isValid());
        TF_ErrorLog::ClearLog();
        CreateSeriesValues values;
        values.LastPath = root.path();
        values.CrossHairsVisible = true;
        SaveCreateSeriesSettings(values);
        F_SelectCamera = new TF_SelectCamera;
        wizard = F_SelectCamera;
        series = F_CreateSeries;
        ASSERT_FALSE(series.isNull());
    }
    void TearDown() override
    {
        EXPECT_TRUE(fake->errors().isEmpty()) << fake->errors().join(QLatin1Char('\n')).toStdString();
        if (series && series->isVisible()) {
            series->ProjectSaved = true;
            series->close();
        }
        delete wizard.data();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        qunsetenv(VideoExtraSourcesVariable);
    }

    // The wizard's video page with `device` chosen, then the series window on it.
    void openSeriesOn(const QString& device)
    {
        wizard->show();
        QCoreApplication::processEvents();
        ASSERT_TRUE(wizard->RB_VfW->isEnabled());
        wizard->RB_VfW->setChecked(true);
        QTest::mouseClick(wizard->BB_Next, Qt::LeftButton);
        ASSERT_EQ(wizard->PCE->currentWidget(), wizard->TS_4);
        ASSERT_GE(wizard->CB_VFWDevices->findText(device), 0);
        wizard->CB_VFWDevices->setCurrentText(device);
        QTest::mouseClick(wizard->BB_VFWConnect, Qt::LeftButton);
        ASSERT_EQ(wizard->ActiveCameraType, 3);
        series->ActiveCameraType = 3;
        series->E_Fileprefix->setText(QStringLiteral("V_"));
        series->show();
        QCoreApplication::processEvents();
    }

    FakeDialogs* fake = nullptr;
    QTemporaryDir root;
    QPointer<TF_SelectCamera> wizard;
    QPointer<TF_CreateSeries> series;
};

} // namespace

TEST_F(SeriesVideo, LiveFramesWithCrosshairAndGrabsWholeOrCut)
{
    openSeriesOn(QStringLiteral("White Camera"));
    EXPECT_EQ(series->PCE->currentWidget(), series->TS_VFW);
    EXPECT_EQ(series->L_CameraActive->text(), QStringLiteral("White Camera"));
    EXPECT_TRUE(series->P_VFWSettings->isVisible());
    EXPECT_FALSE(series->P_EOSSettings->isVisible());
    ASSERT_TRUE(loopUntil([this] { return !series->VFW_IMG->bitmap().isNull(); }));
    EXPECT_EQ(series->VFW_IMG->bitmap().size(), QSize(320, 240));
    EXPECT_TRUE(series->VFW_S_H->isVisible()) << "the crosshair shows while the video runs";
    EXPECT_EQ(series->VFW_S_V->height(), series->VFW_IMG->viewport()->height()) << "the lines span the view";
    EXPECT_TRUE(series->BB_VFWImageSettings->isEnabled());
    EXPECT_TRUE(series->BB_VWFStreamSettings->isEnabled());

    series->BB_GrabClick();
    ASSERT_EQ(series->Series.size(), 1u);
    EXPECT_EQ(series->Series[0]->FileName, SeriesFileName(root.path(), QStringLiteral("V_"), 1));
    EXPECT_EQ(QImage(series->Series[0]->FileName).size(), QSize(320, 240));

    // With the frame the view is shaded outside it, the file holds the frame's pixels unshaded.
    series->CB_Frame->setChecked(true);
    series->Frame = QRect(80, 60, 160, 120);
    const qint64 shownBefore = series->VFW->FramesShown();
    ASSERT_TRUE(loopUntil([&] { return series->VFW->FramesShown() > shownBefore + 1; }));
    EXPECT_LT(qRed(series->VFW_IMG->bitmap().pixel(5, 5)), 200) << "shaded outside the frame";
    QTest::keyClick(series, Qt::Key_F1);
    ASSERT_EQ(series->Series.size(), 2u);
    const QImage cut(series->Series[1]->FileName);
    ASSERT_EQ(cut.size(), QSize(160, 120));
    EXPECT_GT(qRed(cut.pixel(2, 2)), 240);
    EXPECT_GT(qBlue(cut.pixel(157, 117)), 240);
    EXPECT_EQ(series->SB_Panel0->text(), QStringLiteral("2 images grabbed"));

    // Closing the window stops the video.
    series->ProjectSaved = true;
    series->close();
    EXPECT_FALSE(series->VideoRunning());
}

TEST_F(SeriesVideo, ADeviceThatGoesAwayIsReportedAndTheSeriesStays)
{
    // The short source ends after half a second. Time stands still for the frame source, so no
    // frame is dropped for a GUI thread that a loaded machine keeps busy, and the first frame shown
    // is grabbed at once: the end of the video is handled on the GUI thread after it, so the source
    // still runs then.
    series->VFW->Clock = [] { return quint32(200000); };
    series->VFW->IdleHandler();
    const auto show = series->VFW->OnNewVideoFrame;
    series->VFW->OnNewVideoFrame = [this, show](TVideoImage* sender, qint32 width, qint32 height, const quint8* data) {
        show(sender, width, height, data);
        if (series->Series.empty())
            series->BB_GrabClick();
    };
    fake->answerMessage(mrOk); // the message of the ended video
    openSeriesOn(QStringLiteral("Short Camera"));
    ASSERT_TRUE(loopUntil([this] { return !series->Series.empty(); }));
    ASSERT_EQ(series->Series.size(), 1u);
    ASSERT_TRUE(loopUntil([this] { return !series->VideoRunning(); }));
    ASSERT_TRUE(loopUntil([this] { return fake->shown().size() == 1; }));
    EXPECT_TRUE(fake->shown().first().text.startsWith(QStringLiteral("Video stopped")));
    EXPECT_FALSE(series->VFW_S_H->isVisible());
    EXPECT_FALSE(series->BB_VFWImageSettings->isEnabled());

    // The window stays usable; Grab says why it takes nothing; what was grabbed stays.
    fake->answerMessage(mrOk);
    series->BB_GrabClick();
    ASSERT_EQ(fake->shown().size(), 2);
    EXPECT_EQ(fake->shown().last().text, QStringLiteral("The video source is not running."));
    EXPECT_EQ(series->Series.size(), 1u);
    EXPECT_TRUE(QFileInfo::exists(series->Series[0]->FileName));
}

TEST_F(SeriesVideo, ADeviceThatCannotStartIsReported)
{
    fake->answerMessage(mrOk);
    openSeriesOn(QStringLiteral("Broken Camera"));
    EXPECT_FALSE(series->VideoRunning());
    ASSERT_GE(fake->shown().size(), 1);
    EXPECT_TRUE(fake->shown().first().text.startsWith(QStringLiteral("Video")));
    EXPECT_FALSE(series->VFW_S_H->isVisible());
    EXPECT_FALSE(series->BB_VFWImageSettings->isEnabled());
    // Change: back in the wizard another device is chosen and runs.
    testhelpers::whenShown<TF_SelectCamera>([](TF_SelectCamera* d) {
        d->CB_VFWDevices->setCurrentText(QStringLiteral("White Camera"));
        QTest::mouseClick(d->BB_VFWConnect, Qt::LeftButton);
    }, acquisitiontest::FuseMs);
    QTest::mouseClick(series->BB_ChangeCamera, Qt::LeftButton);
    EXPECT_TRUE(series->VideoRunning());
    EXPECT_EQ(series->L_CameraActive->text(), QStringLiteral("White Camera"));
}

TEST_F(SeriesVideo, NoDeviceFoundIsSaid)
{
    QString error;
    qunsetenv(VideoExtraSourcesVariable);
    if (!ListVideoCaptureDevices(&error).isEmpty())
        GTEST_SKIP() << "this machine has video devices of its own";
    fake->answerMessage(mrOk);
    wizard->show();
    wizard->RB_VfW->setChecked(true);
    QTest::mouseClick(wizard->BB_Next, Qt::LeftButton);
    EXPECT_EQ(wizard->PCE->currentWidget(), wizard->TS_4);
    EXPECT_EQ(wizard->CB_VFWDevices->count(), 0);
    ASSERT_EQ(fake->shown().size(), 1);
    EXPECT_EQ(fake->shown().first().text,
              QStringLiteral("No Video4Linux compatible video hardware found.\r\nPlease connect camera and click Scan!"));
}
