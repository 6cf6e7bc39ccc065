// The simulated EOS camera behind the EDSDK.DLL stand-in, driven through dlopen as the program
// drives it: cameras and sessions, properties with their allowed values, releases that give
// decodable pictures of the configured size, downloads with progress, the card, live view, RAW
// development, events from the library's own thread, and the faults a test can inject.
#define EDSDK_NO_PROTOTYPES
#include "edsdk_api.h"
#include "simcam_control.h"
#include "support/SdkTestSupport.h"

#include <QByteArray>
#include <QImage>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

// Every entry point and control function, resolved from the loaded library.
struct Eds {
#define EDS_POINTER(name, params) pfn_##name name = nullptr;
    EDSDK_ENTRY_POINTS(EDS_POINTER)
#undef EDS_POINTER
#define SIM_POINTER(ret, name, params) pfn_##name name = nullptr;
    SIMCAM_CONTROL_FUNCTIONS(SIM_POINTER)
#undef SIM_POINTER

    explicit Eds(const SdkLibrary& lib)
    {
#define EDS_RESOLVE(name, params) name = lib.get<pfn_##name>(#name);
        EDSDK_ENTRY_POINTS(EDS_RESOLVE)
#undef EDS_RESOLVE
#define SIM_RESOLVE(ret, name, params) name = lib.get<pfn_##name>(#name);
        SIMCAM_CONTROL_FUNCTIONS(SIM_RESOLVE)
#undef SIM_RESOLVE
    }
};

// What the library's handlers and callbacks reported, and on which thread.
struct Recorder {
    struct Event {
        uint32_t kind; // 1 property, 2 object, 3 state
        uint32_t event;
        uint32_t data;
        EdsBaseRef ref;
        std::thread::id thread;
    };
    std::mutex lock;
    std::condition_variable changed;
    std::vector<Event> events;

    void add(Event e)
    {
        std::lock_guard<std::mutex> guard(lock);
        events.push_back(e);
        changed.notify_all();
    }
    // Waits until `count` events of the kind have come (30 s at most, for a loaded machine); returns them.
    std::vector<Event> waitFor(uint32_t kind, uint32_t event, size_t count)
    {
        std::unique_lock<std::mutex> guard(lock);
        std::vector<Event> found;
        changed.wait_for(guard, std::chrono::seconds(30), [&] {
            found = seenLocked(kind, event);
            return found.size() >= count;
        });
        return found;
    }
    // The events of the kind that have come so far.
    std::vector<Event> seen(uint32_t kind, uint32_t event)
    {
        std::lock_guard<std::mutex> guard(lock);
        return seenLocked(kind, event);
    }
    std::vector<Event> seenLocked(uint32_t kind, uint32_t event) const
    {
        std::vector<Event> found;
        for (const Event& e : events)
            if (e.kind == kind && e.event == event)
                found.push_back(e);
        return found;
    }

    static EdsError onProperty(EdsPropertyEvent event, EdsPropertyID id, EdsUInt32, EdsVoid* context)
    {
        static_cast<Recorder*>(context)->add({1, event, id, nullptr, std::this_thread::get_id()});
        return 0;
    }
    static EdsError onObject(EdsObjectEvent event, EdsBaseRef ref, EdsVoid* context)
    {
        static_cast<Recorder*>(context)->add({2, event, 0, ref, std::this_thread::get_id()});
        return 0;
    }
    static EdsError onState(EdsStateEvent event, EdsUInt32 data, EdsVoid* context)
    {
        static_cast<Recorder*>(context)->add({3, event, data, nullptr, std::this_thread::get_id()});
        return 0;
    }
};

struct Progress {
    std::vector<uint32_t> percents;
    bool cancelAt50 = false;
    static EdsError report(EdsUInt32 percent, EdsVoid* context, EdsBool* cancel)
    {
        auto* self = static_cast<Progress*>(context);
        self->percents.push_back(percent);
        if (self->cancelAt50 && percent >= 50)
            *cancel = 1;
        return 0;
    }
};

class EdsdkSimCam : public testing::Test {
protected:
    static void SetUpTestSuite() { s_lib = new SdkLibrary(sdkBinDir() + "/EDSDK.DLL"); }
    static void TearDownTestSuite()
    {
        delete s_lib;
        s_lib = nullptr;
    }

    void SetUp() override
    {
        ASSERT_TRUE(s_lib->handle) << s_lib->error;
        eds = std::make_unique<Eds>(*s_lib);
        eds->SimCam_Reset();
    }
    void TearDown() override
    {
        if (started)
            eds->EdsTerminateSDK();
    }

    void start(const char* models = "live")
    {
        ASSERT_EQ(eds->SimCam_SetCameras(models), 0);
        ASSERT_EQ(eds->EdsInitializeSDK(), 0u);
        started = true;
    }

    // The n-th camera of the list, with a session and the recorder's handlers.
    EdsCameraRef connect(int index = 0)
    {
        EdsCameraListRef list = nullptr;
        EXPECT_EQ(eds->EdsGetCameraList(&list), 0u);
        EdsCameraRef camera = nullptr;
        EXPECT_EQ(eds->EdsGetChildAtIndex(list, index, &camera), 0u);
        EXPECT_EQ(eds->EdsRelease(list), 0u);
        EXPECT_EQ(eds->EdsSetPropertyEventHandler(camera, kEdsPropertyEvent_All, Recorder::onProperty, &recorder), 0u);
        EXPECT_EQ(eds->EdsSetObjectEventHandler(camera, kEdsObjectEvent_All, Recorder::onObject, &recorder), 0u);
        EXPECT_EQ(eds->EdsSetCameraStateEventHandler(camera, kEdsStateEvent_All, Recorder::onState, &recorder), 0u);
        EXPECT_EQ(eds->EdsOpenSession(camera), 0u);
        return camera;
    }

    uint32_t readU32(EdsBaseRef ref, EdsPropertyID id, EdsError* err = nullptr)
    {
        uint32_t v = 0xDEADBEEF;
        const EdsError e = eds->EdsGetPropertyData(ref, id, 0, 4, &v);
        if (err)
            *err = e;
        return v;
    }
    EdsError writeU32(EdsBaseRef ref, EdsPropertyID id, uint32_t v) { return eds->EdsSetPropertyData(ref, id, 0, 4, &v); }

    // The whole content of a stream, read from its start.
    QByteArray streamBytes(EdsStreamRef stream)
    {
        EdsUInt64 length = 0;
        EXPECT_EQ(eds->EdsGetLength(stream, &length), 0u);
        EXPECT_EQ(eds->EdsSeek(stream, 0, kEdsSeek_Begin), 0u);
        QByteArray bytes(int(length), '\0');
        EdsUInt64 got = 0;
        EXPECT_EQ(eds->EdsRead(stream, length, bytes.data(), &got), 0u);
        EXPECT_EQ(got, length);
        return bytes;
    }

    QByteArray download(EdsDirectoryItemRef item, Progress* progress = nullptr, EdsError* err = nullptr)
    {
        EdsDirectoryItemInfo info{};
        EXPECT_EQ(eds->EdsGetDirectoryItemInfo(item, &info), 0u);
        EdsStreamRef stream = nullptr;
        EXPECT_EQ(eds->EdsCreateMemoryStream(0, &stream), 0u);
        if (progress) {
            EXPECT_EQ(eds->EdsSetProgressCallback(stream, Progress::report, kEdsProgressOption_Periodically, progress), 0u);
        }
        const EdsError e = eds->EdsDownload(item, info.size, stream);
        if (err) {
            *err = e;
        } else {
            EXPECT_EQ(e, 0u);
        }
        QByteArray bytes = streamBytes(stream);
        EXPECT_EQ(eds->EdsRelease(stream), 0u);
        return bytes;
    }

    // The card's files, depth first, as "folder/name".
    void listCard(EdsBaseRef folder, const std::string& path, std::vector<std::string>& out)
    {
        EdsUInt32 count = 0;
        ASSERT_EQ(eds->EdsGetChildCount(folder, &count), 0u);
        for (EdsUInt32 i = 0; i < count; ++i) {
            EdsDirectoryItemRef item = nullptr;
            ASSERT_EQ(eds->EdsGetChildAtIndex(folder, EdsInt32(i), &item), 0u);
            EdsDirectoryItemInfo info{};
            ASSERT_EQ(eds->EdsGetDirectoryItemInfo(item, &info), 0u);
            const std::string name = path.empty() ? info.szFileName : path + "/" + info.szFileName;
            if (info.isFolder)
                listCard(item, name, out);
            else
                out.push_back(name);
            ASSERT_EQ(eds->EdsRelease(item), 0u);
        }
    }

    static SdkLibrary* s_lib;
    std::unique_ptr<Eds> eds;
    Recorder recorder;
    bool started = false;
};

SdkLibrary* EdsdkSimCam::s_lib = nullptr;

TEST_F(EdsdkSimCam, ListsTheCamerasPluggedInWithTheirKind)
{
    start("live,classic");
    EdsCameraListRef list = nullptr;
    ASSERT_EQ(eds->EdsGetCameraList(&list), 0u);
    EdsUInt32 count = 0;
    ASSERT_EQ(eds->EdsGetChildCount(list, &count), 0u);
    ASSERT_EQ(count, 2u);
    const struct {
        const char* description;
        uint32_t subType;
    } expected[] = {{"EOS SimCam Live", 1}, {"EOS SimCam Classic", 0}};
    for (int i = 0; i < 2; ++i) {
        EdsCameraRef camera = nullptr;
        ASSERT_EQ(eds->EdsGetChildAtIndex(list, i, &camera), 0u);
        EdsDeviceInfo info{};
        ASSERT_EQ(eds->EdsGetDeviceInfo(camera, &info), 0u);
        EXPECT_STREQ(info.szDeviceDescription, expected[i].description);
        EXPECT_EQ(info.deviceSubType, expected[i].subType);
        EXPECT_EQ(eds->EdsRelease(camera), 0u);
    }
    EdsBaseRef none = nullptr;
    EXPECT_EQ(eds->EdsGetChildAtIndex(list, 2, &none), EDS_ERR_INVALID_INDEX);
    EXPECT_EQ(eds->EdsRelease(list), 0u);
    EXPECT_EQ(eds->SimCam_LiveObjects(), 0);
}

TEST_F(EdsdkSimCam, RefusesCallsBeforeTheStartAndUnknownHandles)
{
    EdsCameraListRef list = nullptr;
    EXPECT_EQ(eds->EdsGetCameraList(&list), EDS_ERR_INVALID_FN_CALL);
    start();
    int notAnObject = 0;
    EdsUInt32 count = 0;
    EXPECT_EQ(eds->EdsGetChildCount(reinterpret_cast<EdsBaseRef>(&notAnObject), &count), EDS_ERR_INVALID_HANDLE);
    EXPECT_EQ(eds->EdsRelease(reinterpret_cast<EdsBaseRef>(&notAnObject)), EDS_ERR_INVALID_HANDLE);
    EXPECT_EQ(eds->EdsRelease(nullptr), EDS_ERR_INVALID_HANDLE);
}

TEST_F(EdsdkSimCam, PropertiesNeedASessionAndGiveTheCameraData)
{
    start();
    EdsCameraListRef list = nullptr;
    ASSERT_EQ(eds->EdsGetCameraList(&list), 0u);
    EdsCameraRef camera = nullptr;
    ASSERT_EQ(eds->EdsGetChildAtIndex(list, 0, &camera), 0u);
    EdsError err = 0;
    readU32(camera, kEdsPropID_BatteryLevel, &err);
    EXPECT_EQ(err, EDS_ERR_SESSION_NOT_OPEN);
    ASSERT_EQ(eds->EdsOpenSession(camera), 0u);

    EXPECT_EQ(readU32(camera, kEdsPropID_BatteryLevel), 0xFFFFFFFFu); // on mains power
    char body[2001];
    ASSERT_EQ(eds->EdsGetPropertyData(camera, kEdsPropID_BodyIDEx, 0, sizeof body, body), 0u);
    EXPECT_EQ(std::strlen(body), 10u);
    EdsDataType type{};
    EdsUInt32 size = 0;
    ASSERT_EQ(eds->EdsGetPropertySize(camera, kEdsPropID_DateTime, 0, &type, &size), 0u);
    EXPECT_EQ(type, kEdsDataType_Time);
    EXPECT_EQ(size, 28u);
    ASSERT_EQ(eds->EdsGetPropertySize(camera, kEdsPropID_OwnerName, 0, &type, &size), 0u);
    EXPECT_EQ(type, kEdsDataType_String);

    // The owner name takes 31 characters and its terminating zero.
    const std::string longest(31, 'x'), tooLong(32, 'x');
    EXPECT_EQ(eds->EdsSetPropertyData(camera, kEdsPropID_OwnerName, 0, 32, longest.c_str()), 0u);
    EXPECT_EQ(eds->EdsSetPropertyData(camera, kEdsPropID_OwnerName, 0, 33, tooLong.c_str()), EDS_ERR_INVALID_LENGTH);
    char owner[256] = {};
    ASSERT_EQ(eds->EdsGetPropertyData(camera, kEdsPropID_OwnerName, 0, sizeof owner, owner), 0u);
    EXPECT_EQ(owner, longest);

    EdsTime when{2024, 2, 29, 13, 14, 15, 0};
    EXPECT_EQ(eds->EdsSetPropertyData(camera, kEdsPropID_DateTime, 0, sizeof when, &when), 0u);
    EdsTime back{};
    ASSERT_EQ(eds->EdsGetPropertyData(camera, kEdsPropID_DateTime, 0, sizeof back, &back), 0u);
    EXPECT_EQ(std::memcmp(&when, &back, sizeof when), 0);
    EXPECT_EQ(writeU32(camera, kEdsPropID_BatteryLevel, 5), EDS_ERR_NOT_SUPPORTED);
    EXPECT_EQ(eds->EdsRelease(camera), 0u);
    EXPECT_EQ(eds->EdsRelease(list), 0u);
}

TEST_F(EdsdkSimCam, AcceptsOnlyTheValuesItListsAndAnnouncesChangesFromItsOwnThread)
{
    start();
    EdsCameraRef camera = connect();
    EdsPropertyDesc desc{};
    ASSERT_EQ(eds->EdsGetPropertyDesc(camera, kEdsPropID_ISOSpeed, &desc), 0u);
    ASSERT_GT(desc.numElements, 3);
    const std::vector<int32_t> iso(desc.propDesc, desc.propDesc + desc.numElements);
    EXPECT_EQ(iso.front(), 0); // automatic
    EXPECT_NE(std::find(iso.begin(), iso.end(), 72), iso.end()); // ISO 100
    EXPECT_EQ(std::find(iso.begin(), iso.end(), 64), iso.end()); // no ISO 50

    const struct {
        EdsPropertyID id;
        uint32_t value;
        EdsError expected;
    } cases[] = {
        {kEdsPropID_ISOSpeed, 80, 0},
        {kEdsPropID_ISOSpeed, 64, EDS_ERR_INVALID_DEVICEPROP_VALUE},
        {kEdsPropID_Av, 40, 0},
        {kEdsPropID_Av, 41, EDS_ERR_INVALID_DEVICEPROP_VALUE},
        {kEdsPropID_WhiteBalance, 9, 0},
        {kEdsPropID_WhiteBalance, 10, EDS_ERR_INVALID_DEVICEPROP_VALUE}, // computer-made settings are not offered
        {kEdsPropID_ColorTemperature, 5200, 0},
        {kEdsPropID_ColorTemperature, 12000, EDS_ERR_INVALID_DEVICEPROP_VALUE},
        {kEdsPropID_ExposureCompensation, 0xF8, 0}, // -1 stop
        {kEdsPropID_SaveTo, kEdsSaveTo_Host, 0},
        {0x9999, 1, EDS_ERR_PROPERTIES_UNAVAILABLE},
    };
    for (const auto& c : cases) {
        const uint32_t before = readU32(camera, c.id);
        EXPECT_EQ(writeU32(camera, c.id, c.value), c.expected) << std::hex << c.id << " " << c.value;
        if (c.expected == 0) {
            EXPECT_EQ(readU32(camera, c.id), c.value) << std::hex << c.id;
        } else if (c.id != 0x9999) {
            EXPECT_EQ(readU32(camera, c.id), before) << std::hex << c.id;
        }
    }
    ASSERT_TRUE(eds->SimCam_WaitIdle(30000)); // every event the writes raised has come
    const auto changed = recorder.seen(1, kEdsPropertyEvent_PropertyChanged);
    ASSERT_EQ(changed.size(), 6u); // one per value taken, none for a refusal
    EXPECT_EQ(changed[0].data, kEdsPropID_ISOSpeed);
    EXPECT_EQ(changed[5].data, kEdsPropID_SaveTo);
    for (const auto& e : changed)
        EXPECT_NE(e.thread, std::this_thread::get_id());
    EXPECT_EQ(eds->EdsRelease(camera), 0u);
}

TEST_F(EdsdkSimCam, TheOlderKindHasNoLiveViewNorPictureStyles)
{
    start("classic");
    EdsCameraRef camera = connect();
    for (EdsPropertyID id : {kEdsPropID_Evf_OutputDevice, kEdsPropID_PictureStyle, kEdsPropID_PictureStyleDesc,
                             kEdsPropID_WhiteBalanceShift}) {
        EdsError err = 0;
        readU32(camera, id, &err);
        EXPECT_EQ(err, EDS_ERR_PROPERTIES_UNAVAILABLE) << std::hex << id;
    }
    // The older kind packs a large fine JPEG without the newer "no second picture" marker.
    EXPECT_EQ(writeU32(camera, kEdsPropID_ImageQuality, 0x00130000), 0u);
    EXPECT_EQ(writeU32(camera, kEdsPropID_ImageQuality, 0x0013FF0F), EDS_ERR_INVALID_DEVICEPROP_VALUE);
    EXPECT_EQ(eds->EdsRelease(camera), 0u);
}

TEST_F(EdsdkSimCam, AReleaseGivesADecodablePictureOfTheConfiguredSize)
{
    const struct {
        uint32_t quality;
        int width, height;
    } cases[] = {
        {0x0213FF0F, 1936, 1288}, // small fine
        {0x0112FF0F, 2816, 1880}, // medium normal
        {0x0013FF0F, 3888, 2592}, // large fine
    };
    start();
    EdsCameraRef camera = connect();
    ASSERT_EQ(writeU32(camera, kEdsPropID_SaveTo, kEdsSaveTo_Host), 0u);
    size_t released = 0;
    for (const auto& c : cases) {
        ASSERT_EQ(writeU32(camera, kEdsPropID_ImageQuality, c.quality), 0u);
        ASSERT_EQ(eds->EdsSendCommand(camera, kEdsCameraCommand_TakePicture, 0), 0u);
        const auto ready = recorder.waitFor(2, kEdsObjectEvent_DirItemRequestTransfer, ++released);
        ASSERT_EQ(ready.size(), released);
        const auto& event = ready.back();
        EXPECT_NE(event.thread, std::this_thread::get_id());

        EdsDirectoryItemInfo info{};
        ASSERT_EQ(eds->EdsGetDirectoryItemInfo(event.ref, &info), 0u);
        EXPECT_EQ(std::string(info.szFileName).substr(info.szFileName[0] ? std::strlen(info.szFileName) - 4 : 0), ".JPG");
        Progress progress;
        const QByteArray bytes = download(event.ref, &progress);
        EXPECT_EQ(uint64_t(bytes.size()), info.size);
        const QImage picture = QImage::fromData(bytes, "JPG");
        EXPECT_EQ(picture.width(), c.width) << std::hex << c.quality;
        EXPECT_EQ(picture.height(), c.height);
        ASSERT_FALSE(progress.percents.empty());
        EXPECT_EQ(progress.percents.back(), 100u);
        EXPECT_TRUE(std::is_sorted(progress.percents.begin(), progress.percents.end()));
        EXPECT_EQ(eds->EdsDownloadComplete(event.ref), 0u);
        EXPECT_EQ(eds->EdsRelease(event.ref), 0u);
    }
    EXPECT_EQ(eds->EdsRelease(camera), 0u);
    EXPECT_EQ(eds->SimCam_LiveObjects(), 0);
}

TEST_F(EdsdkSimCam, AFinerQualityGivesALargerFile)
{
    start();
    EdsCameraRef camera = connect();
    ASSERT_EQ(writeU32(camera, kEdsPropID_SaveTo, kEdsSaveTo_Host), 0u);
    std::vector<qsizetype> sizes;
    for (uint32_t quality : {0x0212FF0Fu, 0x0213FF0Fu}) { // small normal, small fine
        ASSERT_EQ(writeU32(camera, kEdsPropID_ImageQuality, quality), 0u);
        ASSERT_EQ(eds->EdsSendCommand(camera, kEdsCameraCommand_PressShutterButton,
                                      kEdsCameraCommand_ShutterButton_Completely), 0u);
        const auto ready = recorder.waitFor(2, kEdsObjectEvent_DirItemRequestTransfer, sizes.size() + 1);
        ASSERT_EQ(ready.size(), sizes.size() + 1);
        sizes.push_back(download(ready.back().ref).size());
        EXPECT_EQ(eds->EdsRelease(ready.back().ref), 0u);
    }
    EXPECT_LT(sizes[0], sizes[1]);
    EXPECT_EQ(eds->EdsRelease(camera), 0u);
}

TEST_F(EdsdkSimCam, RawWithJpegReleasesTwoFilesAndRawDevelopsWithItsWhiteBalance)
{
    start();
    EdsCameraRef camera = connect();
    ASSERT_EQ(writeU32(camera, kEdsPropID_SaveTo, kEdsSaveTo_Host), 0u);
    ASSERT_EQ(writeU32(camera, kEdsPropID_ImageQuality, 0x00640013), 0u); // RAW + large fine
    ASSERT_EQ(eds->EdsSendCommand(camera, kEdsCameraCommand_TakePicture, 0), 0u);
    const auto ready = recorder.waitFor(2, kEdsObjectEvent_DirItemRequestTransfer, 2);
    ASSERT_EQ(ready.size(), 2u);
    EdsDirectoryItemInfo raw{}, jpeg{};
    ASSERT_EQ(eds->EdsGetDirectoryItemInfo(ready[0].ref, &raw), 0u);
    ASSERT_EQ(eds->EdsGetDirectoryItemInfo(ready[1].ref, &jpeg), 0u);
    EXPECT_NE(std::strstr(raw.szFileName, ".CR2"), nullptr);
    EXPECT_NE(std::strstr(jpeg.szFileName, ".JPG"), nullptr);

    QTemporaryDir dir;
    const std::string rawPath = dir.filePath("picture.CR2").toStdString();
    EdsStreamRef file = nullptr;
    ASSERT_EQ(eds->EdsCreateFileStream(rawPath.c_str(), kEdsFileCreateDisposition_CreateAlways, kEdsAccess_Write, &file), 0u);
    ASSERT_EQ(eds->EdsDownload(ready[0].ref, raw.size, file), 0u);
    ASSERT_EQ(eds->EdsRelease(file), 0u);
    for (const auto& e : ready) {
        EXPECT_EQ(eds->EdsDownloadComplete(e.ref), 0u);
        EXPECT_EQ(eds->EdsRelease(e.ref), 0u);
    }

    ASSERT_EQ(eds->EdsCreateFileStream(rawPath.c_str(), kEdsFileCreateDisposition_OpenExisting, kEdsAccess_Read, &file), 0u);
    EdsImageRef image = nullptr;
    ASSERT_EQ(eds->EdsCreateImageRef(file, &image), 0u);
    EXPECT_EQ(writeU32(image, kEdsPropID_WhiteBalance, 3), 0u);
    EXPECT_EQ(readU32(image, kEdsPropID_WhiteBalance), 3u);
    EXPECT_EQ(writeU32(image, kEdsPropID_WhiteBalance, 10), EDS_ERR_INVALID_DEVICEPROP_VALUE);

    const struct {
        EdsTargetImageType type;
        const char* header;
    } targets[] = {{kEdsTargetImageType_Jpeg, "\xFF\xD8"}, {kEdsTargetImageType_TIFF, "II*"}, {kEdsTargetImageType_TIFF16, "II*"}};
    for (const auto& t : targets) {
        EdsStreamRef out = nullptr;
        ASSERT_EQ(eds->EdsCreateMemoryStream(0, &out), 0u);
        ASSERT_EQ(eds->EdsSaveImage(image, t.type, EdsSaveImageSetting{8, nullptr, 0}, out), 0u);
        const QByteArray bytes = streamBytes(out);
        EXPECT_TRUE(bytes.startsWith(t.header)) << t.type;
        if (t.type == kEdsTargetImageType_Jpeg) {
            const QImage developed = QImage::fromData(bytes, "JPG");
            EXPECT_EQ(developed.size(), QSize(3888, 2592));
        } else {
            const qsizetype pixels = qsizetype(3888) * 2592 * 3 * (t.type == kEdsTargetImageType_TIFF16 ? 2 : 1);
            EXPECT_GT(bytes.size(), pixels);
        }
        EXPECT_EQ(eds->EdsRelease(out), 0u);
    }
    EXPECT_EQ(eds->EdsRelease(image), 0u);
    EXPECT_EQ(eds->EdsRelease(file), 0u);

    // A file that is no RAW file is refused.
    EdsStreamRef other = nullptr;
    ASSERT_EQ(eds->EdsCreateMemoryStream(0, &other), 0u);
    EXPECT_EQ(eds->EdsCreateImageRef(other, &image), EDS_ERR_FILE_FORMAT_UNRECOGNIZED);
    EXPECT_EQ(eds->EdsRelease(other), 0u);
    EXPECT_EQ(eds->EdsRelease(camera), 0u);
    EXPECT_EQ(eds->SimCam_LiveObjects(), 0);
}

TEST_F(EdsdkSimCam, ReleasesToTheCardAppearThereAndAreAnnouncedAsCreated)
{
    start();
    EdsCameraRef camera = connect();
    ASSERT_EQ(writeU32(camera, kEdsPropID_SaveTo, kEdsSaveTo_Camera), 0u);
    const uint32_t shotsBefore = readU32(camera, kEdsPropID_AvailableShots);
    ASSERT_EQ(eds->EdsSendCommand(camera, kEdsCameraCommand_TakePicture, 0), 0u);
    const auto created = recorder.waitFor(2, kEdsObjectEvent_DirItemCreated, 1);
    ASSERT_EQ(created.size(), 1u);
    EdsDirectoryItemInfo info{};
    ASSERT_EQ(eds->EdsGetDirectoryItemInfo(created[0].ref, &info), 0u);
    EXPECT_STREQ(info.szFileName, "IMG_0006.JPG");
    EXPECT_EQ(eds->EdsRelease(created[0].ref), 0u);
    ASSERT_TRUE(eds->SimCam_WaitIdle(30000)); // the camera has sent all it had
    EXPECT_TRUE(recorder.seen(2, kEdsObjectEvent_DirItemRequestTransfer).empty());

    EdsVolumeRef volume = nullptr;
    ASSERT_EQ(eds->EdsGetChildAtIndex(camera, 0, &volume), 0u);
    std::vector<std::string> files;
    listCard(volume, "", files);
    const std::vector<std::string> expected = {
        "DCIM/100SIMCM/IMG_0001.JPG", "DCIM/100SIMCM/IMG_0002.JPG", "DCIM/100SIMCM/IMG_0003.CR2",
        "DCIM/100SIMCM/MVI_0004.MOV", "DCIM/100SIMCM/IMG_0006.JPG", "DCIM/101SIMCM/IMG_0005.JPG"};
    EXPECT_EQ(files, expected);
    EXPECT_LE(readU32(camera, kEdsPropID_AvailableShots), shotsBefore);
    EXPECT_EQ(eds->EdsRelease(volume), 0u);
    EXPECT_EQ(eds->EdsRelease(camera), 0u);
}

TEST_F(EdsdkSimCam, CardFilesDownloadWithThumbnailsAndCanBeDeleted)
{
    start();
    EdsCameraRef camera = connect();
    EdsVolumeRef volume = nullptr;
    ASSERT_EQ(eds->EdsGetChildAtIndex(camera, 0, &volume), 0u);
    EdsVolumeInfo volumeInfo{};
    ASSERT_EQ(eds->EdsGetVolumeInfo(volume, &volumeInfo), 0u);
    EXPECT_GT(volumeInfo.freeSpaceInBytes, 0u);
    EdsDirectoryItemRef dcim = nullptr, folder = nullptr, first = nullptr, movie = nullptr;
    ASSERT_EQ(eds->EdsGetChildAtIndex(volume, 0, &dcim), 0u);
    ASSERT_EQ(eds->EdsGetChildAtIndex(dcim, 0, &folder), 0u);
    ASSERT_EQ(eds->EdsGetChildAtIndex(folder, 0, &first), 0u);
    ASSERT_EQ(eds->EdsGetChildAtIndex(folder, 3, &movie), 0u);
    EdsBaseRef parent = nullptr;
    ASSERT_EQ(eds->EdsGetParent(first, &parent), 0u);
    EXPECT_EQ(parent, folder); // one reference per item, handed out again
    EXPECT_EQ(eds->EdsRelease(parent), 0u);

    EXPECT_FALSE(QImage::fromData(download(first), "JPG").isNull());
    EdsStreamRef thumb = nullptr;
    ASSERT_EQ(eds->EdsCreateMemoryStream(0, &thumb), 0u);
    ASSERT_EQ(eds->EdsDownloadThumbnail(first, thumb), 0u);
    EXPECT_EQ(QImage::fromData(streamBytes(thumb), "JPG").size(), QSize(160, 120));
    EXPECT_EQ(eds->EdsDownloadThumbnail(movie, thumb), EDS_ERR_NOT_SUPPORTED);
    EXPECT_EQ(eds->EdsRelease(thumb), 0u);

    // A read-only file stays; once writable it goes, and its reference says so.
    ASSERT_EQ(eds->EdsSetAttribute(first, kEdsFileAttribute_ReadOnly), 0u);
    EXPECT_EQ(eds->EdsDeleteDirectoryItem(first), EDS_ERR_FILE_PERMISSION_ERROR);
    ASSERT_EQ(eds->EdsSetAttribute(first, kEdsFileAttribute_Normal), 0u);
    EXPECT_EQ(eds->EdsDeleteDirectoryItem(first), 0u);
    EdsDirectoryItemInfo info{};
    EXPECT_EQ(eds->EdsGetDirectoryItemInfo(first, &info), EDS_ERR_DIR_ENTRY_NOT_FOUND);
    EdsUInt32 count = 0;
    ASSERT_EQ(eds->EdsGetChildCount(folder, &count), 0u);
    EXPECT_EQ(count, 3u);
    EXPECT_EQ(eds->EdsDeleteDirectoryItem(dcim), 0x44u); // not empty

    ASSERT_EQ(eds->EdsFormatVolume(volume), 0u);
    ASSERT_EQ(eds->EdsGetChildCount(volume, &count), 0u);
    EXPECT_EQ(count, 0u);
    for (EdsBaseRef ref : {first, movie, folder, dcim, volume, camera})
        EXPECT_EQ(eds->EdsRelease(ref), 0u);
    EXPECT_EQ(eds->SimCam_LiveObjects(), 0);
}

TEST_F(EdsdkSimCam, LiveViewGivesFramesWithTheirMetadataOnceTheComputerIsAnOutput)
{
    start();
    EdsCameraRef camera = connect();
    EdsStreamRef stream = nullptr;
    EdsEvfImageRef evf = nullptr;
    ASSERT_EQ(eds->EdsCreateMemoryStream(0, &stream), 0u);
    ASSERT_EQ(eds->EdsCreateEvfImageRef(stream, &evf), 0u);
    EXPECT_EQ(eds->EdsDownloadEvfImage(camera, evf), EDS_ERR_OBJECT_NOTREADY);

    ASSERT_EQ(writeU32(camera, kEdsPropID_Evf_Mode, 1), 0u);
    ASSERT_EQ(writeU32(camera, kEdsPropID_Evf_OutputDevice, kEdsEvfOutputDevice_PC), 0u);
    ASSERT_EQ(eds->EdsDownloadEvfImage(camera, evf), 0u);
    void* pointer = nullptr;
    EdsUInt64 length = 0;
    ASSERT_EQ(eds->EdsGetPointer(stream, &pointer), 0u);
    ASSERT_EQ(eds->EdsGetLength(stream, &length), 0u);
    const QByteArray first(static_cast<const char*>(pointer), qsizetype(length));
    EXPECT_EQ(QImage::fromData(first, "JPG").size(), QSize(960, 640));

    EdsSize coordinates{};
    ASSERT_EQ(eds->EdsGetPropertyData(evf, kEdsPropID_Evf_CoordinateSystem, 0, sizeof coordinates, &coordinates), 0u);
    EXPECT_EQ(coordinates.width, 3888);
    EXPECT_EQ(coordinates.height, 2592);
    uint32_t histogram[1024];
    ASSERT_EQ(eds->EdsGetPropertyData(evf, kEdsPropID_Evf_Histogram, 0, sizeof histogram, histogram), 0u);
    uint64_t luma = 0;
    for (int level = 0; level < 256; ++level)
        luma += histogram[level * 4];
    EXPECT_EQ(luma, 960u * 640u);

    // Zoomed in, the frame shows a fifth of the sensor at the zoom position.
    ASSERT_EQ(writeU32(camera, kEdsPropID_Evf_Zoom, 5), 0u);
    EdsPoint at{1000, 600};
    ASSERT_EQ(eds->EdsSetPropertyData(camera, kEdsPropID_Evf_ZoomPosition, 0, sizeof at, &at), 0u);
    ASSERT_EQ(eds->EdsDownloadEvfImage(camera, evf), 0u);
    EdsRect zoom{};
    ASSERT_EQ(eds->EdsGetPropertyData(evf, kEdsPropID_Evf_ZoomRect, 0, sizeof zoom, &zoom), 0u);
    EXPECT_EQ(zoom.point.x, 1000);
    EXPECT_EQ(zoom.point.y, 600);
    EXPECT_EQ(zoom.size.width, 3888 / 5);
    EXPECT_EQ(zoom.size.height, 2592 / 5);
    const QByteArray second = streamBytes(stream);
    EXPECT_EQ(QImage::fromData(second, "JPG").size(), QSize(960, 640));
    EXPECT_NE(first, second);

    ASSERT_EQ(writeU32(camera, kEdsPropID_Evf_OutputDevice, 0), 0u);
    EXPECT_EQ(eds->EdsDownloadEvfImage(camera, evf), EDS_ERR_OBJECT_NOTREADY);
    EXPECT_EQ(eds->EdsRelease(evf), 0u);
    EXPECT_EQ(eds->EdsRelease(stream), 0u);
    EXPECT_EQ(eds->EdsRelease(camera), 0u);
    EXPECT_EQ(eds->SimCam_LiveObjects(), 0);
}

TEST_F(EdsdkSimCam, AMovieRecordedInLiveViewLandsOnTheCard)
{
    start();
    EdsCameraRef camera = connect();
    EXPECT_EQ(writeU32(camera, kEdsPropID_Record, 4), EDS_ERR_DEVICE_BUSY); // no live view yet
    ASSERT_EQ(writeU32(camera, kEdsPropID_Evf_Mode, 1), 0u);
    ASSERT_EQ(writeU32(camera, kEdsPropID_Evf_OutputDevice, kEdsEvfOutputDevice_PC), 0u);
    ASSERT_EQ(writeU32(camera, kEdsPropID_Record, 4), 0u);
    ASSERT_EQ(writeU32(camera, kEdsPropID_Record, 0), 0u);
    const auto created = recorder.waitFor(2, kEdsObjectEvent_DirItemCreated, 1);
    ASSERT_EQ(created.size(), 1u);
    EdsDirectoryItemInfo info{};
    ASSERT_EQ(eds->EdsGetDirectoryItemInfo(created[0].ref, &info), 0u);
    EXPECT_STREQ(info.szFileName, "MVI_0006.MOV");
    EXPECT_EQ(download(created[0].ref).mid(4, 4), QByteArray("ftyp"));
    EXPECT_EQ(eds->EdsRelease(created[0].ref), 0u);
    EXPECT_EQ(eds->EdsRelease(camera), 0u);
}

TEST_F(EdsdkSimCam, StreamsReadWriteAndSeekWithinWhatTheyHold)
{
    start();
    EdsStreamRef memory = nullptr;
    ASSERT_EQ(eds->EdsCreateMemoryStream(0, &memory), 0u);
    EdsUInt64 done = 0;
    ASSERT_EQ(eds->EdsWrite(memory, 5, "hello", &done), 0u);
    EXPECT_EQ(done, 5u);
    ASSERT_EQ(eds->EdsSeek(memory, -2, kEdsSeek_End), 0u);
    char two[8] = {};
    ASSERT_EQ(eds->EdsRead(memory, 8, two, &done), 0u);
    EXPECT_EQ(done, 2u);
    EXPECT_STREQ(two, "lo");
    ASSERT_EQ(eds->EdsRead(memory, 8, two, &done), 0u); // at the end: nothing, no error
    EXPECT_EQ(done, 0u);
    EXPECT_EQ(eds->EdsSeek(memory, -1, kEdsSeek_Begin), EDS_ERR_STREAM_SEEK_ERROR);

    char fixed[4] = {'a', 'b', 'c', 'd'};
    EdsStreamRef pointer = nullptr;
    ASSERT_EQ(eds->EdsCreateMemoryStreamFromPointer(fixed, sizeof fixed, &pointer), 0u);
    EdsUInt64 length = 0;
    ASSERT_EQ(eds->EdsGetLength(pointer, &length), 0u);
    EXPECT_EQ(length, 4u);
    ASSERT_EQ(eds->EdsSeek(pointer, 2, kEdsSeek_Begin), 0u);
    EXPECT_EQ(eds->EdsWrite(pointer, 3, "xyz", &done), EDS_ERR_STREAM_WRITE_ERROR); // beyond the caller's buffer
    EXPECT_EQ(std::memcmp(fixed, "abcd", 4), 0);

    ASSERT_EQ(eds->EdsSeek(memory, 0, kEdsSeek_Begin), 0u);
    ASSERT_EQ(eds->EdsSeek(pointer, 0, kEdsSeek_Begin), 0u);
    ASSERT_EQ(eds->EdsCopyData(memory, 4, pointer), 0u);
    EXPECT_EQ(std::memcmp(fixed, "hell", 4), 0);
    ASSERT_EQ(eds->EdsSeek(pointer, 0, kEdsSeek_Begin), 0u);
    EXPECT_EQ(eds->EdsCopyData(memory, 4, pointer), EDS_ERR_STREAM_END_OF_STREAM); // one byte was left
    EXPECT_EQ(fixed[0], 'o');

    QTemporaryDir dir;
    const std::string missing = dir.filePath("missing.bin").toStdString();
    EdsStreamRef file = nullptr;
    EXPECT_EQ(eds->EdsCreateFileStream(missing.c_str(), kEdsFileCreateDisposition_OpenExisting, kEdsAccess_Read, &file),
              EDS_ERR_FILE_NOT_FOUND);
    EXPECT_EQ(file, nullptr);
    ASSERT_EQ(eds->EdsCreateFileStream(missing.c_str(), kEdsFileCreateDisposition_CreateAlways, kEdsAccess_Write, &file), 0u);
    EXPECT_EQ(eds->EdsRead(file, 1, two, &done), EDS_ERR_STREAM_PERMISSION_ERROR);
    EXPECT_EQ(eds->EdsRelease(file), 0u);
    for (EdsBaseRef ref : {memory, pointer})
        EXPECT_EQ(eds->EdsRelease(ref), 0u);
    EXPECT_EQ(eds->SimCam_LiveObjects(), 0);
}

TEST_F(EdsdkSimCam, ACancelledDownloadStopsAtTheCallersWord)
{
    start();
    EdsCameraRef camera = connect();
    ASSERT_EQ(writeU32(camera, kEdsPropID_SaveTo, kEdsSaveTo_Host), 0u);
    ASSERT_EQ(eds->EdsSendCommand(camera, kEdsCameraCommand_TakePicture, 0), 0u); // large fine: many chunks
    const auto ready = recorder.waitFor(2, kEdsObjectEvent_DirItemRequestTransfer, 1);
    ASSERT_EQ(ready.size(), 1u);
    Progress progress;
    progress.cancelAt50 = true;
    EdsError err = 0;
    download(ready[0].ref, &progress, &err);
    EXPECT_EQ(err, EDS_ERR_OPERATION_CANCELLED);
    ASSERT_FALSE(progress.percents.empty());
    EXPECT_LT(progress.percents.back(), 100u);
    EXPECT_EQ(eds->EdsDownloadCancel(ready[0].ref), 0u);
    EXPECT_EQ(eds->EdsRelease(ready[0].ref), 0u);
    EXPECT_EQ(eds->EdsRelease(camera), 0u);
}

// ---- faults ----

TEST_F(EdsdkSimCam, ABusyCameraAnswersTheCommandOnlyOnTheThirdTry)
{
    start();
    EdsCameraRef camera = connect();
    eds->SimCam_FailNext("EdsSendCommand", EDS_ERR_DEVICE_BUSY, 2);
    EXPECT_EQ(eds->EdsSendCommand(camera, kEdsCameraCommand_PressShutterButton, 3), EDS_ERR_DEVICE_BUSY);
    EXPECT_EQ(eds->EdsSendCommand(camera, kEdsCameraCommand_PressShutterButton, 3), EDS_ERR_DEVICE_BUSY);
    EXPECT_EQ(eds->EdsSendCommand(camera, kEdsCameraCommand_PressShutterButton, 3), 0u);
    EXPECT_EQ(eds->SimCam_CallCount("EdsSendCommand"), 3);
    ASSERT_EQ(recorder.waitFor(2, kEdsObjectEvent_DirItemCreated, 1).size(), 1u);
    ASSERT_TRUE(eds->SimCam_WaitIdle(30000)); // a picture of a refused press would have come by now
    const auto created = recorder.seen(2, kEdsObjectEvent_DirItemCreated);
    ASSERT_EQ(created.size(), 1u); // one picture: the refused presses took none
    EXPECT_EQ(eds->EdsRelease(created[0].ref), 0u);
    EXPECT_EQ(eds->EdsRelease(camera), 0u);
}

TEST_F(EdsdkSimCam, ARefusedValueKeepsThePreviousSetting)
{
    start();
    EdsCameraRef camera = connect();
    ASSERT_EQ(writeU32(camera, kEdsPropID_ISOSpeed, 72), 0u);
    eds->SimCam_RefuseValue(kEdsPropID_ISOSpeed, 80, EDS_ERR_DEVICE_BUSY);
    for (int attempt = 0; attempt < 3; ++attempt)
        EXPECT_EQ(writeU32(camera, kEdsPropID_ISOSpeed, 80), EDS_ERR_DEVICE_BUSY);
    EXPECT_EQ(readU32(camera, kEdsPropID_ISOSpeed), 72u);
    EXPECT_EQ(writeU32(camera, kEdsPropID_ISOSpeed, 88), 0u); // other values still go through
    eds->SimCam_RefuseValue(kEdsPropID_ISOSpeed, 80, 0);
    EXPECT_EQ(writeU32(camera, kEdsPropID_ISOSpeed, 80), 0u);
    EXPECT_EQ(eds->EdsRelease(camera), 0u);
}

TEST_F(EdsdkSimCam, ADisconnectInTheMiddleOfATransferEndsTheCamera)
{
    start();
    EdsCameraRef camera = connect();
    ASSERT_EQ(writeU32(camera, kEdsPropID_SaveTo, kEdsSaveTo_Host), 0u);
    ASSERT_EQ(eds->EdsSendCommand(camera, kEdsCameraCommand_TakePicture, 0), 0u);
    const auto ready = recorder.waitFor(2, kEdsObjectEvent_DirItemRequestTransfer, 1);
    ASSERT_EQ(ready.size(), 1u);

    eds->SimCam_DisconnectDuringTransfer(300000);
    EdsError err = 0;
    const QByteArray partial = download(ready[0].ref, nullptr, &err);
    EXPECT_EQ(err, EDS_ERR_COMM_DISCONNECTED);
    EXPECT_EQ(partial.size(), 300000);
    const auto shutdown = recorder.waitFor(3, kEdsStateEvent_Shutdown, 1);
    ASSERT_EQ(shutdown.size(), 1u);
    EXPECT_NE(shutdown[0].thread, std::this_thread::get_id());

    EdsDeviceInfo info{};
    EXPECT_EQ(eds->EdsGetDeviceInfo(camera, &info), EDS_ERR_COMM_DISCONNECTED);
    EXPECT_EQ(eds->EdsDownloadComplete(ready[0].ref), EDS_ERR_COMM_DISCONNECTED);
    EdsCameraListRef list = nullptr;
    ASSERT_EQ(eds->EdsGetCameraList(&list), 0u);
    EdsUInt32 count = 1;
    ASSERT_EQ(eds->EdsGetChildCount(list, &count), 0u);
    EXPECT_EQ(count, 0u);
    for (EdsBaseRef ref : {list, ready[0].ref, camera})
        EXPECT_EQ(eds->EdsRelease(ref), 0u);
    EXPECT_EQ(eds->SimCam_LiveObjects(), 0);
}

// A user's program must never list a camera that is not there: only the variable plugs one in.
TEST_F(EdsdkSimCam, WithoutTheVariableNoCameraIsPluggedIn)
{
    const QByteArray before = qgetenv("JEX4_SIMCAM_CAMERAS");
    qunsetenv("JEX4_SIMCAM_CAMERAS");
    ASSERT_EQ(eds->EdsInitializeSDK(), 0u);
    started = true;
    if (!before.isNull())
        qputenv("JEX4_SIMCAM_CAMERAS", before);
    EdsCameraListRef list = nullptr;
    ASSERT_EQ(eds->EdsGetCameraList(&list), 0u);
    EdsUInt32 count = 99;
    ASSERT_EQ(eds->EdsGetChildCount(list, &count), 0u);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(eds->EdsRelease(list), 0u);
}

TEST_F(EdsdkSimCam, FaultsAndCamerasComeFromTheEnvironmentAtTheStart)
{
    qputenv("JEX4_SIMCAM_CAMERAS", "classic,live");
    qputenv("JEX4_SIMCAM_FAIL", "EdsOpenSession:0x81:1,_EdsGetEvent@0:0x2:2");
    ASSERT_EQ(eds->EdsInitializeSDK(), 0u);
    started = true;
    qunsetenv("JEX4_SIMCAM_CAMERAS");
    qunsetenv("JEX4_SIMCAM_FAIL");
    EdsCameraListRef list = nullptr;
    ASSERT_EQ(eds->EdsGetCameraList(&list), 0u);
    EdsCameraRef camera = nullptr;
    ASSERT_EQ(eds->EdsGetChildAtIndex(list, 0, &camera), 0u);
    EdsDeviceInfo info{};
    ASSERT_EQ(eds->EdsGetDeviceInfo(camera, &info), 0u);
    EXPECT_STREQ(info.szDeviceDescription, "EOS SimCam Classic");
    EXPECT_EQ(eds->EdsOpenSession(camera), EDS_ERR_DEVICE_BUSY);
    EXPECT_EQ(eds->EdsOpenSession(camera), 0u);
    EXPECT_EQ(eds->EdsGetEvent(), EDS_ERR_INTERNAL_ERROR);
    EXPECT_EQ(eds->EdsGetEvent(), EDS_ERR_INTERNAL_ERROR);
    EXPECT_EQ(eds->EdsGetEvent(), 0u);
    EXPECT_EQ(eds->EdsRelease(camera), 0u);
    EXPECT_EQ(eds->EdsRelease(list), 0u);
}

TEST_F(EdsdkSimCam, PolledEventsArriveOnlyThroughGetEventOnTheCallersThread)
{
    qputenv("JEX4_SIMCAM_EVENTS", "poll");
    start();
    qunsetenv("JEX4_SIMCAM_EVENTS");
    EdsCameraRef camera = connect();
    ASSERT_EQ(eds->SimCam_RaiseEvent(0, kEdsStateEvent_WillSoonShutDown, 30), 0);
    EXPECT_GE(eds->SimCam_PendingEvents(), 1) << "the event waits for the caller";
    EXPECT_TRUE(recorder.seen(3, kEdsStateEvent_WillSoonShutDown).empty());
    ASSERT_EQ(eds->EdsGetEvent(), 0u);
    EXPECT_EQ(eds->SimCam_PendingEvents(), 0);
    const auto events = recorder.seen(3, kEdsStateEvent_WillSoonShutDown);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].data, 30u);
    EXPECT_EQ(events[0].thread, std::this_thread::get_id());
    EXPECT_EQ(eds->EdsRelease(camera), 0u);
}

TEST_F(EdsdkSimCam, CamerasComeAndGoWhileTheSdkRuns)
{
    start("live");
    EdsCameraRef camera = connect();
    int added = 0;
    auto onAdded = [](EdsVoid* context) -> EdsError {
        ++*static_cast<int*>(context);
        return 0;
    };
    ASSERT_EQ(eds->EdsSetCameraAddedHandler(onAdded, &added), 0u);
    ASSERT_EQ(eds->SimCam_SetCameras("live,classic"), 0);
    ASSERT_TRUE(eds->SimCam_WaitIdle(30000));
    EXPECT_EQ(added, 1);
    ASSERT_EQ(eds->SimCam_Unplug(0), 0);
    ASSERT_EQ(recorder.waitFor(3, kEdsStateEvent_Shutdown, 1).size(), 1u);
    EdsCameraListRef list = nullptr;
    ASSERT_EQ(eds->EdsGetCameraList(&list), 0u);
    EdsUInt32 count = 0;
    ASSERT_EQ(eds->EdsGetChildCount(list, &count), 0u);
    EXPECT_EQ(count, 1u);
    EXPECT_EQ(eds->EdsRelease(list), 0u);

    // Another model in the first place: the camera there goes, the new one comes.
    ASSERT_EQ(eds->SimCam_SetCameras("live"), 0);
    ASSERT_TRUE(eds->SimCam_WaitIdle(30000));
    EXPECT_EQ(added, 2);
    ASSERT_EQ(eds->EdsGetCameraList(&list), 0u);
    ASSERT_EQ(eds->EdsGetChildCount(list, &count), 0u);
    ASSERT_EQ(count, 1u);
    EdsCameraRef now = nullptr;
    ASSERT_EQ(eds->EdsGetChildAtIndex(list, 0, &now), 0u);
    EdsDeviceInfo info{};
    ASSERT_EQ(eds->EdsGetDeviceInfo(now, &info), 0u);
    EXPECT_STREQ(info.szDeviceDescription, "EOS SimCam Live");
    EXPECT_NE(now, camera); // a new camera, not the one unplugged
    for (EdsBaseRef ref : {now, list, camera})
        EXPECT_EQ(eds->EdsRelease(ref), 0u);
}

// The program answers the announcement by extending the timer, as the component does at once.
struct Extender {
    Eds* eds = nullptr;
    EdsCameraRef camera = nullptr;
    bool extend = false;
    Recorder* recorder = nullptr;
    static EdsError onState(EdsStateEvent event, EdsUInt32 data, EdsVoid* context)
    {
        auto* self = static_cast<Extender*>(context);
        if (event == kEdsStateEvent_WillSoonShutDown && self->extend)
            self->eds->EdsSendCommand(self->camera, kEdsCameraCommand_ExtendShutDownTimer, 0);
        return Recorder::onState(event, data, self->recorder);
    }
};

TEST_F(EdsdkSimCam, ACameraLeftAloneAnnouncesItsSwitchOffAndGoesUnlessTheTimerIsExtended)
{
    for (const bool extend : {true, false}) {
        SCOPED_TRACE(extend ? "extended" : "left alone");
        qputenv("JEX4_SIMCAM_AUTO_OFF_MS", "100");
        start();
        qunsetenv("JEX4_SIMCAM_AUTO_OFF_MS");
        Recorder events;
        Extender extender{eds.get(), nullptr, extend, &events};
        // The handler is in place before the session opens, so no announcement can come before it.
        EdsCameraListRef list = nullptr;
        ASSERT_EQ(eds->EdsGetCameraList(&list), 0u);
        ASSERT_EQ(eds->EdsGetChildAtIndex(list, 0, &extender.camera), 0u);
        EXPECT_EQ(eds->EdsRelease(list), 0u);
        ASSERT_EQ(eds->EdsSetCameraStateEventHandler(extender.camera, kEdsStateEvent_All, Extender::onState, &extender), 0u);
        ASSERT_EQ(eds->EdsOpenSession(extender.camera), 0u);
        // Announced again after each extension, which a camera that went could not do; once only
        // when nobody answers.
        const size_t announcements = extend ? 3 : 1;
        ASSERT_EQ(events.waitFor(3, kEdsStateEvent_WillSoonShutDown, announcements).size(), announcements);
        EdsDeviceInfo info{};
        if (extend) {
            EXPECT_TRUE(events.seen(3, kEdsStateEvent_Shutdown).empty());
            EXPECT_EQ(eds->EdsGetDeviceInfo(extender.camera, &info), 0u);
        } else {
            EXPECT_EQ(events.waitFor(3, kEdsStateEvent_Shutdown, 1).size(), 1u);
            EXPECT_EQ(eds->EdsGetDeviceInfo(extender.camera, &info), EDS_ERR_COMM_DISCONNECTED);
        }
        EXPECT_EQ(eds->EdsRelease(extender.camera), 0u);
        EXPECT_EQ(eds->EdsTerminateSDK(), 0u);
        started = false;
    }
}

TEST_F(EdsdkSimCam, FinishingWithEventsUnsentDropsThemAndTheirReferences)
{
    qputenv("JEX4_SIMCAM_RELEASE_MS", "0");
    start();
    qunsetenv("JEX4_SIMCAM_RELEASE_MS");
    EdsCameraRef camera = connect();
    ASSERT_EQ(writeU32(camera, kEdsPropID_SaveTo, kEdsSaveTo_Host), 0u);
    for (int i = 0; i < 3; ++i)
        ASSERT_EQ(eds->EdsSendCommand(camera, kEdsCameraCommand_TakePicture, 0), 0u);
    EXPECT_EQ(eds->EdsTerminateSDK(), 0u);
    started = false;
    EXPECT_EQ(eds->SimCam_LiveObjects(), 0);
    EXPECT_EQ(eds->SimCam_PendingEvents(), 0);
    // Anything the handlers were given before the end is gone with the SDK.
    std::lock_guard<std::mutex> guard(recorder.lock);
    for (const auto& e : recorder.events) {
        if (e.ref) {
            EXPECT_EQ(eds->EdsRelease(e.ref), EDS_ERR_INVALID_HANDLE);
        }
    }
}

} // namespace
