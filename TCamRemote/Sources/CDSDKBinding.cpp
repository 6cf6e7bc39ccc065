// CDSDKCalls over CDSDK.DLL. The SDK's handles are 32-bit; its records are read and filled here so
// that the back-end deals only in values.
#include "TCamRemote/Sources/CDSDKBinding.h"

#include "TCamRemote/Sources/CDAPI.h"

#include <cstring>

static_assert(sizeof(cdSourceInfo) == sizeof(CDSourceRecord), "the source record is the SDK's 400 bytes");

namespace {

cdUInt32 h(CDHandle handle)
{
    return cdUInt32(handle);
}

// A call of the library; before it is loaded every entry point is empty and the call is refused.
template <typename Fn, typename... Args>
cdError call(Fn fn, Args... args)
{
    return fn ? fn(args...) : cdINVALID_FN_CALL;
}

const cdSourceInfo& info(const CDSourceRecord& record)
{
    return *reinterpret_cast<const cdSourceInfo*>(record.data());
}

// Text of a fixed field of 8-bit characters, ending at its first zero.
QString fieldText(const cdChar* field, std::size_t size)
{
    return QString::fromLatin1(field, qsizetype(strnlen(field, size)));
}

// A setting value in the bytes the SDK keeps it in: 1, 2 or 4, little-endian.
uint32_t fromBytes(const uint8_t* bytes, uint32_t size)
{
    uint32_t value = 0;
    for (uint32_t i = 0; i < std::min<uint32_t>(size, 4); ++i)
        value |= uint32_t(bytes[i]) << (8 * i);
    return value;
}

} // namespace

void CDSDKBinding::Load()
{
    LoadCDSDK();
}

uint32_t CDSDKBinding::CDStartSDK(uint16_t Size, uint16_t Major, uint16_t Minor, uint32_t Option)
{
    cdVersionInfo version{};
    version.Size = Size;
    version.MajorVersion = Major;
    version.MinorVersion = Minor;
    return call(cd::CDStartSDK, &version, Option);
}

uint32_t CDSDKBinding::CDFinishSDK()
{
    return cd::CDFinishSDK ? cd::CDFinishSDK() : cdOK; // finishing an SDK never started is done
}

uint32_t CDSDKBinding::CDEnumDeviceReset(uint32_t Kind, CDHandle& Enum)
{
    cdHEnum e = 0;
    const cdError r = call(cd::CDEnumDeviceReset, Kind, &e);
    Enum = e;
    return r;
}

uint32_t CDSDKBinding::CDGetDeviceCount(CDHandle Enum, uint32_t& Count)
{
    return call(cd::CDGetDeviceCount, h(Enum), &Count);
}

uint32_t CDSDKBinding::CDEnumDeviceNext(CDHandle Enum, CDSourceRecord& Source)
{
    cdSourceInfo source{};
    const cdError r = call(cd::CDEnumDeviceNext, h(Enum), &source);
    std::memcpy(Source.data(), &source, sizeof source);
    return r;
}

uint32_t CDSDKBinding::CDEnumDeviceRelease(CDHandle Enum)
{
    return call(cd::CDEnumDeviceRelease, h(Enum));
}

QString CDSDKBinding::NameSource(const CDSourceRecord& Source)
{
    return fieldText(info(Source).NameSource, sizeof info(Source).NameSource);
}

QString CDSDKBinding::NameInOS(const CDSourceRecord& Source)
{
    return fieldText(info(Source).NameInOS, sizeof info(Source).NameInOS);
}

uint32_t CDSDKBinding::CDOpenSource(const CDSourceRecord& Source, CDHandle& Handle)
{
    cdSourceInfo source;
    std::memcpy(&source, Source.data(), sizeof source);
    cdHSource s = 0;
    const cdError r = call(cd::CDOpenSource, &source, &s);
    Handle = s;
    return r;
}

uint32_t CDSDKBinding::CDCloseSource(CDHandle Source)
{
    return call(cd::CDCloseSource, h(Source));
}

uint32_t CDSDKBinding::CDEnumDevicePropertyReset(CDHandle Source, uint32_t Option, CDHandle& Enum)
{
    cdHEnum e = 0;
    const cdError r = call(cd::CDEnumDevicePropertyReset, h(Source), Option, &e);
    Enum = e;
    return r;
}

uint32_t CDSDKBinding::CDEnumDevicePropertyNext(CDHandle Enum, uint32_t& Id, uint32_t& Size)
{
    cdDevicePropertyStruct property{};
    const cdError r = call(cd::CDEnumDevicePropertyNext, h(Enum), &property);
    Id = property.DevPropID;
    Size = property.DataSize;
    return r;
}

uint32_t CDSDKBinding::CDEnumDevicePropertyRelease(CDHandle Enum)
{
    return call(cd::CDEnumDevicePropertyRelease, h(Enum));
}

uint32_t CDSDKBinding::CDGetDevicePropertyData(CDHandle Source, uint32_t Id, uint32_t& Size, void* Data)
{
    return call(cd::CDGetDevicePropertyData, h(Source), Id, &Size, Data, 0);
}

uint32_t CDSDKBinding::CDSetDevicePropertyData(CDHandle Source, uint32_t Id, uint32_t Size, const void* Data)
{
    return call(cd::CDSetDevicePropertyData, h(Source), Id, Size, Data);
}

uint32_t CDSDKBinding::CDRegisterEventCallbackFunction(CDHandle Source, void* Callback, uintptr_t Context,
                                                       CDHandle& Handle)
{
    cdHandle registration = 0;
    const cdError r = call(cd::CDRegisterEventCallbackFunction, h(Source), reinterpret_cast<cdEventCallbackFunction>(Callback),
                                                          Context, &registration);
    Handle = registration;
    return r;
}

uint32_t CDSDKBinding::CDUnregisterEventCallbackFunction(CDHandle Source, CDHandle Handle)
{
    return call(cd::CDUnregisterEventCallbackFunction, h(Source), h(Handle));
}

uint32_t CDSDKBinding::CDEnumVolumeReset(CDHandle Source, CDHandle& Enum)
{
    cdHEnum e = 0;
    const cdError r = call(cd::CDEnumVolumeReset, h(Source), &e);
    Enum = e;
    return r;
}

uint32_t CDSDKBinding::CDEnumVolumeNext(CDHandle Enum, CDHandle& Volume)
{
    cdHVolume v = 0;
    const cdError r = call(cd::CDEnumVolumeNext, h(Enum), &v);
    Volume = v;
    return r;
}

uint32_t CDSDKBinding::CDEnumVolumeRelease(CDHandle Enum)
{
    return call(cd::CDEnumVolumeRelease, h(Enum));
}

uint32_t CDSDKBinding::CDGetVolumeInfo(CDHandle Volume, uint32_t& At8, uint32_t& At12)
{
    cdVolumeInfo volume{};
    const cdError r = call(cd::CDGetVolumeInfo, h(Volume), &volume);
    At8 = volume.TotalSpace;
    At12 = volume.FreeSpace;
    return r;
}

uint32_t CDSDKBinding::CDFormat(CDHandle Volume)
{
    return call(cd::CDFormat, h(Volume));
}

uint32_t CDSDKBinding::CDGetReleaseControlFaculty(CDHandle Source, uint32_t& Faculty)
{
    return call(cd::CDGetReleaseControlFaculty, h(Source), &Faculty);
}

uint32_t CDSDKBinding::CDEnterReleaseControl(CDHandle Source, void* Callback, uintptr_t Context)
{
    return call(cd::CDEnterReleaseControl, h(Source), reinterpret_cast<cdReleaseEventCallbackFunction>(Callback), Context);
}

uint32_t CDSDKBinding::CDExitReleaseControl(CDHandle Source)
{
    return call(cd::CDExitReleaseControl, h(Source));
}

uint32_t CDSDKBinding::CDSelectReleaseDataKind(CDHandle Source, uint32_t Kind)
{
    return call(cd::CDSelectReleaseDataKind, h(Source), Kind);
}

uint32_t CDSDKBinding::CDGetNumAvailableShot(CDHandle Source, uint32_t& Shots)
{
    return call(cd::CDGetNumAvailableShot, h(Source), &Shots);
}

uint32_t CDSDKBinding::CDStartViewfinder(CDHandle Source, uint32_t Format, void* Callback, uintptr_t Context)
{
    return call(cd::CDStartViewfinder, h(Source), Format, reinterpret_cast<cdViewfinderCallbackFunction>(Callback), Context);
}

uint32_t CDSDKBinding::CDTermViewfinder(CDHandle Source)
{
    return call(cd::CDTermViewfinder, h(Source));
}

uint32_t CDSDKBinding::CDSelectViewFinderCameraOutput(CDHandle Source, uint32_t Output)
{
    return call(cd::CDSelectViewFinderCameraOutput, h(Source), Output);
}

uint32_t CDSDKBinding::CDActViewfinderAutoFunctions(CDHandle Source, uint32_t Functions)
{
    return call(cd::CDActViewfinderAutoFunctions, h(Source), Functions);
}

uint32_t CDSDKBinding::CDGetMaximumZoomPos(CDHandle Source, uint32_t& Maximum, uint32_t& OpticalMaximum)
{
    return call(cd::CDGetMaximumZoomPos, h(Source), &Maximum, &OpticalMaximum);
}

uint32_t CDSDKBinding::CDGetZoomPos(CDHandle Source, uint32_t& Position)
{
    return call(cd::CDGetZoomPos, h(Source), &Position);
}

uint32_t CDSDKBinding::CDSetZoomPos(CDHandle Source, uint32_t Position)
{
    return call(cd::CDSetZoomPos, h(Source), Position);
}

uint32_t CDSDKBinding::CDAFLock(CDHandle Source, uint32_t Lock)
{
    return call(cd::CDAFLock, h(Source), Lock);
}

uint32_t CDSDKBinding::CDRelease(CDHandle Source, uint32_t Sync, void* Callback, uintptr_t Context, uint32_t Option,
                                 uint32_t& DataCount)
{
    return call(cd::CDRelease, h(Source), Sync, reinterpret_cast<cdProgressCallbackFunction>(Callback), Context, Option,
                         &DataCount);
}

uint32_t CDSDKBinding::CDGetReleasedData(CDHandle Source, void* Callback, uintptr_t Context, uint32_t Option,
                                         const QByteArray& FileName)
{
    cdReleaseImageInfo released{};
    cdStgMedium medium{};
    medium.Type = cdMEMTYPE_FILE;
    medium.u.FileName = FileName.constData();
    return call(cd::CDGetReleasedData, h(Source), reinterpret_cast<cdProgressCallbackFunction>(Callback), Context, Option,
                                 &released, &medium);
}

uint32_t CDSDKBinding::CDGetImageFormatAttribute(CDHandle Source, uint32_t& Quality, uint32_t& Size)
{
    return call(cd::CDGetImageFormatAttribute, h(Source), &Quality, &Size);
}

uint32_t CDSDKBinding::CDSetImageFormatAttribute(CDHandle Source, uint32_t Quality, uint32_t Size)
{
    return call(cd::CDSetImageFormatAttribute, h(Source), Quality, Size);
}

uint32_t CDSDKBinding::CDGetShootingMode(CDHandle Source, uint32_t& Mode) { return call(cd::CDGetShootingMode, h(Source), &Mode); }
uint32_t CDSDKBinding::CDSetShootingMode(CDHandle Source, uint32_t Mode) { return call(cd::CDSetShootingMode, h(Source), Mode); }
uint32_t CDSDKBinding::CDGetAvValue(CDHandle Source, uint32_t& Value) { return call(cd::CDGetAvValue, h(Source), &Value); }
uint32_t CDSDKBinding::CDSetAvValue(CDHandle Source, uint32_t Value) { return call(cd::CDSetAvValue, h(Source), Value); }
uint32_t CDSDKBinding::CDGetTvValue(CDHandle Source, uint32_t& Value) { return call(cd::CDGetTvValue, h(Source), &Value); }
uint32_t CDSDKBinding::CDSetTvValue(CDHandle Source, uint32_t Value) { return call(cd::CDSetTvValue, h(Source), Value); }
uint32_t CDSDKBinding::CDGetExposureComp(CDHandle Source, uint32_t& Value) { return call(cd::CDGetExposureComp, h(Source), &Value); }
uint32_t CDSDKBinding::CDSetExposureComp(CDHandle Source, uint32_t Value) { return call(cd::CDSetExposureComp, h(Source), Value); }
uint32_t CDSDKBinding::CDGetWBSetting(CDHandle Source, uint32_t& Value) { return call(cd::CDGetWBSetting, h(Source), &Value); }
uint32_t CDSDKBinding::CDSetWBSetting(CDHandle Source, uint32_t Value) { return call(cd::CDSetWBSetting, h(Source), Value); }

uint32_t CDSDKBinding::CDGetAFDistanceSetting(CDHandle Source, uint32_t& Value)
{
    return call(cd::CDGetAFDistanceSetting, h(Source), &Value);
}

uint32_t CDSDKBinding::CDSetAFDistanceSetting(CDHandle Source, uint32_t Value)
{
    return call(cd::CDSetAFDistanceSetting, h(Source), Value);
}

uint32_t CDSDKBinding::CDGetFlashSetting(CDHandle Source, uint32_t& Mode, uint32_t& Compensation)
{
    return call(cd::CDGetFlashSetting, h(Source), &Mode, &Compensation);
}

uint32_t CDSDKBinding::CDSetFlashSetting(CDHandle Source, uint32_t Mode, uint32_t Compensation)
{
    return call(cd::CDSetFlashSetting, h(Source), Mode, Compensation);
}

uint32_t CDSDKBinding::CDGetRelCamSettingData(CDHandle Source, uint32_t Id, uint32_t Size, uint32_t& Value)
{
    uint8_t bytes[4] = {0, 0, 0, 0};
    cdUInt32 size = std::min<uint32_t>(Size, 4);
    const cdError r = call(cd::CDGetRelCamSettingData, h(Source), Id, &size, bytes);
    Value = fromBytes(bytes, std::min<uint32_t>(size, 4));
    return r;
}

uint32_t CDSDKBinding::CDSetRelCamSettingData(CDHandle Source, uint32_t Id, uint32_t Size, uint32_t Value)
{
    uint8_t bytes[4];
    for (int i = 0; i < 4; ++i)
        bytes[i] = uint8_t(Value >> (8 * i));
    return call(cd::CDSetRelCamSettingData, h(Source), Id, std::min<uint32_t>(Size, 4), bytes);
}

uint32_t CDSDKBinding::EnumValuesReset(CDValueList List, CDHandle Source, uint32_t Id, CDHandle& Enum)
{
    cdHEnum e = 0;
    cdError r = cdNOT_SUPPORTED;
    switch (List) {
    case CDValueList::ImageFormatAttribute: r = call(cd::CDEnumImageFormatAttributeReset, h(Source), &e); break;
    case CDValueList::ShootingMode: r = call(cd::CDEnumShootingModeReset, h(Source), &e); break;
    case CDValueList::AvValue: r = call(cd::CDEnumAvValueReset, h(Source), &e); break;
    case CDValueList::TvValue: r = call(cd::CDEnumTvValueReset, h(Source), &e); break;
    case CDValueList::ExposureComp: r = call(cd::CDEnumExposureCompReset, h(Source), &e); break;
    case CDValueList::WBSetting: r = call(cd::CDEnumWBSettingReset, h(Source), &e); break;
    case CDValueList::AFDistanceSetting: r = call(cd::CDEnumAFDistanceSettingReset, h(Source), &e); break;
    case CDValueList::FlashSetting: r = call(cd::CDEnumFlashSettingReset, h(Source), &e); break;
    case CDValueList::RelCamSettingData: {
        cdUInt32 size = 0;
        r = call(cd::CDEnumRelCamSettingDataReset, h(Source), Id, &e, &size);
        if (r == cdOK) {
            std::lock_guard hold(m_lock);
            m_settingDataSize[e] = size;
        }
        break;
    }
    }
    Enum = e;
    return r;
}

uint32_t CDSDKBinding::GetValuesCount(CDValueList List, CDHandle Enum, uint32_t& Count)
{
    const cdHEnum e = h(Enum);
    switch (List) {
    case CDValueList::ImageFormatAttribute: return call(cd::CDGetImageFormatAttributeCount, e, &Count);
    case CDValueList::ShootingMode: return call(cd::CDGetShootingModeCount, e, &Count);
    case CDValueList::AvValue: return call(cd::CDGetAvValueCount, e, &Count);
    case CDValueList::TvValue: return call(cd::CDGetTvValueCount, e, &Count);
    case CDValueList::ExposureComp: return call(cd::CDGetExposureCompCount, e, &Count);
    case CDValueList::WBSetting: return call(cd::CDGetWBSettingCount, e, &Count);
    case CDValueList::AFDistanceSetting: return call(cd::CDGetAFDistanceSettingCount, e, &Count);
    case CDValueList::FlashSetting: return call(cd::CDGetFlashSettingCount, e, &Count);
    case CDValueList::RelCamSettingData: return call(cd::CDGetRelCamSettingDataCount, e, &Count);
    }
    return cdNOT_SUPPORTED;
}

uint32_t CDSDKBinding::EnumValuesNext(CDValueList List, CDHandle Enum, uint32_t& Value, uint32_t& Value2)
{
    const cdHEnum e = h(Enum);
    Value2 = 0;
    switch (List) {
    case CDValueList::ImageFormatAttribute: return call(cd::CDEnumImageFormatAttributeNext, e, &Value, &Value2);
    case CDValueList::ShootingMode: return call(cd::CDEnumShootingModeNext, e, &Value);
    case CDValueList::AvValue: return call(cd::CDEnumAvValueNext, e, &Value);
    case CDValueList::TvValue: return call(cd::CDEnumTvValueNext, e, &Value);
    case CDValueList::ExposureComp: return call(cd::CDEnumExposureCompNext, e, &Value);
    case CDValueList::WBSetting: return call(cd::CDEnumWBSettingNext, e, &Value);
    case CDValueList::AFDistanceSetting: return call(cd::CDEnumAFDistanceSettingNext, e, &Value);
    case CDValueList::FlashSetting: return call(cd::CDEnumFlashSettingNext, e, &Value);
    case CDValueList::RelCamSettingData: {
        uint32_t size = 4;
        {
            std::lock_guard hold(m_lock);
            const auto it = m_settingDataSize.find(e);
            if (it != m_settingDataSize.end())
                size = std::clamp<uint32_t>(it->second, 1, 4);
        }
        uint8_t bytes[4] = {0, 0, 0, 0};
        const cdError r = call(cd::CDEnumRelCamSettingDataNext, e, size, bytes);
        Value = fromBytes(bytes, size);
        return r;
    }
    }
    return cdNOT_SUPPORTED;
}

uint32_t CDSDKBinding::EnumValuesRelease(CDValueList List, CDHandle Enum)
{
    const cdHEnum e = h(Enum);
    switch (List) {
    case CDValueList::ImageFormatAttribute: return call(cd::CDEnumImageFormatAttributeRelease, e);
    case CDValueList::ShootingMode: return call(cd::CDEnumShootingModeRelease, e);
    case CDValueList::AvValue: return call(cd::CDEnumAvValueRelease, e);
    case CDValueList::TvValue: return call(cd::CDEnumTvValueRelease, e);
    case CDValueList::ExposureComp: return call(cd::CDEnumExposureCompRelease, e);
    case CDValueList::WBSetting: return call(cd::CDEnumWBSettingRelease, e);
    case CDValueList::AFDistanceSetting: return call(cd::CDEnumAFDistanceSettingRelease, e);
    case CDValueList::FlashSetting: return call(cd::CDEnumFlashSettingRelease, e);
    case CDValueList::RelCamSettingData: {
        {
            std::lock_guard hold(m_lock);
            m_settingDataSize.erase(e);
        }
        return call(cd::CDEnumRelCamSettingDataRelease, e);
    }
    }
    return cdNOT_SUPPORTED;
}

uint32_t CDSDKBinding::CDEnumImageItemReset(CDHandle Volume, uint32_t Level, uint32_t Option, CDHandle& Enum)
{
    cdHEnum e = 0;
    const cdError r = call(cd::CDEnumImageItemReset, h(Volume), Level, Option, &e);
    Enum = e;
    return r;
}

uint32_t CDSDKBinding::CDGetImageItemCount(CDHandle Enum, uint32_t& Count)
{
    return call(cd::CDGetImageItemCount, h(Enum), &Count);
}

uint32_t CDSDKBinding::CDEnumImageItemNext(CDHandle Enum, CDHandle& Item)
{
    cdHItem item = 0;
    const cdError r = call(cd::CDEnumImageItemNext, h(Enum), &item);
    Item = item;
    return r;
}

uint32_t CDSDKBinding::CDEnumImageItemRelease(CDHandle Enum)
{
    return call(cd::CDEnumImageItemRelease, h(Enum));
}

uint32_t CDSDKBinding::CDGetItemInfo(CDHandle Item, QString& Name)
{
    cdItemInfo item{};
    const cdError r = call(cd::CDGetItemInfo, h(Item), &item);
    Name = fieldText(item.Name, sizeof item.Name);
    return r;
}

// The SDK opens a picture by its item and hands out its parts by the item too.
uint32_t CDSDKBinding::CDOpenImage(CDHandle Item, CDHandle& Image)
{
    Image = Item;
    return call(cd::CDOpenImage, h(Item));
}

uint32_t CDSDKBinding::CDCloseImage(CDHandle Image)
{
    return call(cd::CDCloseImage, h(Image));
}

uint32_t CDSDKBinding::CDGetThumbnail(CDHandle Image, CDHandle& Data)
{
    cdHImage part = 0;
    const cdError r = call(cd::CDGetThumbnail, h(Image), &part);
    Data = part;
    return r;
}

uint32_t CDSDKBinding::CDGetPicture(CDHandle Image, CDHandle& Data)
{
    cdHImage part = 0;
    const cdError r = call(cd::CDGetPicture, h(Image), &part);
    Data = part;
    return r;
}

uint32_t CDSDKBinding::CDGetImageData(CDHandle Data, const QByteArray& FileName, void* Callback, uintptr_t Context,
                                      uint32_t Option)
{
    cdStgMedium medium{};
    medium.Type = cdMEMTYPE_FILE;
    medium.u.FileName = FileName.constData();
    return call(cd::CDGetImageData, h(Data), &medium, reinterpret_cast<cdProgressCallbackFunction>(Callback), Context, Option);
}

uint32_t CDSDKBinding::CDDeleteImage(CDHandle Volume, CDHandle Item)
{
    return call(cd::CDDeleteImage, h(Volume), h(Item));
}
