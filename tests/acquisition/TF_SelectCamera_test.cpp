// The camera wizard and the image-series window over the simulated EOS camera: scanning and
// describing the camera, none found, going back, live view in the series window, a picture taken
// with Grab landing in the list and in a project, the camera settings dialog writing release
// parameters, and the value names the dialog shows.
#include "acquisition/TF_SelectCamera.h"

#include "acquisition/CanonEOS_Varia.h"
#include "acquisition/ImageView32.h"
#include "acquisition/TF_CreateSeries.h"
#include "acquisition/TF_EOSCameraSettings.h"
#include "platform/FakeDialogs.h"
#include "project/Settings.h"
#include "project/TStitchObject.h"
#include "shell/SettingsStore.h"
#include "shell/TF_ErrorLog.h"
#include "shell/TF_Main.h"
#include "shell/TF_Progress2.h"
#include "shell/TPageControlEx.h"
#include "workspace/TF_SMDI.h"
#include "workspace/TF_SelectOrientation.h"

#include "TCamRemote/SimCamera.h"
#include "TCamRemote/Sources/CamRemote.h"
#include "support/ModalDialogs.h"
#include "support/TestHelpers.h"

#include "EventLoopWait.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDeadlineTimer>
#include <QFileInfo>
#include <QImageReader>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <functional>

namespace {

using testhelpers::whenShown;

constexpr int DialogWaitMs = acquisitiontest::FuseMs;

using testhelpers::runUntil;

class CameraWizard : public ::testing::Test {
protected:
    void SetUp() override
    {
        fake = dynamic_cast<FakeDialogs*>(&dialogs());
        ASSERT_NE(fake, nullptr);
        ASSERT_TRUE(root.isValid());
        TF_ErrorLog::ClearLog();
        SimCamera::useStandIns();
        qputenv("JEX4_SIMCAM_CAMERAS", "live");
        qputenv("JEX4_SIMCAM_RELEASE_MS", "0");
        qunsetenv("JEX4_SIMCAM_BATTERY");
        CreateSeriesValues values;
        values.LastPath = root.path();
        SaveCreateSeriesSettings(values);
        F_SelectCamera = new TF_SelectCamera;
        wizard = F_SelectCamera;
        ASSERT_FALSE(F_CreateSeries.isNull());
        series = F_CreateSeries;
    }
    void TearDown() override
    {
        EXPECT_TRUE(fake->errors().isEmpty()) << fake->errors().join(QLatin1Char('\n')).toStdString();
        if (series && series->isVisible()) {
            series->ProjectSaved = true;
            series->close();
        }
        if (wizard)
            wizard->Canon_Disconnect();
        delete wizard.data();
        for (TF_SMDI* win : ImageWindows())
            delete win;
        delete F_SelectOrientation.data();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    // Type page, camera choice, Continue: the scan runs.
    void continueWithCanon()
    {
        wizard->show();
        QCoreApplication::processEvents();
        wizard->RB_Canon->setChecked(true);
        QTest::mouseClick(wizard->BB_Next, Qt::LeftButton);
    }
    // The wizard's choice of the camera, then the series window as the main window shows it.
    void openSeriesOnCamera()
    {
        continueWithCanon();
        ASSERT_EQ(wizard->CB_CanonDevices->count(), 1);
        QTest::mouseClick(wizard->BB_CanonConnect, Qt::LeftButton);
        ASSERT_EQ(wizard->result(), QDialog::Accepted);
        series->ActiveCameraType = wizard->ActiveCameraType;
        series->show();
        QCoreApplication::processEvents();
        series->E_Fileprefix->setText(QStringLiteral("C_"));
    }

    FakeDialogs* fake = nullptr;
    QTemporaryDir root;
    QPointer<TF_SelectCamera> wizard;
    QPointer<TF_CreateSeries> series;
    FakeCamClock clock;
    CamClockScope clockScope{clock};
};

} // namespace

TEST(CameraValueNames, ExposureTimesIsoAndFlash)
{
    const QStringList& tv = TvTexts();
    ASSERT_EQ(tv.size(), CamEnumCount<RemoteFormatTVType>);
    const struct {
        RemoteFormatTVType value;
        const char* text;
    } rows[] = {
        {RemoteFormatTVNotUsed, "-"},     {RemoteFormatTVBulb, "Bulb"},    {RemoteFormatTV30sec, "30\""},
        {RemoteFormatTV3sec2, "3\"2"},    {RemoteFormatTV1sec, "1\""},     {RemoteFormatTV0sec8, "0\"8"},
        {RemoteFormatTV0sec3, "0\"3"},    {RemoteFormatTV1_4, "1/4"},      {RemoteFormatTV1_125, "1/125"},
        {RemoteFormatTV1_16000, "1/16000"},
    };
    for (const auto& r : rows)
        EXPECT_EQ(tv[r.value], QString::fromUtf8(r.text)) << int(r.value);
    EXPECT_EQ(ISOTexts().size(), CamEnumCount<RemoteFormatISOType>);
    EXPECT_EQ(ISOTexts()[RemoteFormatISOAuto], QStringLiteral("Auto"));
    EXPECT_EQ(ISOTexts()[RemoteFormatISO102400], QStringLiteral("102400"));
    EXPECT_EQ(FlashTexts().size(), CamEnumCount<RemoteFormatFlashType>);
    EXPECT_NE(FlashTexts()[RemoteFormatFlashRedEye], FlashTexts()[RemoteFormatFlashAutoRedEye])
        << "the list must tell the two red-eye values apart";
    QStringList flash = FlashTexts();
    EXPECT_EQ(flash.removeDuplicates(), 0);
    EXPECT_EQ(ImageSizeTexts().size(), CamEnumCount<RemoteFormatSizeType>);
    EXPECT_EQ(CompQualityTexts()[RemoteFormatQualitySuperfine], QStringLiteral("Super Fine"));
    EXPECT_EQ(LevelTexts().size(), CamEnumCount<RemoteFormatLevelType>);
}

TEST_F(CameraWizard, ScanDescribesTheCameraOnMainsPower)
{
    continueWithCanon();
    EXPECT_EQ(wizard->PCE->currentWidget(), wizard->TS_2);
    ASSERT_EQ(wizard->CB_CanonDevices->count(), 1);
    EXPECT_EQ(wizard->CB_CanonDevices->currentText(), QStringLiteral("EOS SimCam Live"));
    const QStringList lines = wizard->M_CanonInfo->toPlainText().split(QLatin1Char('\n'));
    ASSERT_EQ(lines.size(), 3);
    EXPECT_EQ(lines[0], QStringLiteral("Model: EOS SimCam Live"));
    EXPECT_TRUE(lines[1].startsWith(QStringLiteral("Owner: ")));
    EXPECT_TRUE(lines[2].startsWith(QStringLiteral("Camera body ID: ")));
    EXPECT_GT(lines[2].size(), QStringLiteral("Camera body ID: ").size());
    EXPECT_EQ(wizard->L_CanonPowerSource->text(), QStringLiteral("AC"));
    EXPECT_EQ(wizard->PB_CanonBattery->value(), 5);
    EXPECT_TRUE(wizard->BB_CanonConnect->isEnabled());
    EXPECT_EQ(CameraConnectInfo.CameraModel, CamModEOS);
    EXPECT_EQ(wizard->Tag, 0);
    EXPECT_TRUE(F_Progress2.isNull()) << "the busy box went";

    // "Change camera type" disconnects and goes back to the first page.
    QTest::mouseClick(wizard->BB_CanonBack, Qt::LeftButton);
    EXPECT_EQ(wizard->ActiveCameraType, -1);
    EXPECT_EQ(wizard->PCE->currentWidget(), wizard->TS_1);
    fake->answerMessage(mrOk);
    EXPECT_FALSE(CameraCall([this] { series->CamRemote->GetBodyID(); })) << "no camera is connected any more";
    ASSERT_EQ(fake->shown().size(), 1);
    EXPECT_EQ(fake->shown().first().text, QStringLiteral("No camera is connected"));
}

TEST_F(CameraWizard, WeakBatteryShowsTheBarAtThree)
{
    qputenv("JEX4_SIMCAM_BATTERY", "49"); // 0x31
    continueWithCanon();
    EXPECT_EQ(wizard->L_CanonPowerSource->text(), QStringLiteral("Lithium"));
    EXPECT_EQ(wizard->PB_CanonBattery->value(), 3);
}

// The video road here is Video4Linux: no page names another system.
TEST_F(CameraWizard, TextsNameTheVideoSystemThisMachineUses)
{
    EXPECT_EQ(wizard->RB_VfW->text(), QStringLiteral("Video4Linux"));
    for (const QAbstractButton* b : wizard->findChildren<QAbstractButton*>())
        EXPECT_FALSE(b->text().contains(QStringLiteral("Windows"))) << b->text().toStdString();
    for (const QLabel* l : wizard->findChildren<QLabel*>())
        EXPECT_FALSE(l->text().contains(QStringLiteral("Windows"))) << l->text().toStdString();
}

TEST_F(CameraWizard, NoCameraIsReportedAndConnectStaysDisabled)
{
    qputenv("JEX4_SIMCAM_CAMERAS", "none");
    fake->answerMessage(mrOk);
    continueWithCanon();
    EXPECT_EQ(wizard->PCE->currentWidget(), wizard->TS_2);
    EXPECT_EQ(wizard->CB_CanonDevices->count(), 0);
    EXPECT_FALSE(wizard->BB_CanonConnect->isEnabled());
    ASSERT_EQ(fake->shown().size(), 1);
    EXPECT_EQ(fake->shown().first().text,
              QStringLiteral("No Canon EOS camera found!\r\nPlease check cameras connection and driver!"));
    EXPECT_FALSE(TF_ErrorLog::Entries().empty()) << "the failure is logged";
    EXPECT_EQ(wizard->L_CanonPowerSource->text(), QStringLiteral("n/a"));
    EXPECT_TRUE(F_Progress2.isNull());
}

TEST_F(CameraWizard, ContinueRescansOnlyWhenAskedOrEmpty)
{
    continueWithCanon();
    ASSERT_EQ(wizard->CB_CanonDevices->count(), 1);
    // Back on the first page the list stays; Continue without Tag keeps it without a new scan,
    // and the camera stays connected.
    wizard->PCE->setCurrentWidget(wizard->TS_1);
    wizard->M_CanonInfo->setPlainText(QStringLiteral("kept"));
    QTest::mouseClick(wizard->BB_Next, Qt::LeftButton);
    EXPECT_EQ(wizard->M_CanonInfo->toPlainText(), QStringLiteral("kept"));
    // With Tag 1 (the main window's command) it scans again.
    wizard->PCE->setCurrentWidget(wizard->TS_1);
    wizard->Tag = 1;
    QTest::mouseClick(wizard->BB_Next, Qt::LeftButton);
    EXPECT_TRUE(wizard->M_CanonInfo->toPlainText().startsWith(QStringLiteral("Model: EOS SimCam Live")));
    EXPECT_EQ(wizard->Tag, 0);
}

TEST_F(CameraWizard, GrabTakesAPictureIntoTheSeriesAndTheProject)
{
    openSeriesOnCamera();
    EXPECT_EQ(series->PCE->currentWidget(), series->TS_CanonEOS);
    EXPECT_EQ(series->L_CameraActive->text(), QStringLiteral("EOS SimCam Live"));
    EXPECT_TRUE(series->P_EOSSettings->isVisible());
    EXPECT_FALSE(series->P_VFWSettings->isVisible());
    EXPECT_FALSE(series->I_CameraActive->pixmap().isNull());

    // Live view arrives.
    ASSERT_TRUE(runUntil([this] { return !series->EOS_IMG->bitmap().isNull(); }));
    EXPECT_EQ(series->EOSViewSize, QSize(960, 640));

    // Grab releases; the picture comes with the release event and is downloaded into the series.
    series->BB_GrabClick();
    ASSERT_TRUE(runUntil([this] { return series->Series.size() == 1; }, kSimPictureFuseMs));
    const QString first = series->Series[0]->FileName;
    EXPECT_EQ(first, SeriesFileName(root.path(), QStringLiteral("C_"), 1));
    const QSize full = QImageReader(first).size();
    EXPECT_EQ(full.width(), 3888);
    EXPECT_EQ(series->Series[0]->Thumbnail.width(), 160);
    EXPECT_EQ(series->SB_Panel0->text(), QStringLiteral("1 images grabbed"));

    // With the frame on, the picture is cut to the frame drawn over the live view.
    series->CB_Frame->setChecked(true);
    series->Frame = QRect(240, 160, 480, 320); // the middle quarter of 960 x 640
    QTest::keyClick(series, Qt::Key_F1);
    ASSERT_TRUE(runUntil([this] { return series->Series.size() == 2; }, kSimPictureFuseMs));
    EXPECT_EQ(QImageReader(series->Series[1]->FileName).size(), QSize(1944, 1296));

    // The series becomes a project, the pictures in list order.
    InitSettingVariables();
    auto main = std::make_unique<TF_Main>();
    F_Main = main.get();
    fake->answerMessage(mrNo); // the file association question of the first showing
    main->show();
    whenShown<TF_SelectOrientation>([](TF_SelectOrientation* d) { QTest::mouseClick(d->B_Ok, Qt::LeftButton); },
                                    DialogWaitMs);
    series->BB_CreateJEXClick();
    const QList<TF_SMDI*> children = main->MDIChildren();
    ASSERT_EQ(children.size(), 1);
    ASSERT_EQ(children.first()->StitchList.size(), 2u);
    EXPECT_EQ(children.first()->StitchList[0]->filename, first);
    EXPECT_FALSE(series->isVisible()) << "the window closes once the project is made";
    main.reset();
    F_Main = nullptr;
}

TEST_F(CameraWizard, AnUnrelatedCameraEventAddsNothing)
{
    openSeriesOnCamera();
    series->CamRemoteRemoteEvent(RemoteEventCallbackViewfinderOn, AdditionNotifyRemoteEventType{});
    series->CamRemoteRemoteEvent(RemoteEventCallbackReleaseStart, AdditionNotifyRemoteEventType{});
    EXPECT_TRUE(series->Series.empty());
}

TEST_F(CameraWizard, SettingsDialogShowsAndWritesTheReleaseParameters)
{
    openSeriesOnCamera();
    const RemoteReleaseParametersType before = series->CamRemote->RemoteGetRemoteParams();
    RemoteReleaseParametersType written;
    whenShown<TF_EOSCameraSettings>([&](TF_EOSCameraSettings* d) {
        EXPECT_EQ(d->windowTitle(), QStringLiteral("Camera settings"));
        EXPECT_EQ(d->B_Set->text(), QStringLiteral("&Set "));
        // Every value of each parameter is offered; the camera's own is selected.
        EXPECT_EQ(d->CB_ExposureTime->count(), CamEnumCount<RemoteFormatTVType> - 1);
        EXPECT_EQ(d->CB_ISO->count(), CamEnumCount<RemoteFormatISOType> - 1);
        EXPECT_EQ(d->CB_ImageSize->count(), 6);
        if (before.Tv != RemoteFormatTVNotUsed)
            EXPECT_EQ(d->CB_ExposureTime->currentText(), TvTexts()[before.Tv]);
        else
            EXPECT_EQ(d->CB_ExposureTime->currentIndex(), -1);
        d->CB_ExposureTime->setCurrentText(QStringLiteral("1/125"));
        d->CB_ISO->setCurrentText(QStringLiteral("400"));
        QTest::mouseClick(d->B_Set, Qt::LeftButton);
        written = d->inParams;
        d->close();
    }, DialogWaitMs);
    series->B_EOSCameraSettingsClick();
    EXPECT_EQ(written.Tv, RemoteFormatTV1_125);
    EXPECT_EQ(written.ISO, RemoteFormatISO400);
    const RemoteReleaseParametersType after = series->CamRemote->RemoteGetRemoteParams();
    EXPECT_EQ(after.Tv, RemoteFormatTV1_125);
    EXPECT_EQ(after.ISO, RemoteFormatISO400);
    EXPECT_EQ(after.ImageSize, before.ImageSize) << "what was not changed stays";
}

TEST(CameraSettingsDialog, NotUsedShowsNoSelectionAndIsWrittenBack)
{
    TF_EOSCameraSettings d;
    d.inParams.Tv = RemoteFormatTV1_125;
    d.inParams.StrobeSetting = RemoteFormatFlashRedEye;
    d.inParams.ISO = RemoteFormatISONotUsed;
    d.FillParameterLists();
    EXPECT_EQ(d.CB_ExposureTime->currentText(), QStringLiteral("1/125"));
    EXPECT_EQ(d.CB_ISO->currentIndex(), -1);
    EXPECT_EQ(d.CB_ImageSize->currentIndex(), -1);
    d.CB_Flash->setCurrentIndex(d.CB_Flash->currentIndex()); // the red-eye value is found again
    d.inParams.ISO = RemoteFormatISO800;
    d.B_SetClick();
    EXPECT_EQ(d.inParams.ISO, RemoteFormatISONotUsed);
    EXPECT_EQ(d.inParams.StrobeSetting, RemoteFormatFlashRedEye);
    EXPECT_EQ(d.inParams.Tv, RemoteFormatTV1_125);
}

// Lists that offer the same texts are told apart by giving each another value.
TEST(CameraSettingsDialog, EachListShowsAndWritesItsOwnParameter)
{
    using P = RemoteReleaseParametersType;
    TF_EOSCameraSettings d;
    d.inParams.ImageSize = RemoteFormatSizeMedium;
    d.inParams.CompQuality = RemoteFormatQualityFine;
    d.inParams.Contrast = RemoteFormatLevelLow;
    d.inParams.Sharpness = RemoteFormatLevelDefault;
    d.inParams.ColorGain = RemoteFormatLevelHigh;
    d.inParams.Tv = RemoteFormatTV1_60;
    d.inParams.ISO = RemoteFormatISO400;
    d.inParams.StrobeSetting = RemoteFormatFlashRedEye;
    d.FillParameterLists();
    const struct {
        const char* name;
        QComboBox* TF_EOSCameraSettings::*list;
        std::function<int(const P&)> field;
        const char* shown;  // for the value read
        const char* chosen; // then chosen and written
        int written;
    } rows[] = {
        {"size", &TF_EOSCameraSettings::CB_ImageSize, [](const P& p) { return int(p.ImageSize); }, "Medium", "Small",
         RemoteFormatSizeSmall},
        {"quality", &TF_EOSCameraSettings::CB_Quality, [](const P& p) { return int(p.CompQuality); }, "Fine", "RAW",
         RemoteFormatQualityRAW},
        {"contrast", &TF_EOSCameraSettings::CB_Contrast, [](const P& p) { return int(p.Contrast); }, "Low", "High",
         RemoteFormatLevelHigh},
        {"sharpness", &TF_EOSCameraSettings::CB_Sharpness, [](const P& p) { return int(p.Sharpness); }, "Default", "Low",
         RemoteFormatLevelLow},
        {"colour gain", &TF_EOSCameraSettings::CB_ColorGain, [](const P& p) { return int(p.ColorGain); }, "High",
         "Default", RemoteFormatLevelDefault},
        {"exposure time", &TF_EOSCameraSettings::CB_ExposureTime, [](const P& p) { return int(p.Tv); }, "1/60", "1/125",
         RemoteFormatTV1_125},
        {"ISO", &TF_EOSCameraSettings::CB_ISO, [](const P& p) { return int(p.ISO); }, "400", "800", RemoteFormatISO800},
        {"flash", &TF_EOSCameraSettings::CB_Flash, [](const P& p) { return int(p.StrobeSetting); }, "red eye", "On",
         RemoteFormatFlashOn},
    };
    for (const auto& r : rows) {
        EXPECT_EQ((d.*r.list)->currentText(), QString::fromLatin1(r.shown)) << r.name;
        (d.*r.list)->setCurrentText(QString::fromLatin1(r.chosen));
    }
    d.B_SetClick();
    for (const auto& r : rows)
        EXPECT_EQ(r.field(d.inParams), r.written) << r.name;
}

// Without a camera nothing is read; parameters that cannot be read are said, and no list offers a value to write.
TEST_F(CameraWizard, SettingsDialogWithoutItsCameraOffersNothing)
{
    TF_EOSCameraSettings none;
    none.show();
    EXPECT_EQ(none.CB_ISO->count(), 0);
    none.hide();

    ASSERT_NE(series->CamRemote, nullptr);
    fake->answerMessage(mrOk);
    TF_EOSCameraSettings d;
    d.CamRemote = series->CamRemote; // no camera chosen: its parameters cannot be read
    d.show();
    ASSERT_EQ(fake->shown().size(), 1);
    EXPECT_EQ(fake->shown().first().text, QStringLiteral("Camera not in remote mode"));
    for (QComboBox* list : {d.CB_ImageSize, d.CB_Quality, d.CB_Contrast, d.CB_Sharpness, d.CB_ColorGain,
                            d.CB_ExposureTime, d.CB_ISO, d.CB_Flash})
        EXPECT_EQ(list->count(), 0);
    d.hide();
}

TEST_F(CameraWizard, ChangeShowsTheWizardAsLeftAndTakesItsChoice)
{
    openSeriesOnCamera();
    EXPECT_TRUE(series->BB_ChangeCamera->isEnabled());
    bool sawCameraPage = false;
    whenShown<TF_SelectCamera>([&sawCameraPage](TF_SelectCamera* d) {
        sawCameraPage = d->PCE->currentWidget() == d->TS_2;
        QTest::mouseClick(d->BB_CanonBack, Qt::LeftButton); // disconnects, back to the type page
        d->close();
    }, DialogWaitMs);
    QTest::mouseClick(series->BB_ChangeCamera, Qt::LeftButton);
    EXPECT_TRUE(sawCameraPage) << "the wizard shows as it was left";
    EXPECT_EQ(series->ActiveCameraType, -1);
    EXPECT_EQ(series->PCE->currentWidget(), series->TS_NoActive);
    EXPECT_EQ(series->L_CameraActive->text(), QStringLiteral("not connected"));
    EXPECT_FALSE(series->P_EOSSettings->isVisible());
    // Grab now takes nothing.
    series->BB_GrabClick();
    EXPECT_TRUE(series->Series.empty());
}

// Showing a live picture lets the event loop run, so Change's wizard can let the camera go (and end
// the SDK session) inside the tick that fetched the picture: that tick ends cleanly, and later ticks
// ask nothing of the camera.
TEST_F(CameraWizard, ChangeWhileALivePictureIsShownEndsItsTickCleanly)
{
    openSeriesOnCamera();
    ASSERT_TRUE(runUntil([this] { return !series->EOS_IMG->bitmap().isNull(); }));
    TCamRemote* cam = series->CamRemote;
    cam->TimerEOSViewfinder->stop(); // ticked by hand below
    SimCamera sim;
    ASSERT_TRUE(sim.attach());
    const int downloads = sim.SimCam_CallCount("EdsDownloadEvfImage");
    QTimer::singleShot(0, wizard, [this] { wizard->BB_CanonBack->click(); });
    EXPECT_NO_THROW(cam->TimerEOSViewfinderTimer());
    EXPECT_EQ(sim.SimCam_CallCount("EdsDownloadEvfImage"), downloads + 1);
    ASSERT_EQ(cam->CameraInfo().CameraModel, CamModNone) << "the wizard went back while the picture was shown";
    EXPECT_NO_THROW(cam->TimerEOSViewfinderTimer());
    EXPECT_EQ(sim.SimCam_CallCount("EdsDownloadEvfImage"), downloads + 1);
}

TEST_F(CameraWizard, ACameraUnpluggedDuringLiveViewIsSaidOnceAndTheSeriesStays)
{
    openSeriesOnCamera();
    ASSERT_TRUE(runUntil([this] { return !series->EOS_IMG->bitmap().isNull(); }));
    series->BB_GrabClick();
    ASSERT_TRUE(runUntil([this] { return series->Series.size() == 1; }, kSimPictureFuseMs));
    SimCamera sim;
    ASSERT_TRUE(sim.attach());
    fake->answerMessage(mrOk);
    sim.SimCam_Unplug(0);
    // The live view may fail a few times before the camera's event arrives; the program's loop
    // logs such failures, this one lets them pass.
    const auto turnUntil = [](const std::function<bool()>& done) {
        const QDeadlineTimer fuse(acquisitiontest::FuseMs);
        while (!done() && !fuse.hasExpired()) {
            try {
                QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
            } catch (const ECamException&) {
            }
        }
        return done();
    };
    ASSERT_TRUE(turnUntil([this] { return !fake->shown().isEmpty(); }));
    EXPECT_TRUE(fake->shown().first().text.startsWith(QStringLiteral("The camera was disconnected.")));
    // Everything the camera sent has come and been handled: still one message.
    ASSERT_TRUE(sim.SimCam_WaitIdle(acquisitiontest::FuseMs));
    ASSERT_TRUE(turnUntil([this] { return series->CamRemote->NotifyQueueCount() == 0; }));
    QCoreApplication::processEvents();
    EXPECT_EQ(fake->shown().size(), 1);
    // The live view's ticks no longer ask the vanished camera, nor fail.
    const int asked = sim.SimCam_CallCount("EdsDownloadEvfImage");
    for (int tick = 0; tick < 3; ++tick)
        EXPECT_NO_THROW(series->CamRemote->TimerEOSViewfinderTimer());
    EXPECT_EQ(sim.SimCam_CallCount("EdsDownloadEvfImage"), asked) << "the live view stopped asking the vanished camera";
    EXPECT_EQ(series->Series.size(), 1u);
    EXPECT_TRUE(QFileInfo::exists(series->Series[0]->FileName));
}
