/* C interface of the older-PowerShot camera library CDSDK.DLL: 32-bit handles for sources,
 * enumerations, volumes, items and picture parts, the records they fill, the callbacks, and the 153
 * entry points the program resolves at run time. Every call returns a cdError (0 = done). */
#ifndef JEX4_CDSDK_API_H
#define JEX4_CDSDK_API_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(CDSDK_BUILDING)
#define CDAPI_EXPORT __attribute__((visibility("default")))
#else
#define CDAPI_EXPORT
#endif

typedef uint8_t cdUInt8;
typedef uint16_t cdUInt16;
typedef uint32_t cdUInt32;
typedef int32_t cdInt32;
typedef char cdChar;
typedef void cdVoid;
typedef uint32_t cdBool;
typedef uint32_t cdError;
typedef uint32_t cdHandle; /* a registration of a callback */
typedef uint32_t cdHSource; /* an open camera */
typedef uint32_t cdHEnum;   /* an enumeration */
typedef uint32_t cdHVolume; /* a card */
typedef uint32_t cdHItem;   /* a file or folder of a card; a volume is an item too */
typedef uint32_t cdHImage;  /* a part of an opened picture: thumbnail, picture, movie, sound */
typedef uintptr_t cdContext;

/* ---- results (the low 16 bits carry the meaning) ---- */
#define cdOK 0x00000000u
#define cdUNIMPLEMENTED 0x00000001u
#define cdINTERNAL_ERROR 0x00000002u
#define cdMEM_ALLOC_FAILED 0x00000003u
#define cdOPERATION_CANCELLED 0x00000005u
#define cdINCOMPATIBLE_VERSION 0x00000006u
#define cdNOT_SUPPORTED 0x00000007u
#define cdFILE_IO_ERROR 0x00000020u
#define cdFILE_NOT_FOUND 0x00000022u
#define cdFILE_OPEN_ERROR 0x00000023u
#define cdFILE_WRITE_ERROR 0x00000028u
#define cdDIRECTORY_NOT_EMPTY 0x00000044u
#define cdPROPERTIES_UNAVAILABLE 0x00000050u
#define cdINVALID_PARAMETER 0x00000060u
#define cdINVALID_HANDLE 0x00000061u
#define cdINVALID_POINTER 0x00000062u
#define cdINVALID_INDEX 0x00000063u
#define cdINVALID_LENGTH 0x00000064u
#define cdDEVICE_NOT_FOUND 0x00000080u
#define cdDEVICE_BUSY 0x00000081u
#define cdDEVICE_INVALID_PARAMETER 0x00000086u
#define cdDEVICE_NO_DISK 0x00000087u
#define cdCOMM_DISCONNECTED 0x000000C1u
#define cdENUM_NA 0x000000F0u
#define cdINVALID_FN_CALL 0x000000F1u
#define cdHANDLE_NOT_FOUND 0x000000F2u

/* ---- events of the event callback: severity in bits 16 to 19, the event in the low 16 bits ---- */
#define cdEVENT_SEVERITY_NONE 0x00000000u
#define cdEVENT_SEVERITY_WARNING 0x00020000u
#define cdEVENT_SEVERITY_SHUTDOWN 0x00040000u
#define cdEVENT_BATTERY_LEVEL_CHANGED 1u /* data: the level in the low 4 bits (6 normal, 4 weak, 3 safety low, 2 low) */
#define cdEVENT_DIAL_CHANGE 2u
#define cdEVENT_CF_GATE_CHANGED 3u
#define cdEVENT_BATT_COVER_CHANGED 4u
#define cdEVENT_CONNECTION_TIME_OUT 5u /* the camera switches itself off soon */
#define cdEVENT_UNRECOVERABLE_ERROR 6u
#define cdEVENT_UNKNOWN_COMMAND 7u
#define cdEVENT_RELEASE_PARAM_CHANGED 11u
#define cdEVENT_CONNECTION_DISAPPEARED 13u

/* ---- events of the release callback ---- */
#define cdRELEASE_EVENT_RESET_HW_ERROR 10u
#define cdRELEASE_EVENT_CHANGED_BY_UI 27u
#define cdRELEASE_EVENT_RELEASE_START 28u
#define cdRELEASE_EVENT_RELEASE_COMPLETE 29u /* data: the number of data items waiting */
#define cdRELEASE_EVENT_CAM_RELEASE_ON 30u
#define cdRELEASE_EVENT_ABORT_PC_EVF 32u
#define cdRELEASE_EVENT_ENABLE_PC_EVF 33u

/* Release data kinds: thumbnail 1, picture 2, both 3 to the computer; times 4 to the card; the
 * sum of both goes to both. */
#define cdREL_KIND_THUMB_TO_PC 1u
#define cdREL_KIND_PICT_TO_PC 2u
#define cdREL_KIND_THUMB_TO_CAM 4u
#define cdREL_KIND_PICT_TO_CAM 8u

/* Release control faculty bits. */
#define cdRELEASE_CONTROL_CAP_ZOOM 0x00000001u
#define cdRELEASE_CONTROL_CAP_SETPRM 0x00000002u
#define cdRELEASE_CONTROL_CAP_VIEWFINDER 0x00000004u
#define cdRELEASE_CONTROL_CAP_ABORT_VIEWFINDER 0x00000008u
#define cdRELEASE_CONTROL_CAP_AF_LOCK 0x00000010u
#define cdRELEASE_CONTROL_CAP_SUPPORTED 0x40000000u

/* Device properties and release camera settings used by the program. */
#define cdDEVICE_PROP_OWNER_NAME 0x0800000Cu /* text, up to 32 bytes with its zero */
#define cdDEVICE_PROP_BATTERY_STATUS 0x0000000Fu /* source in the top 4 bits, status in the low 4 */
#define cdDEVICE_PROP_TIME 0x0800000Du /* seconds since 1970, universal time */
#define cdDEVICE_PROP_FIRMWARE_VERSION 0x08000003u
#define cdDEVICE_PROP_MODEL_NAME 0x08000001u
#define cdREL_SET_ML_WEI_MODE 0x08000004u /* 1 byte */
#define cdREL_SET_ISO_SPEED 0x0800000Cu   /* 2 bytes */
#define cdREL_SET_CONTRAST 0x08000008u    /* 1 byte, signed */
#define cdREL_SET_COLOR_GAIN 0x08000009u  /* 1 byte, signed */
#define cdREL_SET_SHARPNESS 0x0800000Au   /* 1 byte, signed */
#define cdREL_SET_PHOTO_EFFECT 0x08000B00u /* 2 bytes */
#define cdREL_SET_BEEP 0x08000002u        /* 1 byte */
#define cdREL_SET_COLOR_TEMPERATURE 0x00001100u /* 2 bytes */

#define cdFLASH_UNCHANGED 255u /* CDSetFlashSetting: leave this half as it is */

/* ---- records ---- */

/* CDStartSDK's version record: 40 bytes, the first three values 40, 7 and 3. */
typedef struct {
    cdUInt16 Size;
    cdUInt16 MajorVersion;
    cdUInt16 MinorVersion;
    cdUInt16 ReleaseVersion;
    cdChar chVersion[32];
} cdVersionInfo;

/* A camera as the device enumeration gives it: 400 bytes. */
typedef struct {
    cdUInt32 SourceType; /* 1 camera */
    cdChar NameSource[64];
    cdChar NameInOS[64];
    cdUInt32 PortType; /* 2 USB */
    cdChar PortDescription[264];
} cdSourceInfo;

typedef struct {
    cdUInt32 DevPropID;
    cdUInt32 DataSize;
    cdUInt32 Access; /* 1 read, 3 read and write */
} cdDevicePropertyStruct;

typedef struct {
    cdUInt32 Width;
    cdUInt32 Height;
} cdSupportedImageSize;

/* Sizes in kilobytes at byte offsets 8 and 12; both 0 when the volume holds no card. */
typedef struct {
    cdUInt32 Type;
    cdUInt32 Attribute;
    cdUInt32 TotalSpace;
    cdUInt32 FreeSpace;
    cdChar Name[256];
} cdVolumeInfo;

/* The item's name from byte offset 12. */
typedef struct {
    cdUInt32 Type; /* 1 folder, 2 picture, 3 movie, 4 other file */
    cdUInt32 Attribute;
    cdUInt32 Size;
    cdChar Name[512];
    cdUInt32 DateTime;
    cdUInt32 Reserved;
} cdItemInfo;

typedef struct {
    cdUInt32 Format; /* 1 JPEG, 2 RAW, 3 movie, 4 sound */
    cdUInt32 Width;
    cdUInt32 Height;
    cdUInt32 DataSize;
} cdImagePartInfo;

/* Where picture data go: type 0 a file of that name, type 1 the caller's memory. */
typedef struct {
    cdUInt32 Type;
    union {
        const cdChar* FileName;
        struct {
            cdVoid* Buffer;
            cdUInt32 Size;
            cdUInt32 Written;
        } Memory;
    } u;
} cdStgMedium;

#define cdMEMTYPE_FILE 0u
#define cdMEMTYPE_MEMORY 1u

typedef struct {
    cdUInt32 SequenceID;
    cdUInt32 DataType; /* 1 thumbnail, 2 picture */
    cdUInt32 Format;   /* 1 JPEG */
    cdUInt32 DataSize;
    cdChar FileName[256];
} cdReleaseImageInfo;

typedef struct {
    cdUInt32 PropID;
    cdUInt32 DataSize;
} cdImagePropertyStruct;

typedef struct {
    cdUInt32 SettingID;
    cdUInt32 DataSize;
    cdUInt32 Access;
} cdRelCamSettingStruct;

/* ---- callbacks (called from the library's own thread) ---- */

typedef cdUInt32 (*cdEventCallbackFunction)(cdUInt32 EventID, const cdVoid* pData, cdUInt32 DataSize, cdContext Context);
typedef cdUInt32 (*cdReleaseEventCallbackFunction)(cdUInt32 EventID, const cdVoid* pData, cdUInt32 DataSize,
                                                   cdContext Context);
typedef cdUInt32 (*cdViewfinderCallbackFunction)(const cdVoid* pBuf, cdUInt32 Size, cdUInt32 Format, cdContext Context);
typedef cdUInt32 (*cdProgressCallbackFunction)(cdUInt32 Progress, cdUInt32 Status, cdContext Context);

#define cdPROG_NO_REPORT 0u
#define cdPROG_REPORT_DONE 1u
#define cdPROG_REPORT_PERIODICALLY 3u

/* A release setting family: enumeration reset, next, release and count, get and set. */
#define CDSDK_SETTING_FAMILY(X, Name)                                                              \
    X(CDEnum##Name##Reset, (cdHSource hSource, cdHEnum * phEnum))                                  \
    X(CDEnum##Name##Next, (cdHEnum hEnum, cdUInt32 * pValue))                                      \
    X(CDEnum##Name##Release, (cdHEnum hEnum))                                                      \
    X(CDGet##Name##Count, (cdHEnum hEnum, cdUInt32 * pCount))                                      \
    X(CDGet##Name, (cdHSource hSource, cdUInt32 * pValue))                                         \
    X(CDSet##Name, (cdHSource hSource, cdUInt32 Value))

/* X(name, parameters): the 153 entry points, in the order the loader resolves them. The Windows
 * library exports CDGetReleaseControlFaculty decorated as "_CDGetReleaseControlFaculty@8"; this one
 * exports the plain name. */
#define CDSDK_ENTRY_POINTS(X)                                                                      \
    X(CDStartSDK, (cdVersionInfo * pVersion, cdUInt32 Option))                                     \
    X(CDFinishSDK, (void))                                                                          \
    X(CDGetSDKVersion, (cdVersionInfo * pVersion))                                                 \
    X(CDEnumDeviceReset, (cdUInt32 Kind, cdHEnum * phEnum))                                        \
    X(CDEnumDeviceNext, (cdHEnum hEnum, cdSourceInfo * pSourceInfo))                               \
    X(CDGetDeviceCount, (cdHEnum hEnum, cdUInt32 * pCount))                                        \
    X(CDEnumDeviceRelease, (cdHEnum hEnum))                                                        \
    X(CDOpenSource, (cdSourceInfo * pSourceInfo, cdHSource * phSource))                            \
    X(CDCloseSource, (cdHSource hSource))                                                          \
    X(CDRegisterEventCallbackFunction, (cdHSource hSource, cdEventCallbackFunction pFunc, cdContext Context, \
                                        cdHandle * phFunc))                                        \
    X(CDUnregisterEventCallbackFunction, (cdHSource hSource, cdHandle hFunc))                      \
    X(CDEnumDevicePropertyReset, (cdHSource hSource, cdUInt32 Option, cdHEnum * phEnum))           \
    X(CDEnumDevicePropertyNext, (cdHEnum hEnum, cdDevicePropertyStruct * pProperty))               \
    X(CDGetDevicePropertyCount, (cdHEnum hEnum, cdUInt32 * pCount))                                \
    X(CDEnumDevicePropertyRelease, (cdHEnum hEnum))                                                \
    X(CDGetDevicePropertyInfo, (cdHSource hSource, cdUInt32 PropID, cdDevicePropertyStruct * pProperty)) \
    X(CDGetDevicePropertyData, (cdHSource hSource, cdUInt32 PropID, cdUInt32 * pBufSize, cdVoid * pBuf, \
                                cdUInt32 Option))                                                  \
    X(CDSetDevicePropertyData, (cdHSource hSource, cdUInt32 PropID, cdUInt32 BufSize, const cdVoid* pBuf)) \
    X(CDEnumSupportedImageSizeReset, (cdHSource hSource, cdUInt32 Option, cdHEnum * phEnum))       \
    X(CDEnumSupportedImageSizeNext, (cdHEnum hEnum, cdSupportedImageSize * pSize))                 \
    X(CDGetSupportedImageSizeCount, (cdHEnum hEnum, cdUInt32 * pCount))                            \
    X(CDEnumSupportedImageSizeRelease, (cdHEnum hEnum))                                            \
    X(CDLockUI, (cdHSource hSource))                                                               \
    X(CDUnlockUI, (cdHSource hSource))                                                             \
    X(CDSetUILockTimeOutTime, (cdHSource hSource, cdUInt32 TimeOut))                               \
    X(CDFormat, (cdHVolume hVolume))                                                               \
    X(CDEnumVolumeReset, (cdHSource hSource, cdHEnum * phEnum))                                    \
    X(CDEnumVolumeNext, (cdHEnum hEnum, cdHVolume * phVolume))                                     \
    X(CDGetVolumeCount, (cdHEnum hEnum, cdUInt32 * pCount))                                        \
    X(CDEnumVolumeRelease, (cdHEnum hEnum))                                                        \
    X(CDGetVolumeInfo, (cdHVolume hVolume, cdVolumeInfo * pInfo))                                  \
    X(CDSetVolumeLabel, (cdHVolume hVolume, const cdChar* pLabel))                                 \
    X(CDEnumItemReset, (cdHItem hParent, cdUInt32 Option, cdHEnum * phEnum))                       \
    X(CDEnumItemNext, (cdHEnum hEnum, cdHItem * phItem))                                           \
    X(CDGetItemCount, (cdHEnum hEnum, cdUInt32 * pCount))                                          \
    X(CDEnumItemRelease, (cdHEnum hEnum))                                                          \
    X(CDGetItemInfo, (cdHItem hItem, cdItemInfo * pInfo))                                          \
    X(CDGetItemParent, (cdHItem hItem, cdHItem * phParent))                                        \
    X(CDCreateFolder, (cdHItem hParent, const cdChar* pName, cdHItem* phFolder))                   \
    X(CDDeleteFolder, (cdHItem hFolder))                                                           \
    X(CDRenameItem, (cdHItem hItem, const cdChar* pName))                                          \
    X(CDGetItemAttribute, (cdHItem hItem, cdUInt32 * pAttribute))                                  \
    X(CDSetItemAttribute, (cdHItem hItem, cdUInt32 Attribute))                                     \
    X(CDEnumImageItemReset, (cdHItem hParent, cdUInt32 Depth, cdUInt32 Option, cdHEnum * phEnum))  \
    X(CDEnumImageItemNext, (cdHEnum hEnum, cdHItem * phItem))                                      \
    X(CDGetImageItemCount, (cdHEnum hEnum, cdUInt32 * pCount))                                     \
    X(CDEnumImageItemRelease, (cdHEnum hEnum))                                                     \
    X(CDOpenImage, (cdHItem hItem))                                                                \
    X(CDCloseImage, (cdHItem hItem))                                                               \
    X(CDGetThumbnail, (cdHItem hItem, cdHImage * phPart))                                          \
    X(CDGetPicture, (cdHItem hItem, cdHImage * phPart))                                            \
    X(CDGetMovie, (cdHItem hItem, cdHImage * phPart))                                              \
    X(CDGetSound, (cdHItem hItem, cdHImage * phPart))                                              \
    X(CDGetThumbnailInfo, (cdHImage hPart, cdImagePartInfo * pInfo))                               \
    X(CDGetPictureInfo, (cdHImage hPart, cdImagePartInfo * pInfo))                                 \
    X(CDGetMovieInfo, (cdHImage hPart, cdImagePartInfo * pInfo))                                   \
    X(CDGetSoundInfo, (cdHImage hPart, cdImagePartInfo * pInfo))                                   \
    X(CDGetImageDataSize, (cdHImage hPart, cdUInt32 * pSize))                                      \
    X(CDGetImageData, (cdHImage hPart, cdStgMedium * pStgMedium, cdProgressCallbackFunction pProgress, \
                       cdContext Context, cdUInt32 ProgressOption))                                \
    X(CDDeleteImage, (cdHVolume hVolume, cdHItem hItem))                                           \
    X(CDEnumImagePropertyReset, (cdHItem hItem, cdUInt32 Option, cdHEnum * phEnum))                \
    X(CDEnumImagePropertyNext, (cdHEnum hEnum, cdImagePropertyStruct * pProperty))                 \
    X(CDGetImagePropertyCount, (cdHEnum hEnum, cdUInt32 * pCount))                                 \
    X(CDEnumImagePropertyRelease, (cdHEnum hEnum))                                                 \
    X(CDGetImagePropertyData, (cdHItem hItem, cdUInt32 PropID, cdUInt32 * pBufSize, cdVoid * pBuf)) \
    X(CDGetPrintMark, (cdHItem hItem, cdUInt32 * pMark))                                           \
    X(CDSetPrintMark, (cdHItem hItem, cdUInt32 Mark))                                              \
    X(CDGetSlideShowMark, (cdHItem hItem, cdUInt32 * pMark))                                       \
    X(CDSetSlideShowMark, (cdHItem hItem, cdUInt32 Mark))                                          \
    X(CDGetTransferMark, (cdHItem hItem, cdUInt32 * pMark))                                        \
    X(CDSetTransferMark, (cdHItem hItem, cdUInt32 Mark))                                           \
    X(CDClearMarks, (cdHVolume hVolume))                                                           \
    X(CDEnterReleaseControl, (cdHSource hSource, cdReleaseEventCallbackFunction pFunc, cdContext Context)) \
    X(CDExitReleaseControl, (cdHSource hSource))                                                   \
    X(CDGetReleaseControlFaculty, (cdHSource hSource, cdUInt32 * pFaculty))                        \
    X(CDSelectReleaseDataKind, (cdHSource hSource, cdUInt32 Kind))                                 \
    X(CDRelease, (cdHSource hSource, cdBool bSync, cdProgressCallbackFunction pProgress, cdContext Context, \
                  cdUInt32 ProgressOption, cdUInt32 * pNumData))                                   \
    X(CDGetReleasedData, (cdHSource hSource, cdProgressCallbackFunction pProgress, cdContext Context, \
                          cdUInt32 ProgressOption, cdReleaseImageInfo * pInfo, cdStgMedium * pStgMedium)) \
    X(CDStartViewfinder, (cdHSource hSource, cdUInt32 Format, cdViewfinderCallbackFunction pFunc, cdContext Context)) \
    X(CDTermViewfinder, (cdHSource hSource))                                                       \
    X(CDSelectViewFinderCameraOutput, (cdHSource hSource, cdUInt32 Output))                        \
    X(CDActViewfinderAutoFunctions, (cdHSource hSource, cdUInt32 Functions))                       \
    X(CDGetMaximumZoomPos, (cdHSource hSource, cdUInt32 * pMaxZoom, cdUInt32 * pMaxOpticalZoom))   \
    X(CDGetZoomPos, (cdHSource hSource, cdUInt32 * pZoom))                                         \
    X(CDGetDZoomMagnification, (cdHSource hSource, cdUInt32 * pMagnificationTimes100))             \
    X(CDSetZoomPos, (cdHSource hSource, cdUInt32 Zoom))                                            \
    X(CDAFLock, (cdHSource hSource, cdBool bLock))                                                 \
    X(CDEnumImageFormatAttributeReset, (cdHSource hSource, cdHEnum * phEnum))                      \
    X(CDEnumImageFormatAttributeNext, (cdHEnum hEnum, cdUInt32 * pQuality, cdUInt32 * pSize))      \
    X(CDEnumImageFormatAttributeRelease, (cdHEnum hEnum))                                          \
    X(CDGetImageFormatAttributeCount, (cdHEnum hEnum, cdUInt32 * pCount))                          \
    X(CDGetImageFormatAttribute, (cdHSource hSource, cdUInt32 * pQuality, cdUInt32 * pSize))       \
    X(CDSetImageFormatAttribute, (cdHSource hSource, cdUInt32 Quality, cdUInt32 Size))             \
    CDSDK_SETTING_FAMILY(X, DriveMode)                                                             \
    CDSDK_SETTING_FAMILY(X, ShootingMode)                                                          \
    CDSDK_SETTING_FAMILY(X, AvValue)                                                               \
    CDSDK_SETTING_FAMILY(X, TvValue)                                                               \
    CDSDK_SETTING_FAMILY(X, ExposureComp)                                                          \
    CDSDK_SETTING_FAMILY(X, WBSetting)                                                             \
    CDSDK_SETTING_FAMILY(X, AFDistanceSetting)                                                     \
    X(CDEnumFlashSettingReset, (cdHSource hSource, cdHEnum * phEnum))                              \
    X(CDEnumFlashSettingNext, (cdHEnum hEnum, cdUInt32 * pMode))                                   \
    X(CDEnumFlashSettingRelease, (cdHEnum hEnum))                                                  \
    X(CDGetFlashSettingCount, (cdHEnum hEnum, cdUInt32 * pCount))                                  \
    X(CDGetFlashSetting, (cdHSource hSource, cdUInt32 * pMode, cdUInt32 * pCompensation))          \
    X(CDSetFlashSetting, (cdHSource hSource, cdUInt32 Mode, cdUInt32 Compensation))                \
    X(CDGetNumAvailableShot, (cdHSource hSource, cdUInt32 * pNum))                                 \
    X(CDEnumRelCamSettingReset, (cdHSource hSource, cdHEnum * phEnum))                             \
    X(CDEnumRelCamSettingNext, (cdHEnum hEnum, cdRelCamSettingStruct * pSetting))                  \
    X(CDEnumRelCamSettingRelease, (cdHEnum hEnum))                                                 \
    X(CDGetRelCamSettingCount, (cdHEnum hEnum, cdUInt32 * pCount))                                 \
    X(CDGetRelCamSettingData, (cdHSource hSource, cdUInt32 SettingID, cdUInt32 * pBufSize, cdVoid * pBuf)) \
    X(CDSetRelCamSettingData, (cdHSource hSource, cdUInt32 SettingID, cdUInt32 BufSize, const cdVoid* pBuf)) \
    X(CDEnumRelCamSettingDataReset, (cdHSource hSource, cdUInt32 SettingID, cdHEnum * phEnum, cdUInt32 * pDataSize)) \
    X(CDEnumRelCamSettingDataNext, (cdHEnum hEnum, cdUInt32 BufSize, cdVoid * pBuf))               \
    X(CDEnumRelCamSettingDataRelease, (cdHEnum hEnum))                                             \
    X(CDGetRelCamSettingDataCount, (cdHEnum hEnum, cdUInt32 * pCount))                             \
    X(CDGetImagePropertyPart, (cdHItem hItem, cdUInt32 PropID, cdUInt32 Offset, cdUInt32 * pBufSize, cdVoid * pBuf))

#define CDSDK_ENTRY_POINT_COUNT 153

/* A loader that keeps process-wide variables named after the entry points defines
 * CDSDK_NO_PROTOTYPES and uses only the pointer types. */
#define CDSDK_DECLARE_PROTOTYPE(name, params) CDAPI_EXPORT cdError name params;
#define CDSDK_DECLARE_POINTER(name, params) typedef cdError(*pfn_##name) params;
#ifndef CDSDK_NO_PROTOTYPES
CDSDK_ENTRY_POINTS(CDSDK_DECLARE_PROTOTYPE)
#endif
CDSDK_ENTRY_POINTS(CDSDK_DECLARE_POINTER)

#ifdef __cplusplus
}
#endif

#endif
