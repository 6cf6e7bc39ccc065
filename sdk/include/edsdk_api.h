/* C interface of the EOS camera library EDSDK.DLL: types, property numbers, commands, events,
 * result codes and the 54 entry points the program resolves at run time. Every reference is an
 * opaque handle counted by EdsRetain/EdsRelease; every call returns an EdsError (0 = done). */
#ifndef JEX4_EDSDK_API_H
#define JEX4_EDSDK_API_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(EDSDK_BUILDING)
#define EDSAPI __attribute__((visibility("default")))
#else
#define EDSAPI
#endif

/* ---- basic types ---- */

typedef int8_t EdsInt8;
typedef uint8_t EdsUInt8;
typedef int16_t EdsInt16;
typedef uint16_t EdsUInt16;
typedef int32_t EdsInt32;
typedef uint32_t EdsUInt32;
typedef int64_t EdsInt64;
typedef uint64_t EdsUInt64;
typedef float EdsFloat;
typedef double EdsDouble;
typedef char EdsChar;
typedef int32_t EdsBool; /* 0 false, else true */
typedef void EdsVoid;

typedef EdsUInt32 EdsError;

#define EDS_MAX_NAME 256
#define EDS_MAX_DESC_ELEMENTS 128

typedef struct EdsObjectTag* EdsBaseRef;
typedef EdsBaseRef EdsCameraListRef;
typedef EdsBaseRef EdsCameraRef;
typedef EdsBaseRef EdsVolumeRef;
typedef EdsBaseRef EdsDirectoryItemRef;
typedef EdsBaseRef EdsStreamRef;
typedef EdsStreamRef EdsImageRef;
typedef EdsBaseRef EdsEvfImageRef;

/* ---- result codes (the low 16 bits carry the meaning) ---- */

#define EDS_ERR_OK 0x00000000u
#define EDS_ERR_UNIMPLEMENTED 0x00000001u
#define EDS_ERR_INTERNAL_ERROR 0x00000002u
#define EDS_ERR_MEM_ALLOC_FAILED 0x00000003u
#define EDS_ERR_OPERATION_CANCELLED 0x00000005u
#define EDS_ERR_INCOMPATIBLE_VERSION 0x00000006u
#define EDS_ERR_NOT_SUPPORTED 0x00000007u
#define EDS_ERR_FILE_IO_ERROR 0x00000020u
#define EDS_ERR_FILE_NOT_FOUND 0x00000022u
#define EDS_ERR_FILE_OPEN_ERROR 0x00000023u
#define EDS_ERR_FILE_SEEK_ERROR 0x00000025u
#define EDS_ERR_FILE_READ_ERROR 0x00000027u
#define EDS_ERR_FILE_WRITE_ERROR 0x00000028u
#define EDS_ERR_FILE_PERMISSION_ERROR 0x00000029u
#define EDS_ERR_FILE_FORMAT_UNRECOGNIZED 0x0000002Cu
#define EDS_ERR_DIR_NOT_FOUND 0x00000040u
#define EDS_ERR_DIR_ENTRY_NOT_FOUND 0x00000042u
#define EDS_ERR_PROPERTIES_UNAVAILABLE 0x00000050u
#define EDS_ERR_PROPERTIES_MISMATCH 0x00000051u
#define EDS_ERR_INVALID_PARAMETER 0x00000060u
#define EDS_ERR_INVALID_HANDLE 0x00000061u
#define EDS_ERR_INVALID_POINTER 0x00000062u
#define EDS_ERR_INVALID_INDEX 0x00000063u
#define EDS_ERR_INVALID_LENGTH 0x00000064u
#define EDS_ERR_INVALID_FN_POINTER 0x00000065u
#define EDS_ERR_DEVICE_NOT_FOUND 0x00000080u
#define EDS_ERR_DEVICE_BUSY 0x00000081u
#define EDS_ERR_DEVICE_INVALID 0x00000082u
#define EDS_ERR_DEVICE_INTERNAL_ERROR 0x00000085u
#define EDS_ERR_DEVICE_INVALID_PARAMETER 0x00000086u
#define EDS_ERR_DEVICE_NO_DISK 0x00000087u
#define EDS_ERR_DEVICE_NOT_RELEASED 0x0000008Du
#define EDS_ERR_STREAM_IO_ERROR 0x000000A0u
#define EDS_ERR_STREAM_NOT_OPEN 0x000000A1u
#define EDS_ERR_STREAM_SEEK_ERROR 0x000000A5u
#define EDS_ERR_STREAM_READ_ERROR 0x000000A7u
#define EDS_ERR_STREAM_WRITE_ERROR 0x000000A8u
#define EDS_ERR_STREAM_PERMISSION_ERROR 0x000000A9u
#define EDS_ERR_STREAM_END_OF_STREAM 0x000000ACu
#define EDS_ERR_COMM_DISCONNECTED 0x000000C1u
#define EDS_ERR_INVALID_FN_CALL 0x000000F1u
#define EDS_ERR_HANDLE_NOT_FOUND 0x000000F2u
#define EDS_ERR_INVALID_ID 0x000000F3u
#define EDS_ERR_SESSION_NOT_OPEN 0x00002003u
#define EDS_ERR_SESSION_ALREADY_OPEN 0x0000201Eu
#define EDS_ERR_DEVICEPROP_NOT_SUPPORTED 0x0000200Au
#define EDS_ERR_INVALID_DEVICEPROP_VALUE 0x0000201Cu
#define EDS_ERR_TAKE_PICTURE_AF_NG 0x00008D01u
#define EDS_ERR_TAKE_PICTURE_NO_CARD_NG 0x00008D06u
#define EDS_ERR_OPERATION_REFUSED 0x0000A005u
#define EDS_ERR_LOW_BATTERY 0x0000A101u
#define EDS_ERR_OBJECT_NOTREADY 0x0000A102u

/* ---- property numbers ---- */

typedef EdsUInt32 EdsPropertyID;

#define kEdsPropID_Unknown 0x0000FFFFu
#define kEdsPropID_ProductName 0x00000002u
#define kEdsPropID_OwnerName 0x00000004u
#define kEdsPropID_MakerName 0x00000005u
#define kEdsPropID_DateTime 0x00000006u
#define kEdsPropID_FirmwareVersion 0x00000007u
#define kEdsPropID_BatteryLevel 0x00000008u
#define kEdsPropID_SaveTo 0x0000000Bu
#define kEdsPropID_BodyIDEx 0x00000015u
#define kEdsPropID_ImageQuality 0x00000100u
#define kEdsPropID_FocusInfo 0x00000104u
#define kEdsPropID_WhiteBalance 0x00000106u
#define kEdsPropID_ColorTemperature 0x00000107u
#define kEdsPropID_WhiteBalanceShift 0x00000108u
#define kEdsPropID_ColorSpace 0x0000010Du
#define kEdsPropID_PhotoEffect 0x0000010Fu
#define kEdsPropID_PictureStyle 0x00000114u
#define kEdsPropID_PictureStyleDesc 0x00000115u
#define kEdsPropID_AEMode 0x00000400u
#define kEdsPropID_DriveMode 0x00000401u
#define kEdsPropID_ISOSpeed 0x00000402u
#define kEdsPropID_MeteringMode 0x00000403u
#define kEdsPropID_AFMode 0x00000404u
#define kEdsPropID_Av 0x00000405u
#define kEdsPropID_Tv 0x00000406u
#define kEdsPropID_ExposureCompensation 0x00000407u
#define kEdsPropID_AvailableShots 0x0000040Au
#define kEdsPropID_Evf_OutputDevice 0x00000500u
#define kEdsPropID_Evf_Mode 0x00000501u
#define kEdsPropID_Evf_WhiteBalance 0x00000502u
#define kEdsPropID_Evf_DepthOfFieldPreview 0x00000504u
#define kEdsPropID_Evf_Zoom 0x00000507u
#define kEdsPropID_Evf_ZoomPosition 0x00000508u
#define kEdsPropID_Evf_Histogram 0x0000050Au
#define kEdsPropID_Evf_ImagePosition 0x0000050Bu
#define kEdsPropID_Evf_AFMode 0x0000050Eu
#define kEdsPropID_Record 0x00000510u
#define kEdsPropID_Evf_CoordinateSystem 0x00000540u
#define kEdsPropID_Evf_ZoomRect 0x00000541u

/* Image-reference properties (RAW development): the same numbers as the camera's. */

/* Live-view output device bits (property 0x500). */
#define kEdsEvfOutputDevice_TFT 1u
#define kEdsEvfOutputDevice_PC 2u

/* Where released pictures go (property 0xB). */
#define kEdsSaveTo_Camera 1u
#define kEdsSaveTo_Host 2u
#define kEdsSaveTo_Both 3u

/* ---- data types of properties ---- */

typedef enum {
    kEdsDataType_Unknown = 0,
    kEdsDataType_Bool = 1,
    kEdsDataType_String = 2,
    kEdsDataType_Int8 = 3,
    kEdsDataType_UInt8 = 6,
    kEdsDataType_Int16 = 4,
    kEdsDataType_UInt16 = 7,
    kEdsDataType_Int32 = 8,
    kEdsDataType_UInt32 = 9,
    kEdsDataType_Int64 = 10,
    kEdsDataType_UInt64 = 11,
    kEdsDataType_Float = 12,
    kEdsDataType_Double = 13,
    kEdsDataType_ByteBlock = 14,
    kEdsDataType_Rational = 20,
    kEdsDataType_Point = 21,
    kEdsDataType_Rect = 22,
    kEdsDataType_Time = 23,
    kEdsDataType_Int32_Array = 44,
    kEdsDataType_UInt32_Array = 46,
    kEdsDataType_FocusInfo = 101,
    kEdsDataType_PictureStyleDesc = 102
} EdsDataType;

/* ---- commands ---- */

typedef EdsUInt32 EdsCameraCommand;
#define kEdsCameraCommand_TakePicture 0x00000000u
#define kEdsCameraCommand_ExtendShutDownTimer 0x00000001u
#define kEdsCameraCommand_PressShutterButton 0x00000004u
#define kEdsCameraCommand_DoEvfAf 0x00000102u
#define kEdsCameraCommand_DriveLensEvf 0x00000103u
#define kEdsCameraCommand_DoClickWBEvf 0x00000104u

/* Parameter of kEdsCameraCommand_PressShutterButton. */
#define kEdsCameraCommand_ShutterButton_OFF 0x00000000u
#define kEdsCameraCommand_ShutterButton_Halfway 0x00000001u
#define kEdsCameraCommand_ShutterButton_Completely 0x00000003u
#define kEdsCameraCommand_ShutterButton_Halfway_NonAF 0x00010001u
#define kEdsCameraCommand_ShutterButton_Completely_NonAF 0x00010003u

typedef EdsUInt32 EdsCameraStatusCommand;
#define kEdsCameraStatusCommand_UILock 0x00000000u
#define kEdsCameraStatusCommand_UIUnLock 0x00000001u

/* ---- events ---- */

typedef EdsUInt32 EdsPropertyEvent;
#define kEdsPropertyEvent_All 0x00000100u
#define kEdsPropertyEvent_PropertyChanged 0x00000101u
#define kEdsPropertyEvent_PropertyDescChanged 0x00000102u

typedef EdsUInt32 EdsObjectEvent;
#define kEdsObjectEvent_All 0x00000200u
#define kEdsObjectEvent_VolumeInfoChanged 0x00000201u
#define kEdsObjectEvent_VolumeUpdateItems 0x00000202u
#define kEdsObjectEvent_FolderUpdateItems 0x00000203u
#define kEdsObjectEvent_DirItemCreated 0x00000204u
#define kEdsObjectEvent_DirItemRemoved 0x00000205u
#define kEdsObjectEvent_DirItemRequestTransfer 0x00000208u

typedef EdsUInt32 EdsStateEvent;
#define kEdsStateEvent_All 0x00000300u
#define kEdsStateEvent_Shutdown 0x00000301u
#define kEdsStateEvent_JobStatusChanged 0x00000302u
#define kEdsStateEvent_WillSoonShutDown 0x00000303u
#define kEdsStateEvent_ShutDownTimerUpdate 0x00000304u
#define kEdsStateEvent_CaptureError 0x00000305u
#define kEdsStateEvent_InternalError 0x00000306u

/* ---- streams ---- */

typedef enum {
    kEdsSeek_Cur = 0,
    kEdsSeek_Begin = 1,
    kEdsSeek_End = 2
} EdsSeekOrigin;

typedef enum {
    kEdsFileCreateDisposition_CreateNew = 0,
    kEdsFileCreateDisposition_CreateAlways = 1,
    kEdsFileCreateDisposition_OpenExisting = 2,
    kEdsFileCreateDisposition_OpenAlways = 3,
    kEdsFileCreateDisposition_TruncateExsisting = 4
} EdsFileCreateDisposition;

typedef enum {
    kEdsAccess_Read = 0,
    kEdsAccess_Write = 1,
    kEdsAccess_ReadWrite = 2,
    kEdsAccess_Error = 0xFFFFFFFF
} EdsAccess;

typedef enum {
    kEdsProgressOption_NoReport = 0,
    kEdsProgressOption_Done = 1,
    kEdsProgressOption_Periodically = 2
} EdsProgressOption;

/* A stream whose bytes live with the caller: EdsCreateStream wraps it. Each function returns
 * an EdsError; `context` is passed back unchanged. */
typedef struct {
    void* context;
    EdsError (*read)(void* context, EdsUInt64 size, EdsVoid* buffer, EdsUInt64* readBytes);
    EdsError (*write)(void* context, EdsUInt64 size, const EdsVoid* buffer, EdsUInt64* writtenBytes);
    EdsError (*seek)(void* context, EdsInt64 offset, EdsSeekOrigin origin);
    EdsError (*tell)(void* context, EdsUInt64* position);
    EdsError (*getLength)(void* context, EdsUInt64* length);
} EdsIStream;

/* ---- records ---- */

typedef struct {
    EdsInt32 x;
    EdsInt32 y;
} EdsPoint;

typedef struct {
    EdsInt32 width;
    EdsInt32 height;
} EdsSize;

typedef struct {
    EdsPoint point;
    EdsSize size;
} EdsRect;

typedef struct {
    EdsInt32 numerator;
    EdsUInt32 denominator;
} EdsRational;

/* Property 0x6 (data type 23): seven unsigned 32-bit values, 28 bytes. */
typedef struct {
    EdsUInt32 year;
    EdsUInt32 month;
    EdsUInt32 day;
    EdsUInt32 hour;
    EdsUInt32 minute;
    EdsUInt32 second;
    EdsUInt32 milliseconds;
} EdsTime;

/* A device's description is the second text; a subtype other than 0 is a camera of the newer
 * kind (live view, the newer image-quality packing). */
typedef struct {
    EdsChar szPortName[EDS_MAX_NAME];
    EdsChar szDeviceDescription[EDS_MAX_NAME];
    EdsUInt32 deviceSubType;
    EdsUInt32 reserved;
} EdsDeviceInfo;

typedef struct {
    EdsUInt32 storageType; /* 0 none, 1 CF, 2 SD */
    EdsAccess access;
    EdsUInt64 maxCapacity;
    EdsUInt64 freeSpaceInBytes;
    EdsChar szVolumeLabel[EDS_MAX_NAME];
} EdsVolumeInfo;

/* The size comes first: the back-end downloads exactly that many bytes. */
typedef struct {
    EdsUInt64 size;
    EdsBool isFolder;
    EdsUInt32 groupID;
    EdsUInt32 option;
    EdsChar szFileName[EDS_MAX_NAME];
    EdsUInt32 format; /* 1 JPEG, 2 RAW, 3 movie */
    EdsUInt32 dateTime; /* seconds since 1970, UTC */
} EdsDirectoryItemInfo;

/* The allowed values of a property: element count, then the values. */
typedef struct {
    EdsInt32 form;
    EdsInt32 access;
    EdsInt32 numElements;
    EdsInt32 propDesc[EDS_MAX_DESC_ELEMENTS];
} EdsPropertyDesc;

/* Free space the computer offers for released pictures (EdsSetCapacity). */
typedef struct {
    EdsInt32 numberOfFreeClusters;
    EdsInt32 bytesPerSector;
    EdsBool reset;
} EdsCapacity;

typedef enum {
    kEdsFileAttribute_Normal = 0x00000000,
    kEdsFileAttribute_ReadOnly = 0x00000001,
    kEdsFileAttribute_Hidden = 0x00000002,
    kEdsFileAttribute_System = 0x00000004,
    kEdsFileAttribute_Archive = 0x00000020
} EdsFileAttributes;

typedef enum {
    kEdsImageSrc_FullView = 0,
    kEdsImageSrc_Thumbnail = 1,
    kEdsImageSrc_Preview = 2
} EdsImageSource;

/* Target of EdsGetImage and EdsSaveImage. */
typedef enum {
    kEdsTargetImageType_Unknown = 0,
    kEdsTargetImageType_Jpeg = 1,
    kEdsTargetImageType_TIFF = 7,
    kEdsTargetImageType_TIFF16 = 8,
    kEdsTargetImageType_RGB = 9,
    kEdsTargetImageType_RGB16 = 10
} EdsTargetImageType;

typedef struct {
    EdsUInt32 width;
    EdsUInt32 height;
    EdsUInt32 numOfComponents;
    EdsUInt32 componentDepth;
    EdsRect effectiveRect;
    EdsUInt32 reserved1;
    EdsUInt32 reserved2;
} EdsImageInfo;

typedef struct {
    EdsUInt32 JPEGQuality;
    EdsStreamRef iccProfileStream; /* none: NULL */
    EdsUInt32 reserved;
} EdsSaveImageSetting;

/* ---- callbacks (called from the library's own thread, or from EdsGetEvent) ---- */

typedef EdsError (*EdsProgressCallback)(EdsUInt32 inPercent, EdsVoid* inContext, EdsBool* outCancel);
typedef EdsError (*EdsCameraAddedHandler)(EdsVoid* inContext);
typedef EdsError (*EdsPropertyEventHandler)(EdsPropertyEvent inEvent, EdsPropertyID inPropertyID,
                                            EdsUInt32 inParam, EdsVoid* inContext);
typedef EdsError (*EdsObjectEventHandler)(EdsObjectEvent inEvent, EdsBaseRef inRef, EdsVoid* inContext);
typedef EdsError (*EdsStateEventHandler)(EdsStateEvent inEvent, EdsUInt32 inEventData, EdsVoid* inContext);

/* ---- entry points ----
 * X(name, parameters): the 54 entry points, in the order the loader resolves them. One list
 * makes the prototypes, the pointer types pfn_<name> and the loader's name table agree.
 * EdsRelease returns 0 once the reference is given up (not the count left), so callers may
 * check it like any other result. */
#define EDSDK_ENTRY_POINTS(X)                                                                      \
    X(EdsInitializeSDK, (void))                                                                     \
    X(EdsTerminateSDK, (void))                                                                      \
    X(EdsRetain, (EdsBaseRef inRef))                                                                \
    X(EdsRelease, (EdsBaseRef inRef))                                                               \
    X(EdsGetChildCount, (EdsBaseRef inRef, EdsUInt32* outCount))                                    \
    X(EdsGetChildAtIndex, (EdsBaseRef inRef, EdsInt32 inIndex, EdsBaseRef* outRef))                 \
    X(EdsGetParent, (EdsBaseRef inRef, EdsBaseRef* outParentRef))                                   \
    X(EdsGetPropertySize, (EdsBaseRef inRef, EdsPropertyID inPropertyID, EdsInt32 inParam,          \
                           EdsDataType* outDataType, EdsUInt32* outSize))                           \
    X(EdsGetPropertyData, (EdsBaseRef inRef, EdsPropertyID inPropertyID, EdsInt32 inParam,          \
                           EdsUInt32 inPropertySize, EdsVoid* outPropertyData))                     \
    X(EdsSetPropertyData, (EdsBaseRef inRef, EdsPropertyID inPropertyID, EdsInt32 inParam,          \
                           EdsUInt32 inPropertySize, const EdsVoid* inPropertyData))                \
    X(EdsGetPropertyDesc, (EdsBaseRef inRef, EdsPropertyID inPropertyID, EdsPropertyDesc* outPropertyDesc)) \
    X(EdsGetCameraList, (EdsCameraListRef* outCameraListRef))                                       \
    X(EdsGetDeviceInfo, (EdsCameraRef inCameraRef, EdsDeviceInfo* outDeviceInfo))                   \
    X(EdsOpenSession, (EdsCameraRef inCameraRef))                                                   \
    X(EdsCloseSession, (EdsCameraRef inCameraRef))                                                  \
    X(EdsSendCommand, (EdsCameraRef inCameraRef, EdsCameraCommand inCommand, EdsInt32 inParam))     \
    X(EdsSendStatusCommand, (EdsCameraRef inCameraRef, EdsCameraStatusCommand inStatusCommand,      \
                             EdsInt32 inParam))                                                     \
    X(EdsSetCapacity, (EdsCameraRef inCameraRef, EdsCapacity inCapacity))                           \
    X(EdsGetVolumeInfo, (EdsVolumeRef inVolumeRef, EdsVolumeInfo* outVolumeInfo))                   \
    X(EdsFormatVolume, (EdsVolumeRef inVolumeRef))                                                  \
    X(EdsGetDirectoryItemInfo, (EdsDirectoryItemRef inDirItemRef, EdsDirectoryItemInfo* outDirItemInfo)) \
    X(EdsDeleteDirectoryItem, (EdsDirectoryItemRef inDirItemRef))                                   \
    X(EdsDownload, (EdsDirectoryItemRef inDirItemRef, EdsUInt64 inReadSize, EdsStreamRef outStream)) \
    X(EdsDownloadCancel, (EdsDirectoryItemRef inDirItemRef))                                        \
    X(EdsDownloadComplete, (EdsDirectoryItemRef inDirItemRef))                                      \
    X(EdsDownloadThumbnail, (EdsDirectoryItemRef inDirItemRef, EdsStreamRef outStream))             \
    X(EdsGetAttribute, (EdsDirectoryItemRef inDirItemRef, EdsFileAttributes* outFileAttribute))     \
    X(EdsSetAttribute, (EdsDirectoryItemRef inDirItemRef, EdsFileAttributes inFileAttribute))       \
    X(EdsCreateFileStream, (const EdsChar* inFileName, EdsFileCreateDisposition inCreateDisposition, \
                            EdsAccess inDesiredAccess, EdsStreamRef* outStream))                    \
    X(EdsCreateMemoryStream, (EdsUInt64 inBufferSize, EdsStreamRef* outStream))                     \
    X(EdsCreateFileStreamEx, (const EdsChar* inFileNameUtf8, EdsFileCreateDisposition inCreateDisposition, \
                              EdsAccess inDesiredAccess, EdsStreamRef* outStream))                  \
    X(EdsCreateMemoryStreamFromPointer, (EdsVoid* inUserBuffer, EdsUInt64 inBufferSize,             \
                                         EdsStreamRef* outStream))                                  \
    X(EdsGetPointer, (EdsStreamRef inStream, EdsVoid** outPointer))                                 \
    X(EdsRead, (EdsStreamRef inStreamRef, EdsUInt64 inReadSize, EdsVoid* outBuffer, EdsUInt64* outReadSize)) \
    X(EdsWrite, (EdsStreamRef inStreamRef, EdsUInt64 inWriteSize, const EdsVoid* inBuffer,          \
                 EdsUInt64* outWrittenSize))                                                        \
    X(EdsSeek, (EdsStreamRef inStreamRef, EdsInt64 inSeekOffset, EdsSeekOrigin inSeekOrigin))       \
    X(EdsGetPosition, (EdsStreamRef inStreamRef, EdsUInt64* outPosition))                           \
    X(EdsGetLength, (EdsStreamRef inStreamRef, EdsUInt64* outLength))                               \
    X(EdsCopyData, (EdsStreamRef inStreamRef, EdsUInt64 inWriteSize, EdsStreamRef outStreamRef))    \
    X(EdsSetProgressCallback, (EdsBaseRef inRef, EdsProgressCallback inProgressCallback,            \
                               EdsProgressOption inProgressOption, EdsVoid* inContext))             \
    X(EdsCreateImageRef, (EdsStreamRef inStreamRef, EdsImageRef* outImageRef))                      \
    X(EdsGetImageInfo, (EdsImageRef inImageRef, EdsImageSource inImageSource, EdsImageInfo* outImageInfo)) \
    X(EdsGetImage, (EdsImageRef inImageRef, EdsImageSource inImageSource, EdsTargetImageType inImageType, \
                    EdsRect inSrcRect, EdsSize inDstSize, EdsStreamRef outStreamRef))               \
    X(EdsSaveImage, (EdsImageRef inImageRef, EdsTargetImageType inImageType,                        \
                     EdsSaveImageSetting inSaveSetting, EdsStreamRef outStreamRef))                 \
    X(EdsCacheImage, (EdsImageRef inImageRef, EdsBool inUseCache))                                  \
    X(EdsReflectImageProperty, (EdsImageRef inImageRef))                                            \
    X(EdsCreateEvfImageRef, (EdsStreamRef inStreamRef, EdsEvfImageRef* outEvfImageRef))             \
    X(EdsDownloadEvfImage, (EdsCameraRef inCameraRef, EdsEvfImageRef inEvfImageRef))                \
    X(EdsSetCameraAddedHandler, (EdsCameraAddedHandler inCameraAddedHandler, EdsVoid* inContext))   \
    X(EdsSetPropertyEventHandler, (EdsCameraRef inCameraRef, EdsPropertyEvent inEvent,              \
                                   EdsPropertyEventHandler inPropertyEventHandler, EdsVoid* inContext)) \
    X(EdsSetObjectEventHandler, (EdsCameraRef inCameraRef, EdsObjectEvent inEvent,                  \
                                 EdsObjectEventHandler inObjectEventHandler, EdsVoid* inContext))   \
    X(EdsSetCameraStateEventHandler, (EdsCameraRef inCameraRef, EdsStateEvent inEvent,              \
                                      EdsStateEventHandler inStateEventHandler, EdsVoid* inContext)) \
    X(EdsCreateStream, (EdsIStream* inStream, EdsStreamRef* outStreamRef))                          \
    X(EdsGetEvent, (void))

#define EDSDK_ENTRY_POINT_COUNT 54

/* The name each entry point is exported under, in the order above. The Windows library exports
 * EdsCreateStream decorated as "_EdsCreateStream@8"; this one exports the plain name. */
#define EDSDK_DECLARE_PROTOTYPE(name, params) EDSAPI EdsError name params;
#define EDSDK_DECLARE_POINTER(name, params) typedef EdsError(*pfn_##name) params;

/* A loader that keeps process-wide variables named after the entry points defines
 * EDSDK_NO_PROTOTYPES and uses only the pointer types. */
#ifndef EDSDK_NO_PROTOTYPES
EDSDK_ENTRY_POINTS(EDSDK_DECLARE_PROTOTYPE)
#endif
EDSDK_ENTRY_POINTS(EDSDK_DECLARE_POINTER)

#ifdef __cplusplus
}
#endif

#endif
