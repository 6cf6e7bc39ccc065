#include "TCamRemote/Sources/CamConverters.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <set>
#include <vector>

namespace {

// One converter pair of one library, with the codes of its table as the libraries define them.
struct Pair {
    const char* name;
    int count; // values of the enumeration
    std::function<int(int)> toValue;
    std::function<int(int)> toCode;
    int noValue; // code of a value the library lacks
    std::vector<std::pair<int, int>> rows; // (code, value)
};

#define PAIR(E, From, To, noValue, ...)                                                            \
    Pair{#From, CamEnumCount<E>, [](int c) { return int(From(c)); },                               \
         [](int v) { return To(static_cast<E>(v)); }, noValue, std::vector<std::pair<int, int>> __VA_ARGS__}

std::vector<Pair> tablePairs()
{
    return {
        PAIR(RemoteFormatQualityType, QualityFromCd, CdQualityValue, 0xFFFF,
             {{1, RemoteFormatQualityEconomy}, {2, RemoteFormatQualityNormal},
              {3, RemoteFormatQualityFine}, {4, RemoteFormatQualityRAW},
              {5, RemoteFormatQualitySuperfine}}),
        PAIR(RemoteFormatQualityType, QualityFromPr, PrQualityValue, 0xFF,
             {{1, RemoteFormatQualityEconomy}, {2, RemoteFormatQualityNormal},
              {3, RemoteFormatQualityFine}, {4, RemoteFormatQualityRAW},
              {5, RemoteFormatQualitySuperfine}}),
        PAIR(RemoteFormatQualityType, QualityFromEds, EdsQualityValue, -1,
             {{2, RemoteFormatQualityNormal}, {3, RemoteFormatQualityFine},
              {4, RemoteFormatQualityRAW}, {5, RemoteFormatQualitySuperfine}}),
        PAIR(RemoteFormatSizeType, SizeFromCd, CdSizeValue, 0x0FFF,
             {{0, RemoteFormatSizeLarge}, {1, RemoteFormatSizeMedium},
              {2, RemoteFormatSizeSmall}, {5, RemoteFormatSizeMedium1},
              {6, RemoteFormatSizeMedium2}, {7, RemoteFormatSizeMedium3}}),
        PAIR(RemoteFormatSizeType, SizeFromPr, PrSizeValue, 0xFF,
             {{0, RemoteFormatSizeLarge}, {1, RemoteFormatSizeMedium1},
              {2, RemoteFormatSizeSmall}, {3, RemoteFormatSizeMedium2},
              {7, RemoteFormatSizeMedium3}}),
        PAIR(RemoteFormatSizeType, SizeFromEds, EdsSizeValue, -1,
             {{0, RemoteFormatSizeLarge}, {1, RemoteFormatSizeMedium},
              {2, RemoteFormatSizeSmall}, {5, RemoteFormatSizeMedium1},
              {6, RemoteFormatSizeMedium2}}),
        PAIR(RemoteFormatDriveModeType, DriveModeFromPr, PrDriveModeValue, 0xFF,
             {{0, RemoteFormatDriveModeSingleFrame}, {1, RemoteFormatDriveModeContinous},
              {4, RemoteFormatDriveModeLowSpeedContinous},
              {5, RemoteFormatDriveModeHighSpeedContinous}}),
        PAIR(RemoteFormatDriveModeType, DriveModeFromEds, EdsDriveModeValue, 0,
             {{0, RemoteFormatDriveModeSingleFrame}, {1, RemoteFormatDriveModeContinous},
              {2, RemoteFormatDriveModeVideo}, {4, RemoteFormatDriveModeHighSpeedContinous},
              {5, RemoteFormatDriveModeLowSpeedContinous},
              {16, RemoteFormatDriveMode10SecSelfTimer},
              {17, RemoteFormatDriveMode2SecSelfTimer}}),
        PAIR(RemoteFormatWBType, WBFromCd, CdWBValue, 0x7FFF,
             {{0, RemoteFormatWBAuto}, {1, RemoteFormatWBDaylight}, {2, RemoteFormatWBCloudy},
              {3, RemoteFormatWBTungsten}, {4, RemoteFormatWBFluorscent},
              {5, RemoteFormatWBFlash}, {6, RemoteFormatWBCustom}, {7, RemoteFormatWBBW},
              {8, RemoteFormatWBShade}, {9, RemoteFormatWBKelvin}, {10, RemoteFormatWBPCSet1},
              {11, RemoteFormatWBPCSet2}, {12, RemoteFormatWBPCSet3},
              {14, RemoteFormatWBFluorescentLight}, {15, RemoteFormatWBCustom1},
              {16, RemoteFormatWBCustom2}}),
        PAIR(RemoteFormatWBType, WBFromPr, PrWBValue, 0xFF,
             {{0, RemoteFormatWBAuto}, {1, RemoteFormatWBDaylight}, {2, RemoteFormatWBCloudy},
              {3, RemoteFormatWBTungsten}, {4, RemoteFormatWBFluorscent},
              {7, RemoteFormatWBFluorescentLight}, {10, RemoteFormatWBCustom},
              {11, RemoteFormatWBCustom1}, {12, RemoteFormatWBCustom2}}),
        PAIR(RemoteFormatWBType, WBFromEds, EdsWBValue, -10,
             {{0, RemoteFormatWBAuto}, {1, RemoteFormatWBDaylight}, {2, RemoteFormatWBCloudy},
              {3, RemoteFormatWBTungsten}, {4, RemoteFormatWBFluorscent},
              {5, RemoteFormatWBFlash}, {6, RemoteFormatWBFluorescentLight},
              {8, RemoteFormatWBShade}, {9, RemoteFormatWBKelvin}, {10, RemoteFormatWBPCSet1},
              {11, RemoteFormatWBPCSet2}, {12, RemoteFormatWBPCSet3}}),
        PAIR(RemoteFormatAFModeType, AFModeFromEds, EdsAFModeValue, -1,
             {{0, RemoteFormatAFModeOneShot}, {1, RemoteFormatAFModeAIServo},
              {2, RemoteFormatAFModeAIFocus}, {3, RemoteFormatAFModeManual}}),
        PAIR(RemoteFormatAFDistType, AFDistFromCd, CdAFDistValue, 0xFF,
             {{0, RemoteFormatAFDistManual}, {1, RemoteFormatAFDistAuto},
              {2, RemoteFormatAFDistUnknown}, {3, RemoteFormatAFDistZFCloseUp},
              {4, RemoteFormatAFDistZFShortestDistance}, {5, RemoteFormatAFDistZFShortDistance},
              {6, RemoteFormatAFDistZFMediumDistance}, {7, RemoteFormatAFDistZFFarDistance},
              {8, RemoteFormatAFDistPanFocus}, {9, RemoteFormatAFDistSuperMacro},
              {10, RemoteFormatAFDistInfinity}, {11, RemoteFormatAFDistSuperMacroOCM}}),
        PAIR(RemoteFormatAFDistType, AFDistFromPr, PrAFDistValue, 0xFF,
             {{0, RemoteFormatAFDistManual}, {1, RemoteFormatAFDistAuto},
              {2, RemoteFormatAFDistUnknown}, {3, RemoteFormatAFDistZFCloseUp},
              {4, RemoteFormatAFDistZFShortestDistance}, {5, RemoteFormatAFDistZFShortDistance},
              {6, RemoteFormatAFDistZFMediumDistance}, {7, RemoteFormatAFDistZFFarDistance}}),
        PAIR(RemoteFormatAFFocusingPointType, AFFocusingPointFromPr, PrAFFocusingPointValue, 0,
             {{0x1000, RemoteFormatAFFocusingPointOnCenterOnlyManual},
              {0x1001, RemoteFormatAFFocusingPointOnCenterOnlyAuto},
              {0x3000, RemoteFormatAFFocusingPointMultipleManual},
              {0x3001, RemoteFormatAFFocusingPointMultipleAuto},
              {0x3002, RemoteFormatAFFocusingPointMultipleRight},
              {0x3003, RemoteFormatAFFocusingPointMultipleCenter},
              {0x3004, RemoteFormatAFFocusingPointMultipleLeft}}),
        PAIR(RemoteFormatAFLightType, AFLightFromPr, PrAFLightValue, 0,
             {{0, RemoteFormatAFLightOff}, {1, RemoteFormatAFLightOn}}),
        PAIR(RemoteFormatFlashType, FlashFromCd, CdFlashValue, 0xFF,
             {{0, RemoteFormatFlashOff}, {1, RemoteFormatFlashAuto}, {2, RemoteFormatFlashOn},
              {3, RemoteFormatFlashRedEye}, {4, RemoteFormatFlashSlowSync},
              {5, RemoteFormatFlashAutoRedEye}, {6, RemoteFormatFlashOnRedEye}}),
        PAIR(RemoteFormatFlashType, FlashFromPr, PrFlashValue, 0xFF,
             {{0, RemoteFormatFlashOff}, {1, RemoteFormatFlashAuto}, {2, RemoteFormatFlashOn},
              {3, RemoteFormatFlashRedEye}, {4, RemoteFormatFlashSlowSync},
              {5, RemoteFormatFlashAutoRedEye}, {6, RemoteFormatFlashOnRedEye}}),
        PAIR(RemoteFormatColorSpaceType, ColorSpaceFromEds, EdsColorSpaceValue, -1,
             {{1, RemoteFormatColorSpaceSRGB}, {2, RemoteFormatColorSpaceAdobeRGB}}),
        PAIR(RemoteFormatMLWeiType, MLWeiFromCd, CdMLWeiValue, 0xFF,
             {{0, RemoteFormatMLWeiCenterWeighted}, {1, RemoteFormatMLWeiSpot},
              {2, RemoteFormatMLWeiAveraging}, {3, RemoteFormatMLWeiEvaluative},
              {4, RemoteFormatMLWeiPartial}, {5, RemoteFormatMLWeiCenterwWeightedAveraging}}),
        PAIR(RemoteFormatMLWeiType, MLWeiFromPr, PrMLWeiValue, 0xFF,
             {{0, RemoteFormatMLWeiCenterWeighted}, {1, RemoteFormatMLWeiSpot},
              {2, RemoteFormatMLWeiAveraging}, {3, RemoteFormatMLWeiEvaluative},
              {4, RemoteFormatMLWeiPartial}, {5, RemoteFormatMLWeiCenterwWeightedAveraging}}),
        PAIR(RemoteFormatMLWeiType, MLWeiFromEds, EdsMLWeiValue, -1,
             {{1, RemoteFormatMLWeiSpot}, {3, RemoteFormatMLWeiEvaluative},
              {4, RemoteFormatMLWeiPartial}, {5, RemoteFormatMLWeiCenterwWeightedAveraging}}),
        PAIR(RemoteFormatLevelType, ContrastFromCd, CdContrastValue, 127,
             {{-1, RemoteFormatLevelLow}, {0, RemoteFormatLevelDefault},
              {1, RemoteFormatLevelHigh}}),
        PAIR(RemoteFormatLevelType, ColorGainFromCd, CdColorGainValue, 127,
             {{-1, RemoteFormatLevelLow}, {0, RemoteFormatLevelDefault},
              {1, RemoteFormatLevelHigh}}),
        PAIR(RemoteFormatLevelType, ContrastFromPr, PrContrastValue, 127,
             {{-1, RemoteFormatLevelLow}, {0, RemoteFormatLevelDefault},
              {1, RemoteFormatLevelHigh}}),
        PAIR(RemoteFormatLevelType, ColorGainFromPr, PrColorGainValue, 127,
             {{-1, RemoteFormatLevelLow}, {0, RemoteFormatLevelDefault},
              {1, RemoteFormatLevelHigh}}),
        PAIR(RemoteFormatLevelType, SharpnessFromCd, CdSharpnessValue, 127,
             {{-1, RemoteFormatLevelHigh}, {0, RemoteFormatLevelDefault},
              {1, RemoteFormatLevelLow}}),
        PAIR(RemoteFormatLevelType, SharpnessFromPr, PrSharpnessValue, 127,
             {{-1, RemoteFormatLevelLow}, {0, RemoteFormatLevelDefault},
              {1, RemoteFormatLevelHigh}}),
        PAIR(RemoteFormatPhotoEffectType, PhotoEffectFromCd, CdPhotoEffectValue, 0xFFFF,
             {{0, RemoteFormatPhotoEffectOff}, {1, RemoteFormatPhotoEffectNeutral},
              {2, RemoteFormatPhotoEffectLowSharpening}, {3, RemoteFormatPhotoEffectSepia},
              {4, RemoteFormatPhotoEffectBW}}),
        PAIR(RemoteFormatPhotoEffectType, PhotoEffectFromPr, PrPhotoEffectValue, 0xFF,
             {{0, RemoteFormatPhotoEffectOff}, {1, RemoteFormatPhotoEffectVivid},
              {2, RemoteFormatPhotoEffectNeutral}, {3, RemoteFormatPhotoEffectLowSharpening},
              {4, RemoteFormatPhotoEffectSepia}, {5, RemoteFormatPhotoEffectBW}}),
        PAIR(RemoteFormatPhotoEffectType, PhotoEffectFromEds, EdsPhotoEffectValue, 99,
             {{0, RemoteFormatPhotoEffectOff}, {5, RemoteFormatPhotoEffectBW}}),
        PAIR(RemoteFormatBeepType, BeepFromCd, CdBeepValue, 0xFF,
             {{0, RemoteFormatBeepOff}, {1, RemoteFormatBeepOn}}),
        PAIR(RemoteFormatBeepType, BeepFromPr, PrBeepValue, 0xFF,
             {{0, RemoteFormatBeepOff}, {1, RemoteFormatBeepOn}}),
        PAIR(RemoteFormatShootingModeType, ShootingModeFromCd, CdShootingModeValue, 0x0FFF,
             {{0, RemoteFormatShootingModeAuto}, {4, RemoteFormatShootingModeManual},
              {102, RemoteFormatShootingModeFarScene},
              {103, RemoteFormatShootingModeFastShutter},
              {104, RemoteFormatShootingModeSlowShutter},
              {105, RemoteFormatShootingModeNightScene},
              {106, RemoteFormatShootingModeGrayScene}, {107, RemoteFormatShootingModeSepia},
              {108, RemoteFormatShootingModePortrait}, {109, RemoteFormatShootingModeSport},
              {110, RemoteFormatShootingModeMacro}, {111, RemoteFormatShootingModeBW},
              {112, RemoteFormatShootingModePanFocus}, {113, RemoteFormatShootingModeVivid},
              {114, RemoteFormatShootingModeNeutral}, {1, RemoteFormatShootingModeProgram},
              {2, RemoteFormatShootingModeTV}, {3, RemoteFormatShootingModeAV},
              {5, RemoteFormatShootingModeADep}, {6, RemoteFormatShootingModeMDep},
              {7, RemoteFormatShootingModeBulb}, {101, RemoteFormatShootingModeManual2},
              {115, RemoteFormatShootingModeFlashOff},
              {116, RemoteFormatShootingModeLongShutter},
              {117, RemoteFormatShootingModeSuperMacro}, {118, RemoteFormatShootingModeFoliage},
              {119, RemoteFormatShootingModeIndoor}, {120, RemoteFormatShootingModeFireworks},
              {121, RemoteFormatShootingModeBeach}, {122, RemoteFormatShootingModeUnderwater},
              {123, RemoteFormatShootingModeSnow}, {124, RemoteFormatShootingModeKidsAndPets},
              {125, RemoteFormatShootingModeNightSnapshot},
              {126, RemoteFormatShootingModeDigitalMacro},
              {127, RemoteFormatShootingModeMyColors},
              {128, RemoteFormatShootingModePhotoInMovie}}),
        PAIR(RemoteFormatShootingModeType, ShootingModeFromPr, PrShootingModeValue, 0xFF,
             {{0, RemoteFormatShootingModeAuto}, {4, RemoteFormatShootingModeManual},
              {147, RemoteFormatShootingModeFastShutter},
              {148, RemoteFormatShootingModeSlowShutter},
              {132, RemoteFormatShootingModeNightScene},
              {152, RemoteFormatShootingModeGrayScene}, {153, RemoteFormatShootingModeSepia},
              {130, RemoteFormatShootingModePortrait}, {155, RemoteFormatShootingModeSport},
              {156, RemoteFormatShootingModeMacro}, {159, RemoteFormatShootingModeBW},
              {158, RemoteFormatShootingModePanFocus}, {154, RemoteFormatShootingModeVivid},
              {151, RemoteFormatShootingModeNeutral}, {1, RemoteFormatShootingModeProgram},
              {2, RemoteFormatShootingModeTV}, {3, RemoteFormatShootingModeAV},
              {5, RemoteFormatShootingModeADep}, {6, RemoteFormatShootingModeMDep},
              {7, RemoteFormatShootingModeBulb}, {128, RemoteFormatShootingModeManual2},
              {160, RemoteFormatShootingModeFlashOff},
              {144, RemoteFormatShootingModeLongShutter},
              {157, RemoteFormatShootingModeSuperMacro}, {133, RemoteFormatShootingModeFoliage},
              {136, RemoteFormatShootingModeFireworks}, {135, RemoteFormatShootingModeBeach},
              {145, RemoteFormatShootingModeUnderwater}, {134, RemoteFormatShootingModeSnow},
              {146, RemoteFormatShootingModeKidsAndPets},
              {138, RemoteFormatShootingModeNightSnapshot},
              {143, RemoteFormatShootingModeDigitalMacro},
              {129, RemoteFormatShootingModeMyColors},
              {140, RemoteFormatShootingModePhotoInMovie}}),
        PAIR(RemoteFormatShootingModeType, ShootingModeFromEds, EdsShootingModeValue, -1,
             {{9, RemoteFormatShootingModeAuto}, {3, RemoteFormatShootingModeManual},
              {13, RemoteFormatShootingModeFarScene}, {11, RemoteFormatShootingModeFastShutter},
              {23, RemoteFormatShootingModeNightScene}, {12, RemoteFormatShootingModePortrait},
              {14, RemoteFormatShootingModeMacro}, {0, RemoteFormatShootingModeProgram},
              {1, RemoteFormatShootingModeTV}, {2, RemoteFormatShootingModeAV},
              {5, RemoteFormatShootingModeADep}, {6, RemoteFormatShootingModeMDep},
              {4, RemoteFormatShootingModeBulb}, {15, RemoteFormatShootingModeFlashOff},
              {21, RemoteFormatShootingModePhotoInMovie},
              {19, RemoteFormatShootingModeCreativeAuto},
              {22, RemoteFormatShootingModeSceneIntelligentAuto},
              {10, RemoteFormatShootingModeNightPortrait},
              {24, RemoteFormatShootingModeBacklitScenes}, {25, RemoteFormatShootingModeSCN},
              {26, RemoteFormatShootingModeChildren}, {27, RemoteFormatShootingModeFood},
              {28, RemoteFormatShootingModeCandlelightPortraits}}),
    };
}
#undef PAIR

// Every listed code reads as its value and the value writes back as the code; every other value,
// NotUsed included, writes as the library's no-value code, and every other code reads as NotUsed.
TEST(CamConverters, TablesConvertBothWaysAndUnknownsFallToNotUsedOrTheNoValueCode)
{
    for (const Pair& p : tablePairs()) {
        SCOPED_TRACE(p.name);
        std::map<int, int> codeOf; // value -> code
        std::set<int> codes;
        for (const auto& [code, value] : p.rows) {
            EXPECT_EQ(p.toValue(code), value) << "code " << code;
            EXPECT_EQ(p.toCode(value), code) << "value " << value;
            codeOf[value] = code;
            codes.insert(code);
        }
        for (int value = 0; value < p.count + 3; ++value) {
            if (!codeOf.count(value)) {
                EXPECT_EQ(p.toCode(value), p.noValue) << "value " << value;
            }
        }
        EXPECT_EQ(p.toCode(0), p.noValue);
        for (int code : {-2, -1, 8, 9, 13, 99, 127, 200, 0xFFF, 0x1002, 0x2FFF, 0x3005, 0xFFFF, 0x10000}) {
            if (!codes.count(code)) {
                EXPECT_EQ(p.toValue(code), 0) << "code " << code;
            }
        }
        if (!codes.count(p.noValue)) {
            EXPECT_EQ(p.toValue(p.noValue), 0) << "the no-value code reads back";
        }
    }
}

TEST(CamConverters, OddRowsOfTheTables)
{
    // A second code of a value only reads.
    EXPECT_EQ(WBFromPr(14), RemoteFormatWBFluorescentLight);
    EXPECT_EQ(PrWBValue(RemoteFormatWBFluorescentLight), 7);
    // Single frame and "none" share 0 on the EOS side.
    EXPECT_EQ(EdsDriveModeValue(RemoteFormatDriveModeSingleFrame), 0);
    EXPECT_EQ(EdsDriveModeValue(RemoteFormatDriveModeNotUsed), 0);
    // The older PowerShot counts sharpness the other way round.
    EXPECT_EQ(SharpnessFromCd(-1), RemoteFormatLevelHigh);
    EXPECT_EQ(ContrastFromCd(-1), RemoteFormatLevelLow);
    // Signed bytes read the same sign-extended or not.
    EXPECT_EQ(ContrastFromPr(0xFF), RemoteFormatLevelLow);
    EXPECT_EQ(SharpnessFromCd(0xFF), RemoteFormatLevelHigh);
    EXPECT_EQ(ContrastFromCd(0x1FF), RemoteFormatLevelNotUsed);
    EXPECT_EQ(ContrastFromCd(0x100), RemoteFormatLevelNotUsed);
    // The EOS white-balance marker is -10, 0xF6 as a signed byte.
    EXPECT_EQ(static_cast<qint8>(EdsWBValue(RemoteFormatWBCustom)), qint8(0xF6));
    // Pr drive mode 2 is the self-timer, told apart by its time.
    EXPECT_EQ(DriveModeFromPr(2), RemoteFormatDriveModeNotUsed);
    EXPECT_EQ(PrAFLightValue(RemoteFormatAFLightOn), 1);
    EXPECT_EQ(PrAFLightValue(RemoteFormatAFLightOff), 0);
}

TEST(CamConverters, PrSelfTimerTellsTheTwoTimersByTheirTime)
{
    struct Row { int tenths; RemoteFormatDriveModeType value; };
    const Row rows[] = {
        {20, RemoteFormatDriveMode2SecSelfTimer}, {100, RemoteFormatDriveMode10SecSelfTimer},
        {0, RemoteFormatDriveModeNotUsed}, {21, RemoteFormatDriveModeNotUsed},
        {1000, RemoteFormatDriveModeNotUsed}, {-20, RemoteFormatDriveModeNotUsed},
    };
    for (const Row& r : rows) {
        EXPECT_EQ(SelfTimerFromPr(r.tenths), r.value) << r.tenths;
    }
    EXPECT_EQ(PrSelfTimerValue(RemoteFormatDriveMode10SecSelfTimer), 100);
    EXPECT_EQ(PrSelfTimerValue(RemoteFormatDriveMode2SecSelfTimer), 20);
    for (int v = 0; v < CamEnumCount<RemoteFormatDriveModeType>; ++v) {
        if (v != RemoteFormatDriveMode10SecSelfTimer && v != RemoteFormatDriveMode2SecSelfTimer) {
            EXPECT_EQ(PrSelfTimerValue(RemoteFormatDriveModeType(v)), 0xFFFF) << v;
        }
    }
}

// The thirds of a stop counted the long way: a whole stop is 8, the thirds add 3 and 5.
int third(int base, int k)
{
    static const int kStep[] = {0, 3, 5};
    return base + 8 * (k / 3) + kStep[k % 3];
}

TEST(CamConverters, ApertureCodesAndTheirIntervals)
{
    for (int v = RemoteFormatAV1_0; v <= RemoteFormatAV91_0; ++v) {
        const int code = third(8, v - RemoteFormatAV1_0);
        EXPECT_EQ(AvValue(RemoteFormatAVType(v)), code) << v;
        EXPECT_EQ(AvFromCode(code), v);
        // A code between two values reads as the lower one.
        if (v < RemoteFormatAV91_0) {
            EXPECT_EQ(AvFromCode(third(8, v) - 1), v) << v;
        }
    }
    EXPECT_EQ(AvValue(RemoteFormatAV1_4), 16);
    EXPECT_EQ(AvValue(RemoteFormatAV4_0), 40);
    EXPECT_EQ(AvValue(RemoteFormatAV91_0), 112);
    EXPECT_EQ(AvValue(RemoteFormatAVNotUsed), 0xFFFF);
    EXPECT_EQ(AvValue(RemoteFormatAVType(41)), 0xFFFF);

    struct Row { int code; RemoteFormatAVType value; };
    const Row rows[] = {
        {0, RemoteFormatAVNotUsed}, {7, RemoteFormatAVNotUsed}, {8, RemoteFormatAV1_0},
        {10, RemoteFormatAV1_0}, {11, RemoteFormatAV1_1}, {112, RemoteFormatAV91_0},
        {200, RemoteFormatAV91_0}, {0xFFFF, RemoteFormatAV91_0},
        {0x10007, RemoteFormatAVNotUsed}, // only the low 16 bits count
        {0x10010, RemoteFormatAV1_4},
    };
    for (const Row& r : rows) {
        EXPECT_EQ(AvFromCode(r.code), r.value) << r.code;
    }
}

TEST(CamConverters, ShutterSpeedCodesAndTheirIntervals)
{
    for (int v = RemoteFormatTV30sec; v <= RemoteFormatTV1_16000; ++v) {
        const int code = third(16, v - RemoteFormatTV30sec);
        EXPECT_EQ(TvValue(RemoteFormatTVType(v)), code) << v;
        EXPECT_EQ(TvFromCode(code), v);
    }
    struct Row { int code; RemoteFormatTVType value; };
    const Row rows[] = {
        {0, RemoteFormatTVNotUsed}, {3, RemoteFormatTVNotUsed}, {4, RemoteFormatTVBulb},
        {15, RemoteFormatTVBulb}, {16, RemoteFormatTV30sec}, {19, RemoteFormatTV25sec},
        {20, RemoteFormatTV25sec}, {21, RemoteFormatTV20sec}, {22, RemoteFormatTV20sec},
        {23, RemoteFormatTV20sec}, {24, RemoteFormatTV15sec}, {56, RemoteFormatTV1sec},
        {168, RemoteFormatTV1_16000}, {0xFFFF, RemoteFormatTV1_16000},
    };
    for (const Row& r : rows) {
        EXPECT_EQ(TvFromCode(r.code), r.value) << r.code;
    }
    EXPECT_EQ(TvValue(RemoteFormatTVBulb), 4);
    EXPECT_EQ(TvValue(RemoteFormatTV20sec), 21);
    EXPECT_EQ(TvValue(RemoteFormatTV1sec), 56);
    EXPECT_EQ(TvValue(RemoteFormatTV1_16000), 168);
    EXPECT_EQ(TvValue(RemoteFormatTVNotUsed), 0xFFFF);
    EXPECT_EQ(TvValue(RemoteFormatTVType(60)), 0xFFFF);
}

TEST(CamConverters, IsoCodesAndTheEosWholeStopsBeyond)
{
    using Conv = std::pair<std::function<int(int)>, std::function<int(int)>>;
    const Conv cdPr[] = {
        {[](int c) { return int(ISOFromCd(c)); }, [](int v) { return CdISOValue(RemoteFormatISOType(v)); }},
        {[](int c) { return int(ISOFromPr(c)); }, [](int v) { return PrISOValue(RemoteFormatISOType(v)); }},
    };
    for (const Conv& c : cdPr) {
        EXPECT_EQ(c.first(0), RemoteFormatISOAuto);
        EXPECT_EQ(c.second(RemoteFormatISOAuto), 0);
        for (int v = RemoteFormatISO50; v <= RemoteFormatISO3200; ++v) {
            EXPECT_EQ(c.second(v), third(64, v - RemoteFormatISO50)) << v;
            EXPECT_EQ(c.first(third(64, v - RemoteFormatISO50)), v) << v;
        }
        for (int v : {int(RemoteFormatISONotUsed), int(RemoteFormatISO6400), int(RemoteFormatISO102400)}) {
            EXPECT_EQ(c.second(v), 0xFF) << v;
        }
        for (int code : {1, 63, 65, 73, 120, 152, 255}) {
            EXPECT_EQ(c.first(code), RemoteFormatISONotUsed) << code;
        }
    }
    EXPECT_EQ(CdISOValue(RemoteFormatISO100), 72);
    EXPECT_EQ(CdISOValue(RemoteFormatISO800), 96);
    EXPECT_EQ(CdISOValue(RemoteFormatISO3200), 112);

    struct Row { int code; RemoteFormatISOType value; };
    const Row eds[] = {
        {0, RemoteFormatISOAuto}, {64, RemoteFormatISO50}, {72, RemoteFormatISO100},
        {112, RemoteFormatISO3200}, {120, RemoteFormatISO6400}, {128, RemoteFormatISO12800},
        {136, RemoteFormatISO25600}, {144, RemoteFormatISO51200}, {152, RemoteFormatISO102400},
    };
    for (const Row& r : eds) {
        EXPECT_EQ(ISOFromEds(r.code), r.value) << r.code;
        EXPECT_EQ(EdsISOValue(r.value), r.code) << r.code;
    }
    EXPECT_EQ(ISOFromEds(116), RemoteFormatISONotUsed);
    EXPECT_EQ(ISOFromEds(160), RemoteFormatISONotUsed);
    EXPECT_EQ(EdsISOValue(RemoteFormatISONotUsed), 0xFF);
}

TEST(CamConverters, CompensationCodes)
{
    // Cd and Pr exposure: +2 .. -2 as 8 .. 40, which is 24 minus the EOS amount.
    for (int v = 0; v < CamEnumCount<RemoteFormatExposureCompType>; ++v) {
        const auto value = RemoteFormatExposureCompType(v);
        const bool inRange = v >= RemoteFormatExposureComp200Plus && v <= RemoteFormatExposureComp200Minus;
        const int expected = inRange ? third(8, v - RemoteFormatExposureComp200Plus) : 0xFF;
        EXPECT_EQ(CdExposureCompValue(value), expected) << v;
        EXPECT_EQ(PrExposureCompValue(value), expected) << v;
        if (inRange) {
            EXPECT_EQ(ExposureCompFromCd(expected), v);
            EXPECT_EQ(ExposureCompFromPr(expected), v);
            EXPECT_EQ(expected, 24 - qint8(EdsExposureCompValue(value))) << v;
        }
    }
    EXPECT_EQ(CdExposureCompValue(RemoteFormatExposureComp0), 24);
    EXPECT_EQ(ExposureCompFromCd(25), RemoteFormatExposureCompNotUsed);
    EXPECT_EQ(ExposureCompFromCd(0xFF), RemoteFormatExposureCompNotUsed);

    // EOS exposure: a signed byte of thirds, +5 .. -5.
    struct Row { RemoteFormatExposureCompType value; int code; };
    const Row eds[] = {
        {RemoteFormatExposureComp500Plus, 40}, {RemoteFormatExposureComp466Plus, 37},
        {RemoteFormatExposureComp100Plus, 8}, {RemoteFormatExposureComp033Plus, 3},
        {RemoteFormatExposureComp066Plus, 5}, {RemoteFormatExposureComp0, 0},
        {RemoteFormatExposureComp033Minus, 253}, {RemoteFormatExposureComp100Minus, 248},
        {RemoteFormatExposureComp500Minus, 216}, {RemoteFormatExposureCompNotUsed, 0xFF},
    };
    for (const Row& r : eds) {
        EXPECT_EQ(EdsExposureCompValue(r.value), r.code) << int(r.value);
    }
    for (int v = 1; v < CamEnumCount<RemoteFormatExposureCompType>; ++v) {
        const int code = EdsExposureCompValue(RemoteFormatExposureCompType(v));
        EXPECT_EQ(ExposureCompFromEds(code), v) << v;
        EXPECT_EQ(ExposureCompFromEds(int(qint8(code))), v) << "sign-extended " << v;
    }
    EXPECT_EQ(ExposureCompFromEds(0xFF), RemoteFormatExposureCompNotUsed);

    // Flash compensation: +2 .. -2 as 8 .. 40.
    for (int v = 0; v < CamEnumCount<RemoteFormatFlashCompType>; ++v) {
        const auto value = RemoteFormatFlashCompType(v);
        const int expected = v == 0 ? 0xFF : third(8, v - 1);
        EXPECT_EQ(CdFlashCompValue(value), expected) << v;
        EXPECT_EQ(PrFlashCompValue(value), expected) << v;
        if (v != 0) {
            EXPECT_EQ(FlashCompFromCd(expected), v);
            EXPECT_EQ(FlashCompFromPr(expected), v);
        }
    }
    EXPECT_EQ(CdFlashCompValue(RemoteFormatFlashComp0), 24);
    EXPECT_EQ(FlashCompFromCd(7), RemoteFormatFlashCompNotUsed);
    EXPECT_EQ(FlashCompFromCd(41), RemoteFormatFlashCompNotUsed);
}

} // namespace
