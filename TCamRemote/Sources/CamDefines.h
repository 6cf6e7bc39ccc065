// The vocabulary the camera component, its three back-ends and the camera windows share: the
// exception, the enumerations of models, settings and events, the records the operations and events
// pass, and the clock through which every camera wait and retry goes, so tests never sleep.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QPoint>
#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <array>
#include <atomic>
#include <functional>
#include <stdexcept>

// Every failure of the camera component and its back-ends, with an English message.
class ECamException : public std::runtime_error {
public:
    explicit ECamException(const QString& message) : std::runtime_error(message.toStdString()) {}
    QString message() const { return QString::fromStdString(what()); }
};

// --- Enumerations -----------------------------------------------------------------------------
//
// One byte wide, ordinals fixed: they index the supported-value arrays below and are stored as
// bytes in the parameter and cache files. Every enumeration of a camera setting has its NotUsed
// value (not set, not known, not supported) at ordinal 0; writes skip fields that hold it.
// Misspellings (Continous, Fluorscent, ReleaseDataKing...) are part of the names.

// Number of values of a camera enumeration: CamEnumCount<RemoteFormatISOType> is 26.
template <typename E>
inline constexpr int CamEnumCount = 0;

#define CAM_ENUM_COUNT(Type, Last)                                                                 \
    static_assert(sizeof(Type) == 1);                                                              \
    template <>                                                                                    \
    inline constexpr int CamEnumCount<Type> = int(Last) + 1

// One entry per value of E, indexed by the value itself (NotUsed included).
template <typename E, typename T = bool>
using CamEnumArray = std::array<T, CamEnumCount<E>>;

enum CamModType : quint8 {
    CamModNone, CamModPowerShot, CamModEOS
};
CAM_ENUM_COUNT(CamModType, CamModEOS);

enum BatterySourceType : quint8 {
    BatterySourceUnknown, BatterySourceAC, BatterySourceLitium, BatterySourceNiMH,
    BatterySourceNiCD, BatterySourceAlMN
};
CAM_ENUM_COUNT(BatterySourceType, BatterySourceAlMN);

enum BatteryStatusType : quint8 {
    BatteryStatusUnknown, BatteryStatusNormal, BatteryStatusWeak, BatteryStatusSafetyLow
};
CAM_ENUM_COUNT(BatteryStatusType, BatteryStatusSafetyLow);

enum PictureTypeType : quint8 {
    PictureTypeThumbnail, PictureTypeFull
};
CAM_ENUM_COUNT(PictureTypeType, PictureTypeFull);

enum ReleaseModeType : quint8 {
    ReleaseModeOnlyToPC, ReleaseModeBothPCAndCamera, ReleaseModeOnlyToCamera
};
CAM_ENUM_COUNT(ReleaseModeType, ReleaseModeOnlyToCamera);

enum ReleaseDataKindType : quint8 {
    ReleaseDataKindTakeOnlyThumbnail, ReleaseDataKindTakeOnlyPicture,
    ReleaseDataKingTakeBothThumbAndPic
};
CAM_ENUM_COUNT(ReleaseDataKindType, ReleaseDataKingTakeBothThumbAndPic);

enum RemoteViewFinderOutputType : quint8 {
    RemoteViewFinderOutputLCD, RemoteViewFinderOutputVideo, RemoteViewFinderOutputOff
};
CAM_ENUM_COUNT(RemoteViewFinderOutputType, RemoteViewFinderOutputOff);

enum RemoteViewFinderDriveLensType : quint8 {
    RemoteViewFinderDriveLensNotUsed, RemoteViewFinderDriveLensNear1,
    RemoteViewFinderDriveLensNear2, RemoteViewFinderDriveLensNear3, RemoteViewFinderDriveLensFar1,
    RemoteViewFinderDriveLensFar2, RemoteViewFinderDriveLensFar3
};
CAM_ENUM_COUNT(RemoteViewFinderDriveLensType, RemoteViewFinderDriveLensFar3);

enum RemoteViewFinderAFModeType : quint8 {
    RemoteViewFinderAFModeNotUsed, RemoteViewFinderAFModeQuick, RemoteViewFinderAFModeLive,
    RemoteViewFinderAFModeLiveFace, RemoteViewFinderAFModeLiveMulti
};
CAM_ENUM_COUNT(RemoteViewFinderAFModeType, RemoteViewFinderAFModeLiveMulti);

enum RemoteViewFinderZoomType : quint8 {
    RemoteViewFinderZoomFit, RemoteViewFinderZoomx5, RemoteViewFinderZoomx10
};
CAM_ENUM_COUNT(RemoteViewFinderZoomType, RemoteViewFinderZoomx10);

enum RemoteShutterButtonType : quint8 {
    RemoteShutterButtonOff, RemoteShutterButtonHalfPressed, RemoteShutterButtonCompletelyPressed,
    RemoteShutterButtonHalfPressedNonAF, RemoteShutterButtonCompletelyPressedNonAF
};
CAM_ENUM_COUNT(RemoteShutterButtonType, RemoteShutterButtonCompletelyPressedNonAF);

enum MonochromeFilterType : quint8 {
    MonochromeFilterNone, MonochromeFilterYellow, MonochromeFilterOrange, MonochromeFilterRed,
    MonochromeFilterGreen
};
CAM_ENUM_COUNT(MonochromeFilterType, MonochromeFilterGreen);

enum MonochromeToneType : quint8 {
    MonochromeToneNone, MonochromeToneSepia, MonochromeToneBlue, MonochromeToneViolet,
    MonochromeToneGreen
};
CAM_ENUM_COUNT(MonochromeToneType, MonochromeToneGreen);

enum PictureStyleNumberType : quint8 {
    PictureStyleStandard, PictureStylePortrait, PictureStyleLandscape, PictureStyleNeutral,
    PictureStyleFaithful, PictureStyleMonochrome, PictureStyleUser1, PictureStyleUser2,
    PictureStyleUser3, PictureStylePC1, PictureStylePC2, PictureStylePC3, PictureStyleAuto
};
CAM_ENUM_COUNT(PictureStyleNumberType, PictureStyleAuto);

enum EventSeverityType : quint8 {
    EventSeverityNotUsed, EventSeverityInfo, EventSeverityWarning, EventSeverityClosing
};
CAM_ENUM_COUNT(EventSeverityType, EventSeverityClosing);

enum EventEnumType : quint8 {
    EventNotUsed, EventBatteryLevelNormal, EventBatteryLevelWeak, EventBatteryLevelSafetyLow,
    EventBatteryLevelLB, EventDialChanged, EventCFGateOpened, EventBatteryCoverOpened,
    EventConnectionDisappeared, EventUnrecoverableError, EventUnkonwnCommandReceived,
    EventRemoteParameterChanged, EventRemoteCaptureError, EventRemoteShutdownReasonNotKnown,
    EventRemoteNewSupportedParameters
};
CAM_ENUM_COUNT(EventEnumType, EventRemoteNewSupportedParameters);

enum RemoteEventCallbackType : quint8 {
    RemoteEventCallbackNotUsed, RemoteEventCallbackReleaseStart,
    RemoteEventCallbackReleaseComplete, RemoteEventCallbackResetHWError,
    RemoteEventCallbackChangedByUI, RemoteEventCallbackCamReleaseOn,
    RemoteEventCallbackViewfinderOn, RemoteEventCallbackViewfinderOff,
    RemoteEventCallbackReleaseImageReady, RemoteEventCallbackReleaseMovieReady,
    RemoteEventCallbackReleaseImageFromCFCardReady
};
CAM_ENUM_COUNT(RemoteEventCallbackType, RemoteEventCallbackReleaseImageFromCFCardReady);

enum NotifyRemoteEventValidType : quint8 {
    NoNotifyRemoteEventValid, NotifyRemoteEventValid1, NotifyRemoteEventValid2
};
CAM_ENUM_COUNT(NotifyRemoteEventValidType, NotifyRemoteEventValid2);

enum TypeOfPictureType : quint8 {
    TypeOfPictureNo, TypeOfPictureThumbnail, TypeOfPicturePicture
};
CAM_ENUM_COUNT(TypeOfPictureType, TypeOfPicturePicture);

enum BitsPerPixelType : quint8 {
    BitsPerPixel24Bits, BitsPerPixel48Bits
};
CAM_ENUM_COUNT(BitsPerPixelType, BitsPerPixel48Bits);

enum FileFormatType : quint8 {
    FileFormatTIFF, FileFormatThumbnail, FileFormatJPEGInRaw, FileFormatJPEG
};
CAM_ENUM_COUNT(FileFormatType, FileFormatJPEG);

// Release parameters: the type's prefix and a suffix. In the compensations "466Plus" is +4 2/3
// steps and "033Minus" -1/3 step; in the shutter speeds "3sec2" is 3.2 s and "1_125" 1/125 s; in
// the apertures "5_6" is f/5.6.

enum RemoteFormatQualityType : quint8 {
    RemoteFormatQualityNotUsed, RemoteFormatQualityEconomy, RemoteFormatQualityNormal,
    RemoteFormatQualityFine, RemoteFormatQualitySuperfine, RemoteFormatQualityRAW
};
CAM_ENUM_COUNT(RemoteFormatQualityType, RemoteFormatQualityRAW);

enum RemoteFormatSizeType : quint8 {
    RemoteFormatSizeNotUsed, RemoteFormatSizeLarge, RemoteFormatSizeMedium, RemoteFormatSizeSmall,
    RemoteFormatSizeMedium1, RemoteFormatSizeMedium2, RemoteFormatSizeMedium3
};
CAM_ENUM_COUNT(RemoteFormatSizeType, RemoteFormatSizeMedium3);

enum RemoteFormatShootingModeType : quint8 {
    RemoteFormatShootingModeNotUsed, RemoteFormatShootingModeAuto, RemoteFormatShootingModeManual,
    RemoteFormatShootingModeFarScene, RemoteFormatShootingModeFastShutter,
    RemoteFormatShootingModeSlowShutter, RemoteFormatShootingModeNightScene,
    RemoteFormatShootingModeGrayScene, RemoteFormatShootingModeSepia,
    RemoteFormatShootingModePortrait, RemoteFormatShootingModeSport, RemoteFormatShootingModeMacro,
    RemoteFormatShootingModeBW, RemoteFormatShootingModePanFocus, RemoteFormatShootingModeVivid,
    RemoteFormatShootingModeNeutral, RemoteFormatShootingModeProgram, RemoteFormatShootingModeTV,
    RemoteFormatShootingModeAV, RemoteFormatShootingModeADep, RemoteFormatShootingModeMDep,
    RemoteFormatShootingModeBulb, RemoteFormatShootingModeManual2,
    RemoteFormatShootingModeFlashOff, RemoteFormatShootingModeLongShutter,
    RemoteFormatShootingModeSuperMacro, RemoteFormatShootingModeFoliage,
    RemoteFormatShootingModeIndoor, RemoteFormatShootingModeFireworks,
    RemoteFormatShootingModeBeach, RemoteFormatShootingModeUnderwater,
    RemoteFormatShootingModeSnow, RemoteFormatShootingModeKidsAndPets,
    RemoteFormatShootingModeNightSnapshot, RemoteFormatShootingModeDigitalMacro,
    RemoteFormatShootingModeMyColors, RemoteFormatShootingModePhotoInMovie,
    RemoteFormatShootingModeCreativeAuto, RemoteFormatShootingModeSceneIntelligentAuto,
    RemoteFormatShootingModeNightPortrait, RemoteFormatShootingModeBacklitScenes,
    RemoteFormatShootingModeSCN, RemoteFormatShootingModeChildren, RemoteFormatShootingModeFood,
    RemoteFormatShootingModeCandlelightPortraits
};
CAM_ENUM_COUNT(RemoteFormatShootingModeType, RemoteFormatShootingModeCandlelightPortraits);

enum RemoteFormatDriveModeType : quint8 {
    RemoteFormatDriveModeNotUsed, RemoteFormatDriveModeSingleFrame, RemoteFormatDriveModeContinous,
    RemoteFormatDriveModeVideo, RemoteFormatDriveModeHighSpeedContinous,
    RemoteFormatDriveModeLowSpeedContinous, RemoteFormatDriveMode10SecSelfTimer,
    RemoteFormatDriveMode2SecSelfTimer
};
CAM_ENUM_COUNT(RemoteFormatDriveModeType, RemoteFormatDriveMode2SecSelfTimer);

enum RemoteFormatExposureCompType : quint8 {
    RemoteFormatExposureCompNotUsed, RemoteFormatExposureComp500Plus,
    RemoteFormatExposureComp466Plus, RemoteFormatExposureComp433Plus,
    RemoteFormatExposureComp400Plus, RemoteFormatExposureComp366Plus,
    RemoteFormatExposureComp333Plus, RemoteFormatExposureComp300Plus,
    RemoteFormatExposureComp266Plus, RemoteFormatExposureComp233Plus,
    RemoteFormatExposureComp200Plus, RemoteFormatExposureComp166Plus,
    RemoteFormatExposureComp133Plus, RemoteFormatExposureComp100Plus,
    RemoteFormatExposureComp066Plus, RemoteFormatExposureComp033Plus, RemoteFormatExposureComp0,
    RemoteFormatExposureComp033Minus, RemoteFormatExposureComp066Minus,
    RemoteFormatExposureComp100Minus, RemoteFormatExposureComp133Minus,
    RemoteFormatExposureComp166Minus, RemoteFormatExposureComp200Minus,
    RemoteFormatExposureComp233Minus, RemoteFormatExposureComp266Minus,
    RemoteFormatExposureComp300Minus, RemoteFormatExposureComp333Minus,
    RemoteFormatExposureComp366Minus, RemoteFormatExposureComp400Minus,
    RemoteFormatExposureComp433Minus, RemoteFormatExposureComp466Minus,
    RemoteFormatExposureComp500Minus
};
CAM_ENUM_COUNT(RemoteFormatExposureCompType, RemoteFormatExposureComp500Minus);

enum RemoteFormatWBType : quint8 {
    RemoteFormatWBNotUsed, RemoteFormatWBAuto, RemoteFormatWBDaylight, RemoteFormatWBCloudy,
    RemoteFormatWBTungsten, RemoteFormatWBFluorscent, RemoteFormatWBFlash,
    RemoteFormatWBFluorescentLight, RemoteFormatWBCustom, RemoteFormatWBCustom1,
    RemoteFormatWBCustom2, RemoteFormatWBBW, RemoteFormatWBShade, RemoteFormatWBKelvin,
    RemoteFormatWBPCSet1, RemoteFormatWBPCSet2, RemoteFormatWBPCSet3
};
CAM_ENUM_COUNT(RemoteFormatWBType, RemoteFormatWBPCSet3);

enum RemoteFormatAFModeType : quint8 {
    RemoteFormatAFModeNotUsed, RemoteFormatAFModeOneShot, RemoteFormatAFModeAIServo,
    RemoteFormatAFModeAIFocus, RemoteFormatAFModeManual
};
CAM_ENUM_COUNT(RemoteFormatAFModeType, RemoteFormatAFModeManual);

enum RemoteFormatAFDistType : quint8 {
    RemoteFormatAFDistNotUsed, RemoteFormatAFDistManual, RemoteFormatAFDistAuto,
    RemoteFormatAFDistUnknown, RemoteFormatAFDistZFCloseUp, RemoteFormatAFDistZFShortestDistance,
    RemoteFormatAFDistZFShortDistance, RemoteFormatAFDistZFMediumDistance,
    RemoteFormatAFDistZFFarDistance, RemoteFormatAFDistPanFocus, RemoteFormatAFDistSuperMacro,
    RemoteFormatAFDistInfinity, RemoteFormatAFDistSuperMacroOCM
};
CAM_ENUM_COUNT(RemoteFormatAFDistType, RemoteFormatAFDistSuperMacroOCM);

enum RemoteFormatAFFocusingPointType : quint8 {
    RemoteFormatAFFocusingPointNotUsed, RemoteFormatAFFocusingPointOnCenterOnlyManual,
    RemoteFormatAFFocusingPointOnCenterOnlyAuto, RemoteFormatAFFocusingPointMultipleManual,
    RemoteFormatAFFocusingPointMultipleAuto, RemoteFormatAFFocusingPointMultipleRight,
    RemoteFormatAFFocusingPointMultipleCenter, RemoteFormatAFFocusingPointMultipleLeft
};
CAM_ENUM_COUNT(RemoteFormatAFFocusingPointType, RemoteFormatAFFocusingPointMultipleLeft);

enum RemoteFormatAFLightType : quint8 {
    RemoteFormatAFLightNotUsed, RemoteFormatAFLightOn, RemoteFormatAFLightOff
};
CAM_ENUM_COUNT(RemoteFormatAFLightType, RemoteFormatAFLightOff);

enum RemoteFormatFlashType : quint8 {
    RemoteFormatFlashNotUsed, RemoteFormatFlashOff, RemoteFormatFlashAuto, RemoteFormatFlashOn,
    RemoteFormatFlashRedEye, RemoteFormatFlashSlowSync, RemoteFormatFlashAutoRedEye,
    RemoteFormatFlashOnRedEye
};
CAM_ENUM_COUNT(RemoteFormatFlashType, RemoteFormatFlashOnRedEye);

enum RemoteFormatFlashCompType : quint8 {
    RemoteFormatFlashCompNotUsed, RemoteFormatFlashComp200Plus, RemoteFormatFlashComp166Plus,
    RemoteFormatFlashComp133Plus, RemoteFormatFlashComp100Plus, RemoteFormatFlashComp066Plus,
    RemoteFormatFlashComp033Plus, RemoteFormatFlashComp0, RemoteFormatFlashComp033Minus,
    RemoteFormatFlashComp066Minus, RemoteFormatFlashComp100Minus, RemoteFormatFlashComp133Minus,
    RemoteFormatFlashComp166Minus, RemoteFormatFlashComp200Minus
};
CAM_ENUM_COUNT(RemoteFormatFlashCompType, RemoteFormatFlashComp200Minus);

enum RemoteFormatMLWeiType : quint8 {
    RemoteFormatMLWeiNotUsed, RemoteFormatMLWeiCenterWeighted, RemoteFormatMLWeiSpot,
    RemoteFormatMLWeiAveraging, RemoteFormatMLWeiEvaluative, RemoteFormatMLWeiPartial,
    RemoteFormatMLWeiCenterwWeightedAveraging
};
CAM_ENUM_COUNT(RemoteFormatMLWeiType, RemoteFormatMLWeiCenterwWeightedAveraging);

enum RemoteFormatLevelType : quint8 {
    RemoteFormatLevelNotUsed, RemoteFormatLevelLow, RemoteFormatLevelDefault, RemoteFormatLevelHigh
};
CAM_ENUM_COUNT(RemoteFormatLevelType, RemoteFormatLevelHigh);

enum RemoteFormatColorSpaceType : quint8 {
    RemoteFormatColorSpaceNotUsed, RemoteFormatColorSpaceSRGB, RemoteFormatColorSpaceAdobeRGB
};
CAM_ENUM_COUNT(RemoteFormatColorSpaceType, RemoteFormatColorSpaceAdobeRGB);

enum RemoteFormatISOType : quint8 {
    RemoteFormatISONotUsed, RemoteFormatISOAuto, RemoteFormatISO50, RemoteFormatISO64,
    RemoteFormatISO80, RemoteFormatISO100, RemoteFormatISO125, RemoteFormatISO160,
    RemoteFormatISO200, RemoteFormatISO250, RemoteFormatISO320, RemoteFormatISO400,
    RemoteFormatISO500, RemoteFormatISO640, RemoteFormatISO800, RemoteFormatISO1000,
    RemoteFormatISO1250, RemoteFormatISO1600, RemoteFormatISO2000, RemoteFormatISO2500,
    RemoteFormatISO3200, RemoteFormatISO6400, RemoteFormatISO12800, RemoteFormatISO25600,
    RemoteFormatISO51200, RemoteFormatISO102400
};
CAM_ENUM_COUNT(RemoteFormatISOType, RemoteFormatISO102400);

enum RemoteFormatTVType : quint8 {
    RemoteFormatTVNotUsed, RemoteFormatTVBulb, RemoteFormatTV30sec, RemoteFormatTV25sec,
    RemoteFormatTV20sec, RemoteFormatTV15sec, RemoteFormatTV13sec, RemoteFormatTV10sec,
    RemoteFormatTV8sec, RemoteFormatTV6sec, RemoteFormatTV5sec, RemoteFormatTV4sec,
    RemoteFormatTV3sec2, RemoteFormatTV2sec5, RemoteFormatTV2sec, RemoteFormatTV1sec6,
    RemoteFormatTV1sec3, RemoteFormatTV1sec, RemoteFormatTV0sec8, RemoteFormatTV0sec6,
    RemoteFormatTV0sec5, RemoteFormatTV0sec4, RemoteFormatTV0sec3, RemoteFormatTV1_4,
    RemoteFormatTV1_5, RemoteFormatTV1_6, RemoteFormatTV1_8, RemoteFormatTV1_10,
    RemoteFormatTV1_13, RemoteFormatTV1_15, RemoteFormatTV1_20, RemoteFormatTV1_25,
    RemoteFormatTV1_30, RemoteFormatTV1_40, RemoteFormatTV1_50, RemoteFormatTV1_60,
    RemoteFormatTV1_80, RemoteFormatTV1_100, RemoteFormatTV1_125, RemoteFormatTV1_160,
    RemoteFormatTV1_200, RemoteFormatTV1_250, RemoteFormatTV1_320, RemoteFormatTV1_400,
    RemoteFormatTV1_500, RemoteFormatTV1_640, RemoteFormatTV1_800, RemoteFormatTV1_1000,
    RemoteFormatTV1_1250, RemoteFormatTV1_1600, RemoteFormatTV1_2000, RemoteFormatTV1_2500,
    RemoteFormatTV1_3200, RemoteFormatTV1_4000, RemoteFormatTV1_5000, RemoteFormatTV1_6400,
    RemoteFormatTV1_8000, RemoteFormatTV1_10000, RemoteFormatTV1_12800, RemoteFormatTV1_16000
};
CAM_ENUM_COUNT(RemoteFormatTVType, RemoteFormatTV1_16000);

enum RemoteFormatAVType : quint8 {
    RemoteFormatAVNotUsed, RemoteFormatAV1_0, RemoteFormatAV1_1, RemoteFormatAV1_2,
    RemoteFormatAV1_4, RemoteFormatAV1_6, RemoteFormatAV1_8, RemoteFormatAV2_0, RemoteFormatAV2_2,
    RemoteFormatAV2_5, RemoteFormatAV2_8, RemoteFormatAV3_2, RemoteFormatAV3_5, RemoteFormatAV4_0,
    RemoteFormatAV4_5, RemoteFormatAV5_0, RemoteFormatAV5_6, RemoteFormatAV6_3, RemoteFormatAV7_1,
    RemoteFormatAV8_0, RemoteFormatAV9_0, RemoteFormatAV10_0, RemoteFormatAV11_0,
    RemoteFormatAV13_0, RemoteFormatAV14_0, RemoteFormatAV16_0, RemoteFormatAV18_0,
    RemoteFormatAV20_0, RemoteFormatAV22_0, RemoteFormatAV25_0, RemoteFormatAV29_0,
    RemoteFormatAV32_0, RemoteFormatAV36_0, RemoteFormatAV40_0, RemoteFormatAV45_0,
    RemoteFormatAV51_0, RemoteFormatAV57_0, RemoteFormatAV64_0, RemoteFormatAV72_0,
    RemoteFormatAV81_0, RemoteFormatAV91_0
};
CAM_ENUM_COUNT(RemoteFormatAVType, RemoteFormatAV91_0);

enum RemoteFormatPhotoEffectType : quint8 {
    RemoteFormatPhotoEffectNotUsed, RemoteFormatPhotoEffectOff, RemoteFormatPhotoEffectVivid,
    RemoteFormatPhotoEffectNeutral, RemoteFormatPhotoEffectLowSharpening,
    RemoteFormatPhotoEffectSepia, RemoteFormatPhotoEffectBW
};
CAM_ENUM_COUNT(RemoteFormatPhotoEffectType, RemoteFormatPhotoEffectBW);

enum RemoteFormatBeepType : quint8 {
    RemoteFormatBeepNotUsed, RemoteFormatBeepOn, RemoteFormatBeepOff
};
CAM_ENUM_COUNT(RemoteFormatBeepType, RemoteFormatBeepOff);

#undef CAM_ENUM_COUNT

// Integer subranges of the picture style and the white-balance shift.
using Int0_7Type = quint8;  // 0..7
using IntN4_4Type = qint8;  // -4..4
using IntN9_9Type = qint8;  // -9..9

// --- Records ----------------------------------------------------------------------------------
//
// Every field starts zero, NotUsed or false, as the back-ends clear a record before filling it.

struct BatteryType {
    BatterySourceType BatterySource = BatterySourceUnknown;
    BatteryStatusType BatteryStatus = BatteryStatusUnknown;
    bool operator==(const BatteryType&) const = default;
};

// The result of Connect.
struct ConnectInfoType {
    CamModType CameraModel = CamModNone;
    QString CameraModelName;
    QString OwnerName;
    BatteryType Battery;
    bool operator==(const ConnectInfoType&) const = default;
};

// The result of OpenCameraEnumeration: the names shown to the user.
struct CameraConnectedType {
    QStringList PowerShotCameras;
    QStringList EOSCameras;
    bool operator==(const CameraConnectedType&) const = default;
};

struct TPicRect {
    int Width = 0;
    int Height = 0;
    bool operator==(const TPicRect&) const = default;
};

struct ZoomRectType {
    QPoint Point;
    TPicRect Rect;
    bool operator==(const ZoomRectType&) const = default;
};

// The live-view histogram as the camera delivers it.
using HistogramType = std::array<quint32, 1024>;

// The metadata of one live-view picture.
struct ViewfinderPositionType {
    bool Valid = false;
    QPoint ZoomPosition;
    ZoomRectType ZoomRect;
    QPoint ImagePosition;
    TPicRect CoordSystem;
    HistogramType Histogram{};
    bool operator==(const ViewfinderPositionType&) const = default;
};

struct AFFrameType {
    bool Present = false;
    bool Selected = false;
    bool InFocus = false;
    std::array<int, 4> Rect{}; // in the camera's order
    bool operator==(const AFFrameType&) const = default;
};

struct AFFocusInfoType {
    TPicRect PictureSize;
    int NrOfFrames = 0;
    std::array<AFFrameType, 128> Frames{};
    bool operator==(const AFFocusInfoType&) const = default;
};

struct PictureStyleType {
    bool PictureStyleEnabled = false;
    PictureStyleNumberType PictureStyle = PictureStyleStandard;
    IntN4_4Type Contrast = 0;
    Int0_7Type Sharpness = 0;
    IntN4_4Type Saturation = 0;
    bool SaturationUsed = false;
    IntN4_4Type ColorTone = 0;
    bool ColorToneUsed = false;
    MonochromeFilterType MonochromeFilter = MonochromeFilterNone;
    bool MonochromeFilterUsed = false;
    MonochromeToneType MonochromeTone = MonochromeToneNone;
    bool MonochromeToneUsed = false;
    bool operator==(const PictureStyleType&) const = default;
};

struct RemoteWhitebalanceShiftType {
    bool WBShiftEnabled = false;
    IntN9_9Type AmberBlue = 0;
    IntN9_9Type GreenMagenta = 0;
    bool operator==(const RemoteWhitebalanceShiftType&) const = default;
};

// The current value of every release parameter.
struct RemoteReleaseParametersType {
    RemoteFormatQualityType CompQuality = RemoteFormatQualityNotUsed;
    RemoteFormatQualityType CompQualityPic2RAW = RemoteFormatQualityNotUsed; // the JPEG beside a RAW
    RemoteFormatSizeType ImageSize = RemoteFormatSizeNotUsed;
    RemoteFormatSizeType ImageSizePic2RAW = RemoteFormatSizeNotUsed;
    RemoteFormatFlashType StrobeSetting = RemoteFormatFlashNotUsed;
    RemoteFormatFlashCompType StrobeCompSetting = RemoteFormatFlashCompNotUsed;
    RemoteFormatShootingModeType ImageMode = RemoteFormatShootingModeNotUsed;
    RemoteFormatDriveModeType DriveMode = RemoteFormatDriveModeNotUsed;
    RemoteFormatMLWeiType MLWeiMode = RemoteFormatMLWeiNotUsed;
    RemoteFormatAFModeType AFMode = RemoteFormatAFModeNotUsed;
    RemoteFormatAFDistType AFDistance = RemoteFormatAFDistNotUsed;
    RemoteFormatAFFocusingPointType AFFocusingPoint = RemoteFormatAFFocusingPointNotUsed;
    RemoteFormatAFLightType AFAssistLight = RemoteFormatAFLightNotUsed;
    RemoteFormatWBType WhiteBalanceSetting = RemoteFormatWBNotUsed;
    int WhiteBalanceKelvin = 0; // colour temperature, when WhiteBalanceSetting is Kelvin
    RemoteWhitebalanceShiftType WhiteBalanceShift;
    PictureStyleType PictureStyle;
    RemoteFormatLevelType Contrast = RemoteFormatLevelNotUsed;
    RemoteFormatLevelType ColorGain = RemoteFormatLevelNotUsed;
    RemoteFormatLevelType Sharpness = RemoteFormatLevelNotUsed;
    RemoteFormatColorSpaceType ColorSpace = RemoteFormatColorSpaceNotUsed;
    RemoteFormatISOType ISO = RemoteFormatISONotUsed;
    RemoteFormatAVType Av = RemoteFormatAVNotUsed;
    RemoteFormatTVType Tv = RemoteFormatTVNotUsed;
    RemoteFormatExposureCompType ExposureCompensation = RemoteFormatExposureCompNotUsed;
    RemoteFormatPhotoEffectType PhotoEffect = RemoteFormatPhotoEffectNotUsed;
    RemoteFormatBeepType Beep = RemoteFormatBeepNotUsed;
    bool operator==(const RemoteReleaseParametersType&) const = default;
};

// The supported values of every release parameter, one flag per enumeration value. A parameter
// the camera does not offer has only its NotUsed entry set. DriveMode comes before ImageMode here,
// as in the cache file.
struct RemoteReleaseAvailParametersType {
    CamEnumArray<RemoteFormatQualityType> CompQuality{};
    CamEnumArray<RemoteFormatQualityType> CompQualityPic2RAW{};
    CamEnumArray<RemoteFormatSizeType> ImageSize{};
    CamEnumArray<RemoteFormatSizeType> ImageSizePic2RAW{};
    CamEnumArray<RemoteFormatFlashType> StrobeSetting{};
    CamEnumArray<RemoteFormatFlashCompType> StrobeCompSetting{};
    CamEnumArray<RemoteFormatDriveModeType> DriveMode{};
    CamEnumArray<RemoteFormatShootingModeType> ImageMode{};
    CamEnumArray<RemoteFormatMLWeiType> MLWeiMode{};
    CamEnumArray<RemoteFormatAFModeType> AFMode{};
    CamEnumArray<RemoteFormatAFDistType> AFDistance{};
    CamEnumArray<RemoteFormatAFFocusingPointType> AFFocusingPoint{};
    CamEnumArray<RemoteFormatAFLightType> AFAssistLight{};
    CamEnumArray<RemoteFormatWBType> WhiteBalanceSetting{};
    bool WhiteBalanceShift = false;
    bool PictureStyle = false;
    CamEnumArray<RemoteFormatLevelType> Contrast{};
    CamEnumArray<RemoteFormatLevelType> ColorGain{};
    CamEnumArray<RemoteFormatLevelType> Sharpness{};
    CamEnumArray<RemoteFormatColorSpaceType> ColorSpace{};
    CamEnumArray<RemoteFormatISOType> ISO{};
    CamEnumArray<RemoteFormatAVType> Av{};
    CamEnumArray<RemoteFormatTVType> Tv{};
    CamEnumArray<RemoteFormatExposureCompType> ExposureCompensation{};
    CamEnumArray<RemoteFormatPhotoEffectType> PhotoEffect{};
    CamEnumArray<RemoteFormatBeepType> Beep{};
    bool operator==(const RemoteReleaseAvailParametersType&) const = default;
};

// The result of RemoteStart.
struct RemoteFuncType {
    bool DoSupportZoom = false;
    bool DoSupportShootingPara = false;
    bool DoSupportViewfinder = false;
    bool ReqViewfinderOffWhenShooting = false;
    bool DoSupportAfLockUnlock = false;
    RemoteReleaseAvailParametersType RemoteParamSupported;
    bool operator==(const RemoteFuncType&) const = default;
};

struct RemoteZoomCapabilityType {
    int CurrentZoomPos = 0;
    int MaxOpticalZoomPos = 0;
    int MaxZoomPos = 0;
    bool operator==(const RemoteZoomCapabilityType&) const = default;
};

// The argument of OnEvent.
struct EventCallbackType {
    EventSeverityType Severity = EventSeverityNotUsed;
    EventEnumType Event = EventNotUsed;
    bool operator==(const EventCallbackType&) const = default;
};

// The data of OnRemoteEvent.
struct AdditionNotifyRemoteEventType {
    NotifyRemoteEventValidType EventValid = NoNotifyRemoteEventValid;
    TypeOfPictureType TypeOfPicture = TypeOfPictureNo;
    int NumOfEvents = 0;
    bool operator==(const AdditionNotifyRemoteEventType&) const = default;
};

// One picture on the camera's card. Thumbnail is a null image when there is none; the list owns it
// and CloseCameraCollection and DeletePicture drop it.
struct ImageDataType {
    QString NameOfImage;
    bool RAWJpegExists = false;
    QImage Thumbnail;
};
using ImageListType = QList<ImageDataType>;

struct RAWObjectDevAvailType {
    CamEnumArray<RemoteFormatWBType> WhiteBalance{};
    bool operator==(const RAWObjectDevAvailType&) const = default;
};

struct RAWObjectDevType {
    RemoteFormatWBType WhiteBalance = RemoteFormatWBNotUsed;
    int WhiteBalanceKelvin = 0;
    bool operator==(const RAWObjectDevType&) const = default;
};

// --- Events of the component --------------------------------------------------------------------
//
// Empty handlers are not called. The records arrive as read-only values; the live-view JPEG bytes
// belong to the component and live only during the call.

using TNotifyCameraEvent = std::function<void(const EventCallbackType& Event)>;
using TNotifyViewfinderEvent =
    std::function<void(const QByteArray& Jpegdata, const ViewfinderPositionType& Metadata)>;
using TNotifyRemoteEvent =
    std::function<void(RemoteEventCallbackType Event, const AdditionNotifyRemoteEventType& EventData)>;
using TNotifyRemoteTakePictureEvent = std::function<void(int PercentageDone)>;
using TNotifyRemoteGetPictureEvent = std::function<void(int PercentageDone)>;
using TNotifyRemoteGetMovieEvent = std::function<void(int PercentageDone)>;
using TNotifyGetPictureEvent = std::function<void(int PercentageDone)>;
using TNotifyRemoteProbeParamEvent = std::function<void(int PercentageDone)>;
using TNotifyRawDevelopEvent = std::function<void(int PercentageDone)>;

// --- Clock --------------------------------------------------------------------------------------
//
// Every wait and retry of the camera code (shutter and write retries, 50 ms pauses, live-view
// polling deadlines) asks this clock, so a test can run five seconds of retries in no time.

class CamClock {
public:
    virtual ~CamClock() = default;
    virtual qint64 tickCount() = 0;  // milliseconds, monotonic, from an arbitrary start
    virtual void sleep(int ms) = 0;  // blocks the calling thread (the real one); ms <= 0 returns at once
};

// The clock the camera code uses: the real one unless a test put its own in place.
CamClock& camClock();
// Puts `clock` in place of the current one and returns the one it replaced; nullptr restores the
// real clock. The caller keeps ownership, and the clock must outlive its use.
CamClock* setCamClock(CamClock* clock);

// The test clock: sleep returns at once and moves the time on. onSleep runs after each sleep, so a
// test can let the simulated camera change its mind after a number of waits.
class FakeCamClock : public CamClock {
public:
    qint64 tickCount() override { return m_now.load(); }
    void sleep(int ms) override;
    void advance(qint64 ms) { m_now += ms; }

    int sleepCount() const { return m_sleeps.load(); }
    qint64 sleptMs() const { return m_slept.load(); }

    std::function<void(int ms)> onSleep;

private:
    std::atomic<qint64> m_now{1000};
    std::atomic<int> m_sleeps{0};
    std::atomic<qint64> m_slept{0};
};

// Puts a clock in place for one scope and restores the previous one when it ends.
class CamClockScope {
public:
    explicit CamClockScope(CamClock& clock) : m_previous(setCamClock(&clock)) {}
    ~CamClockScope() { setCamClock(m_previous); }
    CamClockScope(const CamClockScope&) = delete;
    CamClockScope& operator=(const CamClockScope&) = delete;

private:
    CamClock* m_previous;
};
