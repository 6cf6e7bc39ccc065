// The older-PowerShot SDK as CDSDK.DLL gives it: each call of CDSDKCalls made through the binding's
// function variables, the SDK's records read and filled here.
#pragma once

#include "TCamRemote/Sources/CDSDKCalls.h"

#include <map>
#include <mutex>

class CDSDKBinding : public CDSDKCalls {
public:
    void Load() override;

    uint32_t CDStartSDK(uint16_t Size, uint16_t Major, uint16_t Minor, uint32_t Option) override;
    uint32_t CDFinishSDK() override;

    uint32_t CDEnumDeviceReset(uint32_t Kind, CDHandle& Enum) override;
    uint32_t CDGetDeviceCount(CDHandle Enum, uint32_t& Count) override;
    uint32_t CDEnumDeviceNext(CDHandle Enum, CDSourceRecord& Source) override;
    uint32_t CDEnumDeviceRelease(CDHandle Enum) override;
    QString NameSource(const CDSourceRecord& Source) override;
    QString NameInOS(const CDSourceRecord& Source) override;

    uint32_t CDOpenSource(const CDSourceRecord& Source, CDHandle& Handle) override;
    uint32_t CDCloseSource(CDHandle Source) override;

    uint32_t CDEnumDevicePropertyReset(CDHandle Source, uint32_t Option, CDHandle& Enum) override;
    uint32_t CDEnumDevicePropertyNext(CDHandle Enum, uint32_t& Id, uint32_t& Size) override;
    uint32_t CDEnumDevicePropertyRelease(CDHandle Enum) override;
    uint32_t CDGetDevicePropertyData(CDHandle Source, uint32_t Id, uint32_t& Size, void* Data) override;
    uint32_t CDSetDevicePropertyData(CDHandle Source, uint32_t Id, uint32_t Size, const void* Data) override;

    uint32_t CDRegisterEventCallbackFunction(CDHandle Source, void* Callback, uintptr_t Context, CDHandle& Handle) override;
    uint32_t CDUnregisterEventCallbackFunction(CDHandle Source, CDHandle Handle) override;

    uint32_t CDEnumVolumeReset(CDHandle Source, CDHandle& Enum) override;
    uint32_t CDEnumVolumeNext(CDHandle Enum, CDHandle& Volume) override;
    uint32_t CDEnumVolumeRelease(CDHandle Enum) override;
    uint32_t CDGetVolumeInfo(CDHandle Volume, uint32_t& At8, uint32_t& At12) override;
    uint32_t CDFormat(CDHandle Volume) override;

    uint32_t CDGetReleaseControlFaculty(CDHandle Source, uint32_t& Faculty) override;
    uint32_t CDEnterReleaseControl(CDHandle Source, void* Callback, uintptr_t Context) override;
    uint32_t CDExitReleaseControl(CDHandle Source) override;
    uint32_t CDSelectReleaseDataKind(CDHandle Source, uint32_t Kind) override;
    uint32_t CDGetNumAvailableShot(CDHandle Source, uint32_t& Shots) override;

    uint32_t CDStartViewfinder(CDHandle Source, uint32_t Format, void* Callback, uintptr_t Context) override;
    uint32_t CDTermViewfinder(CDHandle Source) override;
    uint32_t CDSelectViewFinderCameraOutput(CDHandle Source, uint32_t Output) override;
    uint32_t CDActViewfinderAutoFunctions(CDHandle Source, uint32_t Functions) override;

    uint32_t CDGetMaximumZoomPos(CDHandle Source, uint32_t& Maximum, uint32_t& OpticalMaximum) override;
    uint32_t CDGetZoomPos(CDHandle Source, uint32_t& Position) override;
    uint32_t CDSetZoomPos(CDHandle Source, uint32_t Position) override;
    uint32_t CDAFLock(CDHandle Source, uint32_t Lock) override;

    uint32_t CDRelease(CDHandle Source, uint32_t Sync, void* Callback, uintptr_t Context, uint32_t Option, uint32_t& DataCount) override;
    uint32_t CDGetReleasedData(CDHandle Source, void* Callback, uintptr_t Context, uint32_t Option, const QByteArray& FileName) override;

    uint32_t CDGetImageFormatAttribute(CDHandle Source, uint32_t& Quality, uint32_t& Size) override;
    uint32_t CDSetImageFormatAttribute(CDHandle Source, uint32_t Quality, uint32_t Size) override;
    uint32_t CDGetShootingMode(CDHandle Source, uint32_t& Mode) override;
    uint32_t CDSetShootingMode(CDHandle Source, uint32_t Mode) override;
    uint32_t CDGetAvValue(CDHandle Source, uint32_t& Value) override;
    uint32_t CDSetAvValue(CDHandle Source, uint32_t Value) override;
    uint32_t CDGetTvValue(CDHandle Source, uint32_t& Value) override;
    uint32_t CDSetTvValue(CDHandle Source, uint32_t Value) override;
    uint32_t CDGetExposureComp(CDHandle Source, uint32_t& Value) override;
    uint32_t CDSetExposureComp(CDHandle Source, uint32_t Value) override;
    uint32_t CDGetWBSetting(CDHandle Source, uint32_t& Value) override;
    uint32_t CDSetWBSetting(CDHandle Source, uint32_t Value) override;
    uint32_t CDGetAFDistanceSetting(CDHandle Source, uint32_t& Value) override;
    uint32_t CDSetAFDistanceSetting(CDHandle Source, uint32_t Value) override;
    uint32_t CDGetFlashSetting(CDHandle Source, uint32_t& Mode, uint32_t& Compensation) override;
    uint32_t CDSetFlashSetting(CDHandle Source, uint32_t Mode, uint32_t Compensation) override;
    uint32_t CDGetRelCamSettingData(CDHandle Source, uint32_t Id, uint32_t Size, uint32_t& Value) override;
    uint32_t CDSetRelCamSettingData(CDHandle Source, uint32_t Id, uint32_t Size, uint32_t Value) override;

    uint32_t EnumValuesReset(CDValueList List, CDHandle Source, uint32_t Id, CDHandle& Enum) override;
    uint32_t GetValuesCount(CDValueList List, CDHandle Enum, uint32_t& Count) override;
    uint32_t EnumValuesNext(CDValueList List, CDHandle Enum, uint32_t& Value, uint32_t& Value2) override;
    uint32_t EnumValuesRelease(CDValueList List, CDHandle Enum) override;

    uint32_t CDEnumImageItemReset(CDHandle Volume, uint32_t Level, uint32_t Option, CDHandle& Enum) override;
    uint32_t CDGetImageItemCount(CDHandle Enum, uint32_t& Count) override;
    uint32_t CDEnumImageItemNext(CDHandle Enum, CDHandle& Item) override;
    uint32_t CDEnumImageItemRelease(CDHandle Enum) override;
    uint32_t CDGetItemInfo(CDHandle Item, QString& Name) override;
    uint32_t CDOpenImage(CDHandle Item, CDHandle& Image) override;
    uint32_t CDCloseImage(CDHandle Image) override;
    uint32_t CDGetThumbnail(CDHandle Image, CDHandle& Data) override;
    uint32_t CDGetPicture(CDHandle Image, CDHandle& Data) override;
    uint32_t CDGetImageData(CDHandle Data, const QByteArray& FileName, void* Callback, uintptr_t Context, uint32_t Option) override;
    uint32_t CDDeleteImage(CDHandle Volume, CDHandle Item) override;

private:
    std::mutex m_lock;
    std::map<CDHandle, uint32_t> m_settingDataSize; // open setting enumerations: bytes per value
};
