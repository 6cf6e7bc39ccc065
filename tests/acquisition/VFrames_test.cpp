// The frame source: the hand-over from the streaming thread under a scripted clock, and real video
// from test-pattern sources that the device list reaches through its extra-sources variable.
#include "acquisition/VFrames.h"
#include "image/TFastDIB.h"
#include "platform/FakeDialogs.h"
#include "shell/TF_ErrorLog.h"
#include "support/ModalDialogs.h"

#include "EventLoopWait.h"

#include <QCoreApplication>
#include <QDialog>
#include <QListWidget>
#include <QSlider>
#include <QTest>
#include <gtest/gtest.h>

#include <vector>


namespace {

using acquisitiontest::loopUntil;

// Three test sources: raw formats with colour balance, Motion JPEG, and one that ends after ten
// frames as a camera does when it is unplugged.
const char* const kSources =
    "Test Camera|videotestsrc is-live=true pattern=white ! videobalance|"
    "video/x-raw,format=YUY2,width=640,height=480;video/x-raw,format=I420,width=320,height=240;"
    "video/x-raw,format=BGR,width=640,height=360;video/x-h264,width=800,height=600"
    "||Test MJPG Camera|videotestsrc is-live=true pattern=white ! jpegenc|image/jpeg,width=320,height=240"
    "||Short Camera|videotestsrc is-live=true num-buffers=10|video/x-raw,format=I420,width=160,height=120"
    "||Broken Camera|videotestsrc ! nosuchelement|video/x-raw,format=I420,width=160,height=120";

class VideoTest : public testing::Test {
protected:
    void SetUp() override
    {
        qputenv(VideoExtraSourcesVariable, kSources);
        fake = dynamic_cast<FakeDialogs*>(&dialogs());
        ASSERT_NE(fake, nullptr);
    }
    void TearDown() override { qunsetenv(VideoExtraSourcesVariable); }

    FakeDialogs* fake = nullptr;
};

// The streaming thread's side driven by hand: frames of a 4 x 2 YUY2 stream.
class HandOver : public testing::Test {
protected:
    void SetUp() override
    {
        video.Clock = [this] { return now; };
        frame.assign(16, 0);
    }
    void deliver(quint8 luma)
    {
        for (int i = 0; i < 16; i += 2) {
            frame[size_t(i)] = luma;
            frame[size_t(i) + 1] = 128;
        }
        qint32 size = qint32(frame.size());
        video.FrameReceived(frame.data(), size);
    }

    quint32 now = 50000;
    TVideoImage video;
    std::vector<quint8> frame;
};

} // namespace

TEST_F(HandOver, FramesBeforeTheFirstIdleTimeAreDroppedAndCounted)
{
    for (int i = 0; i < 5; ++i)
        deliver(100);
    EXPECT_EQ(video.FramesSkipped(), 5);
    EXPECT_EQ(video.FramesReceived(), 5);
    int events = 0;
    video.OnNewVideoFrame = [&events](TVideoImage*, qint32, qint32, const quint8*) { ++events; };
    QCoreApplication::processEvents();
    EXPECT_EQ(events, 0);
}

TEST_F(HandOver, FramesPerSecondStartsAtTheSixtiethFrame)
{
    video.IdleHandler();
    for (int i = 1; i <= 90; ++i) {
        now += i % 3 == 0 ? 34 : 33; // 100 ms per three frames: 30 frames a second
        video.IdleHandler();
        deliver(100);
        if (i < 60) {
            ASSERT_EQ(video.FramesPerSecond(), 0.0) << "frame " << i;
        }
    }
    EXPECT_NEAR(video.FramesPerSecond(), 30.0, 0.01);
    video.VideoStop();
    EXPECT_EQ(video.FramesPerSecond(), 0.0); // without a graph only this is reset
    EXPECT_EQ(video.FramesReceived(), 90);
}

TEST_F(HandOver, TheGuiThreadGetsTheNewestFrameOnceAndFramesReplacedMeanwhileCountAsSkipped)
{
    video.IdleHandler();
    std::vector<quint8> seen;
    video.OnNewVideoFrame = [&seen](TVideoImage*, qint32, qint32, const quint8* data) { seen.push_back(data[0]); };
    deliver(10);
    deliver(20);
    deliver(30);
    QCoreApplication::processEvents();
    ASSERT_EQ(seen, std::vector<quint8>{30});
    EXPECT_EQ(video.FramesSkipped(), 2);
    EXPECT_EQ(video.FramesShown(), 1);
    // A GUI thread busy for more than a second: frames are dropped before they are copied; one
    // busy for exactly a second still gets its frame.
    now += 1000;
    deliver(40);
    QCoreApplication::processEvents();
    EXPECT_EQ(seen, (std::vector<quint8>{30, 40}));
    EXPECT_EQ(video.FramesSkipped(), 2);
    now += 1;
    deliver(50);
    QCoreApplication::processEvents();
    EXPECT_EQ(seen.size(), 2u);
    EXPECT_EQ(video.FramesSkipped(), 3);
}

TEST_F(HandOver, TheFrameHandedOutStaysWhileNewerOnesArrive)
{
    video.IdleHandler();
    std::vector<quint8> during;
    video.OnNewVideoFrame = [this, &during](TVideoImage*, qint32, qint32, const quint8* data) {
        // The streaming thread writes on during the handler; the handed-out bytes stay.
        for (quint8 l = 50; l < 60; ++l)
            deliver(l);
        during.push_back(data[0]);
        during.push_back(data[15]);
    };
    deliver(7);
    QCoreApplication::processEvents();
    ASSERT_EQ(during.size(), 2u);
    EXPECT_EQ(during[0], 7);
    EXPECT_EQ(during[1], 128);
}

TEST_F(HandOver, WithoutVideoThePropertySettingsReportNothing)
{
    qint32 min = 5, max = 5, step = 5, def = 5, actual = 5;
    bool automatic = false;
    EXPECT_EQ(video.GetVideoPropertySettings(VP_Gain, min, max, step, def, actual, automatic), 1);
    EXPECT_EQ(min, -1);
    EXPECT_EQ(max, -1);
    EXPECT_EQ(step, 0);
    EXPECT_EQ(def, 0);
    EXPECT_EQ(actual, 0);
    EXPECT_TRUE(automatic);
    TVideoProcAmp p;
    EXPECT_EQ(TVideoImage::VideoPropertyToProcAmp(VP_Gain, p), 0);
    EXPECT_EQ(p, TVideoProcAmp::Gain);
    EXPECT_EQ(TVideoImage::VideoPropertyToProcAmp(10, p), 1);
    EXPECT_EQ(video.SetVideoPropertySettings(TVideoProperty(12), 0, false), 1);
}

TEST_F(VideoTest, ListsTheTestSourcesAfterTheSystemsDevices)
{
    TVideoImage video;
    QStringList names;
    video.GetListOfDevices(names);
    ASSERT_GE(names.size(), 4);
    EXPECT_EQ(names.mid(names.size() - 4),
              (QStringList{"Test Camera", "Test MJPG Camera", "Short Camera", "Broken Camera"}));
}

TEST_F(VideoTest, DecodesLiveFramesOnTheGuiThread)
{
    TVideoImage video;
    int events = 0;
    qint32 w = 0, h = 0;
    QImage picture;
    video.OnNewVideoFrame = [&](TVideoImage* sender, qint32 width, qint32 height, const quint8* data) {
        ++events;
        w = width;
        h = height;
        EXPECT_NE(data, nullptr);
        sender->GetBitmap(picture);
    };
    ASSERT_EQ(video.VideoStart(QStringLiteral("  test camera ")), 0) << video.LastError().toStdString();
    EXPECT_TRUE(video.VideoRunning());
    ASSERT_TRUE(loopUntil([&] { return events >= 3; }));
    // The device chose one of the formats the decoders know; a white pattern decodes white.
    EXPECT_GT(w, 0);
    EXPECT_GT(h, 0);
    ASSERT_EQ(picture.size(), QSize(w, h));
    const QRgb centre = picture.pixel(w / 2, h / 2);
    EXPECT_GE(qRed(centre), 250);
    EXPECT_GE(qGreen(centre), 250);
    EXPECT_GE(qBlue(centre), 250);

    video.VideoPause();
    EXPECT_TRUE(video.IsPaused());
    video.VideoResume();
    EXPECT_FALSE(video.IsPaused());
    video.VideoStop();
    EXPECT_FALSE(video.VideoRunning());
    EXPECT_EQ(video.FramesPerSecond(), 0.0);
    EXPECT_TRUE(fake->shown().isEmpty());
}

TEST_F(VideoTest, SwitchesFormatsFromTheSortedListAndKeepsRunningWhenOneIsRefused)
{
    TVideoImage video;
    ASSERT_EQ(video.VideoStart(QStringLiteral("Test Camera")), 0) << video.LastError().toStdString();
    QStringList sizes;
    video.GetListOfSupportedVideoSizes(sizes);
    EXPECT_EQ(sizes, (QStringList{"320*240  (I420)", "640*360  (RGB )", "640*480  (YUY2)", "800*600  (H264)"}));

    struct Case { int index; qint32 w, h; quint32 fourCC; };
    for (const Case c : {Case{1, 640, 360, 0}, Case{2, 640, 480, MakeFourCC('Y', 'U', 'Y', '2')},
                         Case{0, 320, 240, MakeFourCC('I', '4', '2', '0')}}) {
        SCOPED_TRACE(c.index);
        video.SetResolutionByIndex(c.index);
        EXPECT_EQ(video.VideoWidth(), c.w);
        EXPECT_EQ(video.VideoHeight(), c.h);
        EXPECT_EQ(video.VideoFourCC(), c.fourCC);
        QImage picture;
        const qint32 shown = video.FramesShown();
        ASSERT_TRUE(loopUntil([&] { return video.FramesShown() > shown + 1; }));
        video.GetBitmap(picture);
        ASSERT_EQ(picture.size(), QSize(c.w, c.h));
        EXPECT_GE(qGreen(picture.pixel(c.w - 1, c.h - 1)), 250);
    }
    EXPECT_TRUE(fake->shown().isEmpty());

    // The device cannot deliver H.264 here: a message, and the video goes on as it was.
    fake->answerMessage(mrOk);
    video.SetResolutionByIndex(3);
    ASSERT_EQ(fake->shown().size(), 1);
    EXPECT_TRUE(fake->shown()[0].text.contains(QStringLiteral("does not deliver this format"))) << fake->shown()[0].text.toStdString();
    EXPECT_TRUE(video.VideoRunning());
    EXPECT_EQ(video.VideoWidth(), 320);
    const qint32 shown = video.FramesShown();
    EXPECT_TRUE(loopUntil([&] { return video.FramesShown() > shown + 1; }));

    // Indexes outside the list change nothing.
    for (int index : {-1, 4}) {
        video.SetResolutionByIndex(index);
        EXPECT_EQ(video.VideoWidth(), 320);
    }
    EXPECT_EQ(fake->shown().size(), 1);
}

TEST_F(VideoTest, MotionJpegFramesDecode)
{
    TVideoImage video;
    ASSERT_EQ(video.VideoStart(QStringLiteral("Test MJPG Camera")), 0) << video.LastError().toStdString();
    EXPECT_EQ(video.VideoFourCC(), MakeFourCC('M', 'J', 'P', 'G'));
    ASSERT_TRUE(loopUntil([&] { return video.FramesShown() >= 2; }));
    TFastDIB bmp;
    video.GetBitmap(bmp);
    ASSERT_EQ(bmp.Info.Header.Width, 320);
    const TFColor p = bmp.GetPixel(10, 10);
    EXPECT_GE(p.r, 230); // the encoder keeps video-range white
    EXPECT_GE(p.b, 230);
}

TEST_F(VideoTest, ASourceThatStopsEndsTheVideoWithAMessageAndKeepsItsLastFrame)
{
    TVideoImage video;
    // Time stands still for the frame source, so none of the ten frames is dropped for a GUI thread
    // that a loaded machine keeps from its event loop.
    video.Clock = [] { return quint32(200000); };
    video.IdleHandler();
    QString reported;
    video.OnVideoError = [&reported](TVideoImage*, const QString& message) { reported = message; };
    fake->answerMessage(mrOk);
    ASSERT_EQ(video.VideoStart(QStringLiteral("Short Camera")), 0) << video.LastError().toStdString();
    ASSERT_TRUE(loopUntil([&] { return !reported.isEmpty(); }));
    EXPECT_FALSE(video.VideoRunning());
    ASSERT_EQ(fake->shown().size(), 1);
    EXPECT_EQ(fake->shown()[0].text, QStringLiteral("Video stopped: The video source stopped delivering frames."));
    EXPECT_GT(video.FramesShown(), 0);
    // What was received stays: the last frame still decodes.
    QImage picture;
    video.GetBitmap(picture);
    EXPECT_EQ(picture.size(), QSize(160, 120));
    // And a new start works.
    ASSERT_EQ(video.VideoStart(QStringLiteral("Test Camera")), 0);
    EXPECT_TRUE(video.VideoRunning());
}

TEST_F(VideoTest, StartsThatCannotWorkFailWithTheirReason)
{
    struct Case { const char* device; const char* message; };
    for (const Case c : {Case{"Broken Camera", "nosuchelement"}, Case{"No Such Camera", "is not connected"}}) {
        SCOPED_TRACE(c.device);
        TVideoImage video;
        const qsizetype before = fake->shown().size();
        fake->answerMessage(mrOk);
        EXPECT_EQ(video.VideoStart(QString::fromLatin1(c.device)), 1);
        EXPECT_FALSE(video.VideoRunning());
        EXPECT_TRUE(video.LastError().contains(QLatin1String(c.message))) << video.LastError().toStdString();
        ASSERT_EQ(fake->shown().size(), before + 1);
        EXPECT_TRUE(fake->shown().back().text.contains(QLatin1String(c.message)));
    }
    EXPECT_TRUE(fake->errors().isEmpty()) << fake->errors().join('\n').toStdString();
}

TEST_F(VideoTest, ThePictureControlsDialogChangesAtOnceAndCancelTakesItBack)
{
    TVideoImage video;
    ASSERT_EQ(video.VideoStart(QStringLiteral("Test Camera")), 0) << video.LastError().toStdString();
    auto brightness = [&video] {
        qint32 min, max, step, def, actual;
        bool automatic;
        EXPECT_EQ(video.GetVideoPropertySettings(VP_Brightness, min, max, step, def, actual, automatic), S_OK);
        EXPECT_FALSE(automatic);
        return actual;
    };
    ASSERT_EQ(brightness(), 0);

    struct Case { bool accept; qint32 after; };
    for (const Case c : {Case{false, 0}, Case{true, 250}}) {
        qint32 during = -1;
        testhelpers::whenShown<QDialog>([&](QDialog* d) {
            auto* slider = d->findChild<QSlider*>(QStringLiteral("Slider_0"));
            ASSERT_NE(slider, nullptr);
            slider->setValue(250);
            during = brightness();
            c.accept ? d->accept() : d->reject();
        }, acquisitiontest::FuseMs);
        EXPECT_EQ(video.ShowProperty(), c.accept ? S_OK : S_FALSE);
        EXPECT_EQ(during, 250);
        EXPECT_EQ(brightness(), c.after);
    }
}

TEST_F(VideoTest, TheFormatDialogSwitchesTheStreamAndTheBitmapFollows)
{
    TVideoImage video;
    ASSERT_EQ(video.VideoStart(QStringLiteral("Test Camera")), 0) << video.LastError().toStdString();
    testhelpers::whenShown<QDialog>([](QDialog* d) {
        auto* list = d->findChild<QListWidget*>(QStringLiteral("FormatList"));
        ASSERT_NE(list, nullptr);
        EXPECT_EQ(list->count(), 4);
        list->setCurrentRow(2); // 640*480  (YUY2)
        d->accept();
    }, acquisitiontest::FuseMs);
    EXPECT_EQ(video.ShowProperty_Stream(), S_OK);
    EXPECT_EQ(video.VideoWidth(), 640);
    EXPECT_EQ(video.VideoHeight(), 480);
    const qint32 shown = video.FramesShown();
    ASSERT_TRUE(loopUntil([&] { return video.FramesShown() > shown + 1; }));
    TFastDIB bmp;
    video.GetBitmap(bmp);
    EXPECT_EQ(bmp.Info.Header.Width, 640);
    EXPECT_EQ(bmp.AbsHeight, 480);

    // A format the device refuses: the message, and the stream as it was.
    testhelpers::whenShown<QDialog>([](QDialog* d) {
        d->findChild<QListWidget*>(QStringLiteral("FormatList"))->setCurrentRow(3); // 800*600  (H264)
        d->accept();
    }, acquisitiontest::FuseMs);
    fake->answerMessage(mrOk);
    EXPECT_LT(video.ShowProperty_Stream(), 0);
    ASSERT_EQ(fake->shown().size(), 1);
    EXPECT_TRUE(fake->shown()[0].text.contains(QStringLiteral("does not deliver this format")));
    EXPECT_TRUE(video.VideoRunning());
    EXPECT_EQ(video.VideoWidth(), 640);
}
