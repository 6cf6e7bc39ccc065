// The older-PowerShot SDK as the back-end sees it: one method per SDK call it makes, arguments as
// the back-end gives them, the SDK's result code returned. The base class is an SDK without
// cameras: it starts, finishes and lists no device, and refuses every other call as "Not
// supported"; CDSDKBinding (CDSDK.DLL) and the tests' simulated cameras override it.
#pragma once

#include <QByteArray>
#include <QString>

#include <array>
#include <cstdint>

// The SDK's 400-byte source record of one older-PowerShot camera.
using CDSourceRecord = std::array<uint8_t, 400>;
// Handles of sources, enumerations, volumes, items and images.
using CDHandle = uintptr_t;

// The value lists the SDK enumerates with one Reset / Count / Next / Release family each.
enum class CDValueList {
    ImageFormatAttribute, // value: quality, value2: size
    ShootingMode,
    AvValue,
    TvValue,
    ExposureComp,
    WBSetting,
    AFDistanceSetting,
    FlashSetting,
    RelCamSettingData, // of one setting, named by its id
};

class CDSDKCalls {
public:
    static constexpr uint32_t NotSupported = 7;

    virtual ~CDSDKCalls() = default;

    // Loads the library; raises std::runtime_error with the reason when it cannot.
    virtual void Load() {}

    // The first three 16-bit fields of the SDK's version record.
    virtual uint32_t CDStartSDK(uint16_t Size, uint16_t Major, uint16_t Minor, uint32_t Option) { return 0; }
    virtual uint32_t CDFinishSDK() { return 0; }

    virtual uint32_t CDEnumDeviceReset(uint32_t Kind, CDHandle& Enum) { Enum = 0; return 0; }
    virtual uint32_t CDGetDeviceCount(CDHandle Enum, uint32_t& Count) { Count = 0; return 0; }
    virtual uint32_t CDEnumDeviceNext(CDHandle Enum, CDSourceRecord& Source) { return NotSupported; }
    virtual uint32_t CDEnumDeviceRelease(CDHandle Enum) { return 0; }
    // The record's names, in the SDK's 8-bit characters.
    virtual QString NameSource(const CDSourceRecord& Source) { return {}; }
    virtual QString NameInOS(const CDSourceRecord& Source) { return {}; }

    virtual uint32_t CDOpenSource(const CDSourceRecord& Source, CDHandle& Handle) { return NotSupported; }
    virtual uint32_t CDCloseSource(CDHandle Source) { return NotSupported; }

    virtual uint32_t CDEnumDevicePropertyReset(CDHandle Source, uint32_t Option, CDHandle& Enum) { return NotSupported; }
    virtual uint32_t CDEnumDevicePropertyNext(CDHandle Enum, uint32_t& Id, uint32_t& Size) { return NotSupported; }
    virtual uint32_t CDEnumDevicePropertyRelease(CDHandle Enum) { return NotSupported; }
    // Size: in, the room in Data; out, the bytes written.
    virtual uint32_t CDGetDevicePropertyData(CDHandle Source, uint32_t Id, uint32_t& Size, void* Data) { return NotSupported; }
    virtual uint32_t CDSetDevicePropertyData(CDHandle Source, uint32_t Id, uint32_t Size, const void* Data) { return NotSupported; }

    virtual uint32_t CDRegisterEventCallbackFunction(CDHandle Source, void* Callback, uintptr_t Context, CDHandle& Handle) { return NotSupported; }
    virtual uint32_t CDUnregisterEventCallbackFunction(CDHandle Source, CDHandle Handle) { return NotSupported; }

    virtual uint32_t CDEnumVolumeReset(CDHandle Source, CDHandle& Enum) { return NotSupported; }
    virtual uint32_t CDEnumVolumeNext(CDHandle Enum, CDHandle& Volume) { return NotSupported; }
    virtual uint32_t CDEnumVolumeRelease(CDHandle Enum) { return NotSupported; }
    // The two 32-bit fields at byte offsets 8 and 12 of the volume information record.
    virtual uint32_t CDGetVolumeInfo(CDHandle Volume, uint32_t& At8, uint32_t& At12) { return NotSupported; }
    virtual uint32_t CDFormat(CDHandle Volume) { return NotSupported; }

    virtual uint32_t CDGetReleaseControlFaculty(CDHandle Source, uint32_t& Faculty) { return NotSupported; }
    virtual uint32_t CDEnterReleaseControl(CDHandle Source, void* Callback, uintptr_t Context) { return NotSupported; }
    virtual uint32_t CDExitReleaseControl(CDHandle Source) { return NotSupported; }
    virtual uint32_t CDSelectReleaseDataKind(CDHandle Source, uint32_t Kind) { return NotSupported; }
    virtual uint32_t CDGetNumAvailableShot(CDHandle Source, uint32_t& Shots) { return NotSupported; }

    virtual uint32_t CDStartViewfinder(CDHandle Source, uint32_t Format, void* Callback, uintptr_t Context) { return NotSupported; }
    virtual uint32_t CDTermViewfinder(CDHandle Source) { return NotSupported; }
    virtual uint32_t CDSelectViewFinderCameraOutput(CDHandle Source, uint32_t Output) { return NotSupported; }
    virtual uint32_t CDActViewfinderAutoFunctions(CDHandle Source, uint32_t Functions) { return NotSupported; }

    virtual uint32_t CDGetMaximumZoomPos(CDHandle Source, uint32_t& Maximum, uint32_t& OpticalMaximum) { return NotSupported; }
    virtual uint32_t CDGetZoomPos(CDHandle Source, uint32_t& Position) { return NotSupported; }
    virtual uint32_t CDSetZoomPos(CDHandle Source, uint32_t Position) { return NotSupported; }
    virtual uint32_t CDAFLock(CDHandle Source, uint32_t Lock) { return NotSupported; }

    virtual uint32_t CDRelease(CDHandle Source, uint32_t Sync, void* Callback, uintptr_t Context, uint32_t Option, uint32_t& DataCount) { return NotSupported; }
    // FileName: the file the picture is written to, in 8-bit characters.
    virtual uint32_t CDGetReleasedData(CDHandle Source, void* Callback, uintptr_t Context, uint32_t Option, const QByteArray& FileName) { return NotSupported; }

    // Current values of the release settings.
    virtual uint32_t CDGetImageFormatAttribute(CDHandle Source, uint32_t& Quality, uint32_t& Size) { return NotSupported; }
    virtual uint32_t CDSetImageFormatAttribute(CDHandle Source, uint32_t Quality, uint32_t Size) { return NotSupported; }
    virtual uint32_t CDGetShootingMode(CDHandle Source, uint32_t& Mode) { return NotSupported; }
    virtual uint32_t CDSetShootingMode(CDHandle Source, uint32_t Mode) { return NotSupported; }
    virtual uint32_t CDGetAvValue(CDHandle Source, uint32_t& Value) { return NotSupported; }
    virtual uint32_t CDSetAvValue(CDHandle Source, uint32_t Value) { return NotSupported; }
    virtual uint32_t CDGetTvValue(CDHandle Source, uint32_t& Value) { return NotSupported; }
    virtual uint32_t CDSetTvValue(CDHandle Source, uint32_t Value) { return NotSupported; }
    virtual uint32_t CDGetExposureComp(CDHandle Source, uint32_t& Value) { return NotSupported; }
    virtual uint32_t CDSetExposureComp(CDHandle Source, uint32_t Value) { return NotSupported; }
    virtual uint32_t CDGetWBSetting(CDHandle Source, uint32_t& Value) { return NotSupported; }
    virtual uint32_t CDSetWBSetting(CDHandle Source, uint32_t Value) { return NotSupported; }
    virtual uint32_t CDGetAFDistanceSetting(CDHandle Source, uint32_t& Value) { return NotSupported; }
    virtual uint32_t CDSetAFDistanceSetting(CDHandle Source, uint32_t Value) { return NotSupported; }
    virtual uint32_t CDGetFlashSetting(CDHandle Source, uint32_t& Mode, uint32_t& Compensation) { return NotSupported; }
    virtual uint32_t CDSetFlashSetting(CDHandle Source, uint32_t Mode, uint32_t Compensation) { return NotSupported; }
    // Size: 1 or 2 bytes, as the setting has it.
    virtual uint32_t CDGetRelCamSettingData(CDHandle Source, uint32_t Id, uint32_t Size, uint32_t& Value) { return NotSupported; }
    virtual uint32_t CDSetRelCamSettingData(CDHandle Source, uint32_t Id, uint32_t Size, uint32_t Value) { return NotSupported; }

    // The values a camera offers. Id names the setting of RelCamSettingData; Value2 is the size of an
    // image format.
    virtual uint32_t EnumValuesReset(CDValueList List, CDHandle Source, uint32_t Id, CDHandle& Enum) { return NotSupported; }
    virtual uint32_t GetValuesCount(CDValueList List, CDHandle Enum, uint32_t& Count) { return NotSupported; }
    virtual uint32_t EnumValuesNext(CDValueList List, CDHandle Enum, uint32_t& Value, uint32_t& Value2) { return NotSupported; }
    virtual uint32_t EnumValuesRelease(CDValueList List, CDHandle Enum) { return NotSupported; }

    // The pictures on the card.
    virtual uint32_t CDEnumImageItemReset(CDHandle Volume, uint32_t Level, uint32_t Option, CDHandle& Enum) { return NotSupported; }
    virtual uint32_t CDGetImageItemCount(CDHandle Enum, uint32_t& Count) { return NotSupported; }
    virtual uint32_t CDEnumImageItemNext(CDHandle Enum, CDHandle& Item) { return NotSupported; }
    virtual uint32_t CDEnumImageItemRelease(CDHandle Enum) { return NotSupported; }
    // Name: the text at byte offset 12 of the item information record.
    virtual uint32_t CDGetItemInfo(CDHandle Item, QString& Name) { return NotSupported; }
    virtual uint32_t CDOpenImage(CDHandle Item, CDHandle& Image) { return NotSupported; }
    virtual uint32_t CDCloseImage(CDHandle Image) { return NotSupported; }
    virtual uint32_t CDGetThumbnail(CDHandle Image, CDHandle& Data) { return NotSupported; }
    virtual uint32_t CDGetPicture(CDHandle Image, CDHandle& Data) { return NotSupported; }
    virtual uint32_t CDGetImageData(CDHandle Data, const QByteArray& FileName, void* Callback, uintptr_t Context, uint32_t Option) { return NotSupported; }
    virtual uint32_t CDDeleteImage(CDHandle Volume, CDHandle Item) { return NotSupported; }
};
