// The code tables of the three camera libraries. Each pair reads one table both ways: exact
// matching, the first row wins on the way back (so a second code of a value only ever reads).
#include "TCamRemote/Sources/CamConverters.h"

namespace {

struct Row {
    int code;
    int value; // ordinal of the enumeration
};

template <typename E, std::size_t N>
E fromTable(const Row (&rows)[N], int code)
{
    for (const Row& r : rows)
        if (r.code == code)
            return static_cast<E>(r.value);
    return static_cast<E>(0); // NotUsed
}

template <typename E, std::size_t N>
int toTable(const Row (&rows)[N], E value, int noValue)
{
    for (const Row& r : rows)
        if (r.value == int(value))
            return r.code;
    return noValue;
}

// Library codes stored as signed bytes may arrive zero-extended: 255 is -1. Wider codes stay
// as they are and match nothing.
int signedByte(int code)
{
    return code >= 128 && code <= 255 ? code - 256 : code;
}

// The k-th third of a stop above `base`: base, +3, +5, +8, +11, +13, +16, ...
constexpr int thirdStop(int base, int k)
{
    return base + (8 * k + 1) / 3;
}

// Codes by ordinal for the sequences; 0 where the ordinal has none. `last` is the highest ordinal
// that has a code.
template <typename Code>
int lookupByCode(int last, int code, Code codeOf)
{
    for (int ordinal = 0; ordinal <= last; ++ordinal) {
        const int c = codeOf(ordinal);
        if (c >= 0 && c == code)
            return ordinal;
    }
    return 0;
}

// --- Tables ------------------------------------------------------------------------------------

const Row kQualityCdPr[] = {
    {1, RemoteFormatQualityEconomy}, {2, RemoteFormatQualityNormal}, {3, RemoteFormatQualityFine},
    {4, RemoteFormatQualityRAW}, {5, RemoteFormatQualitySuperfine},
};
const Row kQualityEds[] = {
    {2, RemoteFormatQualityNormal}, {3, RemoteFormatQualityFine}, {4, RemoteFormatQualityRAW},
    {5, RemoteFormatQualitySuperfine},
};

const Row kSizeCd[] = {
    {0, RemoteFormatSizeLarge}, {1, RemoteFormatSizeMedium}, {2, RemoteFormatSizeSmall},
    {5, RemoteFormatSizeMedium1}, {6, RemoteFormatSizeMedium2}, {7, RemoteFormatSizeMedium3},
};
const Row kSizePr[] = {
    {0, RemoteFormatSizeLarge}, {1, RemoteFormatSizeMedium1}, {2, RemoteFormatSizeSmall},
    {3, RemoteFormatSizeMedium2}, {7, RemoteFormatSizeMedium3},
};
const Row kSizeEds[] = {
    {0, RemoteFormatSizeLarge}, {1, RemoteFormatSizeMedium}, {2, RemoteFormatSizeSmall},
    {5, RemoteFormatSizeMedium1}, {6, RemoteFormatSizeMedium2},
};

const Row kDrivePr[] = {
    {0, RemoteFormatDriveModeSingleFrame}, {1, RemoteFormatDriveModeContinous},
    {4, RemoteFormatDriveModeLowSpeedContinous}, {5, RemoteFormatDriveModeHighSpeedContinous},
};
const Row kSelfTimerPr[] = {
    {20, RemoteFormatDriveMode2SecSelfTimer}, {100, RemoteFormatDriveMode10SecSelfTimer},
};
const Row kDriveEds[] = {
    {0, RemoteFormatDriveModeSingleFrame}, {1, RemoteFormatDriveModeContinous},
    {2, RemoteFormatDriveModeVideo}, {4, RemoteFormatDriveModeHighSpeedContinous},
    {5, RemoteFormatDriveModeLowSpeedContinous}, {16, RemoteFormatDriveMode10SecSelfTimer},
    {17, RemoteFormatDriveMode2SecSelfTimer},
};

const Row kWBCd[] = {
    {0, RemoteFormatWBAuto}, {1, RemoteFormatWBDaylight}, {2, RemoteFormatWBCloudy},
    {3, RemoteFormatWBTungsten}, {4, RemoteFormatWBFluorscent}, {5, RemoteFormatWBFlash},
    {6, RemoteFormatWBCustom}, {7, RemoteFormatWBBW}, {8, RemoteFormatWBShade},
    {9, RemoteFormatWBKelvin}, {10, RemoteFormatWBPCSet1}, {11, RemoteFormatWBPCSet2},
    {12, RemoteFormatWBPCSet3}, {14, RemoteFormatWBFluorescentLight}, {15, RemoteFormatWBCustom1},
    {16, RemoteFormatWBCustom2},
};
const Row kWBPr[] = {
    {0, RemoteFormatWBAuto}, {1, RemoteFormatWBDaylight}, {2, RemoteFormatWBCloudy},
    {3, RemoteFormatWBTungsten}, {4, RemoteFormatWBFluorscent}, {7, RemoteFormatWBFluorescentLight},
    {10, RemoteFormatWBCustom}, {11, RemoteFormatWBCustom1}, {12, RemoteFormatWBCustom2},
    {14, RemoteFormatWBFluorescentLight}, // read only: writes go out as 7
};
const Row kWBEds[] = {
    {0, RemoteFormatWBAuto}, {1, RemoteFormatWBDaylight}, {2, RemoteFormatWBCloudy},
    {3, RemoteFormatWBTungsten}, {4, RemoteFormatWBFluorscent}, {5, RemoteFormatWBFlash},
    {6, RemoteFormatWBFluorescentLight}, {8, RemoteFormatWBShade}, {9, RemoteFormatWBKelvin},
    {10, RemoteFormatWBPCSet1}, {11, RemoteFormatWBPCSet2}, {12, RemoteFormatWBPCSet3},
};

const Row kAFModeEds[] = {
    {0, RemoteFormatAFModeOneShot}, {1, RemoteFormatAFModeAIServo}, {2, RemoteFormatAFModeAIFocus},
    {3, RemoteFormatAFModeManual},
};
const Row kAFDistCd[] = {
    {0, RemoteFormatAFDistManual}, {1, RemoteFormatAFDistAuto}, {2, RemoteFormatAFDistUnknown},
    {3, RemoteFormatAFDistZFCloseUp}, {4, RemoteFormatAFDistZFShortestDistance},
    {5, RemoteFormatAFDistZFShortDistance}, {6, RemoteFormatAFDistZFMediumDistance},
    {7, RemoteFormatAFDistZFFarDistance}, {8, RemoteFormatAFDistPanFocus},
    {9, RemoteFormatAFDistSuperMacro}, {10, RemoteFormatAFDistInfinity},
    {11, RemoteFormatAFDistSuperMacroOCM},
};
const Row kAFDistPr[] = {
    {0, RemoteFormatAFDistManual}, {1, RemoteFormatAFDistAuto}, {2, RemoteFormatAFDistUnknown},
    {3, RemoteFormatAFDistZFCloseUp}, {4, RemoteFormatAFDistZFShortestDistance},
    {5, RemoteFormatAFDistZFShortDistance}, {6, RemoteFormatAFDistZFMediumDistance},
    {7, RemoteFormatAFDistZFFarDistance},
};
const Row kAFPointPr[] = {
    {0x1000, RemoteFormatAFFocusingPointOnCenterOnlyManual},
    {0x1001, RemoteFormatAFFocusingPointOnCenterOnlyAuto},
    {0x3000, RemoteFormatAFFocusingPointMultipleManual},
    {0x3001, RemoteFormatAFFocusingPointMultipleAuto},
    {0x3002, RemoteFormatAFFocusingPointMultipleRight},
    {0x3003, RemoteFormatAFFocusingPointMultipleCenter},
    {0x3004, RemoteFormatAFFocusingPointMultipleLeft},
};
const Row kAFLightPr[] = {{0, RemoteFormatAFLightOff}, {1, RemoteFormatAFLightOn}};

const Row kFlashCdPr[] = {
    {0, RemoteFormatFlashOff}, {1, RemoteFormatFlashAuto}, {2, RemoteFormatFlashOn},
    {3, RemoteFormatFlashRedEye}, {4, RemoteFormatFlashSlowSync}, {5, RemoteFormatFlashAutoRedEye},
    {6, RemoteFormatFlashOnRedEye},
};

const Row kMLWeiCdPr[] = {
    {0, RemoteFormatMLWeiCenterWeighted}, {1, RemoteFormatMLWeiSpot}, {2, RemoteFormatMLWeiAveraging},
    {3, RemoteFormatMLWeiEvaluative}, {4, RemoteFormatMLWeiPartial},
    {5, RemoteFormatMLWeiCenterwWeightedAveraging},
};
const Row kMLWeiEds[] = {
    {1, RemoteFormatMLWeiSpot}, {3, RemoteFormatMLWeiEvaluative}, {4, RemoteFormatMLWeiPartial},
    {5, RemoteFormatMLWeiCenterwWeightedAveraging},
};
const Row kColorSpaceEds[] = {{1, RemoteFormatColorSpaceSRGB}, {2, RemoteFormatColorSpaceAdobeRGB}};

const Row kLevel[] = {{-1, RemoteFormatLevelLow}, {0, RemoteFormatLevelDefault}, {1, RemoteFormatLevelHigh}};
const Row kLevelReversed[] = {
    {-1, RemoteFormatLevelHigh}, {0, RemoteFormatLevelDefault}, {1, RemoteFormatLevelLow},
};

const Row kPhotoEffectCd[] = {
    {0, RemoteFormatPhotoEffectOff}, {1, RemoteFormatPhotoEffectNeutral},
    {2, RemoteFormatPhotoEffectLowSharpening}, {3, RemoteFormatPhotoEffectSepia},
    {4, RemoteFormatPhotoEffectBW},
};
const Row kPhotoEffectPr[] = {
    {0, RemoteFormatPhotoEffectOff}, {1, RemoteFormatPhotoEffectVivid},
    {2, RemoteFormatPhotoEffectNeutral}, {3, RemoteFormatPhotoEffectLowSharpening},
    {4, RemoteFormatPhotoEffectSepia}, {5, RemoteFormatPhotoEffectBW},
};
const Row kPhotoEffectEds[] = {{0, RemoteFormatPhotoEffectOff}, {5, RemoteFormatPhotoEffectBW}};

const Row kBeepCdPr[] = {{0, RemoteFormatBeepOff}, {1, RemoteFormatBeepOn}};

// Shooting modes: one row per value, kNone where the library lacks it.
constexpr int kNone = -1000;
struct ModeRow {
    RemoteFormatShootingModeType value;
    int cd, pr, eds;
};
const ModeRow kShootingModes[] = {
    {RemoteFormatShootingModeAuto, 0, 0, 9},
    {RemoteFormatShootingModeManual, 4, 4, 3},
    {RemoteFormatShootingModeFarScene, 102, kNone, 13},
    {RemoteFormatShootingModeFastShutter, 103, 147, 11},
    {RemoteFormatShootingModeSlowShutter, 104, 148, kNone},
    {RemoteFormatShootingModeNightScene, 105, 132, 23},
    {RemoteFormatShootingModeGrayScene, 106, 152, kNone},
    {RemoteFormatShootingModeSepia, 107, 153, kNone},
    {RemoteFormatShootingModePortrait, 108, 130, 12},
    {RemoteFormatShootingModeSport, 109, 155, kNone},
    {RemoteFormatShootingModeMacro, 110, 156, 14},
    {RemoteFormatShootingModeBW, 111, 159, kNone},
    {RemoteFormatShootingModePanFocus, 112, 158, kNone},
    {RemoteFormatShootingModeVivid, 113, 154, kNone},
    {RemoteFormatShootingModeNeutral, 114, 151, kNone},
    {RemoteFormatShootingModeProgram, 1, 1, 0},
    {RemoteFormatShootingModeTV, 2, 2, 1},
    {RemoteFormatShootingModeAV, 3, 3, 2},
    {RemoteFormatShootingModeADep, 5, 5, 5},
    {RemoteFormatShootingModeMDep, 6, 6, 6},
    {RemoteFormatShootingModeBulb, 7, 7, 4},
    {RemoteFormatShootingModeManual2, 101, 128, kNone},
    {RemoteFormatShootingModeFlashOff, 115, 160, 15},
    {RemoteFormatShootingModeLongShutter, 116, 144, kNone},
    {RemoteFormatShootingModeSuperMacro, 117, 157, kNone},
    {RemoteFormatShootingModeFoliage, 118, 133, kNone},
    {RemoteFormatShootingModeIndoor, 119, kNone, kNone},
    {RemoteFormatShootingModeFireworks, 120, 136, kNone},
    {RemoteFormatShootingModeBeach, 121, 135, kNone},
    {RemoteFormatShootingModeUnderwater, 122, 145, kNone},
    {RemoteFormatShootingModeSnow, 123, 134, kNone},
    {RemoteFormatShootingModeKidsAndPets, 124, 146, kNone},
    {RemoteFormatShootingModeNightSnapshot, 125, 138, kNone},
    {RemoteFormatShootingModeDigitalMacro, 126, 143, kNone},
    {RemoteFormatShootingModeMyColors, 127, 129, kNone},
    {RemoteFormatShootingModePhotoInMovie, 128, 140, 21},
    {RemoteFormatShootingModeCreativeAuto, kNone, kNone, 19},
    {RemoteFormatShootingModeSceneIntelligentAuto, kNone, kNone, 22},
    {RemoteFormatShootingModeNightPortrait, kNone, kNone, 10},
    {RemoteFormatShootingModeBacklitScenes, kNone, kNone, 24},
    {RemoteFormatShootingModeSCN, kNone, kNone, 25},
    {RemoteFormatShootingModeChildren, kNone, kNone, 26},
    {RemoteFormatShootingModeFood, kNone, kNone, 27},
    {RemoteFormatShootingModeCandlelightPortraits, kNone, kNone, 28},
};

template <int ModeRow::*Column>
RemoteFormatShootingModeType modeFromCode(int code)
{
    if (code == kNone)
        return RemoteFormatShootingModeNotUsed;
    for (const ModeRow& r : kShootingModes)
        if (r.*Column == code)
            return r.value;
    return RemoteFormatShootingModeNotUsed;
}

template <int ModeRow::*Column>
int modeToCode(RemoteFormatShootingModeType value, int noValue)
{
    for (const ModeRow& r : kShootingModes)
        if (r.value == value)
            return r.*Column == kNone ? noValue : r.*Column;
    return noValue;
}

// --- Sequences in thirds of a stop ------------------------------------------------------------

constexpr int kLastAv = RemoteFormatAV91_0;
constexpr int kLastTv = RemoteFormatTV1_16000;

// Flash compensation (Cd, Pr): +2 (ordinal 1) = 8 .. -2 (ordinal 13) = 40.
int flashCompCode(int ordinal)
{
    if (ordinal < RemoteFormatFlashComp200Plus || ordinal > RemoteFormatFlashComp200Minus)
        return -1;
    return thirdStop(8, ordinal - RemoteFormatFlashComp200Plus);
}

// Exposure compensation (Cd, Pr): +2 (ordinal 10) = 8 .. -2 (ordinal 22) = 40.
int exposureCompCdPrCode(int ordinal)
{
    if (ordinal < RemoteFormatExposureComp200Plus || ordinal > RemoteFormatExposureComp200Minus)
        return -1;
    return thirdStop(8, ordinal - RemoteFormatExposureComp200Plus);
}

// Exposure compensation (Eds): +n thirds is 8 (n div 3) + 0, 3 or 5; negatives as bytes.
int exposureCompEdsCode(int ordinal)
{
    if (ordinal < RemoteFormatExposureComp500Plus || ordinal > RemoteFormatExposureComp500Minus)
        return -1;
    const int thirds = RemoteFormatExposureComp0 - ordinal; // +15 .. -15
    const int n = thirds < 0 ? -thirds : thirds;
    static const int kThird[] = {0, 3, 5};
    const int amount = 8 * (n / 3) + kThird[n % 3];
    return thirds < 0 ? (256 - amount) & 0xFF : amount;
}

int isoCode(int ordinal, bool eds)
{
    if (ordinal == RemoteFormatISOAuto)
        return 0;
    if (ordinal >= RemoteFormatISO50 && ordinal <= RemoteFormatISO3200)
        return thirdStop(64, ordinal - RemoteFormatISO50);
    if (eds && ordinal >= RemoteFormatISO6400 && ordinal <= RemoteFormatISO102400)
        return 120 + 8 * (ordinal - RemoteFormatISO6400);
    return -1;
}

} // namespace

// --- Image quality and size -------------------------------------------------------------------

RemoteFormatQualityType QualityFromCd(int code) { return fromTable<RemoteFormatQualityType>(kQualityCdPr, code); }
int CdQualityValue(RemoteFormatQualityType value) { return toTable(kQualityCdPr, value, 0xFFFF); }
RemoteFormatQualityType QualityFromPr(int code) { return fromTable<RemoteFormatQualityType>(kQualityCdPr, code); }
int PrQualityValue(RemoteFormatQualityType value) { return toTable(kQualityCdPr, value, 0xFF); }
RemoteFormatQualityType QualityFromEds(int code) { return fromTable<RemoteFormatQualityType>(kQualityEds, code); }
int EdsQualityValue(RemoteFormatQualityType value) { return toTable(kQualityEds, value, -1); }

RemoteFormatSizeType SizeFromCd(int code) { return fromTable<RemoteFormatSizeType>(kSizeCd, code); }
int CdSizeValue(RemoteFormatSizeType value) { return toTable(kSizeCd, value, 0x0FFF); }
RemoteFormatSizeType SizeFromPr(int code) { return fromTable<RemoteFormatSizeType>(kSizePr, code); }
int PrSizeValue(RemoteFormatSizeType value) { return toTable(kSizePr, value, 0xFF); }
RemoteFormatSizeType SizeFromEds(int code) { return fromTable<RemoteFormatSizeType>(kSizeEds, code); }
int EdsSizeValue(RemoteFormatSizeType value) { return toTable(kSizeEds, value, -1); }

// --- Shooting mode and drive mode -------------------------------------------------------------

RemoteFormatShootingModeType ShootingModeFromCd(int code) { return modeFromCode<&ModeRow::cd>(code); }
int CdShootingModeValue(RemoteFormatShootingModeType value) { return modeToCode<&ModeRow::cd>(value, 0x0FFF); }
RemoteFormatShootingModeType ShootingModeFromPr(int code) { return modeFromCode<&ModeRow::pr>(code); }
int PrShootingModeValue(RemoteFormatShootingModeType value) { return modeToCode<&ModeRow::pr>(value, 0xFF); }
RemoteFormatShootingModeType ShootingModeFromEds(int code) { return modeFromCode<&ModeRow::eds>(code); }
int EdsShootingModeValue(RemoteFormatShootingModeType value) { return modeToCode<&ModeRow::eds>(value, -1); }

RemoteFormatDriveModeType DriveModeFromPr(int code) { return fromTable<RemoteFormatDriveModeType>(kDrivePr, code); }
int PrDriveModeValue(RemoteFormatDriveModeType value) { return toTable(kDrivePr, value, 0xFF); }
RemoteFormatDriveModeType SelfTimerFromPr(int tenths) { return fromTable<RemoteFormatDriveModeType>(kSelfTimerPr, tenths); }
int PrSelfTimerValue(RemoteFormatDriveModeType value) { return toTable(kSelfTimerPr, value, 0xFFFF); }
RemoteFormatDriveModeType DriveModeFromEds(int code) { return fromTable<RemoteFormatDriveModeType>(kDriveEds, code); }
int EdsDriveModeValue(RemoteFormatDriveModeType value) { return toTable(kDriveEds, value, 0); }

// --- White balance ----------------------------------------------------------------------------

RemoteFormatWBType WBFromCd(int code) { return fromTable<RemoteFormatWBType>(kWBCd, code); }
int CdWBValue(RemoteFormatWBType value) { return toTable(kWBCd, value, 0x7FFF); }
RemoteFormatWBType WBFromPr(int code) { return fromTable<RemoteFormatWBType>(kWBPr, code); }
int PrWBValue(RemoteFormatWBType value) { return toTable(kWBPr, value, 0xFF); }
RemoteFormatWBType WBFromEds(int code) { return fromTable<RemoteFormatWBType>(kWBEds, code); }
int EdsWBValue(RemoteFormatWBType value) { return toTable(kWBEds, value, -10); }

// --- Focus ------------------------------------------------------------------------------------

RemoteFormatAFModeType AFModeFromEds(int code) { return fromTable<RemoteFormatAFModeType>(kAFModeEds, code); }
int EdsAFModeValue(RemoteFormatAFModeType value) { return toTable(kAFModeEds, value, -1); }
RemoteFormatAFDistType AFDistFromCd(int code) { return fromTable<RemoteFormatAFDistType>(kAFDistCd, code); }
int CdAFDistValue(RemoteFormatAFDistType value) { return toTable(kAFDistCd, value, 0xFF); }
RemoteFormatAFDistType AFDistFromPr(int code) { return fromTable<RemoteFormatAFDistType>(kAFDistPr, code); }
int PrAFDistValue(RemoteFormatAFDistType value) { return toTable(kAFDistPr, value, 0xFF); }
RemoteFormatAFFocusingPointType AFFocusingPointFromPr(int code)
{
    return fromTable<RemoteFormatAFFocusingPointType>(kAFPointPr, code);
}
int PrAFFocusingPointValue(RemoteFormatAFFocusingPointType value) { return toTable(kAFPointPr, value, 0); }
RemoteFormatAFLightType AFLightFromPr(int code) { return fromTable<RemoteFormatAFLightType>(kAFLightPr, code); }
int PrAFLightValue(RemoteFormatAFLightType value) { return toTable(kAFLightPr, value, 0); }

// --- Flash, metering, colour space ------------------------------------------------------------

RemoteFormatFlashType FlashFromCd(int code) { return fromTable<RemoteFormatFlashType>(kFlashCdPr, code); }
int CdFlashValue(RemoteFormatFlashType value) { return toTable(kFlashCdPr, value, 0xFF); }
RemoteFormatFlashType FlashFromPr(int code) { return FlashFromCd(code); }
int PrFlashValue(RemoteFormatFlashType value) { return CdFlashValue(value); }

RemoteFormatFlashCompType FlashCompFromCd(int code)
{
    return static_cast<RemoteFormatFlashCompType>(lookupByCode(RemoteFormatFlashComp200Minus, code, flashCompCode));
}
int CdFlashCompValue(RemoteFormatFlashCompType value)
{
    const int code = flashCompCode(value);
    return code < 0 ? 0xFF : code;
}
RemoteFormatFlashCompType FlashCompFromPr(int code) { return FlashCompFromCd(code); }
int PrFlashCompValue(RemoteFormatFlashCompType value) { return CdFlashCompValue(value); }

RemoteFormatMLWeiType MLWeiFromCd(int code) { return fromTable<RemoteFormatMLWeiType>(kMLWeiCdPr, code); }
int CdMLWeiValue(RemoteFormatMLWeiType value) { return toTable(kMLWeiCdPr, value, 0xFF); }
RemoteFormatMLWeiType MLWeiFromPr(int code) { return MLWeiFromCd(code); }
int PrMLWeiValue(RemoteFormatMLWeiType value) { return CdMLWeiValue(value); }
RemoteFormatMLWeiType MLWeiFromEds(int code) { return fromTable<RemoteFormatMLWeiType>(kMLWeiEds, code); }
int EdsMLWeiValue(RemoteFormatMLWeiType value) { return toTable(kMLWeiEds, value, -1); }

RemoteFormatColorSpaceType ColorSpaceFromEds(int code)
{
    return fromTable<RemoteFormatColorSpaceType>(kColorSpaceEds, code);
}
int EdsColorSpaceValue(RemoteFormatColorSpaceType value) { return toTable(kColorSpaceEds, value, -1); }

// --- Picture levels ---------------------------------------------------------------------------

RemoteFormatLevelType ContrastFromCd(int code) { return fromTable<RemoteFormatLevelType>(kLevel, signedByte(code)); }
int CdContrastValue(RemoteFormatLevelType value) { return toTable(kLevel, value, 127); }
RemoteFormatLevelType ColorGainFromCd(int code) { return ContrastFromCd(code); }
int CdColorGainValue(RemoteFormatLevelType value) { return CdContrastValue(value); }
RemoteFormatLevelType SharpnessFromCd(int code)
{
    return fromTable<RemoteFormatLevelType>(kLevelReversed, signedByte(code));
}
int CdSharpnessValue(RemoteFormatLevelType value) { return toTable(kLevelReversed, value, 127); }
RemoteFormatLevelType ContrastFromPr(int code) { return ContrastFromCd(code); }
int PrContrastValue(RemoteFormatLevelType value) { return CdContrastValue(value); }
RemoteFormatLevelType ColorGainFromPr(int code) { return ContrastFromCd(code); }
int PrColorGainValue(RemoteFormatLevelType value) { return CdContrastValue(value); }
RemoteFormatLevelType SharpnessFromPr(int code) { return ContrastFromCd(code); }
int PrSharpnessValue(RemoteFormatLevelType value) { return CdContrastValue(value); }

// --- Exposure ---------------------------------------------------------------------------------

int AvValue(RemoteFormatAVType value)
{
    if (value < RemoteFormatAV1_0 || value > kLastAv)
        return 0xFFFF;
    return thirdStop(8, value - RemoteFormatAV1_0);
}

RemoteFormatAVType AvFromCode(int code)
{
    const int c = code & 0xFFFF;
    if (c < 8)
        return RemoteFormatAVNotUsed;
    int found = RemoteFormatAV1_0;
    for (int ordinal = RemoteFormatAV1_0; ordinal <= kLastAv && AvValue(RemoteFormatAVType(ordinal)) <= c; ++ordinal)
        found = ordinal;
    return static_cast<RemoteFormatAVType>(found);
}

int TvValue(RemoteFormatTVType value)
{
    if (value == RemoteFormatTVBulb)
        return 4;
    if (value < RemoteFormatTV30sec || value > kLastTv)
        return 0xFFFF;
    return thirdStop(16, value - RemoteFormatTV30sec);
}

RemoteFormatTVType TvFromCode(int code)
{
    const int c = code & 0xFFFF;
    if (c < 4)
        return RemoteFormatTVNotUsed;
    if (c < 16)
        return RemoteFormatTVBulb;
    int found = RemoteFormatTV30sec;
    for (int ordinal = RemoteFormatTV30sec; ordinal <= kLastTv && TvValue(RemoteFormatTVType(ordinal)) <= c; ++ordinal)
        found = ordinal;
    return static_cast<RemoteFormatTVType>(found);
}

RemoteFormatISOType ISOFromCd(int code)
{
    return static_cast<RemoteFormatISOType>(
        lookupByCode(RemoteFormatISO3200, code, [](int o) { return isoCode(o, false); }));
}
int CdISOValue(RemoteFormatISOType value)
{
    const int code = isoCode(value, false);
    return code < 0 ? 0xFF : code;
}
RemoteFormatISOType ISOFromPr(int code) { return ISOFromCd(code); }
int PrISOValue(RemoteFormatISOType value) { return CdISOValue(value); }
RemoteFormatISOType ISOFromEds(int code)
{
    return static_cast<RemoteFormatISOType>(
        lookupByCode(RemoteFormatISO102400, code, [](int o) { return isoCode(o, true); }));
}
int EdsISOValue(RemoteFormatISOType value)
{
    const int code = isoCode(value, true);
    return code < 0 ? 0xFF : code;
}

RemoteFormatExposureCompType ExposureCompFromCd(int code)
{
    return static_cast<RemoteFormatExposureCompType>(
        lookupByCode(RemoteFormatExposureComp200Minus, code, exposureCompCdPrCode));
}
int CdExposureCompValue(RemoteFormatExposureCompType value)
{
    const int code = exposureCompCdPrCode(value);
    return code < 0 ? 0xFF : code;
}
RemoteFormatExposureCompType ExposureCompFromPr(int code) { return ExposureCompFromCd(code); }
int PrExposureCompValue(RemoteFormatExposureCompType value) { return CdExposureCompValue(value); }
RemoteFormatExposureCompType ExposureCompFromEds(int code)
{
    return static_cast<RemoteFormatExposureCompType>(
        lookupByCode(RemoteFormatExposureComp500Minus, code < 0 && code >= -128 ? code + 256 : code,
                     exposureCompEdsCode));
}
int EdsExposureCompValue(RemoteFormatExposureCompType value)
{
    const int code = exposureCompEdsCode(value);
    return code < 0 ? 0xFF : code;
}

// --- Photo effect and beep --------------------------------------------------------------------

RemoteFormatPhotoEffectType PhotoEffectFromCd(int code)
{
    return fromTable<RemoteFormatPhotoEffectType>(kPhotoEffectCd, code);
}
int CdPhotoEffectValue(RemoteFormatPhotoEffectType value) { return toTable(kPhotoEffectCd, value, 0xFFFF); }
RemoteFormatPhotoEffectType PhotoEffectFromPr(int code)
{
    return fromTable<RemoteFormatPhotoEffectType>(kPhotoEffectPr, code);
}
int PrPhotoEffectValue(RemoteFormatPhotoEffectType value) { return toTable(kPhotoEffectPr, value, 0xFF); }
RemoteFormatPhotoEffectType PhotoEffectFromEds(int code)
{
    return fromTable<RemoteFormatPhotoEffectType>(kPhotoEffectEds, code);
}
int EdsPhotoEffectValue(RemoteFormatPhotoEffectType value) { return toTable(kPhotoEffectEds, value, 99); }

RemoteFormatBeepType BeepFromCd(int code) { return fromTable<RemoteFormatBeepType>(kBeepCdPr, code); }
int CdBeepValue(RemoteFormatBeepType value) { return toTable(kBeepCdPr, value, 0xFF); }
RemoteFormatBeepType BeepFromPr(int code) { return BeepFromCd(code); }
int PrBeepValue(RemoteFormatBeepType value) { return CdBeepValue(value); }
