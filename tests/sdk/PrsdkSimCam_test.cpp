// The simulated newer-PowerShot camera behind the PRSDK.DLL stand-in, driven through dlopen: the
// device list, the PTP datasets the back-end parses, properties with their allowed values,
// releases announced from the library's thread and handed over block by block, live view, and the
// injected faults.
#define PRSDK_NO_PROTOTYPES
#include "prsdk_api.h"
#include "simcam_control.h"
#include "support/SdkTestSupport.h"

#include <QByteArray>
#include <QImage>
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

const char* const kEntryPoints[] = {
    "PR_StartSDK", "PR_FinishSDK", "PR_GetDllsVersion", "PR_GetDeviceList", "PR_CreateCameraObject",
    "PR_DestroyCameraObject", "PR_ConnectCamera", "PR_DisconnectCamera", "PR_SetEventCallBack",
    "PR_ClearEventCallBack", "PR_GetDeviceInfo", "PR_InitiateReleaseControl", "PR_TerminateReleaseControl",
    "PR_RC_Release", "PR_RC_GetReleasedData", "PR_RC_GetNumAvailableShot", "PR_RC_StartViewFinder",
    "PR_RC_TermViewFinder", "PR_RC_DoAeAfAwb", "PR_RC_FocusLock", "PR_RC_FocusUnlock", "PR_GetDevicePropDesc",
    "PR_GetDevicePropValue", "PR_SetDevicePropValue", "PR_RC_GetChangedReleaseParamesList",
};

struct Pr {
#define PR_POINTER(name, params) pfn_##name name = nullptr;
    PRSDK_ENTRY_POINTS(PR_POINTER)
#undef PR_POINTER
#define SIM_POINTER(ret, name, params) pfn_##name name = nullptr;
    SIMCAM_CONTROL_FUNCTIONS(SIM_POINTER)
#undef SIM_POINTER
    explicit Pr(const SdkLibrary& lib)
    {
#define PR_RESOLVE(name, params) name = lib.get<pfn_##name>(#name);
        PRSDK_ENTRY_POINTS(PR_RESOLVE)
#undef PR_RESOLVE
#define SIM_RESOLVE(ret, name, params) name = lib.get<pfn_##name>(#name);
        SIMCAM_CONTROL_FUNCTIONS(SIM_RESOLVE)
#undef SIM_RESOLVE
    }
};

// Events, picture blocks and viewfinder frames as the library delivered them.
struct Receiver {
    struct Event {
        uint16_t code;
        uint32_t p0, p1;
        std::thread::id thread;
    };
    std::mutex lock;
    std::condition_variable changed;
    std::vector<Event> events;
    QByteArray picture;
    std::vector<uint32_t> percents;
    bool ended = false;
    std::thread::id dataThread;
    std::vector<QByteArray> frames;
    std::thread::id frameThread;

    static prResponse onEvent(prHandle, prContext context, const prVoid* data)
    {
        auto* self = reinterpret_cast<Receiver*>(context);
        prSetEventCBParam record;
        std::memcpy(&record, data, sizeof record);
        std::lock_guard<std::mutex> guard(self->lock);
        self->events.push_back({record.EventCode, record.Parameters[0], record.Parameters[1], std::this_thread::get_id()});
        self->changed.notify_all();
        return 0;
    }
    static prResponse onData(prHandle, prContext context, const prVoid* data)
    {
        auto* self = reinterpret_cast<Receiver*>(context);
        const auto* bytes = static_cast<const unsigned char*>(data);
        uint32_t percent, length;
        const unsigned char* block;
        std::memcpy(&percent, bytes + 8, 4);
        std::memcpy(&length, bytes + 16, 4);
        std::memcpy(&block, bytes + 28, sizeof block);
        self->percents.push_back(percent);
        self->dataThread = std::this_thread::get_id();
        if (length)
            self->picture.append(reinterpret_cast<const char*>(block), length);
        else
            self->ended = true;
        return 0;
    }
    static prResponse onFrame(prHandle, prContext context, prUInt32 size, const prVoid* data)
    {
        auto* self = reinterpret_cast<Receiver*>(context);
        std::lock_guard<std::mutex> guard(self->lock);
        self->frames.emplace_back(static_cast<const char*>(data), qsizetype(size));
        self->frameThread = std::this_thread::get_id();
        self->changed.notify_all();
        return 0;
    }
    std::vector<Event> waitFor(uint16_t code, size_t count, int timeoutMs = 30000)
    {
        std::unique_lock<std::mutex> guard(lock);
        std::vector<Event> found;
        changed.wait_for(guard, std::chrono::milliseconds(timeoutMs), [&] {
            found.clear();
            for (const Event& e : events)
                if (e.code == code)
                    found.push_back(e);
            return found.size() >= count;
        });
        return found;
    }
    size_t waitForFrames(size_t count)
    {
        std::unique_lock<std::mutex> guard(lock);
        changed.wait_for(guard, std::chrono::seconds(30), [&] { return frames.size() >= count; });
        return frames.size();
    }
};

// Reads a PTP dataset the way the back-end does.
struct Reader {
    const unsigned char* at;
    const unsigned char* end;
    uint32_t u(int width)
    {
        uint32_t v = 0;
        if (at + width <= end)
            std::memcpy(&v, at, size_t(width));
        at += width;
        return v;
    }
    void string()
    {
        const int count = int(u(1));
        at += 2 * count;
    }
    std::vector<uint16_t> codes()
    {
        std::vector<uint16_t> out(u(4));
        for (auto& c : out)
            c = uint16_t(u(2));
        return out;
    }
};

std::string narrow(const prWChar* text)
{
    std::string out;
    for (; *text; ++text)
        out += char(*text);
    return out;
}

class PrsdkSimCam : public testing::Test {
protected:
    static void SetUpTestSuite() { s_lib = new SdkLibrary(sdkBinDir() + "/PRSDK.DLL"); }
    static void TearDownTestSuite()
    {
        delete s_lib;
        s_lib = nullptr;
    }
    void SetUp() override
    {
        ASSERT_TRUE(s_lib->handle) << s_lib->error;
        pr = std::make_unique<Pr>(*s_lib);
        pr->SimCam_Reset();
    }
    void TearDown() override
    {
        if (camera) {
            pr->PR_ClearEventCallBack(camera);
            pr->PR_DisconnectCamera(camera);
            pr->PR_DestroyCameraObject(camera);
        }
        if (started)
            pr->PR_FinishSDK();
    }

    void start(const char* models)
    {
        ASSERT_EQ(pr->SimCam_SetCameras(models), 0);
        ASSERT_EQ(pr->PR_StartSDK(), 0u);
        started = true;
    }

    std::vector<prDeviceInfoTable> devices()
    {
        std::vector<unsigned char> buffer(110604);
        prUInt32 size = prUInt32(buffer.size());
        EXPECT_EQ(pr->PR_GetDeviceList(&size, reinterpret_cast<prDeviceList*>(buffer.data())), 0u);
        prUInt32 count;
        std::memcpy(&count, buffer.data(), 4);
        std::vector<prDeviceInfoTable> out(count);
        std::memcpy(out.data(), buffer.data() + 4, count * sizeof(prDeviceInfoTable));
        return out;
    }

    void connect(int index = 0)
    {
        auto list = devices();
        ASSERT_GT(list.size(), size_t(index));
        ASSERT_EQ(pr->PR_CreateCameraObject(&list[size_t(index)], &camera), 0u);
        ASSERT_EQ(pr->PR_ConnectCamera(camera), 0u);
        ASSERT_EQ(pr->PR_SetEventCallBack(camera, reinterpret_cast<prContext>(&receiver), Receiver::onEvent), 0u);
    }

    prResponse setValue(uint16_t code, uint32_t value, uint32_t width)
    {
        return pr->PR_SetDevicePropValue(camera, code, width, &value);
    }
    uint32_t getValue(uint16_t code, uint32_t width)
    {
        uint32_t value = 0;
        prUInt32 size = width;
        EXPECT_EQ(pr->PR_GetDevicePropValue(camera, code, &size, &value), 0u);
        EXPECT_EQ(size, width);
        return value;
    }

    static SdkLibrary* s_lib;
    std::unique_ptr<Pr> pr;
    Receiver receiver;
    prHandle camera = 0;
    bool started = false;
};

SdkLibrary* PrsdkSimCam::s_lib = nullptr;

TEST_F(PrsdkSimCam, ExportsEveryEntryPointAndCarriesItsVersion)
{
    ASSERT_EQ(std::size(kEntryPoints), 25u);
    for (const char* name : kEntryPoints)
        EXPECT_NE(s_lib->resolve(name), nullptr) << name;
    EXPECT_EQ(readVersionNote(sdkBinDir() + "/PRSDK.DLL"), (VersionNote{1, 1, 0, 20}));
    EXPECT_EQ(readVersionNote(sdkBinDir() + "/PRLIB.dll"), (VersionNote{1, 1, 0, 12}));
}

TEST_F(PrsdkSimCam, ListsItsCamerasAndAsksForRoomWhenTheBufferIsShort)
{
    start("live,ps-new,ps-both"); // the EOS camera is not this library's
    const auto list = devices();
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(narrow(list[0].ModelName), "PowerShot SimCam N");
    EXPECT_EQ(narrow(list[1].ModelName), "PowerShot SimCam Twin");
    EXPECT_EQ(sizeof(prDeviceInfoTable), 1106u);

    prUInt32 size = 10;
    unsigned char small[10];
    EXPECT_EQ(pr->PR_GetDeviceList(&size, reinterpret_cast<prDeviceList*>(small)), PR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(size, 4 + 2 * 1106u);

    prUInt32 versionSize = 0;
    EXPECT_EQ(pr->PR_GetDllsVersion(&versionSize, nullptr), PR_INSUFFICIENT_BUFFER);
    std::vector<unsigned char> versions(versionSize);
    ASSERT_EQ(pr->PR_GetDllsVersion(&versionSize, reinterpret_cast<prDllsVerInfo*>(versions.data())), 0u);
    const auto* info = reinterpret_cast<const prDllsVerInfo*>(versions.data());
    ASSERT_EQ(info->Entry, 2u);
    EXPECT_EQ(narrow(info->VersionInfo[0].Version), "1.1.0.20");
}

TEST_F(PrsdkSimCam, ConnectsAndDescribesItselfInPtpDatasets)
{
    start("ps-new");
    connect();
    EXPECT_EQ(pr->PR_SetEventCallBack(camera, 0, Receiver::onEvent), PR_EVENT_CALLBACK_EXIST);
    char owner[260] = {};
    prUInt32 size = sizeof owner;
    ASSERT_EQ(pr->PR_GetDevicePropValue(camera, prPTP_DEV_PROP_CAMERA_OWNER, &size, owner), 0u);
    EXPECT_EQ(size, 260u);
    EXPECT_EQ(getValue(prPTP_DEV_PROP_BATTERY_KIND, 2), 2u);   // lithium
    EXPECT_EQ(getValue(prPTP_DEV_PROP_BATTERY_STATUS, 4), 1u); // normal

    std::vector<unsigned char> buffer(1 << 20);
    size = prUInt32(buffer.size());
    ASSERT_EQ(pr->PR_GetDeviceInfo(camera, &size, buffer.data()), 0u);
    Reader r{buffer.data(), buffer.data() + size};
    r.u(2);
    r.u(4);
    r.u(2);
    r.string();
    r.u(2);
    const auto operations = r.codes();
    r.codes(); // events
    const auto properties = r.codes();
    for (uint16_t op : {0x9008, 0x900B, 0x9014})
        EXPECT_NE(std::find(operations.begin(), operations.end(), op), operations.end()) << std::hex << op;
    for (uint16_t prop : {0xD006, 0xD008, 0xD01D, 0xD01E, 0xD02A, 0xD040, 0xD041, 0xD00B})
        EXPECT_NE(std::find(properties.begin(), properties.end(), prop), properties.end()) << std::hex << prop;

    // Aperture: an enumeration of 2-byte codes in thirds of a stop.
    size = prUInt32(buffer.size());
    ASSERT_EQ(pr->PR_GetDevicePropDesc(camera, prPTP_DEV_PROP_AV, &size, buffer.data()), 0u);
    Reader av{buffer.data(), buffer.data() + size};
    EXPECT_EQ(av.u(2), prPTP_DEV_PROP_AV);
    EXPECT_EQ(av.u(2), prPTP_DATATYPE_UINT16);
    av.u(1);
    av.u(2);
    EXPECT_EQ(av.u(2), 40u); // current: f/4
    EXPECT_EQ(av.u(1), prPTP_FORM_ENUM);
    const uint32_t count = av.u(2);
    std::vector<uint32_t> values;
    for (uint32_t i = 0; i < count; ++i)
        values.push_back(av.u(2));
    EXPECT_EQ(values.front(), 32u);
    EXPECT_EQ(values.back(), 64u);
    EXPECT_EQ(values[1], 35u);

    // Zoom: a range up to the camera's last step; the optical limit is one above its last step.
    size = prUInt32(buffer.size());
    ASSERT_EQ(pr->PR_GetDevicePropDesc(camera, prPTP_DEV_PROP_ZOOM_POS, &size, buffer.data()), 0u);
    Reader zoom{buffer.data(), buffer.data() + size};
    zoom.u(2);
    zoom.u(2);
    zoom.u(1);
    zoom.u(2);
    EXPECT_EQ(zoom.u(2), 0u);
    EXPECT_EQ(zoom.u(1), prPTP_FORM_RANGE);
    EXPECT_EQ(zoom.u(2), 0u);
    EXPECT_EQ(zoom.u(2), 14u);
    EXPECT_EQ(getValue(prPTP_DEV_PROP_MAX_OPTICAL_ZOOM, 2), 10u);
    EXPECT_EQ(pr->PR_GetDevicePropDesc(camera, 0xD0FF, &size, buffer.data()), PR_RESPONSE_DEVICE_PROP_NOT_SUPPORTED);
}

TEST_F(PrsdkSimCam, PropertiesTakeTheirListedValuesInTheModesThatAllowThem)
{
    start("ps-new");
    connect();
    const struct {
        uint16_t code;
        uint32_t value, width;
        prResponse expected;
    } cases[] = {
        {prPTP_DEV_PROP_AV, 48, 2, PR_RESPONSE_ACCESS_DENIED}, // program mode chooses the aperture itself
        {prPTP_DEV_PROP_EXPOSURE_MODE, 4, 1, 0},              // manual
        {prPTP_DEV_PROP_AV, 48, 2, 0},
        {prPTP_DEV_PROP_AV, 49, 2, PR_RESPONSE_INVALID_DEVICE_PROP_VALUE},
        {prPTP_DEV_PROP_TV, 56, 2, 0},
        {prPTP_DEV_PROP_ISO, 80, 2, 0},
        {prPTP_DEV_PROP_ISO, 80, 1, PR_RESPONSE_INVALID_DEVICE_PROP_FORMAT},
        {prPTP_DEV_PROP_SHARPNESS, 0xFF, 1, 0},
        {prPTP_DEV_PROP_BATTERY_KIND, 1, 2, PR_RESPONSE_ACCESS_DENIED},
        {prPTP_DEV_PROP_ZOOM_POS, 14, 2, 0},
        {prPTP_DEV_PROP_ZOOM_POS, 15, 2, PR_RESPONSE_INVALID_DEVICE_PROP_VALUE},
    };
    for (const auto& c : cases)
        EXPECT_EQ(setValue(c.code, c.value, c.width), c.expected) << std::hex << c.code << " " << c.value;
    EXPECT_EQ(getValue(prPTP_DEV_PROP_AV, 2), 48u);
    EXPECT_EQ(getValue(prPTP_DEV_PROP_SHARPNESS, 1), 0xFFu);

    pr->SimCam_RefuseValue(prPTP_DEV_PROP_WB_SETTING, 3, PR_RESPONSE_DEVICE_BUSY);
    EXPECT_EQ(setValue(prPTP_DEV_PROP_WB_SETTING, 3, 1), PR_RESPONSE_DEVICE_BUSY);
    EXPECT_EQ(getValue(prPTP_DEV_PROP_WB_SETTING, 1), 0u);

    char name[260] = "A. Douglass";
    EXPECT_EQ(pr->PR_SetDevicePropValue(camera, prPTP_DEV_PROP_CAMERA_OWNER, 260, name), 0u);
    char back[260] = {};
    prUInt32 size = sizeof back;
    ASSERT_EQ(pr->PR_GetDevicePropValue(camera, prPTP_DEV_PROP_CAMERA_OWNER, &size, back), 0u);
    EXPECT_STREQ(back, name);
}

TEST_F(PrsdkSimCam, AReleaseIsAnnouncedFromTheLibrarysThreadAndHandedOverInBlocks)
{
    const struct {
        uint32_t sizeCode;
        QSize size;
    } cases[] = {{0, {2592, 1944}}, {1, {2048, 1536}}, {2, {640, 480}}};
    start("ps-new");
    connect();
    ASSERT_EQ(pr->PR_InitiateReleaseControl(camera), 0u);
    ASSERT_EQ(setValue(prPTP_DEV_PROP_CAPTURE_TRANSFER_MODE, 3, 2), 0u); // thumbnail and picture to the computer
    size_t released = 0;
    for (const auto& c : cases) {
        ASSERT_EQ(setValue(prPTP_DEV_PROP_IMAGE_SIZE, c.sizeCode, 1), 0u);
        ASSERT_EQ(pr->PR_RC_Release(camera), 0u);
        ++released;
        const auto thumbs = receiver.waitFor(prPTP_EVENT_THUMBNAIL_RELEASED, released);
        const auto pictures = receiver.waitFor(prPTP_EVENT_FULL_VIEW_RELEASED, released);
        ASSERT_EQ(thumbs.size(), released);
        ASSERT_EQ(pictures.size(), released);
        EXPECT_NE(pictures.back().thread, std::this_thread::get_id());

        for (const auto& [event, expected] : {std::pair{thumbs.back(), QSize(160, 120)}, std::pair{pictures.back(), c.size}}) {
            receiver.picture.clear();
            receiver.percents.clear();
            receiver.ended = false;
            ASSERT_EQ(pr->PR_RC_GetReleasedData(camera, event.p0, event.code, 100000, reinterpret_cast<prContext>(&receiver),
                                                Receiver::onData), 0u);
            EXPECT_TRUE(receiver.ended);
            EXPECT_EQ(uint32_t(receiver.picture.size()), event.p1);
            EXPECT_EQ(QImage::fromData(receiver.picture, "JPG").size(), expected);
            EXPECT_EQ(receiver.percents.back(), 100u);
            EXPECT_NE(receiver.dataThread, std::this_thread::get_id());
            // Once handed over, the picture has left the camera's memory.
            EXPECT_EQ(pr->PR_RC_GetReleasedData(camera, event.p0, event.code, 100000, 0, Receiver::onData),
                      PR_RESPONSE_INVALID_OBJECT_HANDLE);
        }
    }
    prUInt32 shots = 0;
    ASSERT_EQ(pr->PR_RC_GetNumAvailableShot(camera, &shots), 0u);
    EXPECT_GT(shots, 0u);
}

TEST_F(PrsdkSimCam, ADisconnectInTheMiddleOfAHandOverNeverEndsThePicture)
{
    start("ps-new");
    connect();
    ASSERT_EQ(pr->PR_InitiateReleaseControl(camera), 0u);
    ASSERT_EQ(pr->PR_RC_Release(camera), 0u);
    const auto pictures = receiver.waitFor(prPTP_EVENT_FULL_VIEW_RELEASED, 1);
    ASSERT_EQ(pictures.size(), 1u);
    pr->SimCam_DisconnectDuringTransfer(150000);
    EXPECT_EQ(pr->PR_RC_GetReleasedData(camera, pictures[0].p0, pictures[0].code, 100000,
                                        reinterpret_cast<prContext>(&receiver), Receiver::onData),
              PR_RESPONSE_INCOMPLETE_TRANSFER);
    EXPECT_EQ(receiver.picture.size(), 150000);
    EXPECT_FALSE(receiver.ended); // a cut picture is never reported complete
    EXPECT_EQ(receiver.waitFor(prPTP_EVENT_DEVICE_DISCONNECTED, 1).size(), 1u);
    prUInt32 shots = 0;
    EXPECT_EQ(pr->PR_RC_GetNumAvailableShot(camera, &shots), PR_RESPONSE_SESSION_NOT_OPEN);
}

TEST_F(PrsdkSimCam, TheViewfinderSendsFramesUntilItIsEnded)
{
    qputenv("JEX4_SIMCAM_VIEWFINDER_MS", "10");
    start("ps-new");
    qunsetenv("JEX4_SIMCAM_VIEWFINDER_MS");
    connect();
    EXPECT_EQ(pr->PR_RC_StartViewFinder(camera, reinterpret_cast<prContext>(&receiver), Receiver::onFrame),
              PR_INVALID_FN_CALL); // only in remote control
    ASSERT_EQ(pr->PR_InitiateReleaseControl(camera), 0u);
    ASSERT_EQ(pr->PR_RC_StartViewFinder(camera, reinterpret_cast<prContext>(&receiver), Receiver::onFrame), 0u);
    ASSERT_GE(receiver.waitForFrames(3), 3u);
    ASSERT_EQ(pr->PR_RC_TermViewFinder(camera), 0u);
    EXPECT_EQ(receiver.waitFor(prPTP_EVENT_ENABLE_PC_EVF, 1).size(), 1u);
    EXPECT_EQ(receiver.waitFor(prPTP_EVENT_ABORT_PC_EVF, 1).size(), 1u);
    std::lock_guard<std::mutex> guard(receiver.lock);
    EXPECT_EQ(QImage::fromData(receiver.frames[0], "JPG").size(), QSize(320, 240));
    EXPECT_NE(receiver.frames[0], receiver.frames[1]);
    EXPECT_NE(receiver.frameThread, std::this_thread::get_id());
}

TEST_F(PrsdkSimCam, InjectedFaultsAndCameraEventsReachTheCaller)
{
    start("ps-new");
    connect();
    ASSERT_EQ(pr->PR_InitiateReleaseControl(camera), 0u);
    pr->SimCam_FailNext("PR_RC_Release", PR_RESPONSE_DEVICE_BUSY, 1);
    EXPECT_EQ(pr->PR_RC_Release(camera), PR_RESPONSE_DEVICE_BUSY);
    EXPECT_EQ(pr->PR_RC_Release(camera), 0u);
    EXPECT_EQ(pr->SimCam_CallCount("PR_RC_Release"), 2);

    ASSERT_EQ(pr->SimCam_RaiseEvent(0, prPTP_EVENT_CHANGE_BATTERY_STATUS, 2), 0);
    const auto battery = receiver.waitFor(prPTP_EVENT_CHANGE_BATTERY_STATUS, 1);
    ASSERT_EQ(battery.size(), 1u);
    EXPECT_EQ(battery[0].p1, 2u); // weak, in the second parameter

    ASSERT_EQ(pr->SimCam_SetProperty(0, prPTP_DEV_PROP_WB_SETTING, 1), 0);
    EXPECT_EQ(receiver.waitFor(prPTP_EVENT_RC_CHANGED_BY_CAM_UI, 1).size(), 1u);
    std::vector<unsigned char> list(64);
    prUInt32 size = prUInt32(list.size());
    ASSERT_EQ(pr->PR_RC_GetChangedReleaseParamesList(camera, &size, list.data()), 0u);
    uint32_t count;
    uint16_t code;
    std::memcpy(&count, list.data(), 4);
    std::memcpy(&code, list.data() + 4, 2);
    EXPECT_EQ(count, 1u);
    EXPECT_EQ(code, prPTP_DEV_PROP_WB_SETTING);
}

} // namespace
