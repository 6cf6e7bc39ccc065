// The SDK callbacks and the notification queue: what each callback makes of the SDK's codes, that
// the dispatcher hands out one notification per tick in order, and what is dropped.
#include "CamRemoteFakes.h"

#include "TCamRemote/Sources/EDSDK.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <optional>
#include <vector>

namespace {

class OSVersionScope {
public:
    explicit OSVersionScope(std::optional<int> major) : m_saved(TCamRemote::OSMajorVersion)
    {
        TCamRemote::OSMajorVersion = [major] { return major; };
    }
    ~OSVersionScope() { TCamRemote::OSMajorVersion = m_saved; }

private:
    std::function<std::optional<int>()> m_saved;
};

// A scanned component (so its queue exists) with a camera of the given kind connected.
void connect(FakeCamera& f, CamModType model)
{
    f.cd->cameras = {QStringLiteral("PowerShot A")};
    f.ed->cameras = {QStringLiteral("EOS B")};
    f.cam->OpenCameraEnumeration();
    f.cam->Connect(model, 0);
}

uintptr_t context(const FakeCamera& f)
{
    return uintptr_t(f.cam->InstanceNumber());
}

void drain(TCamRemote& cam)
{
    for (int i = 0; i < 1000 && cam.NotifyQueueCount() > 0; ++i)
        cam.NotifyTimerTimer();
}

// The 412-byte event record of the newer-PowerShot SDK with the given code and parameters.
PRReleaseRecord prRecord(uint16_t code, std::vector<uint32_t> parameters = {})
{
    PRReleaseRecord r{};
    const uint32_t length = 412;
    std::memcpy(r.data(), &length, 4);
    std::memcpy(r.data() + 6, &code, 2);
    for (size_t i = 0; i < parameters.size(); ++i)
        std::memcpy(r.data() + 12 + 4 * i, &parameters[i], 4);
    return r;
}

} // namespace

TEST(CamNotify, TenNotificationsReachTheirEventOverTenTicksInOrder)
{
    FakeCamera f;
    connect(f, CamModPowerShot);
    std::vector<int> seen;
    f.cam->setOnRemoteTakePictureEvent([&](int percent) { seen.push_back(percent); });
    for (int i = 1; i <= 10; ++i)
        TakePictureProgress(uint32_t(i * 10), 0, context(f));
    EXPECT_EQ(f.cam->NotifyQueueCount(), 10);
    for (int tick = 1; tick <= 10; ++tick) {
        f.cam->NotifyTimerTimer();
        ASSERT_EQ(int(seen.size()), tick);
        EXPECT_EQ(seen.back(), tick * 10);
    }
    f.cam->NotifyTimerTimer(); // empty queue: nothing
    EXPECT_EQ(seen.size(), 10u);
}

TEST(CamNotify, NotificationsForUnsetEventsAreDroppedWhenQueuedAndWhenDue)
{
    FakeCamera f;
    connect(f, CamModPowerShot);
    // Unset when the callback runs: not queued at all.
    CDGetPictureProgress(50, 0, context(f));
    CDRemoteGetPictureProgress(50, 0, context(f));
    EXPECT_EQ(f.cam->NotifyQueueCount(), 0);

    int calls = 0;
    f.cam->setOnGetPictureEvent([&](int) { ++calls; });
    f.cam->setOnRemoteGetPictureEvent([&](int) { ++calls; });
    CDGetPictureProgress(60, 0, context(f));
    CDRemoteGetPictureProgress(70, 0, context(f));
    EXPECT_EQ(f.cam->NotifyQueueCount(), 2);
    // Unset after queueing: the entry goes without a call.
    f.cam->setOnGetPictureEvent({});
    f.cam->NotifyTimerTimer();
    EXPECT_EQ(calls, 0);
    EXPECT_EQ(f.cam->NotifyQueueCount(), 1);
    f.cam->NotifyTimerTimer();
    EXPECT_EQ(calls, 1);
}

TEST(CamNotify, CallbacksWithoutQueueOrComponentAreDropped)
{
    FakeCamera f;
    int calls = 0;
    f.cam->setOnRemoteTakePictureEvent([&](int) { ++calls; });
    TakePictureProgress(10, 0, context(f)); // no scan yet: no queue
    TakePictureProgress(10, 0, 4711);       // no such component
    PREventCallback(0, context(f), nullptr);
    connect(f, CamModPowerShot);
    TakePictureProgress(20, 0, context(f));
    TakePictureProgress(30, 0, context(f));
    f.cam->CloseCameraEnumeration(); // waiting notifications go with the queue
    EXPECT_EQ(f.cam->NotifyQueueCount(), 0);
    f.cam->NotifyTimerTimer();
    EXPECT_EQ(calls, 0);
}

TEST(CamNotify, OlderPowerShotEventsBecomeSeverityAndEvent)
{
    struct Case {
        uint32_t code;
        uint32_t data;
        EventSeverityType severity;
        EventEnumType event;
    };
    const Case cases[] = {
        {0x00000001, 6, EventSeverityInfo, EventBatteryLevelNormal},
        {0x00020001, 0xF4, EventSeverityWarning, EventBatteryLevelWeak}, // only the low 4 bits count
        {0x00040001, 3, EventSeverityClosing, EventBatteryLevelSafetyLow},
        {0x00000001, 2, EventSeverityInfo, EventBatteryLevelLB},
        {0x00000001, 5, EventSeverityInfo, EventNotUsed},
        {0x00010002, 0, EventSeverityNotUsed, EventDialChanged},
        {0x00000003, 0, EventSeverityInfo, EventCFGateOpened},
        {0x00000004, 0, EventSeverityInfo, EventBatteryCoverOpened},
        {0x00040006, 0, EventSeverityClosing, EventUnrecoverableError},
        {0x00000007, 0, EventSeverityInfo, EventUnkonwnCommandReceived},
        {0x0000000B, 0, EventSeverityInfo, EventRemoteParameterChanged},
        {0x0004000D, 0, EventSeverityClosing, EventConnectionDisappeared},
        {0x00000063, 0, EventSeverityInfo, EventNotUsed}, // unknown codes still arrive
    };
    FakeCamera f;
    connect(f, CamModPowerShot);
    std::vector<EventCallbackType> events;
    f.cam->setOnEvent([&](const EventCallbackType& e) { events.push_back(e); });
    for (const Case& c : cases)
        CDEventCallback(c.code, &c.data, 4, context(f));
    drain(*f.cam);
    ASSERT_EQ(events.size(), std::size(cases));
    for (size_t i = 0; i < events.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(events[i].Severity, cases[i].severity);
        EXPECT_EQ(events[i].Event, cases[i].event);
    }
    // A battery event without its data value reads as 0, not past the SDK's buffer.
    CDEventCallback(1, nullptr, 0, context(f));
    drain(*f.cam);
    EXPECT_EQ(events.back().Event, EventNotUsed);
}

// Only a component that listens to camera events keeps a camera from switching itself off; the
// request goes to the camera on the GUI thread at the next tick.
TEST(CamNotify, SwitchOffAnnouncementsExtendTheTimerOnlyWhenOnEventIsSet)
{
    for (const bool listening : {false, true}) {
        SCOPED_TRACE(listening);
        {
            FakeCamera f;
            connect(f, CamModPowerShot);
            if (listening)
                f.cam->setOnEvent([](const EventCallbackType&) {});
            CDEventCallback(5, nullptr, 0, context(f));
            EXPECT_FALSE(f.log.has("CD.ExtendShutdownTimer")); // not on the SDK's thread
            drain(*f.cam);
            EXPECT_EQ(f.log.has("CD.ExtendShutdownTimer"), listening);
        }
        {
            FakeCamera f;
            connect(f, CamModEOS);
            int events = 0;
            if (listening)
                f.cam->setOnEvent([&](const EventCallbackType&) { ++events; });
            EOSStateEventCallback(kEdsStateEvent_WillSoonShutDown, 0, &f.ed->mInstanceNumber);
            drain(*f.cam);
            EXPECT_EQ(f.log.has("ED.ExtendShutdownTimer"), listening);
            EXPECT_EQ(events, 0);
        }
    }
}

TEST(CamNotify, EosPropertyAndStateEvents)
{
    FakeCamera f;
    connect(f, CamModEOS);
    std::vector<EventCallbackType> events;
    f.cam->setOnEvent([&](const EventCallbackType& e) { events.push_back(e); });
    void* ctx = &f.ed->mInstanceNumber;
    EOSPropertyEventCallback(kEdsPropertyEvent_PropertyChanged, kEdsPropID_ISOSpeed, 0, ctx);
    EOSPropertyEventCallback(kEdsPropertyEvent_PropertyDescChanged, kEdsPropID_Av, 0, ctx);
    EOSPropertyEventCallback(0x1FF, 0, 0, ctx);
    EOSStateEventCallback(kEdsStateEvent_Shutdown, 0, ctx);
    EOSStateEventCallback(kEdsStateEvent_CaptureError, 0, ctx);
    EOSStateEventCallback(kEdsStateEvent_InternalError, 0, ctx);
    EOSStateEventCallback(kEdsStateEvent_JobStatusChanged, 0, ctx);
    drain(*f.cam);
    const std::vector<EventCallbackType> expected = {
        {EventSeverityInfo, EventRemoteParameterChanged},
        {EventSeverityInfo, EventRemoteNewSupportedParameters},
        {EventSeverityClosing, EventRemoteShutdownReasonNotKnown},
        {EventSeverityClosing, EventRemoteCaptureError},
        {EventSeverityClosing, EventUnrecoverableError},
    };
    EXPECT_EQ(events, expected);
}

TEST(CamNotify, ReleaseEventsCountPicturesByTheRecordedReleaseSettings)
{
    struct Case {
        ReleaseModeType mode;
        ReleaseDataKindType kind;
        uint32_t code;
        uint32_t data;
        RemoteEventCallbackType event;
        NotifyRemoteEventValidType valid;
        int count;
    };
    const Case cases[] = {
        {ReleaseModeOnlyToPC, ReleaseDataKingTakeBothThumbAndPic, 29, 3, RemoteEventCallbackReleaseComplete, NotifyRemoteEventValid1, 1},
        {ReleaseModeOnlyToPC, ReleaseDataKindTakeOnlyPicture, 29, 3, RemoteEventCallbackReleaseComplete, NotifyRemoteEventValid1, 3},
        {ReleaseModeBothPCAndCamera, ReleaseDataKingTakeBothThumbAndPic, 29, 4, RemoteEventCallbackReleaseComplete, NotifyRemoteEventValid1, 2},
        {ReleaseModeOnlyToCamera, ReleaseDataKindTakeOnlyPicture, 29, 3, RemoteEventCallbackReleaseComplete, NotifyRemoteEventValid1, 0},
        {ReleaseModeOnlyToPC, ReleaseDataKindTakeOnlyPicture, 10, 0, RemoteEventCallbackResetHWError, NoNotifyRemoteEventValid, 0},
        {ReleaseModeOnlyToPC, ReleaseDataKindTakeOnlyPicture, 27, 0, RemoteEventCallbackChangedByUI, NoNotifyRemoteEventValid, 0},
        {ReleaseModeOnlyToPC, ReleaseDataKindTakeOnlyPicture, 28, 0, RemoteEventCallbackReleaseStart, NoNotifyRemoteEventValid, 0},
        {ReleaseModeOnlyToPC, ReleaseDataKindTakeOnlyPicture, 30, 0, RemoteEventCallbackCamReleaseOn, NoNotifyRemoteEventValid, 0},
        {ReleaseModeOnlyToPC, ReleaseDataKindTakeOnlyPicture, 32, 0, RemoteEventCallbackViewfinderOff, NoNotifyRemoteEventValid, 0},
        {ReleaseModeOnlyToPC, ReleaseDataKindTakeOnlyPicture, 33, 0, RemoteEventCallbackViewfinderOn, NoNotifyRemoteEventValid, 0},
        {ReleaseModeOnlyToPC, ReleaseDataKindTakeOnlyPicture, 31, 5, RemoteEventCallbackNotUsed, NoNotifyRemoteEventValid, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.code);
        FakeCamera f;
        connect(f, CamModPowerShot);
        f.cam->RemoteStart(c.mode, c.kind, false, QString());
        std::vector<std::pair<RemoteEventCallbackType, AdditionNotifyRemoteEventType>> seen;
        f.cam->setOnRemoteEvent([&](RemoteEventCallbackType e, const AdditionNotifyRemoteEventType& d) {
            seen.emplace_back(e, d);
        });
        SDKRemoteEventCallback(c.code, &c.data, 4, context(f));
        drain(*f.cam);
        ASSERT_EQ(seen.size(), 1u);
        EXPECT_EQ(seen[0].first, c.event);
        EXPECT_EQ(seen[0].second.EventValid, c.valid);
        EXPECT_EQ(seen[0].second.NumOfEvents, c.count);
        EXPECT_EQ(seen[0].second.TypeOfPicture, TypeOfPictureNo);
    }
}

TEST(CamNotify, OneLiveViewPictureWaitsAtATime)
{
    FakeCamera f;
    connect(f, CamModPowerShot);
    f.cam->RemoteStart(ReleaseModeOnlyToPC, ReleaseDataKindTakeOnlyPicture, false, QString());
    f.cam->RemoteStartViewfinder(false);
    QList<QByteArray> pictures;
    f.cam->setOnViewfinderEvent([&](const QByteArray& jpeg, const ViewfinderPositionType&) { pictures << jpeg; });
    const QByteArray a("\xFF\xD8 first"), b("\xFF\xD8 second"), c("\xFF\xD8 third");
    CDViewfinderCallback(a.constData(), uint32_t(a.size()), 0, context(f));
    CDViewfinderCallback(b.constData(), uint32_t(b.size()), 0, context(f)); // dropped: one waits
    TakePictureProgress(5, 0, context(f));                                   // other kinds are not held back
    f.cam->setOnRemoteTakePictureEvent([](int) {});
    TakePictureProgress(6, 0, context(f));
    EXPECT_EQ(f.cam->NotifyQueueCount(), 2);
    f.cam->NotifyTimerTimer();
    EXPECT_EQ(pictures, QList<QByteArray>({a}));
    CDViewfinderCallback(c.constData(), uint32_t(c.size()), 0, context(f)); // room again
    drain(*f.cam);
    EXPECT_EQ(pictures, QList<QByteArray>({a, c}));
}

// The newer-PowerShot live view may ask to call the handler on the SDK's thread; the picture goes
// through the queue all the same, so the handler always runs on the GUI thread.
TEST(CamNotify, NewerPowerShotLiveViewIsQueuedEvenOnTheSdksThread)
{
    OSVersionScope os(5);
    FakeCamera f;
    f.pr->cameras = {QStringLiteral("PowerShot new")};
    connect(f, CamModPowerShot);
    f.cam->Disconnect();
    f.cam->Connect(CamModPowerShot, 1);
    const QByteArray jpeg("\xFF\xD8 live");
    int calls = 0;
    bool valid = true;
    f.cam->setOnViewfinderEvent([&](const QByteArray& data, const ViewfinderPositionType& m) {
        ++calls;
        valid = m.Valid;
        EXPECT_EQ(data, jpeg);
    });
    PRViewfinderCallback(0, context(f), uint32_t(jpeg.size()), jpeg.constData()); // live view off: ignored
    EXPECT_EQ(f.cam->NotifyQueueCount(), 0);
    f.cam->RemoteStart(ReleaseModeOnlyToPC, ReleaseDataKindTakeOnlyPicture, false, QString());
    f.cam->RemoteStartViewfinder(true);
    PRViewfinderCallback(0, context(f), uint32_t(jpeg.size()), jpeg.constData());
    EXPECT_EQ(calls, 0);
    f.cam->NotifyTimerTimer();
    EXPECT_EQ(calls, 1);
    EXPECT_FALSE(valid);
}

// The metadata belongs to the component, not to the camera: an EOS live view leaves it valid, and
// the newer PowerShot that follows on the same component must not hand it on.
TEST(CamNotify, NewerPowerShotLiveViewAfterAnEosOneCarriesNoMetadata)
{
    static char picture[] = "\xFF\xD8 eos";
    static int handle = 0;
    struct EvfStubs {
        decltype(eds::EdsCreateMemoryStream) stream = eds::EdsCreateMemoryStream;
        decltype(eds::EdsCreateEvfImageRef) image = eds::EdsCreateEvfImageRef;
        decltype(eds::EdsDownloadEvfImage) download = eds::EdsDownloadEvfImage;
        decltype(eds::EdsGetPropertyData) property = eds::EdsGetPropertyData;
        decltype(eds::EdsGetPointer) pointer = eds::EdsGetPointer;
        decltype(eds::EdsGetLength) length = eds::EdsGetLength;
        decltype(eds::EdsRelease) release = eds::EdsRelease;
        EvfStubs()
        {
            eds::EdsCreateMemoryStream = [](EdsUInt64, EdsStreamRef* out) -> EdsError {
                *out = reinterpret_cast<EdsStreamRef>(&handle);
                return EDS_ERR_OK;
            };
            eds::EdsCreateEvfImageRef = [](EdsStreamRef, EdsEvfImageRef* out) -> EdsError {
                *out = reinterpret_cast<EdsEvfImageRef>(&handle);
                return EDS_ERR_OK;
            };
            eds::EdsDownloadEvfImage = [](EdsCameraRef, EdsEvfImageRef) -> EdsError { return EDS_ERR_OK; };
            eds::EdsGetPropertyData = [](EdsBaseRef, EdsPropertyID, EdsInt32, EdsUInt32, EdsVoid*) -> EdsError {
                return EDS_ERR_OK;
            };
            eds::EdsGetPointer = [](EdsStreamRef, EdsVoid** out) -> EdsError {
                *out = picture;
                return EDS_ERR_OK;
            };
            eds::EdsGetLength = [](EdsStreamRef, EdsUInt64* out) -> EdsError {
                *out = sizeof picture - 1;
                return EDS_ERR_OK;
            };
            eds::EdsRelease = [](EdsBaseRef) -> EdsError { return EDS_ERR_OK; };
        }
        ~EvfStubs()
        {
            eds::EdsCreateMemoryStream = stream;
            eds::EdsCreateEvfImageRef = image;
            eds::EdsDownloadEvfImage = download;
            eds::EdsGetPropertyData = property;
            eds::EdsGetPointer = pointer;
            eds::EdsGetLength = length;
            eds::EdsRelease = release;
        }
    };

    OSVersionScope os(5);
    FakeCamera f;
    f.pr->cameras = {QStringLiteral("PowerShot new")};
    std::vector<bool> valid;
    f.cam->setOnViewfinderEvent([&](const QByteArray&, const ViewfinderPositionType& m) { valid.push_back(m.Valid); });
    connect(f, CamModEOS);
    {
        EvfStubs stubs;
        f.cam->TimerEOSViewfinderTimer();
    }
    ASSERT_EQ(valid, std::vector<bool>{true});

    f.cam->Disconnect();
    f.cam->Connect(CamModPowerShot, 1);
    f.cam->RemoteStart(ReleaseModeOnlyToPC, ReleaseDataKindTakeOnlyPicture, false, QString());
    f.cam->RemoteStartViewfinder(false);
    const QByteArray jpeg("\xFF\xD8 live");
    PRViewfinderCallback(0, context(f), uint32_t(jpeg.size()), jpeg.constData());
    drain(*f.cam);
    EXPECT_EQ(valid, (std::vector<bool>{true, false}));
}

TEST(CamNotify, NewerPowerShotReleaseIsKeptAndFetchedIntoTheFile)
{
    OSVersionScope os(5);
    QTemporaryDir dir;
    FakeCamera f;
    f.pr->cameras = {QStringLiteral("PowerShot new")};
    connect(f, CamModPowerShot);
    f.cam->Disconnect();
    f.cam->Connect(CamModPowerShot, 1);
    f.cam->RemoteStart(ReleaseModeOnlyToPC, ReleaseDataKindTakeOnlyPicture, false, QString());
    std::vector<std::pair<RemoteEventCallbackType, int>> remote;
    std::vector<EventCallbackType> events;
    f.cam->setOnRemoteEvent([&](RemoteEventCallbackType e, const AdditionNotifyRemoteEventType& d) {
        remote.emplace_back(e, d.NumOfEvents);
    });
    f.cam->setOnEvent([&](const EventCallbackType& e) { events.push_back(e); });

    const QString file = dir.filePath(QStringLiteral("IMG_1.jpg"));
    EXPECT_THROW(f.cam->RemoteGetPicture(file, PictureTypeFull), ECamException); // nothing released yet
    EXPECT_FALSE(QFile::exists(file));

    PREventCallback(0, context(f), prRecord(0xC00A, {0, 3}).data());
    PREventCallback(0, context(f), prRecord(0xC008, {77}).data());
    PREventCallback(0, context(f), prRecord(0xC007).data());
    PREventCallback(0, context(f), prRecord(0x1234).data());
    drain(*f.cam);
    EXPECT_EQ(events, std::vector<EventCallbackType>({{EventSeverityWarning, EventBatteryLevelSafetyLow}}));
    ASSERT_EQ(remote.size(), 2u);
    EXPECT_EQ(remote[0], std::make_pair(RemoteEventCallbackReleaseComplete, 1));
    EXPECT_EQ(remote[1].first, RemoteEventCallbackViewfinderOn);

    f.pr->blocks = {QByteArray("\xFF\xD8part one,"), QByteArray(" part two\xFF\xD9")};
    int progress = 0;
    f.cam->setOnRemoteTakePictureEvent([&](int p) { progress = p; });
    f.cam->RemoteGetPicture(file, PictureTypeFull);
    QFile written(file);
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    EXPECT_EQ(written.readAll(), QByteArray("\xFF\xD8part one, part two\xFF\xD9"));
    drain(*f.cam);
    EXPECT_EQ(progress, 100);
    // The release record was used up.
    EXPECT_THROW(f.cam->RemoteGetPicture(file, PictureTypeFull), ECamException);
}

// A transfer the SDK ends without the closing empty block gave no whole picture: the caller hears
// so, an older file of that name stays and nothing is left beside it. The release is used up all
// the same, so the next picture is fetched from the camera.
TEST(CamNotify, ANewerPowerShotTransferWithoutItsLastBlockKeepsTheOlderFile)
{
    OSVersionScope os(5);
    QTemporaryDir dir;
    FakeCamera f;
    f.pr->cameras = {QStringLiteral("PowerShot new")};
    connect(f, CamModPowerShot);
    f.cam->Disconnect();
    f.cam->Connect(CamModPowerShot, 1);
    f.cam->RemoteStart(ReleaseModeOnlyToPC, ReleaseDataKindTakeOnlyPicture, false, QString());
    const QString file = dir.filePath(QStringLiteral("IMG_1.jpg"));
    {
        QFile older(file);
        ASSERT_TRUE(older.open(QIODevice::WriteOnly));
        older.write("the picture of yesterday");
    }
    f.cam->setOnRemoteEvent([](RemoteEventCallbackType, const AdditionNotifyRemoteEventType&) {});
    PREventCallback(0, context(f), prRecord(0xC008, {77}).data());
    PREventCallback(0, context(f), prRecord(0xC008, {78}).data());
    drain(*f.cam);

    f.pr->blocks = {QByteArray("\xFF\xD8part one,")};
    f.pr->closingBlock = false;
    QString failure;
    try {
        f.cam->RemoteGetPicture(file, PictureTypeFull);
    } catch (const ECamException& e) {
        failure = e.message();
    }
    EXPECT_EQ(failure.toStdString(),
              QStringLiteral("Cannot create file \"%1\". The camera ended the transfer before the last block.")
                  .arg(file)
                  .toStdString());
    QFile kept(file);
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), QByteArray("the picture of yesterday"));
    kept.close();
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("IMG_1.jpg")});

    // A block that comes late finds no file: the one of the failed transfer is gone.
    const QByteArray late("late");
    unsigned char record[40] = {};
    const uint32_t length = uint32_t(late.size());
    const char* data = late.constData();
    std::memcpy(record + 16, &length, 4);
    std::memcpy(record + 28, &data, sizeof data);
    PRGetPictureCallback(0, context(f), record);

    f.pr->blocks = {QByteArray("\xFF\xD8the next\xFF\xD9")};
    f.pr->closingBlock = true;
    f.cam->RemoteGetPicture(file, PictureTypeFull);
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), QByteArray("\xFF\xD8the next\xFF\xD9"));
    EXPECT_THROW(f.cam->RemoteGetPicture(file, PictureTypeFull), ECamException) << "both releases used up";
}

// The EOS object events put the item on the back-end's download list on the GUI thread, before the
// handler hears of it; an item nobody will fetch is given back to the SDK.
TEST(CamNotify, EosItemsGoOnTheirDownloadListByKindAndName)
{
    static std::vector<void*> released;
    static const char* fileName = "";
    const auto savedInfo = eds::EdsGetDirectoryItemInfo;
    const auto savedRelease = eds::EdsRelease;
    eds::EdsGetDirectoryItemInfo = [](EdsDirectoryItemRef, EdsDirectoryItemInfo* info) -> EdsError {
        std::strncpy(info->szFileName, fileName, sizeof info->szFileName - 1);
        return EDS_ERR_OK;
    };
    eds::EdsRelease = [](EdsBaseRef ref) -> EdsError {
        released.push_back(ref);
        return EDS_ERR_OK;
    };
    released.clear();

    struct Case {
        EdsObjectEvent event;
        const char* name;
        RemoteEventCallbackType expected;
        const char* list;
    };
    const Case cases[] = {
        {kEdsObjectEvent_DirItemRequestTransfer, "", RemoteEventCallbackReleaseImageReady, "ED.AddPictureToDownload"},
        {kEdsObjectEvent_DirItemCreated, "MVI_0001.MOV", RemoteEventCallbackReleaseMovieReady, "ED.AddMovieToDownload"},
        {kEdsObjectEvent_DirItemCreated, "MVI_0001.mov", RemoteEventCallbackReleaseImageFromCFCardReady, "ED.AddCFPictureToDownload"},
        {kEdsObjectEvent_DirItemCreated, "IMG_0001.JPG", RemoteEventCallbackReleaseImageFromCFCardReady, "ED.AddCFPictureToDownload"},
        {kEdsObjectEvent_DirItemCreated, "NONAME", RemoteEventCallbackReleaseImageFromCFCardReady, "ED.AddCFPictureToDownload"},
    };
    int item = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeCamera f;
        connect(f, CamModEOS);
        std::vector<std::pair<RemoteEventCallbackType, AdditionNotifyRemoteEventType>> seen;
        bool listedFirst = false;
        f.cam->setOnRemoteEvent([&](RemoteEventCallbackType e, const AdditionNotifyRemoteEventType& d) {
            listedFirst = !f.ed->downloads.empty();
            seen.emplace_back(e, d);
        });
        fileName = c.name;
        auto* ref = reinterpret_cast<EdsBaseRef>(&item);
        EOSObjectEventCallback(c.event, ref, &f.ed->mInstanceNumber);
        EXPECT_TRUE(f.ed->downloads.empty()); // not on the SDK's thread
        drain(*f.cam);
        ASSERT_EQ(seen.size(), 1u);
        EXPECT_EQ(seen[0].first, c.expected);
        EXPECT_TRUE(listedFirst);
        EXPECT_TRUE(f.log.has(c.list));
        EXPECT_EQ(f.ed->downloads, std::vector<void*>({ref}));
        if (c.event == kEdsObjectEvent_DirItemRequestTransfer) {
            EXPECT_EQ(seen[0].second.EventValid, NotifyRemoteEventValid2);
            EXPECT_EQ(seen[0].second.TypeOfPicture, TypeOfPicturePicture);
        }
    }
    EXPECT_TRUE(released.empty());

    {
        FakeCamera f;
        connect(f, CamModEOS);
        int dummy = 0;
        auto* ref = reinterpret_cast<EdsBaseRef>(&dummy);
        EOSObjectEventCallback(kEdsObjectEvent_DirItemRequestTransfer, ref, &f.ed->mInstanceNumber);
        EXPECT_EQ(released, std::vector<void*>({ref})); // nobody listens: given back at once
        EXPECT_EQ(f.cam->NotifyQueueCount(), 0);
    }
    eds::EdsGetDirectoryItemInfo = savedInfo;
    eds::EdsRelease = savedRelease;
}

TEST(CamNotify, EosDownloadProgressGoesToTheEventOfTheTransferKind)
{
    FakeCamera f;
    connect(f, CamModEOS);
    std::vector<std::pair<char, int>> seen;
    f.cam->setOnRemoteTakePictureEvent([&](int p) { seen.emplace_back('T', p); });
    f.cam->setOnGetPictureEvent([&](int p) { seen.emplace_back('G', p); });
    f.cam->setOnRemoteGetMovieEvent([&](int p) { seen.emplace_back('M', p); });
    void* ctx = &f.ed->mInstanceNumber;
    EdsBool cancel = 0;
    EOSProgressCallback(10, ctx, &cancel); // no transfer running
    f.ed->mTypeOfFileTransfer = FileTransferFromCameraMemory;
    EOSProgressCallback(20, ctx, &cancel);
    f.ed->mTypeOfFileTransfer = FileTransferFromCameraCard;
    EOSProgressCallback(30, ctx, &cancel);
    drain(*f.cam);
    f.cam->setOnRemoteGetMovieEvent({});
    EOSProgressCallback(40, ctx, &cancel);
    drain(*f.cam);
    EXPECT_EQ(seen, (std::vector<std::pair<char, int>>{{'T', 20}, {'G', 30}, {'M', 30}, {'G', 40}}));
    EXPECT_EQ(cancel, 0);
}

TEST(CamNotify, ProbeProgressIsQueuedForTheProbeEvent)
{
    FakeCamera f;
    connect(f, CamModEOS);
    std::vector<int> seen;
    ReportProbeProgress(f.cam->InstanceNumber(), 5);
    f.cam->setOnRemoteProbeParamEvent([&](int p) { seen.push_back(p); });
    ReportProbeProgress(f.cam->InstanceNumber(), 10);
    ReportProbeProgress(f.cam->InstanceNumber(), 100);
    drain(*f.cam);
    EXPECT_EQ(seen, std::vector<int>({10, 100}));
}
