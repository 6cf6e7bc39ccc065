// The capture graph on test-pattern sources: choosing the device, the sorted format list, play
// states, the picture controls of a colour-balance element, the video window and the kept frame.
#include "acquisition/VSample.h"

#include <QCoreApplication>
#include <QImage>
#include <QPointer>
#include <QWidget>
#include <gtest/gtest.h>

#include "EventLoopWait.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <memory>


namespace {

using acquisitiontest::loopUntil;

const char* const kSources =
    "Pattern A|videotestsrc is-live=true ! videobalance|"
    "video/x-raw,format=YUY2,width=640,height=480;video/x-raw,format=YUY2,width=320,height=240;"
    "video/x-raw,format=I420,width=640,height=360"
    "||  Pattern B  |videotestsrc is-live=true|video/x-raw,format=I420,width=160,height=120";

class VSampleTest : public testing::Test {
protected:
    void SetUp() override
    {
        qputenv(VideoExtraSourcesVariable, kSources);
        QStringList names;
        ASSERT_EQ(ListVideoDevices(names), S_OK);
        first = names.indexOf(QStringLiteral("Pattern A")) + 1; // 1-based, after the machine's own devices
        ASSERT_GT(first, 0);
        HRESULT hr = E_FAIL;
        graph = std::make_unique<TVideoSample>(nullptr, false, 0, hr);
        ASSERT_EQ(hr, S_OK);
    }
    void TearDown() override { qunsetenv(VideoExtraSourcesVariable); }

    int first = 0;
    std::unique_ptr<TVideoSample> graph;
};

} // namespace

TEST_F(VSampleTest, ChoosesTheDeviceByNameOrNumber)
{
    struct Case { QString name; QString selected; bool found; };
    const Case cases[] = {
        {QStringLiteral("pattern a"), QStringLiteral("Pattern A"), true},
        {QStringLiteral("   PATTERN B "), QStringLiteral("Pattern B"), true},
        {QStringLiteral("#%1").arg(first + 1), QStringLiteral("Pattern B"), first + 1 <= 9},
        {QStringLiteral("#0"), QString(), false},
        {QStringLiteral("Pattern"), QString(), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name.toStdString());
        QString selected = QStringLiteral("old");
        const HRESULT hr = graph->StartVideo(c.name, false, selected);
        if (c.found) {
            EXPECT_EQ(hr, S_OK) << graph->LastError().toStdString();
            EXPECT_EQ(selected, c.selected);
            EXPECT_EQ(graph->GetPlayState(), PS_Running);
        } else {
            EXPECT_LT(hr, 0);
            EXPECT_TRUE(selected.isEmpty());
            EXPECT_FALSE(graph->LastError().isEmpty());
        }
        graph->StopVideo();
    }
    // An empty name is the first device, whichever it is.
    QStringList names;
    ListVideoDevices(names);
    QString selected;
    if (graph->StartVideo(QString(), false, selected) == S_OK) {
        EXPECT_EQ(selected, names[0].trimmed());
    }
}

TEST_F(VSampleTest, ListsFormatsBySizeAndSwitchesBetweenThem)
{
    QString selected;
    ASSERT_EQ(graph->StartVideo(QStringLiteral("Pattern A"), false, selected), S_OK) << graph->LastError().toStdString();
    QStringList sizes;
    graph->GetListOfVideoSizes(sizes);
    EXPECT_EQ(sizes, (QStringList{"320*240  (YUY2)", "640*360  (I420)", "640*480  (YUY2)"}));
    EXPECT_EQ(graph->FormatArr()[0].OIndex, 1);
    EXPECT_EQ(graph->FormatArr()[0].SSize, 320u * 240 * 2);

    EXPECT_EQ(graph->SetVideoSizeByListIndex(1), S_OK);
    qint32 w = 0, h = 0;
    quint32 fourCC = 0;
    ASSERT_EQ(graph->GetStreamInfo(w, h, fourCC), S_OK);
    EXPECT_EQ(w, 640);
    EXPECT_EQ(h, 360);
    EXPECT_EQ(fourCC, MakeFourCC('I', '4', '2', '0'));
    EXPECT_EQ(graph->SetVideoSizeByListIndex(-1), S_FALSE);
    EXPECT_EQ(graph->SetVideoSizeByListIndex(3), S_FALSE);

    EXPECT_EQ(graph->PauseVideo(), S_OK);
    EXPECT_EQ(graph->GetPlayState(), PS_Paused);
    EXPECT_EQ(graph->PauseVideo(), S_OK);
    EXPECT_EQ(graph->ResumeVideo(), S_OK);
    EXPECT_EQ(graph->GetPlayState(), PS_Running);

    EXPECT_EQ(graph->StopVideo(), S_OK);
    graph->GetListOfVideoSizes(sizes);
    EXPECT_TRUE(sizes.isEmpty());
    EXPECT_EQ(graph->PauseVideo(), S_FALSE);
    EXPECT_EQ(graph->GetPlayState(), PS_Stopped);
    EXPECT_EQ(graph->ResumeVideo(), S_FALSE);
}

TEST_F(VSampleTest, FramesReachTheCallbackWithTheFormatsSize)
{
    QString selected;
    ASSERT_EQ(graph->StartVideo(QStringLiteral("Pattern B"), false, selected), S_OK);
    std::atomic<int> frames{0};
    std::atomic<int> wrongSize{0};
    graph->SetCallBack([&](const quint8*, qint32& size) {
        ++frames;
        if (size != 160 * 120 * 3 / 2)
            ++wrongSize;
    });
    EXPECT_TRUE(loopUntil([&] { return frames >= 5; }));
    graph->SetCallBack(nullptr);
    EXPECT_EQ(wrongSize.load(), 0);
}

TEST_F(VSampleTest, PictureControlsOfTheColourBalance)
{
    qint32 min = 0, max = 0, step = 0, def = 0, flags = 0, actual = 0;
    // Before a start there is no amplifier.
    EXPECT_EQ(graph->GetVideoPropAmpEx(TVideoProcAmp::Saturation, min, max, step, def, flags, actual), 1);
    qint32 percent = 0;
    graph->GetVideoPropAmpPercent(TVideoProcAmp::Saturation, percent);
    EXPECT_EQ(percent, -1);

    QString selected;
    ASSERT_EQ(graph->StartVideo(QStringLiteral("Pattern A"), false, selected), S_OK);
    ASSERT_EQ(graph->GetVideoPropAmpEx(TVideoProcAmp::Saturation, min, max, step, def, flags, actual), S_OK);
    // The balance's channels run from -1000 to 1000 and rest in the middle.
    EXPECT_EQ(min, -1000);
    EXPECT_EQ(max, 1000);
    EXPECT_EQ(def, 0);
    EXPECT_EQ(actual, 0);
    EXPECT_EQ(flags, VideoProcAmpFlagsManual);
    graph->GetVideoPropAmpPercent(TVideoProcAmp::Saturation, percent);
    EXPECT_EQ(percent, 50);

    struct Case { qint32 percent; qint32 value; };
    for (const Case c : {Case{25, -500}, Case{100, 1000}, Case{0, -1000}, Case{101, 0}, Case{-1, 0}, Case{73, 460}}) {
        graph->SetVideoPropAmpPercent(TVideoProcAmp::Saturation, c.percent);
        graph->GetVideoPropAmpEx(TVideoProcAmp::Saturation, min, max, step, def, flags, actual);
        EXPECT_EQ(actual, c.value) << c.percent;
    }
    EXPECT_EQ(graph->SetVideoPropAmpEx(TVideoProcAmp::Brightness, VideoProcAmpFlagsManual, -300), S_OK);
    graph->GetVideoPropAmpEx(TVideoProcAmp::Brightness, min, max, step, def, flags, actual);
    EXPECT_EQ(actual, -300);
    EXPECT_LT(graph->SetVideoPropAmpEx(TVideoProcAmp::Brightness, VideoProcAmpFlagsManual, 5000), 0);
    // The balance has no gain control.
    EXPECT_LT(graph->GetVideoPropAmpEx(TVideoProcAmp::Gain, min, max, step, def, flags, actual), 0);
}

namespace {

// The pattern's bars from the left: 75 % white, then yellow. Scaled and converted from YUV, so the
// colours are compared with room to spare.
bool showsTheBars(const QImage& image)
{
    if (image.isNull())
        return false;
    const int y = image.height() / 4;
    const QColor white = image.pixelColor(image.width() / 14, y);
    const QColor yellow = image.pixelColor(image.width() * 3 / 14, y);
    return white.red() > 150 && std::abs(white.red() - white.blue()) < 25 && std::abs(white.green() - white.blue()) < 25
        && yellow.red() > 150 && yellow.green() > 150 && yellow.blue() < 80;
}

} // namespace

TEST_F(VSampleTest, VisibleGraphShowsTheFramesInAWindowOfTheOwner)
{
    QWidget owner;
    owner.resize(400, 300);
    HRESULT hr = E_FAIL;
    auto visible = std::make_unique<TVideoSample>(&owner, false, 0, hr);
    ASSERT_EQ(hr, S_OK);
    QString selected;

    // Without Visible the frames go to the callback only.
    ASSERT_EQ(visible->StartVideo(QStringLiteral("Pattern B"), false, selected), S_OK) << visible->LastError().toStdString();
    EXPECT_EQ(visible->VideoWindow(), nullptr);

    ASSERT_EQ(visible->StartVideo(QStringLiteral("Pattern B"), true, selected), S_OK) << visible->LastError().toStdString();
    QPointer<QWidget> window = visible->VideoWindow();
    ASSERT_TRUE(window);
    EXPECT_EQ(window->parentWidget(), &owner);
    EXPECT_TRUE(window->isVisibleTo(&owner));
    EXPECT_EQ(window->geometry(), QRect(0, 0, 400, 300));

    owner.resize(520, 330);
    visible->ResizeVideoWindow();
    EXPECT_EQ(window->geometry(), QRect(0, 0, 520, 330));

    // The 160 x 120 I420 pattern, decoded and stretched over the window.
    EXPECT_TRUE(loopUntil([&] { return showsTheBars(window->grab().toImage()); }));

    // A restart of the same graph keeps its one window.
    EXPECT_EQ(visible->RestartVideo(), S_OK);
    EXPECT_EQ(visible->VideoWindow(), window.data());
    EXPECT_EQ(owner.findChildren<QWidget*>(QStringLiteral("VideoWindow")).size(), 1);

    EXPECT_EQ(visible->StopVideo(), S_OK);
    EXPECT_TRUE(window.isNull());
    EXPECT_EQ(visible->VideoWindow(), nullptr);
    EXPECT_TRUE(owner.findChildren<QWidget*>(QStringLiteral("VideoWindow")).isEmpty());
    QCoreApplication::processEvents(); // a repaint still queued finds no window

    // Freeing the graph takes its window too.
    ASSERT_EQ(visible->StartVideo(QStringLiteral("Pattern B"), true, selected), S_OK);
    window = visible->VideoWindow();
    ASSERT_TRUE(window);
    visible.reset();
    EXPECT_TRUE(window.isNull());
    QCoreApplication::processEvents();
}

TEST_F(VSampleTest, ImageBufferCopiesTheKeptFrameOnlyWhileBuffering)
{
    std::unique_ptr<quint8[]> pb;
    qint32 size = 0;
    // Stopped, and without buffering: nothing to copy, nothing touched.
    EXPECT_LT(graph->GetImageBuffer(pb, size), 0);
    QString selected;
    ASSERT_EQ(graph->StartVideo(QStringLiteral("Pattern A"), false, selected), S_OK) << graph->LastError().toStdString();
    // Frames have come, and still none is kept.
    std::atomic<int> frames{0};
    graph->SetCallBack([&frames](const quint8*, qint32&) { ++frames; });
    ASSERT_TRUE(loopUntil([&] { return frames > 0; }));
    graph->SetCallBack(nullptr);
    EXPECT_EQ(graph->GetImageBuffer(pb, size), E_INVALIDARG);
    EXPECT_FALSE(pb);
    EXPECT_EQ(size, 0);

    const auto waitForFrame = [&](qint32 wanted) {
        HRESULT hr = E_FAIL;
        loopUntil([&] {
            hr = graph->GetImageBuffer(pb, size);
            return hr == S_OK && size == wanted;
        });
        return hr;
    };

    EXPECT_EQ(graph->SetBufferSamples(true), S_OK);
    // A caller's buffer of another size is given up, not overrun.
    pb = std::make_unique<quint8[]>(16);
    size = 16;
    ASSERT_EQ(waitForFrame(640 * 480 * 2), S_OK);
    ASSERT_EQ(size, 640 * 480 * 2);
    ASSERT_TRUE(pb);
    // YUY2 of the white bar at the top left: bright luma, colourless chroma.
    EXPECT_GT(pb[0], 150);
    EXPECT_NEAR(pb[1], 128, 10);
    EXPECT_NEAR(pb[3], 128, 10);

    // A buffer of the right size is filled in place.
    const quint8* kept = pb.get();
    std::memset(pb.get(), 0, size_t(size));
    EXPECT_EQ(graph->GetImageBuffer(pb, size), S_OK);
    EXPECT_EQ(pb.get(), kept);
    EXPECT_EQ(size, 640 * 480 * 2);
    EXPECT_GT(pb[0], 150);

    // Another format: the buffer follows the new frame size.
    ASSERT_EQ(graph->SetVideoSizeByListIndex(0), S_OK);
    ASSERT_EQ(waitForFrame(320 * 240 * 2), S_OK);
    EXPECT_EQ(size, 320 * 240 * 2);
    EXPECT_GT(pb[0], 150);

    // Buffering off again, or no pipeline: a failure that leaves the caller's buffer alone.
    EXPECT_EQ(graph->SetBufferSamples(false), S_OK);
    EXPECT_EQ(graph->GetImageBuffer(pb, size), E_INVALIDARG);
    EXPECT_EQ(graph->SetBufferSamples(true), S_OK);
    graph->StopVideo();
    kept = pb.get();
    EXPECT_EQ(graph->GetImageBuffer(pb, size), VFW_E_WRONG_STATE);
    EXPECT_EQ(pb.get(), kept);
    EXPECT_EQ(size, 320 * 240 * 2);
}

TEST_F(VSampleTest, ExtendedPropertiesAreNotOffered)
{
    const QUuid propSet(QStringLiteral("{c6e13360-30ac-11d0-a18c-00a0c9118956}"));
    quint8 instance[8] = {};
    quint8 data[16] = {};
    const auto check = [&] {
        quint32 returned = 77;
        EXPECT_EQ(graph->GetExProp(propSet, 1, instance, sizeof instance, data, sizeof data, returned), E_NOINTERFACE);
        EXPECT_EQ(returned, 0u);
        EXPECT_EQ(graph->SetExProp(propSet, 1, instance, sizeof instance, data, sizeof data), E_NOINTERFACE);
        EXPECT_FALSE(graph->LastError().isEmpty());
        for (quint8 b : data)
            EXPECT_EQ(b, 0);
    };
    check();
    QString selected;
    ASSERT_EQ(graph->StartVideo(QStringLiteral("Pattern A"), false, selected), S_OK);
    check();
}
