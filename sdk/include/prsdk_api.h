/* C interface of the newer-PowerShot camera library PRSDK.DLL: PTP-style device properties with
 * 16-bit codes, datasets returned into caller buffers, event records, and the 25 entry points the
 * program resolves at run time. Every call returns a prResponse (0 = done); a buffer too small
 * gives PR_INSUFFICIENT_BUFFER with the size needed written back. */
#ifndef JEX4_PRSDK_API_H
#define JEX4_PRSDK_API_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(PRSDK_BUILDING)
#define PRAPI_EXPORT __attribute__((visibility("default")))
#else
#define PRAPI_EXPORT
#endif

typedef uint8_t prUInt8;
typedef int8_t prInt8;
typedef uint16_t prUInt16;
typedef int16_t prInt16;
typedef uint32_t prUInt32;
typedef int32_t prInt32;
typedef uint16_t prWChar; /* UTF-16 */
typedef void prVoid;
typedef uint32_t prResponse;
typedef uint32_t prHandle;       /* a camera object */
typedef uint32_t prObjectHandle; /* a released picture or thumbnail */
typedef uint16_t prptpEventCode;
typedef uint16_t prptpDevicePropCode;
typedef uintptr_t prContext;

/* ---- results (the low 16 bits carry the meaning) ---- */
#define PR_OK 0x00000000u
#define PR_UNIMPLEMENTED 0x00000001u
#define PR_INTERNAL_ERROR 0x00000002u
#define PR_MEM_ALLOC_FAILED 0x00000003u
#define PR_OPERATION_CANCELLED 0x00000005u
#define PR_INCOMPATIBLE_VERSION 0x00000006u
#define PR_NOT_SUPPORTED 0x00000007u
#define PR_INVALID_PARAMETER 0x00000021u
#define PR_INVALID_HANDLE 0x00000022u
#define PR_INVALID_FN_CALL 0x00000061u
#define PR_WAIT_TIMEOUT_ERROR 0x00000062u
#define PR_INSUFFICIENT_BUFFER 0x00000063u
#define PR_EVENT_CALLBACK_EXIST 0x00000064u
#define PR_RESPONSE_GENERAL_ERROR 0x00002002u
#define PR_RESPONSE_SESSION_NOT_OPEN 0x00002003u
#define PR_RESPONSE_OPERATION_NOT_SUPPORTED 0x00002005u
#define PR_RESPONSE_INCOMPLETE_TRANSFER 0x00002007u
#define PR_RESPONSE_INVALID_OBJECT_HANDLE 0x00002009u
#define PR_RESPONSE_DEVICE_PROP_NOT_SUPPORTED 0x0000200Au
#define PR_RESPONSE_ACCESS_DENIED 0x0000200Fu
#define PR_RESPONSE_DEVICE_BUSY 0x00002019u
#define PR_RESPONSE_INVALID_DEVICE_PROP_FORMAT 0x0000201Bu
#define PR_RESPONSE_INVALID_DEVICE_PROP_VALUE 0x0000201Cu
#define PR_RESPONSE_EXT_LOW_BATTERY 0x0000A009u

/* ---- device properties (code: width in bytes) ---- */
#define prPTP_DEV_PROP_BATTERY_KIND 0xD002u      /* 2: 1 AC, 2 lithium, 3 NiMH, 4 NiCd, 5 alkaline */
#define prPTP_DEV_PROP_BATTERY_STATUS 0xD003u    /* 4: 1 normal, 2 weak, 3 safety low */
#define prPTP_DEV_PROP_COMP_QUALITY 0xD006u      /* 1 */
#define prPTP_DEV_PROP_IMAGE_TYPE 0xD007u        /* 1: 1 JPEG, 2 RAW */
#define prPTP_DEV_PROP_IMAGE_SIZE 0xD008u        /* 1 */
#define prPTP_DEV_PROP_SELFTIMER 0xD009u         /* 2: tenths of a second */
#define prPTP_DEV_PROP_STROBE_SETTING 0xD00Au    /* 1 */
#define prPTP_DEV_PROP_BUZZER 0xD00Bu            /* 1 */
#define prPTP_DEV_PROP_EXPOSURE_MODE 0xD00Cu     /* 1: shooting mode */
#define prPTP_DEV_PROP_DRIVE_MODE 0xD00Eu        /* 1: 2 = self-timer */
#define prPTP_DEV_PROP_ML_WEI_MODE 0xD010u       /* 1 */
#define prPTP_DEV_PROP_AF_DISTANCE 0xD011u       /* 1 */
#define prPTP_DEV_PROP_FOCUS_POINT_SETTING 0xD012u /* 2 */
#define prPTP_DEV_PROP_WB_SETTING 0xD013u        /* 1 */
#define prPTP_DEV_PROP_CONTRAST 0xD017u          /* 1 */
#define prPTP_DEV_PROP_COLOR_GAIN 0xD018u        /* 1 */
#define prPTP_DEV_PROP_SHARPNESS 0xD019u         /* 1 */
#define prPTP_DEV_PROP_ISO 0xD01Cu               /* 2 */
#define prPTP_DEV_PROP_AV 0xD01Du                /* 2 */
#define prPTP_DEV_PROP_TV 0xD01Eu                /* 2 */
#define prPTP_DEV_PROP_EXPOSURE_COMP 0xD01Fu     /* 1 */
#define prPTP_DEV_PROP_FLASH_COMP 0xD020u        /* 1 */
#define prPTP_DEV_PROP_CAPTURE_TRANSFER_MODE 0xD029u /* 2: 1 thumbnail, 2 picture, 3 both to the computer; 4, 8, 12 to the card */
#define prPTP_DEV_PROP_ZOOM_POS 0xD02Au          /* 2 */
#define prPTP_DEV_PROP_FIRMWARE_VERSION 0xD031u  /* 4 */
#define prPTP_DEV_PROP_CAMERA_OWNER 0xD033u      /* 260: 8-bit text with its terminating zero */
#define prPTP_DEV_PROP_CAMERA_TIME 0xD034u       /* 4: seconds since 1970 */
#define prPTP_DEV_PROP_CAMERA_OUTPUT 0xD036u     /* 1: 1 LCD, 2 video, 3 off */
#define prPTP_DEV_PROP_MAX_OPTICAL_ZOOM 0xD03Du  /* 2: 255 when the camera does not tell */
#define prPTP_DEV_PROP_PHOTO_EFFECT 0xD040u      /* 2 */
#define prPTP_DEV_PROP_AF_ASSIST_LIGHT 0xD041u   /* 2 */
#define prPTP_DEV_PROP_BODY_ID 0xD049u           /* 4 */

/* Operations a camera lists in its device information. */
#define prPTP_OC_INITIATE_RELEASE_CONTROL 0x9008u
#define prPTP_OC_RC_VIEWFINDER 0x900Bu
#define prPTP_OC_RC_FOCUS_LOCK 0x9014u

/* PTP data types of a property descriptor, and its forms. */
#define prPTP_DATATYPE_INT8 0x0001u
#define prPTP_DATATYPE_UINT8 0x0002u
#define prPTP_DATATYPE_INT16 0x0003u
#define prPTP_DATATYPE_UINT16 0x0004u
#define prPTP_DATATYPE_UINT32 0x0006u
#define prPTP_DATATYPE_STRING 0xFFFFu
#define prPTP_FORM_NONE 0u
#define prPTP_FORM_RANGE 1u
#define prPTP_FORM_ENUM 2u

/* ---- events (the code of an event record) ---- */
#define prPTP_EVENT_CHANGED_BY_UI 0x4006u
#define prPTP_EVENT_CF_GATE_OPENED 0xC001u
#define prPTP_EVENT_RESET_HW_ERROR 0xC005u
#define prPTP_EVENT_ABORT_PC_EVF 0xC006u
#define prPTP_EVENT_ENABLE_PC_EVF 0xC007u
#define prPTP_EVENT_FULL_VIEW_RELEASED 0xC008u
#define prPTP_EVENT_THUMBNAIL_RELEASED 0xC009u
#define prPTP_EVENT_CHANGE_BATTERY_STATUS 0xC00Au
#define prPTP_EVENT_PUSHED_RELEASE_SW 0xC00Bu
#define prPTP_EVENT_RC_PROP_CHANGED 0xC00Cu
#define prPTP_EVENT_RC_ROTATION_ANGLE_CHANGED 0xC00Du
#define prPTP_EVENT_RC_CHANGED_BY_CAM_UI 0xC00Eu
#define prPTP_EVENT_DEVICE_DISCONNECTED 0xD001u

#pragma pack(push, 1)

/* A camera as PR_GetDeviceList gives it: 1106 bytes. */
typedef struct {
    prWChar DeviceInternalName[512];
    prWChar ModelName[32];
    prUInt32 Generation;
    prUInt32 ModelID;
    prUInt8 Reserved[10];
} prDeviceInfoTable;

/* PR_GetDeviceList's buffer: the count, then the records. */
typedef struct {
    prUInt32 NumList;
    prDeviceInfoTable DeviceInfo[1];
} prDeviceList;

/* The record every event callback receives: 412 bytes. */
typedef struct {
    prUInt32 InterruptDataLength;
    prUInt16 ContainerType; /* 4: event */
    prUInt16 EventCode;
    prUInt32 TransactionID;
    prUInt32 Parameters[100]; /* for a released picture: its object handle, its size */
} prSetEventCBParam;

/* What the picture receiver gets per block: percent at byte 8, the block's length at byte 16 and
 * its address at byte 28; a block of length 0 ends the picture. */
typedef struct {
    prUInt32 lMessage;
    prUInt32 lStatus;
    prUInt32 lPercentComplete;
    prUInt32 lOffset;
    prUInt32 lLength;
    prUInt32 lReserved;
    prUInt32 lResLength;
    prUInt8* pbData;
} prProgress;

/* One library of PR_GetDllsVersion's list. */
typedef struct {
    prWChar ModuleName[64];
    prWChar Version[32];
} prDllVersion;

typedef struct {
    prUInt32 Entry;
    prDllVersion VersionInfo[1];
} prDllsVerInfo;

#pragma pack(pop)

typedef prResponse (*prSetEventCB)(prHandle CameraHandle, prContext Context, const prVoid* pEventData);
typedef prResponse (*prGetFileDataCB)(prHandle CameraHandle, prContext Context, const prVoid* pProgress);
typedef prResponse (*prViewFinderCB)(prHandle CameraHandle, prContext Context, prUInt32 Size, const prVoid* pVFData);

/* X(name, parameters): the 25 entry points, in the order the loader resolves them. */
#define PRSDK_ENTRY_POINTS(X)                                                                      \
    X(PR_StartSDK, (void))                                                                          \
    X(PR_FinishSDK, (void))                                                                         \
    X(PR_GetDllsVersion, (prUInt32* pBufferSize, prDllsVerInfo* pDllVersion))                       \
    X(PR_GetDeviceList, (prUInt32* pBufferSize, prDeviceList* pDeviceList))                         \
    X(PR_CreateCameraObject, (prDeviceInfoTable* pDeviceInfo, prHandle* pCameraHandle))             \
    X(PR_DestroyCameraObject, (prHandle CameraHandle))                                              \
    X(PR_ConnectCamera, (prHandle CameraHandle))                                                    \
    X(PR_DisconnectCamera, (prHandle CameraHandle))                                                 \
    X(PR_SetEventCallBack, (prHandle CameraHandle, prContext Context, prSetEventCB pSetEventCB))    \
    X(PR_ClearEventCallBack, (prHandle CameraHandle))                                               \
    X(PR_GetDeviceInfo, (prHandle CameraHandle, prUInt32* pBufferSize, prVoid* pDeviceInfo))        \
    X(PR_InitiateReleaseControl, (prHandle CameraHandle))                                           \
    X(PR_TerminateReleaseControl, (prHandle CameraHandle))                                          \
    X(PR_RC_Release, (prHandle CameraHandle))                                                       \
    X(PR_RC_GetReleasedData, (prHandle CameraHandle, prObjectHandle ObjectHandle, prptpEventCode EventCode, \
                              prUInt32 TransSize, prContext Context, prGetFileDataCB pGetFileDataCB)) \
    X(PR_RC_GetNumAvailableShot, (prHandle CameraHandle, prUInt32* pNum))                           \
    X(PR_RC_StartViewFinder, (prHandle CameraHandle, prContext Context, prViewFinderCB pViewFinderCB)) \
    X(PR_RC_TermViewFinder, (prHandle CameraHandle))                                                \
    X(PR_RC_DoAeAfAwb, (prHandle CameraHandle, prUInt32 ResetFlag))                                 \
    X(PR_RC_FocusLock, (prHandle CameraHandle))                                                     \
    X(PR_RC_FocusUnlock, (prHandle CameraHandle))                                                   \
    X(PR_GetDevicePropDesc, (prHandle CameraHandle, prptpDevicePropCode DevicePropCode,             \
                             prUInt32* pBufferSize, prVoid* pDevicePropDesc))                       \
    X(PR_GetDevicePropValue, (prHandle CameraHandle, prptpDevicePropCode DevicePropCode,            \
                              prUInt32* pBufferSize, prVoid* pDeviceProperty))                      \
    X(PR_SetDevicePropValue, (prHandle CameraHandle, prptpDevicePropCode DevicePropCode,            \
                              prUInt32 DataSize, prVoid* pDeviceProperty))                          \
    X(PR_RC_GetChangedReleaseParamesList, (prHandle CameraHandle, prUInt32* pBufferSize, prVoid* pParamsList))

#define PRSDK_ENTRY_POINT_COUNT 25

/* A loader that keeps process-wide variables named after the entry points defines
 * PRSDK_NO_PROTOTYPES and uses only the pointer types. */
#define PRSDK_DECLARE_PROTOTYPE(name, params) PRAPI_EXPORT prResponse name params;
#define PRSDK_DECLARE_POINTER(name, params) typedef prResponse(*pfn_##name) params;
#ifndef PRSDK_NO_PROTOTYPES
PRSDK_ENTRY_POINTS(PRSDK_DECLARE_PROTOTYPE)
#endif
PRSDK_ENTRY_POINTS(PRSDK_DECLARE_POINTER)

#ifdef __cplusplus
}
#endif

#endif
