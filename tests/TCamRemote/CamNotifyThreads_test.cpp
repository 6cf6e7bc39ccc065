// SDK threads appending to the notification queue while the GUI thread dispatches: nothing is lost
// or reordered, a live-view picture never piles up, and a component can go away while an SDK thread
// still calls it. Built once more with ThreadSanitizer (JEX4_TSAN), which checks the locking.
#include "CamRemoteFakes.h"
#include "SimCamera.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <thread>
#include <vector>

namespace {

void scan(FakeCamera& f)
{
    f.cd->cameras = {QStringLiteral("PowerShot A")};
    f.cam->OpenCameraEnumeration();
    f.cam->Connect(CamModPowerShot, 0);
    f.cam->RemoteStart(ReleaseModeOnlyToPC, ReleaseDataKingTakeBothThumbAndPic, false, QString());
    f.cam->RemoteStartViewfinder(false);
}

} // namespace

TEST(CamNotifyThreads, SdkThreadsAppendWhileTheGuiThreadDispatches)
{
    FakeCamera f;
    scan(f);
    const uintptr_t slot = uintptr_t(f.cam->InstanceNumber());

    constexpr int kThreads = 4;
    constexpr int kPerThread = 1500;
    std::map<int, std::vector<int>> progress; // per thread, in arrival order
    int pictures = 0;
    int releases = 0;
    f.cam->setOnRemoteTakePictureEvent([&](int p) { progress[p / 100000].push_back(p % 100000); });
    f.cam->setOnRemoteEvent([&](RemoteEventCallbackType e, const AdditionNotifyRemoteEventType& d) {
        EXPECT_EQ(e, RemoteEventCallbackReleaseComplete);
        EXPECT_TRUE(d.NumOfEvents == 2 || d.NumOfEvents == 4); // halved or not, as the mode was then
        ++releases;
    });
    auto onPicture = [&](const QByteArray& jpeg, const ViewfinderPositionType&) {
        EXPECT_EQ(jpeg.size(), 64);
        ++pictures;
    };
    f.cam->setOnViewfinderEvent(onPicture);

    std::atomic<int> running{kThreads};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            const QByteArray frame(64, char(t));
            const uint32_t count = 4;
            for (int i = 0; i < kPerThread; ++i) {
                TakePictureProgress(uint32_t(t * 100000 + i), 0, slot);
                CDViewfinderCallback(frame.constData(), uint32_t(frame.size()), 0, slot);
                if (i % 50 == 0)
                    SDKRemoteEventCallback(29, &count, 4, slot);
            }
            --running;
        });
    }
    // The GUI thread dispatches meanwhile, and changes what the callbacks read.
    int ticks = 0;
    while (running > 0 || f.cam->NotifyQueueCount() > 0) {
        f.cam->NotifyTimerTimer();
        if (++ticks % 500 == 0) {
            f.cam->RemoteStart(ticks % 1000 ? ReleaseModeOnlyToPC : ReleaseModeBothPCAndCamera,
                               ticks % 1000 ? ReleaseDataKingTakeBothThumbAndPic : ReleaseDataKindTakeOnlyPicture,
                               false, QString());
            f.cam->setOnViewfinderEvent(onPicture);
        }
    }
    for (std::thread& t : threads)
        t.join();

    ASSERT_EQ(int(progress.size()), kThreads);
    for (const auto& [thread, seen] : progress) {
        SCOPED_TRACE(thread);
        ASSERT_EQ(int(seen.size()), kPerThread);
        for (int i = 0; i < kPerThread; ++i)
            ASSERT_EQ(seen[i], i) << "lost or reordered";
    }
    EXPECT_EQ(releases, kThreads * (kPerThread / 50));
    EXPECT_GE(pictures, 1);
    EXPECT_LE(pictures, kThreads * kPerThread);
}

TEST(CamNotifyThreads, ComponentGoesAwayWhileAnSdkThreadCallsIt)
{
    auto f = std::make_unique<FakeCamera>();
    scan(*f);
    f->cam->setOnRemoteTakePictureEvent([](int) {});
    f->cam->setOnViewfinderEvent([](const QByteArray&, const ViewfinderPositionType&) {});
    const uintptr_t slot = uintptr_t(f->cam->InstanceNumber());
    std::atomic<bool> stop{false};
    std::atomic<int> calls{0};
    std::thread sdk([&] {
        const QByteArray frame(32, 'x');
        while (!stop) {
            TakePictureProgress(1, 0, slot);
            PRViewfinderCallback(0, slot, uint32_t(frame.size()), frame.constData());
            ++calls;
        }
    });
    while (calls < 200)
        std::this_thread::yield();
    f.reset(); // the slot empties; later calls find no component
    const int after = calls;
    while (calls < after + 200)
        std::this_thread::yield();
    stop = true;
    sdk.join();
    SUCCEED();
}

// The notification timer itself, in a running event loop, hands out what an SDK thread queued.
TEST(CamNotifyThreads, TheTimerDeliversInTheEventLoop)
{
    FakeCamera f;
    scan(f);
    std::vector<int> seen;
    f.cam->setOnGetPictureEvent([&](int p) { seen.push_back(p); });
    const uintptr_t slot = uintptr_t(f.cam->InstanceNumber());
    std::thread sdk([slot] {
        for (int i = 1; i <= 5; ++i)
            CDGetPictureProgress(uint32_t(i * 20), 0, slot);
    });
    sdk.join();
    QElapsedTimer waited;
    waited.start();
    while (seen.size() < 5 && waited.elapsed() < 30000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    EXPECT_EQ(seen, std::vector<int>({20, 40, 60, 80, 100}));
}

// The simulated camera raises its events from the library's own thread, as a real SDK does.
TEST(CamNotifyThreads, TheSimulatedCamerasEventsArriveFromItsThreadWhileTheGuiThreadDispatches)
{
    SimCamera::useStandIns();
    qputenv("JEX4_SIMCAM_CAMERAS", "live");
    TCamRemote cam;
    ASSERT_EQ(cam.OpenCameraEnumeration().EOSCameras.size(), 1);
    SimCamera sim;
    ASSERT_TRUE(sim.attach());
    ASSERT_EQ(cam.Connect(CamModEOS, 0).CameraModel, CamModEOS);

    constexpr int kEvents = 300;
    int changed = 0;
    int described = 0;
    cam.setOnEvent([&](const EventCallbackType& e) {
        if (e.Event == EventRemoteParameterChanged)
            ++changed;
        else if (e.Event == EventRemoteNewSupportedParameters)
            ++described;
    });
    std::atomic<bool> raised{false};
    std::thread control([&] {
        for (int i = 0; i < kEvents; ++i)
            sim.SimCam_RaiseEvent(0, i % 2 ? kEdsPropertyEvent_PropertyDescChanged : kEdsPropertyEvent_PropertyChanged,
                                  kEdsPropID_ISOSpeed);
        raised = true;
    });
    QElapsedTimer waited;
    waited.start();
    while ((changed + described < kEvents) && waited.elapsed() < 30000)
        cam.NotifyTimerTimer();
    control.join();
    ASSERT_TRUE(sim.SimCam_WaitIdle(30000));
    while (cam.NotifyQueueCount() > 0)
        cam.NotifyTimerTimer();
    EXPECT_TRUE(raised);
    EXPECT_EQ(changed, kEvents / 2);
    EXPECT_EQ(described, kEvents / 2);
    cam.Disconnect();
    cam.CloseCameraEnumeration();
}
