// The simulated older-PowerShot camera behind the CDSDK.DLL stand-in, driven through dlopen: the
// device enumeration, device properties, release control with its data, the card's pictures,
// the viewfinder, the settings a probe tries, and the injected faults.
#define CDSDK_NO_PROTOTYPES
#include "cdsdk_api.h"
#include "simcam_control.h"
#include "support/SdkTestSupport.h"

#include <QByteArray>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

// The entry points the program's back-end calls by name, as the Windows library exports them.
const char* const kNamedEntryPoints[] = {
    "CDStartSDK", "CDFinishSDK", "CDGetSDKVersion", "CDEnumDeviceReset", "CDEnumDeviceNext", "CDGetDeviceCount",
    "CDEnumDeviceRelease", "CDOpenSource", "CDCloseSource", "CDRegisterEventCallbackFunction",
    "CDUnregisterEventCallbackFunction", "CDEnumDevicePropertyReset", "CDEnumDevicePropertyNext",
    "CDEnumDevicePropertyRelease", "CDGetDevicePropertyData", "CDSetDevicePropertyData", "CDLockUI", "CDUnlockUI",
    "CDSetUILockTimeOutTime", "CDFormat", "CDEnumVolumeReset", "CDEnumVolumeNext", "CDEnumVolumeRelease",
    "CDGetVolumeInfo", "CDEnumImageItemReset", "CDEnumImageItemNext", "CDGetImageItemCount", "CDEnumImageItemRelease",
    "CDGetItemInfo", "CDOpenImage", "CDCloseImage", "CDGetThumbnail", "CDGetPicture", "CDGetImageData",
    "CDDeleteImage", "CDEnterReleaseControl", "CDExitReleaseControl", "_CDGetReleaseControlFaculty@8",
    "CDSelectReleaseDataKind", "CDRelease", "CDGetReleasedData", "CDStartViewfinder", "CDTermViewfinder",
    "CDSelectViewFinderCameraOutput", "CDActViewfinderAutoFunctions", "CDGetMaximumZoomPos", "CDGetZoomPos",
    "CDGetDZoomMagnification", "CDSetZoomPos", "CDAFLock", "CDEnumImageFormatAttributeReset",
    "CDGetImageFormatAttributeCount", "CDEnumImageFormatAttributeNext", "CDEnumImageFormatAttributeRelease",
    "CDGetImageFormatAttribute", "CDSetImageFormatAttribute", "CDEnumShootingModeReset", "CDGetShootingModeCount",
    "CDEnumShootingModeNext", "CDEnumShootingModeRelease", "CDGetShootingMode", "CDSetShootingMode",
    "CDEnumAvValueReset", "CDEnumAvValueNext", "CDEnumAvValueRelease", "CDGetAvValueCount", "CDGetAvValue",
    "CDSetAvValue", "CDEnumTvValueReset", "CDSetTvValue", "CDEnumExposureCompReset", "CDSetExposureComp",
    "CDEnumWBSettingReset", "CDSetWBSetting", "CDEnumAFDistanceSettingReset", "CDSetAFDistanceSetting",
    "CDEnumFlashSettingReset", "CDGetFlashSetting", "CDSetFlashSetting", "CDGetNumAvailableShot",
    "CDEnumRelCamSettingReset", "CDGetRelCamSettingDataCount", "CDEnumRelCamSettingDataReset",
    "CDEnumRelCamSettingDataNext", "CDEnumRelCamSettingDataRelease", "CDGetRelCamSettingData",
    "CDSetRelCamSettingData", "CDGetImagePropertyPart",
};

struct Cd {
#define CD_POINTER(name, params) pfn_##name name = nullptr;
    CDSDK_ENTRY_POINTS(CD_POINTER)
#undef CD_POINTER
#define SIM_POINTER(ret, name, params) pfn_##name name = nullptr;
    SIMCAM_CONTROL_FUNCTIONS(SIM_POINTER)
#undef SIM_POINTER
    int resolved = 0;
    explicit Cd(const SdkLibrary& lib)
    {
#define CD_RESOLVE(name, params) resolved += (name = lib.get<pfn_##name>(#name)) != nullptr;
        CDSDK_ENTRY_POINTS(CD_RESOLVE)
#undef CD_RESOLVE
#define SIM_RESOLVE(ret, name, params) name = lib.get<pfn_##name>(#name);
        SIMCAM_CONTROL_FUNCTIONS(SIM_RESOLVE)
#undef SIM_RESOLVE
    }
};

struct Receiver {
    struct Event {
        bool release;
        uint32_t code, data;
        std::thread::id thread;
    };
    std::mutex lock;
    std::condition_variable changed;
    std::vector<Event> events;
    std::vector<uint32_t> progress;
    std::thread::id progressThread;
    std::vector<QByteArray> frames;
    std::thread::id frameThread;

    void add(Event e)
    {
        std::lock_guard<std::mutex> guard(lock);
        events.push_back(e);
        changed.notify_all();
    }
    static cdUInt32 onEvent(cdUInt32 code, const cdVoid* data, cdUInt32 size, cdContext context)
    {
        uint32_t value = 0;
        if (size >= 4)
            std::memcpy(&value, data, 4);
        reinterpret_cast<Receiver*>(context)->add({false, code, value, std::this_thread::get_id()});
        return 0;
    }
    static cdUInt32 onRelease(cdUInt32 code, const cdVoid* data, cdUInt32 size, cdContext context)
    {
        uint32_t value = 0;
        if (size >= 4)
            std::memcpy(&value, data, 4);
        reinterpret_cast<Receiver*>(context)->add({true, code, value, std::this_thread::get_id()});
        return 0;
    }
    static cdUInt32 onProgress(cdUInt32 percent, cdUInt32, cdContext context)
    {
        auto* self = reinterpret_cast<Receiver*>(context);
        self->progress.push_back(percent);
        self->progressThread = std::this_thread::get_id();
        return 0;
    }
    static cdUInt32 onFrame(const cdVoid* data, cdUInt32 size, cdUInt32, cdContext context)
    {
        auto* self = reinterpret_cast<Receiver*>(context);
        std::lock_guard<std::mutex> guard(self->lock);
        self->frames.emplace_back(static_cast<const char*>(data), qsizetype(size));
        self->frameThread = std::this_thread::get_id();
        self->changed.notify_all();
        return 0;
    }
    std::vector<Event> waitFor(bool release, uint32_t code, size_t count)
    {
        std::unique_lock<std::mutex> guard(lock);
        std::vector<Event> found;
        changed.wait_for(guard, std::chrono::seconds(30), [&] {
            found.clear();
            for (const Event& e : events)
                if (e.release == release && e.code == code)
                    found.push_back(e);
            return found.size() >= count;
        });
        return found;
    }
};

class CdsdkSimCam : public testing::Test {
protected:
    static void SetUpTestSuite() { s_lib = new SdkLibrary(sdkBinDir() + "/CDSDK.DLL"); }
    static void TearDownTestSuite()
    {
        delete s_lib;
        s_lib = nullptr;
    }
    void SetUp() override
    {
        ASSERT_TRUE(s_lib->handle) << s_lib->error;
        cd = std::make_unique<Cd>(*s_lib);
        cd->SimCam_Reset();
    }
    void TearDown() override
    {
        if (started)
            cd->CDFinishSDK();
    }

    void start(const char* models)
    {
        ASSERT_EQ(cd->SimCam_SetCameras(models), 0);
        cdVersionInfo version{sizeof(cdVersionInfo), 7, 3, 0, {}};
        ASSERT_EQ(cd->CDStartSDK(&version, 0), 0u);
        started = true;
    }

    std::vector<cdSourceInfo> devices()
    {
        cdHEnum e = 0;
        EXPECT_EQ(cd->CDEnumDeviceReset(1, &e), 0u);
        cdUInt32 count = 0;
        EXPECT_EQ(cd->CDGetDeviceCount(e, &count), 0u);
        std::vector<cdSourceInfo> out(count);
        for (auto& d : out)
            EXPECT_EQ(cd->CDEnumDeviceNext(e, &d), 0u);
        EXPECT_EQ(cd->CDEnumDeviceRelease(e), 0u);
        return out;
    }

    void open(int index = 0)
    {
        auto list = devices();
        ASSERT_GT(list.size(), size_t(index));
        ASSERT_EQ(cd->CDOpenSource(&list[size_t(index)], &source), 0u);
        cdHandle registration = 0;
        ASSERT_EQ(cd->CDRegisterEventCallbackFunction(source, Receiver::onEvent, reinterpret_cast<cdContext>(&receiver),
                                                       &registration), 0u);
    }

    void remote(uint32_t kind)
    {
        ASSERT_EQ(cd->CDEnterReleaseControl(source, Receiver::onRelease, reinterpret_cast<cdContext>(&receiver)), 0u);
        ASSERT_EQ(cd->CDSelectReleaseDataKind(source, kind), 0u);
    }

    // Reads a device property the way the back-end does: enumerate up to it, then read its size.
    QByteArray deviceProperty(uint32_t id)
    {
        cdHEnum e = 0;
        EXPECT_EQ(cd->CDEnumDevicePropertyReset(source, 0, &e), 0u);
        cdDevicePropertyStruct p{};
        cdError err = 0;
        while ((err = cd->CDEnumDevicePropertyNext(e, &p)) == 0 && p.DevPropID != id) {
        }
        EXPECT_EQ(cd->CDEnumDevicePropertyRelease(e), 0u);
        if (err)
            return {};
        QByteArray data(int(p.DataSize), '\0');
        cdUInt32 size = p.DataSize;
        EXPECT_EQ(cd->CDGetDevicePropertyData(source, id, &size, data.data(), 0), 0u);
        return data;
    }

    cdHVolume firstVolume()
    {
        cdHEnum e = 0;
        cdHVolume volume = 0;
        EXPECT_EQ(cd->CDEnumVolumeReset(source, &e), 0u);
        EXPECT_EQ(cd->CDEnumVolumeNext(e, &volume), 0u);
        EXPECT_EQ(cd->CDEnumVolumeRelease(e), 0u);
        return volume;
    }

    static SdkLibrary* s_lib;
    std::unique_ptr<Cd> cd;
    Receiver receiver;
    cdHSource source = 0;
    bool started = false;
};

SdkLibrary* CdsdkSimCam::s_lib = nullptr;

TEST_F(CdsdkSimCam, ExportsAllItsEntryPointsWithTheirRuntimeFilesVersions)
{
    EXPECT_EQ(cd->resolved, 153);
    for (const char* name : kNamedEntryPoints)
        EXPECT_NE(s_lib->resolve(name), nullptr) << name;
    const struct {
        const char* file;
        VersionNote version;
    } files[] = {
        {"CDSDK.DLL", {7, 3, 0, 6}},   {"cdDcd.dll", {7, 3, 0, 2}},    {"cdDvlp.dll", {7, 3, 0, 13}},
        {"cdParse.dll", {7, 3, 0, 6}}, {"CDPROC.exe", {7, 3, 0, 4}},   {"CDPROCMN.exe", {7, 3, 0, 4}},
        {"CDPTPCLS.dll", {7, 3, 0, 3}}, {"CDPTPCLT.dll", {7, 3, 0, 4}}, {"CDRAPCLS.dll", {7, 3, 0, 6}},
        {"EWatch.exe", {1, 1, 0, 1}},  {"IWrap.dll", {1, 3, 0, 3}},    {"psCamDat.dll", {7, 0, 0, 4}},
    };
    for (const auto& f : files)
        EXPECT_EQ(readVersionNote(sdkBinDir() + "/" + f.file), f.version) << f.file;
}

TEST_F(CdsdkSimCam, StartsOnlyForItsVersionAndListsItsCameras)
{
    cdVersionInfo other{sizeof(cdVersionInfo), 6, 0, 0, {}};
    EXPECT_EQ(cd->CDStartSDK(&other, 0), cdINCOMPATIBLE_VERSION);
    start("live,ps-old,ps-both,ps-new");
    const auto list = devices();
    ASSERT_EQ(list.size(), 2u);
    EXPECT_STREQ(list[0].NameInOS, "PowerShot SimCam O");
    EXPECT_STREQ(list[1].NameSource, "PowerShot SimCam Twin");
    EXPECT_EQ(sizeof(cdSourceInfo), 400u);
    EXPECT_EQ(offsetof(cdVolumeInfo, TotalSpace), 8u);
    EXPECT_EQ(offsetof(cdItemInfo, Name), 12u);
}

TEST_F(CdsdkSimCam, DevicePropertiesComeThroughTheirEnumeration)
{
    start("ps-old");
    open();
    const QByteArray battery = deviceProperty(cdDEVICE_PROP_BATTERY_STATUS);
    ASSERT_EQ(battery.size(), 4);
    uint32_t value;
    std::memcpy(&value, battery.data(), 4);
    EXPECT_EQ(value >> 28, 2u);  // lithium
    EXPECT_EQ(value & 0xF, 6u);  // normal
    const char name[] = "Tree-ring lab";
    EXPECT_EQ(cd->CDSetDevicePropertyData(source, cdDEVICE_PROP_OWNER_NAME, sizeof name, name), 0u);
    EXPECT_STREQ(deviceProperty(cdDEVICE_PROP_OWNER_NAME).constData(), name);
    const std::string tooLong(32, 'x');
    EXPECT_EQ(cd->CDSetDevicePropertyData(source, cdDEVICE_PROP_OWNER_NAME, 33, tooLong.c_str()), cdINVALID_LENGTH);
    EXPECT_TRUE(deviceProperty(0x0800FFFF).isEmpty()); // a property the camera lacks ends the enumeration
}

TEST_F(CdsdkSimCam, AReleaseGivesThumbnailAndPictureThroughItsData)
{
    start("ps-old");
    open();
    remote(cdREL_KIND_THUMB_TO_PC | cdREL_KIND_PICT_TO_PC);
    ASSERT_EQ(cd->CDSetImageFormatAttribute(source, 3, 1), 0u); // fine, medium
    cdUInt32 count = 0;
    ASSERT_EQ(cd->CDRelease(source, 0, Receiver::onProgress, reinterpret_cast<cdContext>(&receiver),
                            cdPROG_REPORT_PERIODICALLY, &count), 0u);
    EXPECT_EQ(count, 2u);
    EXPECT_EQ(receiver.progress.back(), 100u);
    EXPECT_NE(receiver.progressThread, std::this_thread::get_id());
    const auto complete = receiver.waitFor(true, cdRELEASE_EVENT_RELEASE_COMPLETE, 1);
    ASSERT_EQ(complete.size(), 1u);
    EXPECT_EQ(complete[0].data, 2u);
    EXPECT_NE(complete[0].thread, std::this_thread::get_id());
    EXPECT_EQ(receiver.waitFor(true, cdRELEASE_EVENT_RELEASE_START, 1).size(), 1u);

    QTemporaryDir dir;
    const struct {
        uint32_t type;
        QSize size;
    } expected[] = {{1, {160, 120}}, {2, {1600, 1200}}};
    for (const auto& e : expected) {
        const std::string file = dir.filePath(QString("data%1.jpg").arg(e.type)).toStdString();
        cdStgMedium stg{};
        stg.Type = cdMEMTYPE_FILE;
        stg.u.FileName = file.c_str();
        cdReleaseImageInfo info{};
        ASSERT_EQ(cd->CDGetReleasedData(source, nullptr, 0, cdPROG_NO_REPORT, &info, &stg), 0u);
        EXPECT_EQ(info.DataType, e.type);
        QFile saved(QString::fromStdString(file));
        ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
        const QByteArray bytes = saved.readAll();
        EXPECT_EQ(uint32_t(bytes.size()), info.DataSize);
        EXPECT_EQ(QImage::fromData(bytes, "JPG").size(), e.size);
    }
    cdStgMedium stg{};
    cdReleaseImageInfo info{};
    EXPECT_EQ(cd->CDGetReleasedData(source, nullptr, 0, 0, &info, &stg), cdINVALID_FN_CALL); // nothing left
}

TEST_F(CdsdkSimCam, SettingsListTheirValuesOrMustBeTried)
{
    start("ps-old,ps-both");
    open(0);
    remote(cdREL_KIND_PICT_TO_PC);
    cdHEnum e = 0;
    EXPECT_EQ(cd->CDEnumTvValueReset(source, &e), cdNOT_SUPPORTED); // this model cannot list its shutter speeds
    EXPECT_EQ(cd->CDSetTvValue(source, 56), cdDEVICE_INVALID_PARAMETER); // not in program mode
    ASSERT_EQ(cd->CDSetShootingMode(source, 4), 0u);                      // manual
    EXPECT_EQ(cd->CDSetTvValue(source, 56), 0u);
    EXPECT_EQ(cd->CDSetTvValue(source, 57), cdDEVICE_INVALID_PARAMETER);

    ASSERT_EQ(cd->CDEnumAvValueReset(source, &e), 0u);
    cdUInt32 count = 0, value = 0;
    ASSERT_EQ(cd->CDGetAvValueCount(e, &count), 0u);
    std::vector<uint32_t> av;
    while (cd->CDEnumAvValueNext(e, &value) == 0)
        av.push_back(value);
    EXPECT_EQ(av.size(), count);
    EXPECT_EQ(av.front(), 32u);
    EXPECT_EQ(cd->CDEnumAvValueRelease(e), 0u);
    EXPECT_EQ(cd->CDEnumAvValueRelease(e), cdINVALID_HANDLE);

    // A release camera setting: 2-byte ISO codes, then the flash's two halves set apart.
    cdUInt32 dataSize = 0;
    ASSERT_EQ(cd->CDEnumRelCamSettingDataReset(source, cdREL_SET_ISO_SPEED, &e, &dataSize), 0u);
    EXPECT_EQ(dataSize, 2u);
    uint16_t iso = 0;
    std::vector<uint16_t> isos;
    while (cd->CDEnumRelCamSettingDataNext(e, sizeof iso, &iso) == 0)
        isos.push_back(iso);
    EXPECT_EQ(isos, (std::vector<uint16_t>{0, 72, 80, 88, 96}));
    EXPECT_EQ(cd->CDEnumRelCamSettingDataRelease(e), 0u);
    const uint16_t iso200 = 80;
    EXPECT_EQ(cd->CDSetRelCamSettingData(source, cdREL_SET_ISO_SPEED, 2, &iso200), 0u);
    cd->SimCam_RefuseValue(cdREL_SET_ISO_SPEED, 88, cdDEVICE_BUSY);
    const uint16_t iso400 = 88;
    EXPECT_EQ(cd->CDSetRelCamSettingData(source, cdREL_SET_ISO_SPEED, 2, &iso400), cdDEVICE_BUSY);
    ASSERT_EQ(cd->CDSetFlashSetting(source, 2, cdFLASH_UNCHANGED), 0u);
    ASSERT_EQ(cd->CDSetFlashSetting(source, cdFLASH_UNCHANGED, 16), 0u);
    cdUInt32 mode = 0, compensation = 0;
    ASSERT_EQ(cd->CDGetFlashSetting(source, &mode, &compensation), 0u);
    EXPECT_EQ(mode, 2u);
    EXPECT_EQ(compensation, 16u);
    EXPECT_EQ(cd->CDSetImageFormatAttribute(source, 1, 0), cdDEVICE_INVALID_PARAMETER); // no economy
}

TEST_F(CdsdkSimCam, TheCardsPicturesListDownloadAndGo)
{
    start("ps-old");
    open();
    const cdHVolume volume = firstVolume();
    cdVolumeInfo volumeInfo{};
    ASSERT_EQ(cd->CDGetVolumeInfo(volume, &volumeInfo), 0u);
    EXPECT_GT(volumeInfo.TotalSpace, 0u);
    cdHEnum e = 0;
    ASSERT_EQ(cd->CDEnumImageItemReset(volume, 3, 1, &e), 0u);
    cdUInt32 count = 0;
    ASSERT_EQ(cd->CDGetImageItemCount(e, &count), 0u);
    std::vector<cdHItem> items(count);
    std::vector<std::string> names;
    for (auto& item : items) {
        ASSERT_EQ(cd->CDEnumImageItemNext(e, &item), 0u);
        cdItemInfo info{};
        ASSERT_EQ(cd->CDGetItemInfo(item, &info), 0u);
        names.push_back(info.Name);
    }
    EXPECT_EQ(names, (std::vector<std::string>{"IMG_0001.JPG", "IMG_0002.JPG", "MVI_0003.AVI", "IMG_0004.JPG"}));

    ASSERT_EQ(cd->CDOpenImage(items[0]), 0u);
    cdHImage thumb = 0, picture = 0;
    ASSERT_EQ(cd->CDGetThumbnail(items[0], &thumb), 0u);
    ASSERT_EQ(cd->CDGetPicture(items[0], &picture), 0u);
    cdUInt32 size = 0;
    ASSERT_EQ(cd->CDGetImageDataSize(thumb, &size), 0u);
    QByteArray memory(int(size), '\0');
    cdStgMedium stg{};
    stg.Type = cdMEMTYPE_MEMORY;
    stg.u.Memory.Buffer = memory.data();
    stg.u.Memory.Size = size;
    ASSERT_EQ(cd->CDGetImageData(thumb, &stg, Receiver::onProgress, reinterpret_cast<cdContext>(&receiver),
                                 cdPROG_REPORT_PERIODICALLY), 0u);
    EXPECT_EQ(stg.u.Memory.Written, size);
    EXPECT_EQ(QImage::fromData(memory, "JPG").size(), QSize(160, 120));
    stg.u.Memory.Size = size - 1;
    EXPECT_EQ(cd->CDGetImageData(picture, &stg, nullptr, 0, 0), cdINVALID_LENGTH); // never beyond the caller's buffer
    ASSERT_EQ(cd->CDCloseImage(items[0]), 0u);
    EXPECT_EQ(cd->CDGetImageDataSize(thumb, &size), cdINVALID_HANDLE); // parts go with the closed picture

    ASSERT_EQ(cd->CDDeleteImage(volume, items[0]), 0u);
    ASSERT_EQ(cd->CDEnumImageItemRelease(e), 0u);
    cdItemInfo gone{};
    EXPECT_EQ(cd->CDGetItemInfo(items[1], &gone), cdINVALID_HANDLE); // the items went with their enumeration
    ASSERT_EQ(cd->CDEnumImageItemReset(volume, 3, 1, &e), 0u);
    ASSERT_EQ(cd->CDGetImageItemCount(e, &count), 0u);
    EXPECT_EQ(count, 3u);
    ASSERT_EQ(cd->CDEnumImageItemRelease(e), 0u);

    ASSERT_EQ(cd->SimCam_SetCard(0, 0), 0);
    ASSERT_EQ(cd->CDGetVolumeInfo(volume, &volumeInfo), 0u);
    EXPECT_EQ(volumeInfo.TotalSpace, 0u); // the back-end's "volume error"
    EXPECT_EQ(volumeInfo.FreeSpace, 0u);
    EXPECT_EQ(cd->CDFormat(volume), cdDEVICE_NO_DISK);
}

TEST_F(CdsdkSimCam, TheViewfinderRunsOnTheLibrarysThreadAndThisModelMustLeaveItToShoot)
{
    qputenv("JEX4_SIMCAM_VIEWFINDER_MS", "10");
    start("ps-old");
    qunsetenv("JEX4_SIMCAM_VIEWFINDER_MS");
    open();
    remote(cdREL_KIND_PICT_TO_PC);
    cdUInt32 faculty = 0;
    ASSERT_EQ(cd->CDGetReleaseControlFaculty(source, &faculty), 0u);
    EXPECT_TRUE(faculty & cdRELEASE_CONTROL_CAP_ABORT_VIEWFINDER);
    ASSERT_EQ(cd->CDStartViewfinder(source, 0, Receiver::onFrame, reinterpret_cast<cdContext>(&receiver)), 0u);
    {
        std::unique_lock<std::mutex> guard(receiver.lock);
        receiver.changed.wait_for(guard, std::chrono::seconds(30), [&] { return receiver.frames.size() >= 2; });
        ASSERT_GE(receiver.frames.size(), 2u);
        EXPECT_EQ(QImage::fromData(receiver.frames[0], "JPG").size(), QSize(320, 240));
        EXPECT_NE(receiver.frameThread, std::this_thread::get_id());
    }
    cdUInt32 count = 0;
    EXPECT_EQ(cd->CDRelease(source, 0, nullptr, 0, 0, &count), cdDEVICE_BUSY);
    ASSERT_EQ(cd->CDTermViewfinder(source), 0u);
    EXPECT_EQ(cd->CDRelease(source, 0, nullptr, 0, 0, &count), 0u);
    EXPECT_EQ(receiver.waitFor(true, cdRELEASE_EVENT_ABORT_PC_EVF, 1).size(), 1u);

    cdUInt32 maxZoom = 0, optical = 0, magnification = 0;
    ASSERT_EQ(cd->CDGetMaximumZoomPos(source, &maxZoom, &optical), 0u);
    ASSERT_EQ(cd->CDSetZoomPos(source, maxZoom), 0u);
    ASSERT_EQ(cd->CDGetDZoomMagnification(source, &magnification), 0u);
    EXPECT_GT(magnification, 100u); // beyond the optical zoom
    EXPECT_EQ(cd->CDSetZoomPos(source, maxZoom + 1), cdINVALID_PARAMETER);
}

TEST_F(CdsdkSimCam, ADisconnectInTheMiddleOfATransferEndsTheCamera)
{
    start("ps-old");
    open();
    remote(cdREL_KIND_PICT_TO_PC);
    cdUInt32 count = 0;
    ASSERT_EQ(cd->CDRelease(source, 0, nullptr, 0, 0, &count), 0u);
    QTemporaryDir dir;
    const std::string file = dir.filePath("cut.jpg").toStdString();
    cdStgMedium stg{};
    stg.Type = cdMEMTYPE_FILE;
    stg.u.FileName = file.c_str();
    cd->SimCam_DisconnectDuringTransfer(70000);
    EXPECT_EQ(cd->CDGetReleasedData(source, nullptr, 0, 0, nullptr, &stg), cdCOMM_DISCONNECTED);
    EXPECT_EQ(QFile(QString::fromStdString(file)).size(), 70000);
    const auto gone = receiver.waitFor(false, cdEVENT_SEVERITY_SHUTDOWN | cdEVENT_CONNECTION_DISAPPEARED, 1);
    ASSERT_EQ(gone.size(), 1u);
    EXPECT_NE(gone[0].thread, std::this_thread::get_id());
    EXPECT_EQ(cd->CDGetNumAvailableShot(source, &count), cdCOMM_DISCONNECTED);
    EXPECT_TRUE(devices().empty());
}

TEST_F(CdsdkSimCam, InjectedFaultsAndCameraEventsReachTheCaller)
{
    start("ps-both");
    open();
    cd->SimCam_FailNext("_CDGetReleaseControlFaculty@8", cdDEVICE_BUSY, 1);
    cdUInt32 faculty = 0;
    EXPECT_EQ(cd->CDGetReleaseControlFaculty(source, &faculty), cdDEVICE_BUSY);
    EXPECT_EQ(cd->CDGetReleaseControlFaculty(source, &faculty), 0u);
    EXPECT_TRUE(faculty & cdRELEASE_CONTROL_CAP_SUPPORTED);
    EXPECT_EQ(cd->SimCam_CallCount("CDGetReleaseControlFaculty"), 2);

    ASSERT_EQ(cd->SimCam_RaiseEvent(0, cdEVENT_SEVERITY_WARNING | cdEVENT_BATTERY_LEVEL_CHANGED, 4), 0);
    const auto battery = receiver.waitFor(false, cdEVENT_SEVERITY_WARNING | cdEVENT_BATTERY_LEVEL_CHANGED, 1);
    ASSERT_EQ(battery.size(), 1u);
    EXPECT_EQ(battery[0].data, 4u);
    ASSERT_EQ(cd->SimCam_RaiseEvent(0, cdEVENT_CONNECTION_TIME_OUT, 0), 0);
    EXPECT_EQ(receiver.waitFor(false, cdEVENT_CONNECTION_TIME_OUT, 1).size(), 1u);
}

} // namespace
